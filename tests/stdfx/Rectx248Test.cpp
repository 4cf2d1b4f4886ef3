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
  const CRectx248 fixed(FromRaw(1), FromRaw(2), FromRaw(3), FromRaw(4));
  ExpectRaw(fixed, 1, 2, 3, 4);
  ExpectRaw(CRectx248(fixed), 1, 2, 3, 4);

  CRectx248 r;
  const RECT plain{5, 6, 7, 8};
  EXPECT_EQ(&(r = plain), &r);
  ExpectRaw(r, 1280, 1536, 1792, 2048);
  EXPECT_EQ(&(r = stdfx::CRect(1, 1, 2, 2)), &r);
  ExpectRaw(r, 256, 256, 512, 512);
  EXPECT_EQ(&(r = fixed), &r);
  ExpectRaw(r, 1, 2, 3, 4);
  r.SetRect(4, 3, 2, 1);
  ExpectRaw(r, 1024, 768, 512, 256);
  r.SetRect(FromRaw(-9), FromRaw(8), FromRaw(-7), FromRaw(6));
  ExpectRaw(r, -9, 8, -7, 6);
  r.SetRectEmpty();
  ExpectRaw(r, 0, 0, 0, 0);
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

struct EmptyCase {
  QuarterRect r;
  int empty;
};

class Rectx248EmptyTable : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(Rectx248EmptyTable, EmptyWhenLeftReachesRightOrTopReachesBottom) {
  EXPECT_EQ(Make(GetParam().r).IsRectEmpty(), GetParam().empty);
}

INSTANTIATE_TEST_SUITE_P(Values, Rectx248EmptyTable,
                         ::testing::Values(EmptyCase{{0, 0, 1, 1}, 0},   // a quarter square
                                           EmptyCase{{2, 0, 2, 8}, 1},   // right == left
                                           EmptyCase{{0, 3, 8, 3}, 1},   // bottom == top
                                           EmptyCase{{3, 0, 2, 8}, 1},   // inverted
                                           EmptyCase{{0, 5, 8, 4}, 1},
                                           EmptyCase{{-8, -8, -7, -7}, 0}));

struct IntersectCase {
  QuarterRect a, b;
  int result;
  QuarterRect expected;
};

class Rectx248IntersectTable : public ::testing::TestWithParam<IntersectCase> {};

TEST_P(Rectx248IntersectTable, HalfOpenOverlap) {
  const IntersectCase& c = GetParam();
  const QuarterRect& e = c.expected;
  CRectx248 a = Make(c.a), b = Make(c.b);
  CRectx248 out(9, 9, 9, 9);
  EXPECT_EQ(out.IntersectRect(&a, &b), c.result);
  ExpectRaw(out, e.l * 64, e.t * 64, e.r * 64, e.b * 64);
  // The result may be one of the inputs.
  EXPECT_EQ(a.IntersectRect(&a, &b), c.result);
  ExpectRaw(a, e.l * 64, e.t * 64, e.r * 64, e.b * 64);
  a = Make(c.a);
  EXPECT_EQ(b.IntersectRect(&a, &b), c.result);
  ExpectRaw(b, e.l * 64, e.t * 64, e.r * 64, e.b * 64);
}

INSTANTIATE_TEST_SUITE_P(
    Values, Rectx248IntersectTable,
    ::testing::Values(
        // (0, 0, 10, 10) and (10, 0, 20, 10) only touch.
        IntersectCase{{0, 0, 40, 40}, {40, 0, 80, 40}, 0, {0, 0, 0, 0}},
        IntersectCase{{0, 0, 40, 40}, {0, 40, 40, 80}, 0, {0, 0, 0, 0}},
        IntersectCase{{0, 0, 40, 40}, {20, 20, 80, 80}, 1, {20, 20, 40, 40}},
        IntersectCase{{0, 0, 6, 4}, {6, 0, 12, 4}, 0, {0, 0, 0, 0}},  // 1.5 touches 1.5
        IntersectCase{{0, 0, 6, 4}, {5, 3, 12, 4}, 1, {5, 3, 6, 4}},  // a quarter square
        IntersectCase{{-9, -9, 9, 9}, {-1, -2, 3, 4}, 1, {-1, -2, 3, 4}},
        IntersectCase{{0, 0, 0, 8}, {-8, -8, 8, 8}, 0, {0, 0, 0, 0}},  // empty first
        IntersectCase{{5, 0, 2, 8}, {-8, -8, 8, 8}, 0, {0, 0, 0, 0}}));

TEST(Rectx248, IntersectionWithNullInputIsEmpty) {
  CRectx248 r(1, 2, 3, 4);
  EXPECT_EQ(r.IntersectRect(&r, nullptr), 0);
  ExpectRaw(r, 0, 0, 0, 0);
}

using Cells = std::set<std::pair<int, int>>;

// The quarter cells a half-open rectangle covers.
Cells CellsOf(const QuarterRect& r) {
  Cells cells;
  for (int x = r.l; x < r.r; ++x)
    for (int y = r.t; y < r.b; ++y) cells.insert({x, y});
  return cells;
}

TEST(Rectx248, IntersectionMatchesTheCommonCellsOfRandomRectangles) {
  std::mt19937 rng(248);
  std::uniform_int_distribution<int> coord(-5, 5);
  for (int i = 0; i < 5000; ++i) {
    const QuarterRect qa{coord(rng), coord(rng), coord(rng), coord(rng)};
    const QuarterRect qb{coord(rng), coord(rng), coord(rng), coord(rng)};
    Cells common;
    const Cells ca = CellsOf(qa), cb = CellsOf(qb);
    for (const auto& cell : ca)
      if (cb.count(cell)) common.insert(cell);
    CRectx248 a = Make(qa), b = Make(qb), out(7, 7, 7, 7);
    ASSERT_EQ(out.IntersectRect(&a, &b), common.empty() ? 0 : 1);
    if (common.empty()) {
      ExpectRaw(out, 0, 0, 0, 0);
    } else {
      const QuarterRect got{Raw(out.left) / 64, Raw(out.top) / 64, Raw(out.right) / 64,
                            Raw(out.bottom) / 64};
      ASSERT_EQ(CellsOf(got), common);
    }
  }
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

TEST(Pointx248, ConstructsAndAssignsBothCoordinates) {
  const CPointx248 zero;
  EXPECT_EQ(Raw(zero.x), 0);
  EXPECT_EQ(Raw(zero.y), 0);
  const CPointx248 ints(3, -4);
  EXPECT_EQ(Raw(ints.x), 768);
  EXPECT_EQ(Raw(ints.y), -1024);
  const CPointx248 fixed(FromRaw(5), FromRaw(-6));
  EXPECT_EQ(Raw(fixed.x), 5);
  EXPECT_EQ(Raw(fixed.y), -6);
  const CPointx248 copy(fixed);
  EXPECT_EQ(Raw(copy.x), 5);
  EXPECT_EQ(Raw(copy.y), -6);
  CPointx248 p;
  EXPECT_EQ(&(p = ints), &p);
  EXPECT_EQ(Raw(p.x), 768);
  EXPECT_EQ(Raw(p.y), -1024);
  p.Assign(FromRaw(1), FromRaw(2));
  EXPECT_EQ(Raw(p.x), 1);
  EXPECT_EQ(Raw(p.y), 2);
  p.Assign(1 << 23, -1);  // integer coordinates shift and wrap
  EXPECT_EQ(Raw(p.x), INT32_MIN);
  EXPECT_EQ(Raw(p.y), -256);
}

}  // namespace
