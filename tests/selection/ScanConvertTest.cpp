// The fill on rasters by hand-worked pictures, and what it refuses. (FillPolygon,
// the fill of an 8-bit image, is driven by the wheel's lasso tests.)
#include "selection/ScanConvert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "TestMask.h"

namespace {

using scan_test::TestMask;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct FillCase {
  const char* name;
  std::vector<double> vertices;  // x, y pairs
  const char* expected;          // rows top first, joined by '|'; '#' = 255
};

// Hand-worked pictures of what the brute-force reference leaves out: flat
// polygons, single points, non-finite and huge coordinates (the same rules,
// without undefined behaviour). Row y is sampled on y + 0.5; span ends are
// rounded (halves away from zero) and clamped one by one.
TEST(ScanConvert, HandWorkedPictures) {
  const FillCase cases[] = {
      // Flat: one span from the leftmost to the rightmost vertex, clamped,
      // on row round(3.5) = 4.
      {"Flat",
       {5.4, 3.5, -3, 3.5, 12.6, 3.5},
       "..........|..........|..........|..........|##########|.........."},
      // One vertex: its pixel, rounded and clamped.
      {"FlatBelow", {3, 99, 1, 99, 2, 99}, "....|....|.###"},
      {"OnePoint", {3.5, 2.5}, "......|......|......|....#.|......"},
      {"OnePointBelowLeft", {-7, 99}, "......|......|#....."},
      {"InfiniteSides",
       {-kInf, 2.5, kInf, 2.5, kInf, 4.5, -kInf, 4.5},
       ".....|.....|#####|#####|.....|....."},
      {"BeyondIntRange", {3e9, 1.5, -3e9, 1.5, 0, 4.5}, ".....|#####|#####|#####|.....|....."},
      // The NaN vertices' four edges never open; the two vertical edges
      // left fill the rectangle between them.
      {"NaNVerticesDropTheirEdges",
       {2, 2.5, 2, 6.5, 0, kNaN, 6, 6.5, 6, 2.5, 0, kNaN},
       ".........|.........|..#####..|..#####..|..#####..|..#####..|.........|........."},
      // The sloping edge from the NaN vertex has NaN x on every row, so
      // the only span has a NaN end.
      {"NaNSpanEnd", {1, 1.5, kNaN, 1.5, 1, 4.5}, "......|......|......|......|......"},
      {"FlatSkipsNaNx", {kNaN, 2.5, 3, 2.5, 6.4, 2.5}, "........|........|........|...####."},
      // A single row or column is a picture like any other.
      {"OneRow", {-1, -1, 9, -1, 9, 3, -1, 3}, "#####"},
      {"OneColumn", {-1, -1, 9, -1, 9, 3, -1, 3}, "#|#|#"}};
  for (const auto& c : cases) {
    std::string want = c.expected + std::string("|");  // each row ends in '|'
    const int width = int(want.find('|')), height = int(std::count(want.begin(), want.end(), '|'));
    std::replace(want.begin(), want.end(), '|', '\n');
    TestMask mask(width, height, 7);  // pixels outside the polygon keep their 7
    EXPECT_TRUE(CScanConvert().FillRaster(mask.Raster(), c.vertices.data(),
                                          static_cast<int>(c.vertices.size() / 2)));
    EXPECT_EQ(mask.Picture(), want) << c.name;
  }
}

// Empty rasters are not an error and get no write; nor do null vertices or a
// count below one on a real raster.
TEST(ScanConvert, EmptyRasterOrPolygonWritesNothingAndSucceeds) {
  std::vector<unsigned char> bytes(256, 0x33);
  unsigned char* p = bytes.data();
  const double t[] = {-5, -5, 50, 2, 3, 40};  // a triangle over everything
  const struct {
    MaskRaster raster;
    const double* vertices;
    int count;
  } cases[] = {{{nullptr, 5, 5, 5}, t, 3}, {{p, 0, 5, 5}, t, 3},    {{p, 5, 0, 5}, t, 1},
               {{p, 5, -2, 5}, t, 3},      {{p, 8, 5, 4}, t, 3},    {{p, 16, 16, 16}, nullptr, 4},
               {{p, 16, 16, 16}, t, 0},    {{p, 16, 16, 16}, t, -7}};
  for (const auto& c : cases) EXPECT_TRUE(CScanConvert().FillRaster(c.raster, c.vertices, c.count));
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0x33), 256);
}

}  // namespace
