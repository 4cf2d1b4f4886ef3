#include "selection/ScanConvert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <limits>
#include <string>
#include <vector>

#include "TestMask.h"

namespace {

using scan_test::Rows;
using scan_test::TestMask;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct FillCase {
  const char* name;
  int width;
  int height;
  std::vector<double> vertices;       // x, y pairs
  std::vector<std::string> expected;  // top row first; '#' = 255
};

std::string Fill(const FillCase& c, bool* ok = nullptr) {
  TestMask mask(c.width, c.height, 7);  // pixels outside the polygon keep their 7
  CScanConvert converter;
  const bool result = converter.FillRaster(mask.Raster(), c.vertices.data(),
                                           static_cast<int>(c.vertices.size() / 2));
  if (ok) *ok = result;
  EXPECT_TRUE(mask.PaddingIntact());
  return mask.Picture();
}

class FillExamples : public ::testing::TestWithParam<FillCase> {};

TEST_P(FillExamples, ProducesExpectedPicture) {
  const auto& c = GetParam();
  bool ok = false;
  EXPECT_EQ(Fill(c, &ok), Rows(c.expected));
  EXPECT_TRUE(ok);
}

// Hand-worked pictures. Row y is sampled on y + 0.5; span ends are rounded
// (halves away from zero) and clamped one by one. Non-finite and huge
// coordinates follow the same rules without undefined behaviour.
INSTANTIATE_TEST_SUITE_P(
    Shapes, FillExamples,
    ::testing::Values(
        // The wheel's square from (2, 2) to (6, 6): right column in, bottom
        // row out (both side edges end on row 6's centre line).
        FillCase{"Square",
                 8,
                 8,
                 {2, 2.5, 6, 2.5, 6, 6.5, 2, 6.5},
                 {"........", "........", "..#####.", "..#####.", "..#####.", "..#####.",
                  "........", "........"}},
        FillCase{"Triangle",
                 10,
                 10,
                 {1, 1.5, 8, 1.5, 1, 8.5},
                 {"..........", ".########.", ".#######..", ".######...", ".#####....",
                  ".####.....", ".###......", ".##.......", "..........", ".........."}},
        // Flat: one span from the leftmost to the rightmost vertex, clamped,
        // on row round(3.5) = 4.
        FillCase{
            "Flat",
            10,
            6,
            {5.4, 3.5, -3, 3.5, 12.6, 3.5},
            {"..........", "..........", "..........", "..........", "##########", ".........."}},
        FillCase{"WhollyLeft",
                 8,
                 6,
                 {-9, 1.5, -2, 1.5, -2, 4.5, -9, 4.5},
                 {"........", "#.......", "#.......", "#.......", "........", "........"}},
        FillCase{"PastEverySide",
                 8,
                 4,
                 {-5, -5, 20, -5, 20, 20, -5, 20},
                 {"########", "########", "########", "########"}},
        // An edge lying wholly above the image is closed on row 0 without
        // having been opened.
        FillCase{"EdgeAboveImage",
                 8,
                 5,
                 {1, -9, 6, -8, 6, 3.5, 1, 3.5},
                 {".######.", ".######.", ".######.", "........", "........"}},
        FillCase{"Concave",
                 9,
                 8,
                 {1, 1.5, 3, 1.5, 3, 4.5, 5, 4.5, 5, 1.5, 7, 1.5, 7, 6.5, 1, 6.5},
                 {".........", ".###.###.", ".###.###.", ".###.###.", ".#######.", ".#######.",
                  ".........", "........."}},
        // Even-odd on a bow tie crossing itself at (4, 3.5).
        FillCase{"BowTie",
                 9,
                 7,
                 {1, 1.5, 7, 5.5, 7, 1.5, 1, 5.5},
                 {".........", ".#.....#.", ".###..##.", ".#######.", ".###..##.", ".........",
                  "........."}},
        // Two vertices: both edges are the same segment, one pixel per row.
        FillCase{"TwoVertices",
                 7,
                 6,
                 {2, 1.5, 5, 4.5},
                 {".......", "..#....", "...#...", "....#..", ".......", "......."}},
        FillCase{"None", 4, 3, {}, {"....", "....", "...."}},
        // One vertex: its pixel, rounded and clamped.
        FillCase{"OnePoint", 6, 5, {3.5, 2.5}, {"......", "......", "......", "....#.", "......"}},
        FillCase{"OnePointBelowLeft", 6, 3, {-7, 99}, {"......", "......", "#....."}},
        FillCase{"OnePointNaNx", 5, 3, {kNaN, 1.5}, {".....", ".....", "....."}},
        FillCase{"HugeRectangle",
                 5,
                 3,
                 {-1e300, -1e300, 1e300, -1e300, 1e300, 1e300, -1e300, 1e300},
                 {"#####", "#####", "#####"}},
        FillCase{"InfiniteSides",
                 5,
                 6,
                 {-kInf, 2.5, kInf, 2.5, kInf, 4.5, -kInf, 4.5},
                 {".....", ".....", "#####", "#####", ".....", "....."}},
        FillCase{"BeyondIntRange",
                 5,
                 6,
                 {3e9, 1.5, -3e9, 1.5, 0, 4.5},
                 {".....", "#####", "#####", "#####", ".....", "....."}},
        // The NaN vertices' four edges never open; the two vertical edges
        // left fill the rectangle between them.
        FillCase{"NaNVerticesDropTheirEdges",
                 9,
                 8,
                 {2, 2.5, 2, 6.5, 0, kNaN, 6, 6.5, 6, 2.5, 0, kNaN},
                 {".........", ".........", "..#####..", "..#####..", "..#####..", "..#####..",
                  ".........", "........."}},
        // The sloping edge from the NaN vertex has NaN x on every row, so
        // the only span has a NaN end.
        FillCase{"NaNSpanEnd",
                 6,
                 5,
                 {1, 1.5, kNaN, 1.5, 1, 4.5},
                 {"......", "......", "......", "......", "......"}},
        FillCase{"FlatSkipsNaNx",
                 8,
                 4,
                 {kNaN, 2.5, 3, 2.5, 6.4, 2.5},
                 {"........", "........", "........", "...####."}},
        FillCase{"AllNaNy", 6, 3, {1, kNaN, 4, kNaN, 2, kNaN}, {"......", "......", "......"}}),
    [](const auto& tp) { return std::string(tp.param.name); });

// Empty rasters are not an error and get no write; nor do null vertices or a
// count below one on a real raster.
TEST(ScanConvert, EmptyRasterOrPolygonWritesNothingAndSucceeds) {
  const struct {
    bool pixels;
    int width, height, stride;
  } rasters[] = {
      {false, 5, 5, 5}, {true, 0, 5, 5}, {true, 5, 0, 5}, {true, 5, -2, 5}, {true, 8, 5, 4}};
  std::vector<unsigned char> bytes(256, 0x33);
  const double triangle[] = {-5, -5, 50, 2, 3, 40};
  CScanConvert converter;
  for (const auto& r : rasters) {
    const MaskRaster raster{r.pixels ? bytes.data() : nullptr, r.width, r.height, r.stride};
    EXPECT_TRUE(converter.FillRaster(raster, triangle, 3));
    EXPECT_TRUE(converter.FillRaster(raster, triangle, 1));
  }
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0x33), 256);
  TestMask mask(4, 4);
  EXPECT_TRUE(converter.FillRaster(mask.Raster(), nullptr, 4));
  EXPECT_TRUE(converter.FillRaster(mask.Raster(), triangle, 0));
  EXPECT_TRUE(converter.FillRaster(mask.Raster(), triangle, -7));
  EXPECT_EQ(mask.Picture(), Rows({"....", "....", "....", "...."}));
}

}  // namespace
