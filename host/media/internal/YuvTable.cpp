#include "host/media/internal/YuvTable.h"

#include <cstring>
#include <new>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace mattix::media::internal {

const int kToBgraFlags = SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;

void SetToBgraColour(SwsContext* sws, int matrix, bool fullRange) {
  const int* coefficients = sws_getCoefficients(matrix);
  sws_setColorspaceDetails(sws, coefficients, fullRange ? 1 : 0, coefficients, 1, 0, 1 << 16,
                           1 << 16);
}

namespace {

// The table is filled a strip of 4096 x 16 pixels at a time: 2048 x 8
// chroma samples, each slot g of them (counted over all strips) standing for
// chroma pair g / 64 (u in the low byte) under luma 4 (g % 64) to
// 4 (g % 64) + 3 in its 2 x 2 pixels.
constexpr int kStripWidth = 4096;
constexpr int kStripHeight = 16;
constexpr int kStrips = (1 << 24) / (kStripWidth * kStripHeight);

struct Slot {
  std::uint32_t pair, luma;  // luma of the block's top left pixel
};

Slot SlotOf(int strip, int cx, int cy) {
  const std::uint32_t g = std::uint32_t(strip) * (kStripWidth * kStripHeight / 4) +
                          std::uint32_t(cy) * (kStripWidth / 2) + std::uint32_t(cx);
  return {g >> 6, (g & 63) * 4};
}

}  // namespace

std::unique_ptr<YuvTable> YuvTable::Make(int matrix, bool fullRange) {
  SwsContext* sws =
      sws_getContext(kStripWidth, kStripHeight, AV_PIX_FMT_YUV420P, kStripWidth, kStripHeight,
                     AV_PIX_FMT_BGRA, kToBgraFlags, nullptr, nullptr, nullptr);
  if (!sws) return nullptr;
  SetToBgraColour(sws, matrix, fullRange);
  std::unique_ptr<YuvTable> table;
  try {
    table.reset(new YuvTable);
    table->m_bgra.resize(std::size_t(1) << 24);
    std::vector<std::uint8_t> luma(kStripWidth * kStripHeight), u(luma.size() / 4),
        v(luma.size() / 4);
    std::vector<std::uint32_t> out(luma.size());
    for (int strip = 0; strip < kStrips; ++strip) {
      for (int cy = 0; cy < kStripHeight / 2; ++cy)
        for (int cx = 0; cx < kStripWidth / 2; ++cx) {
          const Slot s = SlotOf(strip, cx, cy);
          u[std::size_t(cy) * (kStripWidth / 2) + cx] = std::uint8_t(s.pair);
          v[std::size_t(cy) * (kStripWidth / 2) + cx] = std::uint8_t(s.pair >> 8);
          for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx)
              luma[std::size_t(2 * cy + dy) * kStripWidth + 2 * cx + dx] =
                  std::uint8_t(s.luma + 2 * dy + dx);
        }
      const std::uint8_t* planes[4] = {luma.data(), u.data(), v.data(), nullptr};
      const int lineSizes[4] = {kStripWidth, kStripWidth / 2, kStripWidth / 2, 0};
      std::uint8_t* target[4] = {reinterpret_cast<std::uint8_t*>(out.data()), nullptr, nullptr,
                                 nullptr};
      const int targetSizes[4] = {kStripWidth * 4, 0, 0, 0};
      sws_scale(sws, planes, lineSizes, 0, kStripHeight, target, targetSizes);
      for (int y = 0; y < kStripHeight; ++y)
        for (int x = 0; x < kStripWidth; ++x) {
          const Slot s = SlotOf(strip, x / 2, y / 2);
          const std::uint32_t l = s.luma + 2 * std::uint32_t(y & 1) + std::uint32_t(x & 1);
          table->m_bgra[l | s.pair << 8] = out[std::size_t(y) * kStripWidth + x];
        }
    }
  } catch (const std::bad_alloc&) {
    table.reset();
  }
  sws_freeContext(sws);
  return table;
}

void YuvTable::Convert(const std::uint8_t* const planes[3], const int lineSizes[3], int width,
                       int height, std::uint8_t* bgra, std::ptrdiff_t stride) const {
  for (int y = 0; y < height; ++y)
    YuvRowToBgra(planes[0] + std::ptrdiff_t(lineSizes[0]) * y,
                 planes[1] + std::ptrdiff_t(lineSizes[1]) * (y / 2),
                 planes[2] + std::ptrdiff_t(lineSizes[2]) * (y / 2), width, m_bgra.data(),
                 bgra + stride * y);
}

void YuvRowToBgra(const std::uint8_t* y, const std::uint8_t* u, const std::uint8_t* v, int width,
                  const std::uint32_t* table, std::uint8_t* bgra) {
  for (int x = 0; x < width; ++x) {
    const std::uint32_t pixel =
        table[std::uint32_t(y[x]) | std::uint32_t(u[x / 2]) << 8 | std::uint32_t(v[x / 2]) << 16];
    std::memcpy(bgra + 4 * std::ptrdiff_t(x), &pixel, 4);
  }
}

}  // namespace mattix::media::internal
