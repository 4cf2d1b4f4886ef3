// libFuzzer target for the project reader (built with clang only, see
// CMakeLists.txt); seeds in tests/cli/fuzz/project.
#include "ProjectCheck.h"
#include "tests/plugin/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mattix::test::AbortOnFault(mattix::test::CheckProjectRoundTrip(data, size));
}
