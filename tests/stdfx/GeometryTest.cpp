// Rectangles and points, integer and 24.8 fixed-point: emptiness and
// intersection against the unit cells (quarter cells for fixed point) that
// the rectangles cover, and 32-bit wrapping of every coordinate sum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <set>
#include <utility>

#include "FixedTestUtil.h"
#include "stdfx/Point.h"
#include "stdfx/Pointx248.h"
#include "stdfx/Rect.h"
#include "stdfx/Rectx248.h"

namespace {

using fixedtest::FromRaw;
using fixedtest::Raw;
using stdfx::CFixedx248;
using stdfx::CPoint;
using stdfx::CPointx248;
using stdfx::CRect;
using stdfx::CRectx248;
using Cells = std::set<std::pair<int, int>>;

constexpr int kMin = INT32_MIN, kMax = INT32_MAX;

// The cells of the half-open rectangle [l, r) x [t, b).
Cells CellsOf(int l, int t, int r, int b) {
  Cells cells;
  for (int x = l; x < r; ++x)
    for (int y = t; y < b; ++y) cells.insert({x, y});
  return cells;
}

bool Is(const RECT& r, int l, int t, int rt, int b) {
  return r.left == l && r.top == t && r.right == rt && r.bottom == b;
}
bool IsRaw(const CRectx248& r, std::int32_t l, std::int32_t t, std::int32_t rt, std::int32_t b) {
  return Raw(r.left) == l && Raw(r.top) == t && Raw(r.right) == rt && Raw(r.bottom) == b;
}
Cells QuarterCells(const CRectx248& r) {
  return CellsOf(Raw(r.left) / 64, Raw(r.top) / 64, Raw(r.right) / 64, Raw(r.bottom) / 64);
}

// The result is also written into each of its own inputs; an empty one is all
// zero.
TEST(Rects, EmptinessAndIntersectionMatchTheCoveredCells) {
  std::mt19937 rng(16);
  std::uniform_int_distribution<int> coord(-5, 5);
  for (int i = 0; i < 2000; ++i) {
    int q[8];
    for (int& v : q) v = coord(rng);
    const Cells ca = CellsOf(q[0], q[1], q[2], q[3]), cb = CellsOf(q[4], q[5], q[6], q[7]);
    Cells common;
    std::set_intersection(ca.begin(), ca.end(), cb.begin(), cb.end(),
                          std::inserter(common, common.end()));
    const int want = common.empty() ? 0 : 1;
    const RECT a{q[0], q[1], q[2], q[3]}, b{q[4], q[5], q[6], q[7]};
    ASSERT_EQ(CRect(a).IsRectEmpty(), ca.empty() ? 1 : 0);
    ASSERT_EQ(CRect(&a).IsRectNull(), (q[0] | q[1] | q[2] | q[3]) == 0 ? 1 : 0);
    CRect out(7, 7, 7, 7), intoA(a), intoB(b);
    ASSERT_EQ(out.IntersectRect(&a, &b), want);
    ASSERT_EQ(intoA.IntersectRect(intoA, &b), want);
    ASSERT_EQ(intoB.IntersectRect(&a, intoB), want);
    ASSERT_EQ(CellsOf(out.left, out.top, out.right, out.bottom), common);
    ASSERT_TRUE((want || out.IsRectNull()) && intoA == out && intoB == out);
    CRectx248 fa(FromRaw(q[0] * 64), FromRaw(q[1] * 64), FromRaw(q[2] * 64), FromRaw(q[3] * 64));
    CRectx248 fb(FromRaw(q[4] * 64), FromRaw(q[5] * 64), FromRaw(q[6] * 64), FromRaw(q[7] * 64));
    CRectx248 fo(7, 7, 7, 7), fia = fa, fib = fb;
    ASSERT_EQ(fa.IsRectEmpty(), ca.empty() ? 1 : 0);
    ASSERT_EQ(fo.IntersectRect(&fa, &fb), want);
    ASSERT_EQ(fia.IntersectRect(&fia, &fb), want);
    ASSERT_EQ(fib.IntersectRect(&fa, &fib), want);
    ASSERT_EQ(QuarterCells(fo), common);
    const std::int32_t l = Raw(fo.left), t = Raw(fo.top), r = Raw(fo.right), bt = Raw(fo.bottom);
    ASSERT_TRUE((want || (l | t | r | bt) == 0) && IsRaw(fia, l, t, r, bt) &&
                IsRaw(fib, l, t, r, bt));
  }
  CRect r(1, 2, 3, 4);
  CRectx248 f(1, 2, 3, 4);
  EXPECT_TRUE(r.IntersectRect(nullptr, r) == 0 && Is(r, 0, 0, 0, 0));
  EXPECT_TRUE(f.IntersectRect(&f, nullptr) == 0 && IsRaw(f, 0, 0, 0, 0));
  EXPECT_TRUE(CRect(static_cast<LPCRECT>(nullptr)).IsRectNull());
}

TEST(Rects, SizesOffsetsAndEqualityWrapInThirtyTwoBits) {
  CRect r(kMin, 10, kMax, 3);
  EXPECT_TRUE(r.Width() == -1 && r.Height() == -7 && r.IsRectEmpty() == 1);
  EXPECT_EQ(CRect(kMax, 0, kMin, 10).IsRectEmpty(),
            0);  // kMin - kMax wraps to 1
  EXPECT_EQ(CRect(0, 0, 0, 1).IsRectNull(), 0);
  r.OffsetRect(1, -3);
  EXPECT_TRUE(Is(r, kMin + 1, 7, kMin, 0));
  r.SetRect(5, 6, 7, 8);
  EXPECT_TRUE(Is(r, 5, 6, 7, 8));
  const CRect a(1, 2, 3, 4);
  for (const RECT& other : {RECT{0, 2, 3, 4}, RECT{1, 2, 3, 0}})
    EXPECT_TRUE(!(a == other) && a != other && !a.EqualRect(&other));
  const RECT same{1, 2, 3, 4};
  EXPECT_TRUE(a == same && a.EqualRect(&same) && !a.EqualRect(nullptr));
  // Fixed point: integers shift by 8 and wrap.
  EXPECT_TRUE(IsRaw(CRectx248(), 0, 0, 0, 0));
  EXPECT_TRUE(IsRaw(CRectx248(RECT{1, 2, 3, 1 << 23}), 256, 512, 768, INT32_MIN));
  EXPECT_TRUE(IsRaw(CRectx248(CRect(-1, -2, -3, -4)), -256, -512, -768, -1024));
  CRectx248 x;
  EXPECT_EQ(&(x = RECT{5, 6, 7, 8}), &x);
  EXPECT_TRUE(IsRaw(x, 1280, 1536, 1792, 2048));
  EXPECT_EQ(&(x = CRect(1, 1, 2, 2)), &x);
  EXPECT_TRUE(IsRaw(x, 256, 256, 512, 512));
  x.SetRect(FromRaw(1), FromRaw(2), FromRaw(3), FromRaw(4));
  x.OffsetRect(1, -1);
  EXPECT_TRUE(IsRaw(x, 257, -254, 259, -252));
  x.OffsetRect(FromRaw(-1), FromRaw(10));
  EXPECT_TRUE(IsRaw(x, 256, -244, 258, -242));
  x.OffsetRect(CPointx248(FromRaw(INT32_MAX), FromRaw(0)));
  EXPECT_TRUE(IsRaw(x, INT32_MIN + 255, -244, INT32_MIN + 257, -242));
}

// CeilRect rounds every side away from zero, also onto itself.
TEST(Rects, CeilRectRoundsAwayFromZero) {
  const struct {
    double l, t, r, b;
    int el, et, er, eb;
  } cases[] = {{-1.5, -0.5, 1.5, 2.25, -2, -1, 2, 3},
               {-2.0, 0.0, 2.0, 0.00390625, -2, 0, 2, 1},
               {-0.00390625, 7.75, -7.75, 1.0, -1, 8, -8, 1}};
  for (const auto& c : cases) {
    CRectx248 out(9, 9, 9, 9),
        self(CFixedx248(c.l), CFixedx248(c.t), CFixedx248(c.r), CFixedx248(c.b));
    out.CeilRect(self);
    self.CeilRect(self);
    EXPECT_TRUE(IsRaw(out, c.el * 256, c.et * 256, c.er * 256, c.eb * 256)) << c.l;
    EXPECT_TRUE(IsRaw(self, c.el * 256, c.et * 256, c.er * 256, c.eb * 256)) << c.l;
  }
}

TEST(Points, ArithmeticWrapsInThirtyTwoBits) {
  CPoint p;
  EXPECT_TRUE(p == (POINT{0, 0}));
  EXPECT_EQ(static_cast<void*>(static_cast<POINT*>(&p)), static_cast<void*>(&p));
  p.Offset(4, -2);
  p.Offset(POINT{-4, 3});
  EXPECT_TRUE(p == (POINT{0, 1}));
  p += POINT{kMax, 0};
  p += POINT{1, 0};
  EXPECT_TRUE(p == (POINT{kMin, 1}));
  p -= POINT{1, 1};
  EXPECT_TRUE(!(p != (POINT{kMax, 0})) && p != (POINT{kMax, 1}));
  EXPECT_TRUE(-CPoint(kMin, 0) == (POINT{kMin, 0}) &&
              CPoint(7, -8) + (POINT{1, 1}) == (POINT{8, -7}));
  CPointx248 f(3, -4);
  EXPECT_TRUE(Raw(f.x) == 768 && Raw(f.y) == -1024);
  f.Assign(FromRaw(1), FromRaw(2));
  EXPECT_TRUE(Raw(f.x) == 1 && Raw(f.y) == 2);
  f.Assign(1 << 23, -1);
  EXPECT_TRUE(Raw(f.x) == INT32_MIN && Raw(f.y) == -256);
}

}  // namespace
