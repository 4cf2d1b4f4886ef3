// libFuzzer target for host frame descriptions (built with clang only, see
// CMakeLists.txt); seeds in tests/plugin/fuzz/frames.
#include "FrameDescriptionCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mattix::test::AbortOnFault(mattix::test::CheckFrameDescription(data, size));
}
