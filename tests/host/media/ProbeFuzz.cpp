// libFuzzer target for the reading of ffprobe's output and the frame count
// (built with clang only, see CMakeLists.txt); seeds in
// tests/host/media/fuzz-probe.
#include "ProbeCheck.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string fault = mattix::test::CheckProbeOutput(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "%s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
