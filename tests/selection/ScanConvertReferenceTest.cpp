// The converter against a brute-force reference on random polygons, and the
// independence of the result from the vertices' direction and first vertex.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ReferenceFill.h"
#include "TestMask.h"
#include "selection/ScanConvert.h"

namespace {

using scan_test::ReferenceFill, scan_test::TestMask;

struct Family {
  const char* name;
  int width, height, polygons;
  // Appends the vertices of one polygon.
  std::function<void(std::mt19937&, int w, int h, std::vector<double>&)> make;
};

int Between(std::mt19937& rng, int lo, int hi) {
  return std::uniform_int_distribution<int>(lo, hi)(rng);
}

// n vertices in the box [-m, w + m) x [-m, h + m), anywhere or (`half`) on
// the half-pixel grid: centre lines, horizontal edges, repeats.
void Box(std::mt19937& r, std::vector<double>& v, int n, int w, int h, double m, bool half) {
  for (int i = 0; i < 2 * n; ++i) {
    const double hi = (i % 2 ? h : w) + m;
    v.push_back(half ? Between(r, int(-2 * m), int(2 * hi)) * 0.5
                     : std::uniform_real_distribution<double>(-m, hi)(r));
  }
}

const Family kFamilies[] = {
    // From 2 vertices (a segment) on.
    {"Inside", 241, 209, 100,
     [](auto& r, int w, int h, auto& v) { Box(r, v, Between(r, 2, 12), w, h, 0, false); }},
    {"PastEveryEdge", 241, 209, 80,
     [](auto& r, int w, int h, auto& v) {
       Box(r, v, Between(r, 3, 20), w, h, Between(r, 0, 1) ? w : 8.0 * w, false);  // some far out
     }},
    {"HalfGrid", 241, 209, 80,
     [](auto& r, int w, int h, auto& v) { Box(r, v, Between(r, 3, 15), w, h, 3, true); }},
    {"Small", 5, 3, 200,
     [](auto& r, int w, int h, auto& v) { Box(r, v, Between(r, 3, 9), w, h, 4, true); }},
    {"Lasso", 241, 209, 60, [](auto& r, int w, int h, auto& v) {
       // A drag as the wheel records it: integer points clamped to 0..w and
       // 0..h, passed as (x, y + 0.5).
       int x = Between(r, 0, w), y = Between(r, 0, h);
       for (int i = Between(r, 20, 300); i > 0; --i) {
         x = std::clamp(x + Between(r, -6, 6), 0, w);
         y = std::clamp(y + Between(r, -6, 6), 0, h);
         v.insert(v.end(), {double(x), y + 0.5});
       }
     }}};

std::vector<double> Polygon(const Family& f, std::mt19937& rng) {
  for (;;) {  // flat polygons have no crossings; they are tested on their own
    std::vector<double> v;
    f.make(rng, f.width, f.height, v);
    for (std::size_t i = 3; i < v.size(); i += 2)
      if (v[i] != v[1]) return v;
  }
}

// Whatever the coordinates, a fill succeeds, writes only 255, and stays
// inside the picture (the padding markers and the sanitizers watch).
TestMask Fill(int w, int h, const std::vector<double>& v) {
  TestMask mask(w, h, 17);
  EXPECT_TRUE(CScanConvert().FillRaster(mask.Raster(), v.data(), int(v.size() / 2)));
  EXPECT_EQ(mask.Picture().find_first_of("?!"), std::string::npos);
  return mask;
}

class AgainstReference : public ::testing::TestWithParam<Family> {};

TEST_P(AgainstReference, MatchesBruteForceExceptAtHalfIntegerEnds) {
  const Family& f = GetParam();
  std::mt19937 rng(2024);
  long long compared = 0, undecided = 0, filled = 0;
  int ends = 0, ambiguousEnds = 0;
  for (int p = 0; p < f.polygons; ++p) {
    const std::vector<double> v = Polygon(f, rng);
    const TestMask mask = Fill(f.width, f.height, v);
    const auto ref = ReferenceFill(f.width, f.height, v);
    ends += ref.ends;
    ambiguousEnds += ref.ambiguousEnds;
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x) {
        const std::size_t i = std::size_t(y) * f.width + x;
        const bool got = mask.At(x, y) == 255;
        filled += got;
        if (ref.must[i] != ref.may[i]) {
          ++undecided;
        } else {
          ++compared;
          ASSERT_EQ(got, ref.must[i] != 0)
              << "polygon " << p << " pixel (" << x << ", " << y << ")";
        }
      }
  }
  // The exact comparison covers nearly everything, and the fills are not
  // trivially empty.
  EXPECT_GT(filled, f.polygons);
  EXPECT_LT(undecided * 100, compared) << undecided;
  EXPECT_LE(ambiguousEnds * 20, ends) << ambiguousEnds << " of " << ends;
}

INSTANTIATE_TEST_SUITE_P(Families, AgainstReference, ::testing::ValuesIn(kFamilies),
                         [](const auto& tp) { return std::string(tp.param.name); });

// A polygon's fill does not depend on where its vertex list starts or on
// which way round it goes, and here the converter's own rules make that exact,
// bit for bit:
//  - Each edge is set up from its upper and lower end, never from its
//    direction, so reversing or rotating the list gives every edge the same x
//    and dx; only its number changes.
//  - An edge opens on the row where its upper end is reached and closes on
//    the row where its lower end is reached; which edges are active on a row
//    does not depend on the order in which vertices of equal y are taken.
//  - The spans of a row come from the sorted active x values alone: which
//    edge holds which of two equal values cannot change a span.
//  - The flat and one-vertex cases use the extremes of x and vertex 0's y,
//    and every vertex of a flat polygon has that y.
// This holds for non-finite coordinates too (NaN x sort last and draw
// nothing; NaN-y vertices are never reached wherever they stand), so it is
// checked on polygons of coordinates chosen to break things: non-finite,
// beyond int, tiny, signed zero, and ordinary ones among them. (The other
// families' fills are exact against the brute force above, whatever their
// order.)
TEST(Independence, SameFillForAnyStartAndDirection) {
  const int w = 31, h = 23, polygons = 1000;
  const double inf = std::numeric_limits<double>::infinity();
  const double pool[] = {std::nan(""), inf, -inf, DBL_MAX, -DBL_MAX, 1e300,
                         -1e300,       3e9, -3e9, 1e-300,  -0.0,     0.5};
  std::mt19937 rng(77);
  int touched = 0;
  for (int p = 0; p < polygons; ++p) {
    std::vector<double> v;
    for (int i = 2 * Between(rng, 1, 12); i > 0; --i)
      v.push_back(Between(rng, 0, 2) == 0
                      ? pool[Between(rng, 0, 11)]
                      : std::uniform_real_distribution<double>(-5, (i % 2 ? h : w) + 5)(rng));
    const auto reference = Fill(w, h, v).Bytes();
    touched += std::count(reference.begin(), reference.end(), 255) > 0;
    // From a random vertex on, then backwards: reversing the numbers and
    // swapping each pair back into (x, y).
    std::rotate(v.begin(), v.begin() + 2 * Between(rng, 0, int(v.size() / 2) - 1), v.end());
    EXPECT_EQ(Fill(w, h, v).Bytes(), reference) << p;
    std::reverse(v.begin(), v.end());
    for (std::size_t i = 0; i < v.size(); i += 2) std::swap(v[i], v[i + 1]);
    EXPECT_EQ(Fill(w, h, v).Bytes(), reference) << p;
  }
  EXPECT_GT(touched * 10, polygons);  // not every fill is empty
}

}  // namespace
