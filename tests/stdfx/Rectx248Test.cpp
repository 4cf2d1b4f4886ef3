#include "stdfx/Rectx248.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <utility>

#include "FixedTestUtil.h"
#include "stdfx/Pointx248.h"
#include "stdfx/Rect.h"

namespace {

using fixedtest::FromRaw;
using fixedtest::Raw;
using stdfx::CFixedx248;
using stdfx::CPointx248;
using stdfx::CRectx248;

// Coordinates in quarters, so that fractions are exercised.
struct QuarterRect {
  int l, t, r, b;
};

CRectx248 Make(const QuarterRect& q) {
  return CRectx248(FromRaw(q.l * 64), FromRaw(q.t * 64), FromRaw(q.r * 64), FromRaw(q.b * 64));
}

void ExpectRaw(const CRectx248& r, std::int32_t l, std::int32_t t, std::int32_t rt,
               std::int32_t b) {
  EXPECT_EQ(Raw(r.left), l);
  EXPECT_EQ(Raw(r.top), t);
  EXPECT_EQ(Raw(r.right), rt);
  EXPECT_EQ(Raw(r.bottom), b);
}

TEST(Rectx248, ConstructsAndSetsFromIntegersAndRectangles) {
  ExpectRaw(CRectx248(), 0, 0, 0, 0);
  ExpectRaw(CRectx248(1, -2, 3, 4), 256, -512, 768, 1024);
  ExpectRaw(CRectx248(RECT{1, 2, 3, 1 << 23}), 256, 512, 768, INT32_MIN);  // wraps
  ExpectRaw(CRectx248(stdfx::CRect(-1, -2, -3, -4)), -256, -512, -768, -1024);
  CRectx248 r;
  EXPECT_EQ(&(r = RECT{5, 6, 7, 8}), &r);
  ExpectRaw(r, 1280, 1536, 1792, 2048);
  r.SetRect(FromRaw(-9), FromRaw(8), FromRaw(-7), FromRaw(6));
  ExpectRaw(r, -9, 8, -7, 6);
  EXPECT_EQ(&(r = stdfx::CRect(1, 1, 2, 2)), &r);
  ExpectRaw(r, 256, 256, 512, 512);
}

TEST(Rectx248, OffsetsByIntegersNumbersAndPoints) {
  CRectx248 r(FromRaw(1), FromRaw(2), FromRaw(3), FromRaw(4));
  r.OffsetRect(1, -1);
  ExpectRaw(r, 257, -254, 259, -252);
  r.OffsetRect(FromRaw(-1), FromRaw(10));
  ExpectRaw(r, 256, -244, 258, -242);
  r.OffsetRect(CPointx248(FromRaw(INT32_MAX), FromRaw(0)));  // 32-bit wrap
  ExpectRaw(r, INT32_MIN + 255, -244, INT32_MIN + 257, -242);
}

using Cells = std::set<std::pair<int, int>>;

// The quarter cells a half-open rectangle covers.
Cells CellsOf(const QuarterRect& r) {
  Cells cells;
  for (int x = r.l; x < r.r; ++x)
    for (int y = r.t; y < r.b; ++y) cells.insert({x, y});
  return cells;
}

// Emptiness and intersection against the quarter cells the rectangles cover,
// with the result also written into each of its own inputs.
TEST(Rectx248, EmptinessAndIntersectionMatchTheCoveredCellsOfRandomRectangles) {
  std::mt19937 rng(248);
  std::uniform_int_distribution<int> coord(-5, 5);
  for (int i = 0; i < 2000; ++i) {
    const QuarterRect qa{coord(rng), coord(rng), coord(rng), coord(rng)};
    const QuarterRect qb{coord(rng), coord(rng), coord(rng), coord(rng)};
    const Cells ca = CellsOf(qa), cb = CellsOf(qb);
    ASSERT_EQ(Make(qa).IsRectEmpty(), ca.empty() ? 1 : 0);
    Cells common;
    for (const auto& cell : ca)
      if (cb.count(cell)) common.insert(cell);
    CRectx248 a = Make(qa), b = Make(qb);
    CRectx248 out(7, 7, 7, 7), intoA = a, intoB = b;
    const int want = common.empty() ? 0 : 1;
    ASSERT_EQ(out.IntersectRect(&a, &b), want);
    ASSERT_EQ(intoA.IntersectRect(&intoA, &b), want);
    ASSERT_EQ(intoB.IntersectRect(&a, &intoB), want);
    const QuarterRect got{Raw(out.left) / 64, Raw(out.top) / 64, Raw(out.right) / 64,
                          Raw(out.bottom) / 64};
    if (common.empty()) {
      ExpectRaw(out, 0, 0, 0, 0);
    } else {
      ASSERT_EQ(CellsOf(got), common);
    }
    ExpectRaw(intoA, Raw(out.left), Raw(out.top), Raw(out.right), Raw(out.bottom));
    ExpectRaw(intoB, Raw(out.left), Raw(out.top), Raw(out.right), Raw(out.bottom));
  }
  CRectx248 r(1, 2, 3, 4);
  EXPECT_EQ(r.IntersectRect(&r, nullptr), 0);
  ExpectRaw(r, 0, 0, 0, 0);
}

struct CeilCase {
  double l, t, r, b;
  int el, et, er, eb;
};

class CeilRectTable : public ::testing::TestWithParam<CeilCase> {};

TEST_P(CeilRectTable, RoundsEverySideAwayFromZero) {
  const CeilCase& c = GetParam();
  const CRectx248 src(CFixedx248(c.l), CFixedx248(c.t), CFixedx248(c.r), CFixedx248(c.b));
  CRectx248 out(9, 9, 9, 9);
  out.CeilRect(src);
  ExpectRaw(out, c.el * 256, c.et * 256, c.er * 256, c.eb * 256);
  CRectx248 self = src;
  self.CeilRect(self);
  ExpectRaw(self, c.el * 256, c.et * 256, c.er * 256, c.eb * 256);
}

INSTANTIATE_TEST_SUITE_P(Values, CeilRectTable,
                         ::testing::Values(CeilCase{-1.5, -0.5, 1.5, 2.25, -2, -1, 2, 3},
                                           CeilCase{-2.0, 0.0, 2.0, 0.00390625, -2, 0, 2, 1},
                                           CeilCase{-0.00390625, 7.75, -7.75, 1.0, -1, 8, -8, 1}));

TEST(Pointx248, AssignsBothCoordinatesAndIntegersShiftAndWrap) {
  CPointx248 p(3, -4);
  EXPECT_EQ(Raw(p.x), 768);
  EXPECT_EQ(Raw(p.y), -1024);
  p.Assign(FromRaw(1), FromRaw(2));
  EXPECT_EQ(Raw(p.x), 1);
  EXPECT_EQ(Raw(p.y), 2);
  p.Assign(1 << 23, -1);
  EXPECT_EQ(Raw(p.x), INT32_MIN);
  EXPECT_EQ(Raw(p.y), -256);
}

}  // namespace
