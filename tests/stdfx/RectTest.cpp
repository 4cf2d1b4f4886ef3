#include "stdfx/Rect.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <utility>

#include "stdfx/Point.h"

namespace {

using stdfx::CPoint;
using stdfx::CRect;

constexpr int kMin = INT32_MIN;
constexpr int kMax = INT32_MAX;

void ExpectRect(const RECT& r, int l, int t, int rt, int b) {
  EXPECT_EQ(r.left, l);
  EXPECT_EQ(r.top, t);
  EXPECT_EQ(r.right, rt);
  EXPECT_EQ(r.bottom, b);
}

TEST(Rect, IsTheWindowsRectRecord) {
  CRect r(1, 2, 3, 4);
  LPRECT p = r;
  LPCRECT cp = static_cast<const CRect&>(r);
  EXPECT_EQ(static_cast<void*>(p), static_cast<void*>(&r));
  EXPECT_EQ(static_cast<const void*>(cp), static_cast<const void*>(&r));
  p->right = 30;
  EXPECT_EQ(r.right, 30);
  const RECT plain{5, 6, 7, 8};
  ExpectRect(CRect(plain), 5, 6, 7, 8);
  ExpectRect(CRect(&plain), 5, 6, 7, 8);
  ExpectRect(CRect(static_cast<LPCRECT>(nullptr)), 0, 0, 0, 0);
  ExpectRect(CRect(POINT{1, 2}, POINT{3, 4}), 1, 2, 3, 4);
  ExpectRect(CRect(), 0, 0, 0, 0);
  CRect a;
  a = plain;  // the RECT form returns nothing
  ExpectRect(a, 5, 6, 7, 8);
  CRect b;
  EXPECT_EQ(&(b = r), &b);
  ExpectRect(b, 1, 2, 30, 4);
  b.SetRect(-1, -2, -3, -4);
  ExpectRect(b, -1, -2, -3, -4);
}

struct EmptyCase {
  RECT r;
  int empty, null;
};

class RectEmptyTable : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(RectEmptyTable, EmptyMeansNoPositiveWidthOrHeight) {
  const CRect r(GetParam().r);
  EXPECT_EQ(r.IsRectEmpty(), GetParam().empty);
  EXPECT_EQ(r.IsRectNull(), GetParam().null);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RectEmptyTable,
    ::testing::Values(EmptyCase{{0, 0, 10, 10}, 0, 0}, EmptyCase{{0, 0, 1, 1}, 0, 0},
                      EmptyCase{{0, 0, 0, 10}, 1, 0},   // right == left
                      EmptyCase{{0, 0, 10, 0}, 1, 0},   // bottom == top
                      EmptyCase{{5, 0, 4, 10}, 1, 0},   // inverted
                      EmptyCase{{0, 0, 0, 0}, 1, 1},
                      EmptyCase{{0, 0, 0, 1}, 1, 0},
                      EmptyCase{{-5, -5, -4, -4}, 0, 0},
                      // Differences are taken in 32 bits: these wrap.
                      EmptyCase{{kMin, 0, kMax, 10}, 1, 0},
                      EmptyCase{{kMax, 0, kMin, 10}, 0, 0}));

TEST(Rect, WidthHeightOffsetAndEqualityWrapInThirtyTwoBits) {
  CRect r(kMin, 10, kMax, 3);
  EXPECT_EQ(r.Width(), -1);
  EXPECT_EQ(r.Height(), -7);
  r.OffsetRect(1, -3);
  ExpectRect(r, kMin + 1, 7, kMin, 0);
  r.SetRectEmpty();
  ExpectRect(r, 0, 0, 0, 0);

  const CRect a(1, 2, 3, 4);
  const RECT same{1, 2, 3, 4};
  for (const RECT& other : {RECT{0, 2, 3, 4}, RECT{1, 0, 3, 4}, RECT{1, 2, 0, 4},
                            RECT{1, 2, 3, 0}}) {
    EXPECT_EQ(a == other, 0);
    EXPECT_EQ(a != other, 1);
    EXPECT_EQ(a.EqualRect(&other), 0);
  }
  EXPECT_EQ(a == same, 1);
  EXPECT_EQ(a != same, 0);
  EXPECT_EQ(a.EqualRect(&same), 1);
  EXPECT_EQ(a.EqualRect(nullptr), 0);
}

struct IntersectCase {
  RECT a, b;
  int result;
  RECT expected;
};

class RectIntersectTable : public ::testing::TestWithParam<IntersectCase> {};

TEST_P(RectIntersectTable, HalfOpenOverlap) {
  const IntersectCase& c = GetParam();
  CRect out(9, 9, 9, 9);
  EXPECT_EQ(out.IntersectRect(&c.a, &c.b), c.result);
  EXPECT_EQ(out == c.expected, 1);
  // The result may be written into either input.
  CRect a(c.a);
  EXPECT_EQ(a.IntersectRect(a, &c.b), c.result);
  EXPECT_EQ(a == c.expected, 1);
  CRect b(c.b);
  EXPECT_EQ(b.IntersectRect(&c.a, b), c.result);
  EXPECT_EQ(b == c.expected, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RectIntersectTable,
    ::testing::Values(
        IntersectCase{{0, 0, 10, 10}, {10, 0, 20, 10}, 0, {0, 0, 0, 0}},  // touching sides
        IntersectCase{{0, 0, 10, 10}, {0, 10, 10, 20}, 0, {0, 0, 0, 0}},  // touching top/bottom
        IntersectCase{{0, 0, 10, 10}, {5, 5, 20, 20}, 1, {5, 5, 10, 10}},
        IntersectCase{{5, 5, 20, 20}, {0, 0, 10, 10}, 1, {5, 5, 10, 10}},
        IntersectCase{{0, 0, 10, 10}, {2, 3, 4, 5}, 1, {2, 3, 4, 5}},  // nested
        IntersectCase{{0, 0, 10, 10}, {9, 9, 11, 11}, 1, {9, 9, 10, 10}},
        IntersectCase{{0, 0, 0, 10}, {-5, -5, 20, 20}, 0, {0, 0, 0, 0}},  // empty first
        IntersectCase{{-5, -5, 20, 20}, {3, 3, 3, 4}, 0, {0, 0, 0, 0}},   // empty second
        IntersectCase{{0, 0, 10, 10}, {20, 20, 30, 30}, 0, {0, 0, 0, 0}}));

TEST(Rect, IntersectionOfARectangleWithItselfAndWithNull) {
  CRect r(1, 2, 3, 4);
  EXPECT_EQ(r.IntersectRect(r, r), 1);
  ExpectRect(r, 1, 2, 3, 4);
  EXPECT_EQ(r.IntersectRect(nullptr, r), 0);
  ExpectRect(r, 0, 0, 0, 0);
}

using Cells = std::set<std::pair<int, int>>;

// The unit cells a half-open rectangle covers.
Cells CellsOf(const RECT& r) {
  Cells cells;
  for (int x = r.left; x < r.right; ++x)
    for (int y = r.top; y < r.bottom; ++y) cells.insert({x, y});
  return cells;
}

TEST(Rect, IntersectionMatchesTheCommonCellsOfRandomRectangles) {
  std::mt19937 rng(16);
  std::uniform_int_distribution<int> coord(-4, 4);
  for (int i = 0; i < 5000; ++i) {
    const RECT a{coord(rng), coord(rng), coord(rng), coord(rng)};
    const RECT b{coord(rng), coord(rng), coord(rng), coord(rng)};
    Cells common;
    const Cells ca = CellsOf(a), cb = CellsOf(b);
    for (const auto& cell : ca)
      if (cb.count(cell)) common.insert(cell);
    CRect out(7, 7, 7, 7);
    const int result = out.IntersectRect(&a, &b);
    ASSERT_EQ(result, common.empty() ? 0 : 1);
    if (common.empty()) {
      ASSERT_EQ(out.IsRectNull(), 1);
    } else {
      ASSERT_EQ(CellsOf(out), common);
    }
  }
}

TEST(Point, IsTheWindowsPointRecordAndWrapsInThirtyTwoBits) {
  CPoint p(3, -4);
  EXPECT_EQ(static_cast<void*>(static_cast<POINT*>(&p)), static_cast<void*>(&p));
  EXPECT_EQ((CPoint(POINT{5, 6}) == POINT{5, 6}), 1);
  EXPECT_EQ((CPoint() == POINT{0, 0}), 1);
  p.Offset(1, 2);
  EXPECT_EQ((p == POINT{4, -2}), 1);
  p.Offset(POINT{-4, 2});
  EXPECT_EQ((p == POINT{0, 0}), 1);
  p += POINT{kMax, 1};
  p += POINT{1, 0};
  EXPECT_EQ((p == POINT{kMin, 1}), 1);  // wraps
  p -= POINT{1, 1};
  EXPECT_EQ((p == POINT{kMax, 0}), 1);
  EXPECT_EQ((p != POINT{kMax, 0}), 0);
  EXPECT_EQ((p != POINT{kMax, 1}), 1);
  EXPECT_EQ((p != POINT{0, 0}), 1);
  const CPoint q(7, -8);
  EXPECT_EQ((-q == POINT{-7, 8}), 1);
  EXPECT_EQ((-CPoint(kMin, 0) == POINT{kMin, 0}), 1);
  EXPECT_EQ((q + POINT{1, 1} == POINT{8, -7}), 1);
  CPoint r;
  EXPECT_EQ(&(r = q), &r);
  EXPECT_EQ((r == POINT{7, -8}), 1);
}

}  // namespace
