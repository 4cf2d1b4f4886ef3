// libFuzzer target for the BI_RLE8 decoders (built with clang only, see
// CMakeLists.txt). The input is read two ways:
//   - as width (1 byte), height (1 byte) and a stream, decoded by DecodeRle8
//     into a buffer of exactly the image's size and compared with the
//     reference decoder written from the format's definition;
//   - as a stored mask record for DecodeRle8Record, whose header may claim
//     any size: records claiming more than 1 << 22 pixels are skipped so
//     that the fuzzer explores parsing rather than allocation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Rle8Reference.h"
#include "stdfx/DIB.h"
#include "stdfx/Rle8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= 2) {
    const int w = 1 + data[0] % 64;
    const int h = 1 + data[1] % 16;
    const std::size_t stride = (static_cast<std::size_t>(w) + 3) & ~std::size_t{3};
    const pixmill_test::Bytes stream(data + 2, data + size);
    std::vector<std::uint8_t> out(stride * static_cast<std::size_t>(h));
    const bool ok = stdfx::DecodeRle8(stream.empty() ? nullptr : stream.data(), stream.size(),
                                      out.data(), w, h, stride);
    const auto ref = pixmill_test::ReferenceDecode(stream, w, h, stride);
    if (ok != ref.has_value() || (ok && out != *ref)) std::abort();
  }
  if (size >= sizeof(tagVFBMINFOHEADER)) {
    tagVFBMINFOHEADER header;
    std::memcpy(&header, data, sizeof header);
    const long long pixels = static_cast<long long>(header.biWidth) * header.biHeight;
    if (pixels <= (1 << 22)) {
      const std::vector<std::uint8_t> record(data, data + size);
      stdfx::CDIB mask;
      if (stdfx::DecodeRle8Record(record.data(), record.size(), mask) &&
          (!mask.IsValidDIB() || mask.DIBBitCount() != 8 || mask.DIBCompression() != 0))
        std::abort();
    }
  }
  return 0;
}
