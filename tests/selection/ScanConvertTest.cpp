#include "selection/ScanConvert.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
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
  std::vector<double> vertices;  // x, y pairs
  std::vector<std::string> expected;  // top row first; '#' = 255
};

std::string Fill(const FillCase& c, bool* ok = nullptr) {
  TestMask mask(c.width, c.height);
  CScanConvert converter;
  const bool result =
      converter.FillRaster(mask.Raster(), c.vertices.data(), static_cast<int>(c.vertices.size() / 2));
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
// (halves away from zero) and clamped one by one.
INSTANTIATE_TEST_SUITE_P(
    Shapes, FillExamples,
    ::testing::Values(
        // The wheel's square from (2, 2) to (6, 6): right column in, bottom
        // row out (both side edges end on row 6's centre line).
        FillCase{"Square", 8, 8, {2, 2.5, 6, 2.5, 6, 6.5, 2, 6.5},
                 {"........", "........", "..#####.", "..#####.", "..#####.", "..#####.",
                  "........", "........"}},
        FillCase{"Triangle", 10, 10, {1, 1.5, 8, 1.5, 1, 8.5},
                 {"..........", ".########.", ".#######..", ".######...", ".#####....",
                  ".####.....", ".###......", ".##.......", "..........", ".........."}},
        // Flat: one span from the leftmost to the rightmost vertex, clamped,
        // on row round(3.5) = 4.
        FillCase{"Flat", 10, 6, {5.4, 3.5, -3, 3.5, 12.6, 3.5},
                 {"..........", "..........", "..........", "..........", "##########",
                  ".........."}},
        FillCase{"WhollyLeft", 8, 6, {-9, 1.5, -2, 1.5, -2, 4.5, -9, 4.5},
                 {"........", "#.......", "#.......", "#.......", "........", "........"}},
        FillCase{"WhollyRight", 8, 6, {12, 1.5, 30, 1.5, 30, 4.5, 12, 4.5},
                 {"........", ".......#", ".......#", ".......#", "........", "........"}},
        FillCase{"PastBottom", 8, 8, {2, 5.5, 5, 5.5, 5, 50, 2, 50},
                 {"........", "........", "........", "........", "........", "..####..",
                  "..####..", "..####.."}},
        FillCase{"PastTop", 8, 5, {2, -30, 5, -30, 5, 2.5, 2, 2.5},
                 {"..####..", "..####..", "........", "........", "........"}},
        FillCase{"PastEverySide", 8, 4, {-5, -5, 20, -5, 20, 20, -5, 20},
                 {"########", "########", "########", "########"}},
        // An edge lying wholly above the image is closed on row 0 without
        // having been opened.
        FillCase{"EdgeAboveImage", 8, 5, {1, -9, 6, -8, 6, 3.5, 1, 3.5},
                 {".######.", ".######.", ".######.", "........", "........"}},
        // x = 1.5 and 4.5 round outward to columns 2 and 5.
        FillCase{"HalfColumns", 7, 4, {1.5, 0.5, 4.5, 0.5, 4.5, 2.5, 1.5, 2.5},
                 {"..####.", "..####.", ".......", "......."}},
        FillCase{"Concave", 9, 8, {1, 1.5, 3, 1.5, 3, 4.5, 5, 4.5, 5, 1.5, 7, 1.5, 7, 6.5, 1, 6.5},
                 {".........", ".###.###.", ".###.###.", ".###.###.", ".#######.", ".#######.",
                  ".........", "........."}},
        // Even-odd on a bow tie crossing itself at (4, 3.5).
        FillCase{"BowTie", 9, 7, {1, 1.5, 7, 5.5, 7, 1.5, 1, 5.5},
                 {".........", ".#.....#.", ".###..##.", ".#######.", ".###..##.", ".........",
                  "........."}},
        // Two vertices: both edges are the same segment, one pixel per row.
        FillCase{"TwoVertices", 7, 6, {2, 1.5, 5, 4.5},
                 {".......", "..#....", "...#...", "....#..", ".......", "......."}},
        FillCase{"None", 4, 3, {}, {"....", "....", "...."}},
        // One vertex: its pixel, rounded and clamped.
        FillCase{"OnePoint", 6, 5, {3.5, 2.5}, {"......", "......", "......", "....#.", "......"}},
        FillCase{"OnePointBelowLeft", 6, 3, {-7, 99}, {"......", "......", "#....."}},
        FillCase{"OnePointAboveRight", 6, 3, {100, -100}, {".....#", "......", "......"}}),
    [](const auto& tp) { return std::string(tp.param.name); });

// Non-finite and huge coordinates: no undefined behaviour, and the outcome
// follows the rules in the class comment.
INSTANTIATE_TEST_SUITE_P(
    BadInput, FillExamples,
    ::testing::Values(
        FillCase{"OnePointNaNx", 5, 3, {kNaN, 1.5}, {".....", ".....", "....."}},
        FillCase{"OnePointNaNy", 5, 3, {2, kNaN}, {".....", ".....", "....."}},
        FillCase{"OnePointInfinite", 5, 3, {kInf, -kInf}, {"....#", ".....", "....."}},
        FillCase{"OnePointHuge", 5, 3, {1e300, 3e9}, {".....", ".....", "....#"}},
        FillCase{"HugeRectangle", 5, 3, {-1e300, -1e300, 1e300, -1e300, 1e300, 1e300, -1e300, 1e300},
                 {"#####", "#####", "#####"}},
        FillCase{"LargestRectangle", 5, 3,
                 {-DBL_MAX, -DBL_MAX, DBL_MAX, -DBL_MAX, DBL_MAX, DBL_MAX, -DBL_MAX, DBL_MAX},
                 {"#####", "#####", "#####"}},
        FillCase{"InfiniteSides", 5, 6, {-kInf, 2.5, kInf, 2.5, kInf, 4.5, -kInf, 4.5},
                 {".....", ".....", "#####", "#####", ".....", "....."}},
        FillCase{"InfiniteColumn", 5, 3, {2, -kInf, 3, -kInf, 3, kInf, 2, kInf},
                 {"..##.", "..##.", "..##."}},
        FillCase{"BeyondIntRange", 5, 6, {3e9, 1.5, -3e9, 1.5, 0, 4.5},
                 {".....", "#####", "#####", "#####", ".....", "....."}},
        // The NaN vertices' four edges never open; the two vertical edges
        // left fill the rectangle between them.
        FillCase{"NaNVerticesDropTheirEdges", 9, 8,
                 {2, 2.5, 2, 6.5, 0, kNaN, 6, 6.5, 6, 2.5, 0, kNaN},
                 {".........", ".........", "..#####..", "..#####..", "..#####..", "..#####..",
                  ".........", "........."}},
        // The sloping edge from the NaN vertex has NaN x on every row, so
        // the only span has a NaN end.
        FillCase{"NaNSpanEnd", 6, 5, {1, 1.5, kNaN, 1.5, 1, 4.5},
                 {"......", "......", "......", "......", "......"}},
        // A lone edge whose partner touches a NaN-y vertex draws nothing.
        FillCase{"UnpairedEdge", 6, 5, {2, 0.5, 2, 3.5, 4, kNaN},
                 {"......", "......", "......", "......", "......"}},
        FillCase{"FlatSkipsNaNx", 8, 4, {kNaN, 2.5, 3, 2.5, 6.4, 2.5},
                 {"........", "........", "........", "...####."}},
        FillCase{"FlatAllNaNx", 4, 3, {kNaN, 1, kNaN, 1}, {"....", "....", "...."}},
        FillCase{"FlatInfiniteY", 6, 3, {1, kInf, 4, kInf}, {"......", "......", ".####."}},
        FillCase{"AllNaNy", 6, 3, {1, kNaN, 4, kNaN, 2, kNaN}, {"......", "......", "......"}}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(ScanConvert, RowsAreStoredBottomUp) {
  TestMask mask(3, 4);
  CScanConvert converter;
  const double top[] = {0, 0.2};
  ASSERT_TRUE(converter.FillRaster(mask.Raster(), top, 1));
  // Picture row 0 is the last memory row.
  const auto& bytes = mask.Bytes();
  EXPECT_EQ(bytes[static_cast<std::size_t>(3 * mask.Stride())], 255);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 255), 1);
}

TEST(ScanConvert, LeavesOtherPixelsAsTheyWere) {
  TestMask mask(8, 8, 7);
  CScanConvert converter;
  const double square[] = {2, 2.5, 6, 2.5, 6, 6.5, 2, 6.5};
  ASSERT_TRUE(converter.FillRaster(mask.Raster(), square, 4));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x <= 6 && y >= 2 && y <= 5;
      EXPECT_EQ(mask.At(x, y), inside ? 255 : 7) << x << "," << y;
    }
  EXPECT_TRUE(mask.PaddingIntact());
}

