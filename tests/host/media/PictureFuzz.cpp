// libFuzzer target for the picture readers (built with clang only, see
// CMakeLists.txt); seeds in tests/host/media/fuzz.
#include "PictureCheck.h"
#include "tests/plugin/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mattix::test::AbortOnFault(mattix::test::CheckPictureRoundTrip(data, size));
}
