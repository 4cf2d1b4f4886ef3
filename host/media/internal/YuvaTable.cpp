#include "host/media/internal/YuvaTable.h"

#include <cstring>
#include <new>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace mattix::media::internal {

const int kFromBgraFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;

void SetFromBgraColour(SwsContext* sws, int matrix) {
  const int* coefficients = sws_getCoefficients(matrix);
  sws_setColorspaceDetails(sws, coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
}

namespace {

// The table is filled a strip of 4096 x 16 pixels at a time, pixel i of
// strip s having colour s * 65536 + i and alpha i % 256.
constexpr int kStripWidth = 4096;
constexpr int kStripHeight = 16;
constexpr int kStripPixels = kStripWidth * kStripHeight;
constexpr int kStrips = (1 << 24) / kStripPixels;

}  // namespace

std::unique_ptr<YuvaTable> YuvaTable::Make(int matrix) {
  SwsContext* sws =
      sws_getContext(kStripWidth, kStripHeight, AV_PIX_FMT_BGRA, kStripWidth, kStripHeight,
                     AV_PIX_FMT_YUVA444P10LE, kFromBgraFlags, nullptr, nullptr, nullptr);
  if (!sws) return nullptr;
  SetFromBgraColour(sws, matrix);
  std::unique_ptr<YuvaTable> table;
  try {
    table.reset(new YuvaTable);
    table->m_yuv.resize(std::size_t(1) << 24);
    std::vector<std::uint32_t> in(kStripPixels);
    std::vector<std::uint16_t> planes[4];
    for (auto& plane : planes) plane.resize(kStripPixels);
    for (int strip = 0; strip < kStrips; ++strip) {
      for (int i = 0; i < kStripPixels; ++i)
        in[std::size_t(i)] = std::uint32_t(strip * kStripPixels + i) | std::uint32_t(i & 255) << 24;
      const std::uint8_t* source[4] = {reinterpret_cast<const std::uint8_t*>(in.data()), nullptr,
                                       nullptr, nullptr};
      const int sourceSizes[4] = {kStripWidth * 4, 0, 0, 0};
      std::uint8_t* target[4];
      int targetSizes[4];
      for (int p = 0; p < 4; ++p) {
        target[p] = reinterpret_cast<std::uint8_t*>(planes[p].data());
        targetSizes[p] = kStripWidth * 2;
      }
      sws_scale(sws, source, sourceSizes, 0, kStripHeight, target, targetSizes);
      for (int i = 0; i < kStripPixels; ++i)
        table->m_yuv[std::size_t(strip) * kStripPixels + std::size_t(i)] =
            std::uint32_t(planes[0][std::size_t(i)]) |
            std::uint32_t(planes[1][std::size_t(i)]) << 10 |
            std::uint32_t(planes[2][std::size_t(i)]) << 20;
      if (strip == 0)
        for (int i = 0; i < 256; ++i) table->m_alpha[i] = planes[3][std::size_t(i)];
    }
  } catch (const std::bad_alloc&) {
    table.reset();
  }
  sws_freeContext(sws);
  return table;
}

void YuvaTable::Convert(const std::uint8_t* bgra, std::ptrdiff_t stride, int width, int height,
                        std::uint8_t* const planes[4], const int lineSizes[4]) const {
  const auto row = [&](int p, int y) {
    return reinterpret_cast<std::uint16_t*>(planes[p] + std::ptrdiff_t(lineSizes[p]) * y);
  };
  for (int y = 0; y < height; ++y)
    BgraRowToYuva(bgra + stride * y, width, m_yuv.data(), m_alpha, row(0, y), row(1, y), row(2, y),
                  row(3, y));
}

void BgraRowToYuva(const std::uint8_t* bgra, int width, const std::uint32_t* yuv,
                   const std::uint16_t* alpha, std::uint16_t* y, std::uint16_t* u, std::uint16_t* v,
                   std::uint16_t* a) {
  for (int x = 0; x < width; ++x) {
    std::uint32_t pixel;
    std::memcpy(&pixel, bgra + 4 * std::ptrdiff_t(x), 4);
    const std::uint32_t entry = yuv[pixel & 0xFFFFFF];
    y[x] = std::uint16_t(entry & 0x3FF);
    u[x] = std::uint16_t(entry >> 10 & 0x3FF);
    v[x] = std::uint16_t(entry >> 20);
    a[x] = alpha[pixel >> 24];
  }
}

}  // namespace mattix::media::internal