struct EmptyRasterCase {
  const char* name;
  bool pixels;
  int width;
  int height;
  int stride;
};

class EmptyRaster : public ::testing::TestWithParam<EmptyRasterCase> {};

TEST_P(EmptyRaster, WritesNothingAndSucceeds) {
  const auto& c = GetParam();
  std::vector<unsigned char> bytes(256, 0x33);
  const MaskRaster raster{c.pixels ? bytes.data() : nullptr, c.width, c.height, c.stride};
  const double triangle[] = {-5, -5, 50, 2, 3, 40};
  CScanConvert converter;
  EXPECT_TRUE(converter.FillRaster(raster, triangle, 3));
  EXPECT_TRUE(converter.FillRaster(raster, triangle, 1));
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0x33), 256);
}

INSTANTIATE_TEST_SUITE_P(Rasters, EmptyRaster,
                         ::testing::Values(EmptyRasterCase{"NoPixels", false, 5, 5, 5},
                                           EmptyRasterCase{"ZeroWidth", true, 0, 5, 5},
                                           EmptyRasterCase{"ZeroHeight", true, 5, 0, 5},
                                           EmptyRasterCase{"NegativeWidth", true, -3, 5, 5},
                                           EmptyRasterCase{"NegativeHeight", true, 5, -2, 5},
                                           EmptyRasterCase{"StrideBelowWidth", true, 8, 5, 4}),
                         [](const auto& tp) { return std::string(tp.param.name); });

