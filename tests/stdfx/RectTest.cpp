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

TEST(Rect, WidthHeightOffsetEmptinessAndEqualityWrapInThirtyTwoBits) {
  CRect r(kMin, 10, kMax, 3);
  EXPECT_EQ(r.Width(), -1);
  EXPECT_EQ(r.Height(), -7);
  EXPECT_EQ(r.IsRectEmpty(), 1);                         // kMax - kMin wraps to -1
  EXPECT_EQ(CRect(kMax, 0, kMin, 10).IsRectEmpty(), 0);  // kMin - kMax wraps to 1
  EXPECT_EQ(CRect(0, 0, 0, 1).IsRectNull(), 0);
  r.OffsetRect(1, -3);
  ExpectRect(r, kMin + 1, 7, kMin, 0);
  const CRect a(1, 2, 3, 4);
  for (const RECT& other : {RECT{0, 2, 3, 4}, RECT{1, 2, 3, 0}}) {
    EXPECT_EQ(a == other, 0);
    EXPECT_EQ(a != other, 1);
    EXPECT_EQ(a.EqualRect(&other), 0);
  }
  const RECT same{1, 2, 3, 4};
  EXPECT_EQ(a == same, 1);
  EXPECT_EQ(a.EqualRect(&same), 1);
  EXPECT_EQ(a.EqualRect(nullptr), 0);
}

using Cells = std::set<std::pair<int, int>>;

// The unit cells a half-open rectangle covers.
Cells CellsOf(const RECT& r) {
  Cells cells;
  for (int x = r.left; x < r.right; ++x)
    for (int y = r.top; y < r.bottom; ++y) cells.insert({x, y});
  return cells;
}

// Emptiness and intersection against the cells the rectangles cover, with
// the result also written into each of its own inputs.
TEST(Rect, EmptinessAndIntersectionMatchTheCoveredCellsOfRandomRectangles) {
  std::mt19937 rng(16);
  std::uniform_int_distribution<int> coord(-4, 4);
  for (int i = 0; i < 2000; ++i) {
    const RECT a{coord(rng), coord(rng), coord(rng), coord(rng)};
    const RECT b{coord(rng), coord(rng), coord(rng), coord(rng)};
    const Cells ca = CellsOf(a), cb = CellsOf(b);
    ASSERT_EQ(CRect(a).IsRectEmpty(), ca.empty() ? 1 : 0);
    ASSERT_EQ(CRect(a).IsRectNull(), (a.left | a.top | a.right | a.bottom) == 0 ? 1 : 0);
    Cells common;
    for (const auto& cell : ca)
      if (cb.count(cell)) common.insert(cell);
    CRect out(7, 7, 7, 7), intoA(a), intoB(b);
    const int want = common.empty() ? 0 : 1;
    ASSERT_EQ(out.IntersectRect(&a, &b), want);
    ASSERT_EQ(intoA.IntersectRect(intoA, &b), want);
    ASSERT_EQ(intoB.IntersectRect(&a, intoB), want);
    if (common.empty()) {
      ASSERT_EQ(out.IsRectNull(), 1);
    } else {
      ASSERT_EQ(CellsOf(out), common);
    }
    // Compared as RECT: CRect == CRect reads both ways round in C++20.
    ASSERT_EQ(intoA == static_cast<const RECT&>(out), 1);
    ASSERT_EQ(intoB == static_cast<const RECT&>(out), 1);
  }
  CRect r(1, 2, 3, 4);
  EXPECT_EQ(r.IntersectRect(nullptr, r), 0);
  ExpectRect(r, 0, 0, 0, 0);
}

TEST(Point, IsTheWindowsPointRecordAndWrapsInThirtyTwoBits) {
  CPoint p(3, -4);
  EXPECT_EQ(static_cast<void*>(static_cast<POINT*>(&p)), static_cast<void*>(&p));
  p.Offset(1, 2);
  EXPECT_EQ((p == POINT{4, -2}), 1);
  p.Offset(POINT{-4, 2});
  EXPECT_EQ((p == POINT{0, 0}), 1);
  p += POINT{kMax, 1};
  p += POINT{1, 0};
  EXPECT_EQ((p == POINT{kMin, 1}), 1);  // wraps
  p -= POINT{1, 1};
  EXPECT_EQ((p != POINT{kMax, 0}), 0);
  EXPECT_EQ((p != POINT{kMax, 1}), 1);
  EXPECT_EQ((-CPoint(kMin, 0) == POINT{kMin, 0}), 1);
  EXPECT_EQ((CPoint(7, -8) + POINT{1, 1} == POINT{8, -7}), 1);
}

}  // namespace
