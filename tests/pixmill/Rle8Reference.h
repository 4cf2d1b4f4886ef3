#pragma once
// A BI_RLE8 decoder written from the format's definition for the tests,
// pixel by pixel and independent of the library's: it applies the same
// strictness rules as documented in stdfx/Rle8.h (every pixel written lies
// inside the image, moves may reach the end of a row but not beyond, the
// stream ends with end-of-bitmap followed by at most 3 zero bytes).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pixmill_test {

using Bytes = std::vector<std::uint8_t>;

// Rows of stride bytes, zero where the stream writes nothing; nullopt when
// the stream is refused.
inline std::optional<Bytes> ReferenceDecode(const Bytes& s, int w, int h, std::size_t stride) {
  Bytes img(stride * static_cast<std::size_t>(h), 0);
  long row = 0;
  long col = 0;
  auto put = [&](std::uint8_t v) {
    if (row >= h || col >= w) return false;
    img[static_cast<std::size_t>(row) * stride + static_cast<std::size_t>(col)] = v;
    ++col;
    return true;
  };
  std::size_t i = 0;
  auto next = [&](std::uint8_t& v) {
    if (i >= s.size()) return false;
    v = s[i++];
    return true;
  };
  for (;;) {
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    if (!next(first) || !next(second)) return std::nullopt;
    if (first > 0) {
      for (int k = 0; k < first; ++k)
        if (!put(second)) return std::nullopt;
    } else if (second == 0) {
      if (row >= h) return std::nullopt;
      ++row;
      col = 0;
    } else if (second == 1) {
      const std::size_t tail = s.size() - i;
      if (tail > 3) return std::nullopt;
      if (std::any_of(s.begin() + static_cast<long>(i), s.end(),
                      [](std::uint8_t v) { return v != 0; }))
        return std::nullopt;
      return img;
    } else if (second == 2) {
      std::uint8_t dx = 0;
      std::uint8_t dy = 0;
      if (!next(dx) || !next(dy)) return std::nullopt;
      if (row >= h) return std::nullopt;
      col += dx;
      row += dy;
      if (col > w || row >= h) return std::nullopt;
    } else {
      for (int k = 0; k < second; ++k) {
        std::uint8_t v = 0;
        if (!next(v) || !put(v)) return std::nullopt;
      }
      std::uint8_t pad = 0;
      if ((second & 1) && !next(pad)) return std::nullopt;
    }
  }
}

}  // namespace pixmill_test