TEST(ScanConvert, NullVerticesOrNoCountWriteNothing) {
  TestMask mask(4, 4);
  CScanConvert converter;
  const double square[] = {-9, -9, 9, -9, 9, 9, -9, 9};
  EXPECT_TRUE(converter.FillRaster(mask.Raster(), nullptr, 4));
  EXPECT_TRUE(converter.FillRaster(mask.Raster(), square, 0));
  EXPECT_TRUE(converter.FillRaster(mask.Raster(), square, -7));
  EXPECT_EQ(mask.Picture(), Rows({"....", "....", "....", "...."}));
}

// Records every call of the two list operations during real fills and checks
// each against the rule it must follow.
class RecordingConverter : public CScanConvert {
 public:
  struct Call {
    char op;  // 'I' insert, 'R' remove
    int edge;
    int row;  // inserts only
    int countBefore;
    int countAfter;
  };

  explicit RecordingConverter(const std::vector<double>& vertices) : m_vertices(vertices) {}

  void InsertActiveEdge(int edge, int y, int n, int& activeCount) override {
    const std::vector<ActiveEdge> before(m_active, m_active + activeCount);
    const int countBefore = activeCount;
    CScanConvert::InsertActiveEdge(edge, y, n, activeCount);
    calls.push_back({'I', edge, y, countBefore, activeCount});
    EXPECT_EQ(activeCount, countBefore + 1);
    // Entries already there stay as they were; the new one is appended.
    if (!before.empty()) {
      EXPECT_EQ(std::memcmp(before.data(), m_active, before.size() * sizeof(ActiveEdge)), 0);
    }
    const ActiveEdge& added = m_active[activeCount - 1];
    EXPECT_EQ(added.edge, edge);
    // Independent form: the line through both ends evaluated at the centre
    // line, from whichever end is higher, in extended precision.
    const int next = (edge + 1) % n;
    long double ax = m_vertices[2 * edge], ay = m_vertices[2 * edge + 1];
    long double bx = m_vertices[2 * next], by = m_vertices[2 * next + 1];
    if (by < ay) {
      std::swap(ax, bx);
      std::swap(ay, by);
    }
    const long double slope = (bx - ax) / (by - ay);
    const long double x = ax + (y + 0.5L - ay) * slope;
    EXPECT_NEAR(static_cast<double>(added.dx), static_cast<double>(slope), 1e-12);
    EXPECT_NEAR(added.x, static_cast<double>(x), 1e-9) << "edge " << edge << " row " << y;
  }

