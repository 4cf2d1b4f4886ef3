// The editing state's pure operations: the combine modes on chosen bytes,
// the outline against a line evaluated directly from its end points, and
// the point list with memory that runs out on demand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "selection/MaskEdit.h"
#include "stdfx/DIB.h"
#include "stdfx/VfbmiHeader.h"

namespace {

// Requests of more than g_limit bytes fail.
std::size_t g_limit = SIZE_MAX;
void* Limited(std::size_t bytes) { return bytes > g_limit ? nullptr : std::malloc(bytes); }

stdfx::CDIB Bytes(const std::vector<std::uint8_t>& v) {
  tagVFBMINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = LONG(v.size());
  h.biHeight = 1;
  h.biPlanes = 1;
  h.biBitCount = 8;
  stdfx::CDIB dib(h);
  for (std::size_t i = 0; i < v.size(); ++i) dib.GetBytes()[i] = v[i];
  return dib;
}

TEST(MaskEdit, CombineModesSaturateAndFloor) {
  const std::vector<std::uint8_t> m{0, 100, 200, 255, 255, 30}, s{0, 200, 100, 255, 1, 0};
  const struct {
    int mode;
    std::vector<std::uint8_t> expected;
  } cases[] = {{0, s},
               {1, {0, 255, 255, 255, 255, 30}},
               {2, {0, 0, 100, 0, 254, 30}},
               {3, {0, 100, 100, 255, 1, 0}},
               {4, m},
               {-1, m}};
  for (const auto& c : cases) {
    stdfx::CDIB mask = Bytes(m);
    const stdfx::CDIB shape = Bytes(s);
    EXPECT_TRUE(selection::CombineMask(mask, shape, c.mode));
    EXPECT_EQ(std::vector<std::uint8_t>(mask.GetBytes(), mask.GetBytes() + 6), c.expected)
        << c.mode;
  }
}

// Lines on a 40 x 30 raster against the direct formula: the minor
// coordinate at step t is a + t * d / n, rounded halves away from zero;
// where that value is exactly a half-integer the running sum may land on
// either neighbour.
TEST(MaskEdit, OutlineFollowsTheDirectLineFormula) {
  const int w = 40, h = 30;
  std::vector<std::uint8_t> pixels(std::size_t(w) * h * 4);
  selection::MaskEdit edit;
  edit.raster = selection::PixelView{pixels.data(), w, h, w * 4, true};
  std::mt19937 rng(5);
  const auto white = [&](int x, int y) { return pixels[std::size_t(y * w + x) * 4 + 1] == 255; };
  for (int i = 0; i < 400; ++i) {
    std::fill(pixels.begin(), pixels.end(), 0);
    const POINT to{int(rng() % w), int(rng() % h)};
    const POINT from{int(rng() % (w + 20)) - 10, int(rng() % (h + 20)) - 10};
    ASSERT_TRUE(selection::DrawLine(edit, to, from));
    const bool xMajor = std::abs(to.y - from.y) <= std::abs(to.x - from.x);
    const int n = xMajor ? to.x - from.x : to.y - from.y;
    const int d = xMajor ? to.y - from.y : to.x - from.x;
    std::vector<std::vector<int>> allowed;  // per step: the pixel or two candidates
    int expected = 0, undecided = 0;
    for (int t = 0; t <= std::abs(n); ++t) {
      const int step = n < 0 ? -t : t;  // from `from` towards `to`
      const int base = xMajor ? from.y : from.x;
      const int num = 2 * step * d;  // twice the offset, times n
      const int twice = 2 * base * n + num;
      // round(twice / (2n)) with halves away from zero, in integers.
      const int nn = std::abs(n), tw = n < 0 ? -twice : twice;
      const int lo = (tw >= 0 ? tw : tw - 2 * nn + 1) / (2 * nn);
      const int r2 = tw - lo * 2 * nn;  // 0 <= r2 < 2nn
      std::vector<int> c{r2 >= nn ? lo + 1 : lo};
      if (r2 == nn) c.push_back(lo);
      const int major = (xMajor ? from.x : from.y) + step;
      std::vector<int> inside;
      for (int v : c) {
        const int x = xMajor ? major : v, y = xMajor ? v : major;
        if (x >= 0 && x < w && y >= 0 && y < h) inside.push_back(y * w + x);
      }
      if (c.size() == 1 && inside.size() == 1) {
        ASSERT_TRUE(white(inside[0] % w, inside[0] / w)) << i << " t=" << t;
        ++expected;
      } else if (inside.size() == 2) {
        ASSERT_TRUE(white(inside[0] % w, inside[0] / w) != white(inside[1] % w, inside[1] / w));
        ++expected;
      } else if (inside.size() == 1) {
        ++undecided;  // the other candidate lies outside
      }
    }
    int count = 0;
    for (std::size_t p = 0; p < pixels.size(); p += 4) count += pixels[p] == 255;
    ASSERT_GE(count, expected) << i;
    ASSERT_LE(count, expected + undecided) << i;
  }
  // A `to` outside is refused and paints nothing; equal points paint one.
  std::fill(pixels.begin(), pixels.end(), 0);
  EXPECT_FALSE(selection::DrawLine(edit, POINT{w, 3}, POINT{1, 1}));
  EXPECT_TRUE(selection::DrawLine(edit, POINT{2, 3}, POINT{2, 3}));
  EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 255), 4);
  EXPECT_TRUE(white(2, 3));
}

// The list grows by 1024 points and keeps what it held; when it cannot
// grow, the point is refused and the list stays as it was.
TEST(MaskEdit, PointListGrowsOrRefuses) {
  selection::MaskEdit edit;
  edit.memory.allocate = &Limited;
  g_limit = 2048 * sizeof(POINT);
  for (int i = 0; i < 2048; ++i) ASSERT_TRUE(selection::SetPoint(edit, i, i, -i));
  EXPECT_EQ(edit.capacity, 2048);
  EXPECT_FALSE(selection::SetPoint(edit, 2048, 7, 7));
  EXPECT_FALSE(selection::SetPoint(edit, -1, 7, 7));
  EXPECT_EQ(edit.capacity, 2048);
  for (int i = 0; i < 2048; ++i) ASSERT_TRUE(edit.points[i].x == i && edit.points[i].y == -i);
  g_limit = SIZE_MAX;
  EXPECT_FALSE(selection::SetPoint(edit, 2048 + 1024, 7, 7));  // beyond one step
  EXPECT_TRUE(selection::SetPoint(edit, 2048, 7, 7));
  EXPECT_EQ(edit.capacity, 3072);
  selection::ClearPoints(edit);
  EXPECT_TRUE(edit.points == nullptr && edit.capacity == 0 && edit.count == 0);
}

}  // namespace
