// libFuzzer target for the reading of ffprobe's output and the frame count
// (built with clang only, see CMakeLists.txt); seeds in
// tests/host/media/fuzz-probe.
#include "ProbeCheck.h"
#include "tests/plugin/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mattix::test::AbortOnFault(mattix::test::CheckProbeOutput(data, size));
}