  void RemoveActiveEdge(int edge, int& activeCount) override {
    const std::vector<ActiveEdge> before(m_active, m_active + activeCount);
    const int countBefore = activeCount;
    CScanConvert::RemoveActiveEdge(edge, activeCount);
    calls.push_back({'R', edge, -1, countBefore, activeCount});
    std::vector<ActiveEdge> expected = before;
    for (std::size_t j = 0; j < expected.size(); ++j)
      if (expected[j].edge == edge) {
        expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(j));
        break;
      }
    ASSERT_EQ(activeCount, static_cast<int>(expected.size()));
    if (!expected.empty()) {
      EXPECT_EQ(std::memcmp(expected.data(), m_active, expected.size() * sizeof(ActiveEdge)), 0);
    }
  }

  std::vector<Call> calls;

 private:
  std::vector<double> m_vertices;
};

TEST(ScanConvertEdges, SquareOpensBothSidesAndClosesThemBeforeTheLastRow) {
  const std::vector<double> square = {2, 2.5, 6, 2.5, 6, 6.5, 2, 6.5};
  TestMask mask(8, 8);
  RecordingConverter converter(square);
  ASSERT_TRUE(converter.FillRaster(mask.Raster(), square.data(), 4));
  // Row 2 reaches vertices 0 and 1 (equal y, taken in index order): the left
  // side (edge 3) and the right side (edge 1) open. Row 6 reaches vertices 2
  // and 3 and both sides close before row 6 is drawn.
  ASSERT_EQ(converter.calls.size(), 4u);
  const char ops[] = {'I', 'I', 'R', 'R'};
  const int edges[] = {3, 1, 1, 3};
  const int counts[] = {1, 2, 1, 0};
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(converter.calls[j].op, ops[j]) << j;
    EXPECT_EQ(converter.calls[j].edge, edges[j]) << j;
    EXPECT_EQ(converter.calls[j].countAfter, counts[j]) << j;
  }
  EXPECT_EQ(converter.calls[0].row, 2);
  EXPECT_EQ(converter.calls[1].row, 2);
}

TEST(ScanConvertEdges, EdgeEndingAboveTheImageIsRemovedWithoutEffect) {
  const std::vector<double> quad = {1, -9, 6, -8, 6, 3.5, 1, 3.5};
  TestMask mask(8, 5);
  RecordingConverter converter(quad);
  ASSERT_TRUE(converter.FillRaster(mask.Raster(), quad.data(), 4));
  int removalsOfEdge0 = 0;
  for (const auto& call : converter.calls)
    if (call.op == 'R' && call.edge == 0) {
      ++removalsOfEdge0;
      EXPECT_EQ(call.countAfter, call.countBefore);
    }
  EXPECT_EQ(removalsOfEdge0, 2);  // once from each of its ends, both on row 0
}

TEST(ScanConvertEdges, InsertsMatchTheLineOnRandomPolygons) {
  // The checks live in RecordingConverter; here polygons with sloping edges
  // of every direction, many starting above row 0.
  std::uint32_t state = 12345;
  const auto next = [&state](double lo, double hi) {
    state = state * 1664525u + 1013904223u;
    return lo + (hi - lo) * (state >> 8) / double(1u << 24);
  };
  int inserts = 0;
  for (int trial = 0; trial < 50; ++trial) {
    std::vector<double> v;
    const int n = 3 + trial % 9;
    for (int i = 0; i < n; ++i) {
      v.push_back(next(-10, 40));
      v.push_back(next(-10, 30));
    }
    TestMask mask(32, 24);
    RecordingConverter converter(v);
    ASSERT_TRUE(converter.FillRaster(mask.Raster(), v.data(), n));
    for (const auto& call : converter.calls) inserts += call.op == 'I';
  }
  EXPECT_GT(inserts, 200);
}

