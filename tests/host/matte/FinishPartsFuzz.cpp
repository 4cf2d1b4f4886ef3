// libFuzzer target for finishing a part against the whole frame (built
// with clang only, see CMakeLists.txt); seeds in tests/host/matte/fuzz.
#include "FinishPartsCheck.h"
#include "tests/plugin/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mattix::test::AbortOnFault(mattix::test::CheckFinishParts(data, size));
}
