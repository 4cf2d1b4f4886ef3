// libFuzzer target for the keyer's session driven by the page's actions
// (built with clang only, see CMakeLists.txt); seeds in tests/host/serve/fuzz.
#include "KeyerSessionCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mattix::test::AbortOnFault(mattix::test::CheckKeyerSession(data, size));
}