// Loads a list directly to drive RemoveActiveEdge on its own.
class ListConverter : public CScanConvert {
 public:
  explicit ListConverter(const std::vector<int>& edges) {
    m_capacity = static_cast<int>(edges.size()) + 1;
    m_active = new ActiveEdge[static_cast<std::size_t>(m_capacity)];
    for (std::size_t j = 0; j < edges.size(); ++j)
      m_active[j] = ActiveEdge{10.0 * double(j), double(j), edges[j]};
  }
  std::vector<std::pair<int, double>> List(int count) const {
    std::vector<std::pair<int, double>> out;
    for (int j = 0; j < count; ++j) out.emplace_back(m_active[j].edge, m_active[j].x);
    return out;
  }
};

struct RemoveCase {
  const char* name;
  std::vector<int> edges;
  int count;
  int remove;
  std::vector<std::pair<int, double>> expected;  // (edge, x) after
};

class RemoveActiveEdgeTable : public ::testing::TestWithParam<RemoveCase> {};

TEST_P(RemoveActiveEdgeTable, RemovesFirstMatchAndClosesTheGap) {
  const auto& c = GetParam();
  ListConverter list(c.edges);
  int count = c.count;
  list.RemoveActiveEdge(c.remove, count);
  EXPECT_EQ(count, static_cast<int>(c.expected.size()));
  EXPECT_EQ(list.List(count), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, RemoveActiveEdgeTable,
    ::testing::Values(
        RemoveCase{"First", {3, 7, 3, 9}, 4, 3, {{7, 10}, {3, 20}, {9, 30}}},
        RemoveCase{"Middle", {3, 7, 3, 9}, 4, 7, {{3, 0}, {3, 20}, {9, 30}}},
        RemoveCase{"Last", {3, 7, 3, 9}, 4, 9, {{3, 0}, {7, 10}, {3, 20}}},
        RemoveCase{"Absent", {3, 7, 3, 9}, 4, 5, {{3, 0}, {7, 10}, {3, 20}, {9, 30}}},
        RemoveCase{"BeyondCount", {3, 7, 3, 9}, 2, 9, {{3, 0}, {7, 10}}},
        RemoveCase{"Empty", {}, 0, 0, {}}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(ScanConvertEdges, InsertOutsideAFillDoesNothing) {
  ListConverter list({1, 2});
  int count = 2;
  list.InsertActiveEdge(0, 3, 4, count);
  EXPECT_EQ(count, 2);
}

// Starts a second fill from inside the first one.
class NestingConverter : public CScanConvert {
 public:
  void InsertActiveEdge(int edge, int y, int n, int& activeCount) override {
    CScanConvert::InsertActiveEdge(edge, y, n, activeCount);
    if (m_nested) return;
    m_nested = true;
    TestMask inner(4, 4);
    const double triangle[] = {0, 0, 4, 4, 0, 4};
    CScanConvert other;
    other.FillRaster(inner.Raster(), triangle, 3);
  }

 private:
  bool m_nested = false;
};

TEST(ScanConvertDeathTest, NestedFillIsCaughtInDebugBuilds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TestMask mask(8, 8);
  const double square[] = {2, 2.5, 6, 2.5, 6, 6.5, 2, 6.5};
  NestingConverter converter;
  EXPECT_DEBUG_DEATH(converter.FillRaster(mask.Raster(), square, 4), "must not nest");
#ifdef NDEBUG
  // Release builds carry on; the outer fill keeps its own vertices.
  EXPECT_EQ(mask.Picture(), Rows({"........", "........", "..#####.", "..#####.", "..#####.",
                                  "..#####.", "........", "........"}));
#endif
}

}  // namespace
