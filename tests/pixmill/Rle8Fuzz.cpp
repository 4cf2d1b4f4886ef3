// libFuzzer target for the BI_RLE8 decoders (built with clang only, see
// CMakeLists.txt): the input is checked both as geometry plus stream and as
// a stored mask record, by the body the unit test runs on its seed set.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Rle8Check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (pixmill_test::CheckRle8Decode(data, size) || pixmill_test::CheckRle8Record(data, size))
    std::abort();
  return 0;
}
