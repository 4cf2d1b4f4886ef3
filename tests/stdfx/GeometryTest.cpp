// Rectangles and points, integer and 24.8 fixed-point: emptiness and
// intersection against the unit cells (quarter cells for fixed point) that
// the rectangles cover, and 32-bit wrapping of every coordinate sum.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <random>
#include <set>
#include <tuple>
#include <utility>

#include "FixedTestUtil.h"
#include "stdfx/Point.h"
#include "stdfx/Pointx248.h"
#include "stdfx/Rect.h"
#include "stdfx/Rectx248.h"

namespace {

using fixedtest::FromRaw, fixedtest::Raw, stdfx::CFixedx248, stdfx::CPoint, stdfx::CPointx248,
    stdfx::CRect, stdfx::CRectx248;
using Cells = std::set<std::pair<int, int>>;

constexpr int kIntMin = INT32_MIN, kIntMax = INT32_MAX;
using Quad = std::array<std::int32_t, 4>;

Quad Q(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
Quad Q(const CRectx248& r) { return {Raw(r.left), Raw(r.top), Raw(r.right), Raw(r.bottom)}; }
// The fixed-point rectangle whose sides are q's values in quarter units.
CRectx248 InQuarters(const Quad& q) {
  return CRectx248(FromRaw(q[0] * 64), FromRaw(q[1] * 64), FromRaw(q[2] * 64), FromRaw(q[3] * 64));
}

// The cells of the half-open rectangle [l, r) x [t, b), sides divided by unit.
Cells CellsOf(const Quad& q, int unit = 1) {
  Cells cells;
  for (int x = q[0] / unit; x < q[2] / unit; ++x)
    for (int y = q[1] / unit; y < q[3] / unit; ++y) cells.insert({x, y});
  return cells;
}

// Integer rectangles and fixed-point ones on quarter units: emptiness and
// the intersection are those of the covered cells; the result is also
// written into each of its own inputs; an empty one is all zero.
TEST(Rects, EmptinessAndIntersectionMatchTheCoveredCells) {
  std::mt19937 rng(16);
  std::uniform_int_distribution<int> coord(-5, 5);
  for (int i = 0; i < 2000; ++i) {
    Quad qa, qb;
    for (int k = 0; k < 8; ++k) (k < 4 ? qa : qb)[k % 4] = coord(rng);
    const Cells ca = CellsOf(qa), cb = CellsOf(qb);
    Cells common;
    std::set_intersection(ca.begin(), ca.end(), cb.begin(), cb.end(),
                          std::inserter(common, common.end()));
    const int want = common.empty() ? 0 : 1;
    const RECT a{qa[0], qa[1], qa[2], qa[3]}, b{qb[0], qb[1], qb[2], qb[3]};
    ASSERT_EQ(CRect(a).IsRectEmpty(), ca.empty() ? 1 : 0);
    ASSERT_EQ(CRect(&a).IsRectNull(), qa == Quad{} ? 1 : 0);
    CRect out(7, 7, 7, 7), intoA(a), intoB(b);
    ASSERT_EQ(out.IntersectRect(&a, &b), want);
    ASSERT_EQ(intoA.IntersectRect(intoA, &b), want);
    ASSERT_EQ(intoB.IntersectRect(&a, intoB), want);
    ASSERT_EQ(CellsOf(Q(out)), common);
    ASSERT_TRUE(want || out.IsRectNull());
    ASSERT_EQ(std::pair(Q(intoA), Q(intoB)), std::pair(Q(out), Q(out)));
    CRectx248 fa = InQuarters(qa), fb = InQuarters(qb), fo(7, 7, 7, 7), fia = fa, fib = fb;
    ASSERT_EQ(fa.IsRectEmpty(), ca.empty() ? 1 : 0);
    ASSERT_EQ(fo.IntersectRect(&fa, &fb), want);
    ASSERT_EQ(fia.IntersectRect(&fia, &fb), want);
    ASSERT_EQ(fib.IntersectRect(&fa, &fib), want);
    ASSERT_EQ(CellsOf(Q(fo), 64), common);
    ASSERT_TRUE(want || Q(fo) == Quad{});
    ASSERT_EQ(std::pair(Q(fia), Q(fib)), std::pair(Q(fo), Q(fo)));
  }
  CRect r(1, 2, 3, 4);
  CRectx248 f(1, 2, 3, 4);
  EXPECT_EQ(r.IntersectRect(nullptr, r), 0);
  EXPECT_EQ(Q(r), Quad{});
  EXPECT_EQ(f.IntersectRect(&f, nullptr), 0);
  EXPECT_EQ(Q(f), Quad{});
  EXPECT_TRUE(CRect(static_cast<LPCRECT>(nullptr)).IsRectNull());
}

// Differences, offsets and integer-to-fixed shifts wrap in 32 bits.
TEST(Rects, SizesOffsetsAndEqualityWrapInThirtyTwoBits) {
  CRect r(kIntMin, 10, kIntMax, 3);
  EXPECT_EQ(std::tuple(r.Width(), r.Height(), r.IsRectEmpty()), std::tuple(-1, -7, 1));
  EXPECT_EQ(CRect(kIntMax, 0, kIntMin, 10).IsRectEmpty(), 0);  // kIntMin - kIntMax wraps to 1
  r.OffsetRect(1, -3);
  EXPECT_EQ(Q(r), (Quad{kIntMin + 1, 7, kIntMin, 0}));
  const CRect a(1, 2, 3, 4);
  for (const RECT& other : {RECT{0, 2, 3, 4}, RECT{1, 2, 3, 0}})
    EXPECT_EQ(std::tuple(a == other, a != other, a.EqualRect(&other)), std::tuple(0, 1, 0));
  const RECT same{1, 2, 3, 4};
  EXPECT_EQ(std::tuple(a == same, a.EqualRect(&same), a.EqualRect(nullptr)), std::tuple(1, 1, 0));
  EXPECT_EQ(Q(CRectx248(RECT{1, 2, 3, 1 << 23})), (Quad{256, 512, 768, kIntMin}));
  EXPECT_EQ(Q(CRectx248(CRect(-1, -2, -3, -4))), (Quad{-256, -512, -768, -1024}));
  CRectx248 x;
  EXPECT_EQ(Q(x = RECT{5, 6, 7, 8}), (Quad{1280, 1536, 1792, 2048}));
  EXPECT_EQ(Q(x = CRect(1, 1, 2, 2)), (Quad{256, 256, 512, 512}));
  x.SetRect(FromRaw(1), FromRaw(2), FromRaw(3), FromRaw(4));
  x.OffsetRect(1, -1);
  EXPECT_EQ(Q(x), (Quad{257, -254, 259, -252}));
  x.OffsetRect(FromRaw(-1), FromRaw(10));
  EXPECT_EQ(Q(x), (Quad{256, -244, 258, -242}));
  x.OffsetRect(CPointx248(FromRaw(kIntMax), FromRaw(0)));
  EXPECT_EQ(Q(x), (Quad{kIntMin + 255, -244, kIntMin + 257, -242}));
}

// CeilRect rounds every side away from zero, also onto itself.
TEST(Rects, CeilRectRoundsAwayFromZero) {
  const struct {
    double l, t, r, b;
    Quad want;
  } cases[] = {{-1.5, -0.5, 1.5, 2.25, {-2, -1, 2, 3}},
               {-2.0, 0.0, 2.0, 0.00390625, {-2, 0, 2, 1}},
               {-0.00390625, 7.75, -7.75, 1.0, {-1, 8, -8, 1}}};
  for (const auto& c : cases) {
    CRectx248 out(9, 9, 9, 9),
        self(CFixedx248(c.l), CFixedx248(c.t), CFixedx248(c.r), CFixedx248(c.b));
    out.CeilRect(self);
    self.CeilRect(self);
    const Quad want = {c.want[0] * 256, c.want[1] * 256, c.want[2] * 256, c.want[3] * 256};
    EXPECT_EQ(Q(out), want) << c.l;
    EXPECT_EQ(Q(self), want) << c.l;
  }
}

TEST(Points, ArithmeticWrapsInThirtyTwoBits) {
  CPoint p;
  p.Offset(4, -2);
  p.Offset(POINT{-4, 3});
  EXPECT_TRUE(p == (POINT{0, 1}));
  p += POINT{kIntMax, 0};
  p += POINT{1, 0};
  EXPECT_TRUE(p == (POINT{kIntMin, 1}));
  p -= POINT{1, 1};
  EXPECT_FALSE(p != (POINT{kIntMax, 0}));
  EXPECT_TRUE(p != (POINT{kIntMax, 1}));
  EXPECT_TRUE(-CPoint(kIntMin, 5) == (POINT{kIntMin, -5}));
  EXPECT_TRUE(CPoint(7, -8) + (POINT{1, 1}) == (POINT{8, -7}));
  CPointx248 f(3, -4);
  EXPECT_EQ(std::pair(Raw(f.x), Raw(f.y)), std::pair(768, -1024));
  f.Assign(FromRaw(1), FromRaw(2));
  EXPECT_EQ(std::pair(Raw(f.x), Raw(f.y)), std::pair(1, 2));
  f.Assign(1 << 23, -1);
  EXPECT_EQ(std::pair(Raw(f.x), Raw(f.y)), std::pair(kIntMin, -256));
}

}  // namespace
