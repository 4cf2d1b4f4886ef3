// The editing state's outline against a line evaluated directly from its end
// points. (The combine modes are checked through the wheel, with every
// modifier key.)
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "selection/MaskEdit.h"

namespace {

// Random lines on a 40 x 30 raster: one pixel per step along the longer
// axis, the other coordinate a + t * d / n rounded halves away from zero
// (in integers); where that is exactly a half-integer the running sum may
// land on either neighbour. Nothing else is painted.
TEST(MaskEdit, OutlineFollowsTheDirectLineFormula) {
  const int w = 40, h = 30;
  std::vector<std::uint8_t> pixels(std::size_t(w) * h * 4);
  selection::MaskEdit edit;
  edit.raster = selection::PixelView{pixels.data(), w, h, w * 4, true};
  const auto white = [&](int x, int y) { return pixels[std::size_t(y * w + x) * 4 + 1] == 255; };
  std::mt19937 rng(5);
  for (int i = 0; i < 400; ++i) {
    std::fill(pixels.begin(), pixels.end(), 0);
    const POINT to{int(rng() % w), int(rng() % h)}, from{int(rng() % w), int(rng() % h)};
    ASSERT_TRUE(selection::DrawLine(edit, to, from));
    const bool xMajor = std::abs(to.y - from.y) <= std::abs(to.x - from.x);
    const int n = std::abs(xMajor ? to.x - from.x : to.y - from.y);
    const int sign = (xMajor ? to.x - from.x : to.y - from.y) < 0 ? -1 : 1;
    const int d = xMajor ? to.y - from.y : to.x - from.x, base = xMajor ? from.y : from.x;
    for (int t = 0; t <= n; ++t) {
      // Twice the minor coordinate times n, all positive here: 2(base n + t d).
      const int twice = 2 * (base * std::max(n, 1) + t * d), nn = std::max(n, 1);
      const int v = (twice + nn) / (2 * nn), major = (xMajor ? from.x : from.y) + sign * t;
      const bool half = twice % (2 * nn) == nn;
      const auto at = [&](int c) { return xMajor ? white(major, c) : white(c, major); };
      ASSERT_TRUE(half ? at(v) != at(v - 1) : at(v)) << i << " t=" << t;
    }
    ASSERT_EQ(std::count(pixels.begin(), pixels.end(), 255), 4 * (n + 1)) << i;
  }
  std::fill(pixels.begin(), pixels.end(), 0);  // `to` outside: refused
  EXPECT_FALSE(selection::DrawLine(edit, POINT{w, 3}, POINT{1, 1}));
  EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 255), 0);
  // A far `from`: the row from 0 to 5 and nothing else.
  EXPECT_TRUE(selection::DrawLine(edit, POINT{5, 5}, POINT{-2000000000, 5}));
  EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 255), 4 * 6);
  for (int x = 0; x <= 5; ++x) EXPECT_TRUE(white(x, 5)) << x;
}

}  // namespace
