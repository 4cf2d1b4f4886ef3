// The table of swscale's conversion to BGRA against swscale itself, on
// random 4:2:0 frames with padded lines, for each matrix and range a stream
// may have.
#include "host/media/internal/YuvTable.h"

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

TEST(YuvTable, ConvertsAsSwscaleDoes) {
  const struct {
    int matrix;
    bool fullRange;
  } colours[] = {{SWS_CS_ITU709, false}, {SWS_CS_ITU601, false}, {SWS_CS_BT2020, true}};
  const int sizes[][2] = {{2, 2}, {66, 34}, {1920, 6}};
  std::mt19937 rng(3);
  for (const auto& colour : colours) {
    const auto table = YuvTable::Make(colour.matrix, colour.fullRange);
    ASSERT_TRUE(table);
    for (const auto& size : sizes) {
      const int w = size[0], h = size[1];
      const int lineSizes[3] = {w + 32, w / 2 + 16, w / 2 + 48};
      std::vector<std::uint8_t> planes[3];
      for (int p = 0; p < 3; ++p) {
        planes[p].resize(std::size_t(lineSizes[p]) * (p == 0 ? h : h / 2));
        for (auto& b : planes[p]) b = std::uint8_t(rng());
      }
      const std::uint8_t* in[4] = {planes[0].data(), planes[1].data(), planes[2].data(), nullptr};
      std::vector<std::uint8_t> expected(std::size_t(w) * h * 4), actual(expected.size());
      SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGRA,
                                       kToBgraFlags, nullptr, nullptr, nullptr);
      ASSERT_NE(sws, nullptr);
      SetToBgraColour(sws, colour.matrix, colour.fullRange);
      std::uint8_t* out[4] = {expected.data(), nullptr, nullptr, nullptr};
      const int outSizes[4] = {w * 4, 0, 0, 0};
      sws_scale(sws, in, lineSizes, 0, h, out, outSizes);
      sws_freeContext(sws);
      table->Convert(in, lineSizes, w, h, actual.data(), std::ptrdiff_t(w) * 4);
      EXPECT_EQ(actual, expected) << "matrix " << colour.matrix << " full range "
                                  << colour.fullRange << ", " << w << " x " << h;
    }
  }
}

}  // namespace
}  // namespace mattix::media::internal
