#include "host/matte/internal/SquareNear.h"

#include "host/base/RowBands.h"

#include <algorithm>
#include <cstddef>

namespace mattix::matte::internal {

// Whether the window along the row holds a pixel with the bit (into
// `across`), then the window down the column (bands of columns at once).
// Both by counts over the window (prefix sums along a row, a sliding count
// per column), loops that vectorise.
template <int Bits>
void SquareNear(std::vector<std::uint8_t>& set, std::vector<std::uint8_t>& across, int w, int h,
                int r, int bands) {
  const std::size_t W = std::size_t(w);
  host::ForEachBand(h, bands, [&](int, int first, int count) {
    std::vector<std::int32_t> prefix(W + 1);  // prefix[x]: pixels 0 .. x - 1 with the bit
    for (int y = first; y < first + count; ++y) {
      const std::uint8_t* row = &set[std::size_t(y) * W];
      std::uint8_t* o = &across[std::size_t(y) * W];
      std::fill_n(o, W, std::uint8_t(0));
      for (int b = 0; b < Bits; ++b) {
        std::int32_t sum = 0;
        for (std::size_t x = 0; x < W; ++x) prefix[x + 1] = sum += row[x] >> b & 1;
        // Windows cut by the row's start, whole ones, and those cut by its end.
        const int cutAtStart = std::min(r, w), tail = std::max(r, w - r - 1);
        for (int x = 0; x < cutAtStart; ++x)
          o[x] = std::uint8_t(o[x] | (prefix[std::size_t(std::min(w, x + r + 1))] > 0) << b);
        if (w > 2 * r + 1) {
          const std::int32_t* lo = prefix.data();   // x - r, from x = r
          const std::int32_t* hi = lo + 2 * r + 1;  // x + r + 1
          std::uint8_t* mid = o + r;
          for (int i = 0; i < w - 2 * r - 1; ++i)
            mid[i] = std::uint8_t(mid[i] | (hi[i] - lo[i] > 0) << b);
        }
        for (int x = tail; x < w; ++x)
          o[x] =
              std::uint8_t(o[x] | (prefix[W] - prefix[std::size_t(std::max(0, x - r))] > 0) << b);
      }
    }
  });
  std::vector<std::uint8_t>& out = set;
  host::ForEachBand(w, bands, [&](int, int first, int count) {
    // counts[b count + x]: pixels with bit b in column first + x among the
    // rows of the window.
    std::vector<std::int32_t> counts(std::size_t(count) * Bits, 0);
    const auto slide = [&](int y, std::int32_t step) {
      const std::uint8_t* a = &across[std::size_t(y) * W + std::size_t(first)];
      for (int b = 0; b < Bits; ++b) {
        std::int32_t* c = &counts[std::size_t(b) * std::size_t(count)];
        for (int x = 0; x < count; ++x) c[x] += step * (a[x] >> b & 1);
      }
    };
    for (int y = 0; y < std::min(r, h); ++y) slide(y, 1);
    for (int y = 0; y < h; ++y) {
      if (y + r < h) slide(y + r, 1);  // the window: rows y - r .. y + r
      std::uint8_t* o = &out[std::size_t(y) * W + std::size_t(first)];
      std::fill_n(o, count, std::uint8_t(0));
      for (int b = 0; b < Bits; ++b) {
        const std::int32_t* c = &counts[std::size_t(b) * std::size_t(count)];
        for (int x = 0; x < count; ++x) o[x] = std::uint8_t(o[x] | (c[x] > 0) << b);
      }
      if (y - r >= 0) slide(y - r, -1);
    }
  });
}

template void SquareNear<1>(std::vector<std::uint8_t>&, std::vector<std::uint8_t>&, int, int, int,
                            int);
template void SquareNear<2>(std::vector<std::uint8_t>&, std::vector<std::uint8_t>&, int, int, int,
                            int);

}  // namespace mattix::matte::internal
