// The table of swscale's conversion to yuva444p10 against swscale itself,
// on random BGRA frames (every alpha among them), for each matrix an output
// may be tagged with.
#include "host/media/internal/YuvaTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace mattix::media::internal {
namespace {

TEST(YuvaTable, ConvertsAsSwscaleDoes) {
  const int matrices[] = {SWS_CS_ITU709, SWS_CS_ITU601, SWS_CS_BT2020};
  const int sizes[][2] = {{1, 1}, {67, 35}, {1920, 4}};
  std::mt19937 rng(8);
  for (int matrix : matrices) {
    const auto table = YuvaTable::Make(matrix);
    ASSERT_TRUE(table);
    for (const auto& size : sizes) {
      const int w = size[0], h = size[1];
      std::vector<std::uint8_t> bgra(std::size_t(w) * h * 4);
      for (auto& b : bgra) b = std::uint8_t(rng());
      const int lineSize = 2 * w + 64;
      std::vector<std::uint8_t> expected(std::size_t(lineSize) * h * 4), actual(expected.size());
      std::uint8_t *want[4], *got[4];
      const int lines[4] = {lineSize, lineSize, lineSize, lineSize};
      for (int p = 0; p < 4; ++p) {
        want[p] = expected.data() + std::size_t(lineSize) * h * p;
        got[p] = actual.data() + std::size_t(lineSize) * h * p;
      }
      SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_BGRA, w, h, AV_PIX_FMT_YUVA444P10LE,
                                       kFromBgraFlags, nullptr, nullptr, nullptr);
      ASSERT_NE(sws, nullptr);
      SetFromBgraColour(sws, matrix);
      const std::uint8_t* in[4] = {bgra.data(), nullptr, nullptr, nullptr};
      const int inLines[4] = {w * 4, 0, 0, 0};
      sws_scale(sws, in, inLines, 0, h, want, lines);
      sws_freeContext(sws);
      table->Convert(bgra.data(), std::ptrdiff_t(w) * 4, w, h, got, lines);
      for (int p = 0; p < 4; ++p)
        for (int y = 0; y < h; ++y)
          ASSERT_TRUE(std::equal(got[p] + lineSize * y, got[p] + lineSize * y + 2 * w,
                                 want[p] + lineSize * y))
              << "matrix " << matrix << ", " << w << " x " << h << ", plane " << p << " row " << y;
    }
  }
}

}  // namespace
}  // namespace mattix::media::internal
