// Arithmetic of the chroma key, checked against exact rational formulations
// and the worked examples of the keying rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "key/internal/KeyMath.h"

namespace {

using namespace mattix::key::internal;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// floor(p / q + 1/2) for p >= 0, q > 0: rounding half up, in exact integers.
std::int64_t RoundHalfUp(std::int64_t p, std::int64_t q) {
  return (2 * p + q) / (2 * q);
}

TEST(RoundDiv255, EqualsRoundHalfUpOverTheWholeProductRange) {
  for (std::uint32_t x = 0; x <= 255u * 255u; ++x)
    ASSERT_EQ(RoundDiv255(x), RoundHalfUp(x, 255)) << "x=" << x;
}

TEST(KeyArithmetic, KeyWeightOfAllPairsIsTheRoundedRationalProduct) {
  for (std::uint32_t w = 0; w < 256; ++w)
    for (std::uint32_t k = 0; k < 256; ++k) {
      const std::int64_t exact = RoundHalfUp(w * k, 255);
      ASSERT_EQ(KeyWeight(w, k), exact) << w << " " << k;
      // The rational reference itself: within half a unit of w*k/255.
      ASSERT_LE(std::abs(2 * 255 * exact - 2 * std::int64_t(w * k)), 255);
    }
}

TEST(KeyArithmetic, KeyedAlphaOfAllPairsIsTheRoundedRationalProduct) {
  for (std::uint32_t a = 0; a < 256; ++a)
    for (std::uint32_t t = 0; t < 256; ++t)
      ASSERT_EQ(KeyedAlpha(a, t), RoundHalfUp(a * (255 - t), 255))
          << a << " " << t;
}

struct AlphaCase {
  std::uint32_t alpha, mask, lightness, expected;
};

TEST(KeyArithmetic, WorkedExamples) {
  const AlphaCase cases[] = {
      {255, 255, 255, 0},    // fully keyed colour loses all alpha
      {200, 0, 255, 200},    // mask 0 keeps the source alpha
      {128, 255, 128, 64},   // key weight 128
      {255, 128, 255, 127},
      {77, 255, 0, 77},      // lightness weight 0 keeps alpha
  };
  for (const auto& c : cases)
    EXPECT_EQ(KeyedAlpha(c.alpha, KeyWeight(c.lightness, c.mask)), c.expected)
        << c.alpha << " " << c.mask << " " << c.lightness;
  EXPECT_EQ(KeyWeight(128, 255), 128u);
}

// --- lightness table -------------------------------------------------------

struct IndexCase {
  double percent;
  int index;
};

TEST(LightnessTable, BreakpointIndices) {
  const IndexCase cases[] = {{0, 0},    {20, 51},  {40, 102}, {50, 127},
                             {60, 153}, {80, 204}, {100, 255}, {-5, -12}};
  for (const auto& c : cases)
    EXPECT_EQ(BreakpointIndex(c.percent), c.index) << c.percent;
}

// The table as a piecewise function: each range starts where the previous
// one would have stopped, computed up front instead of by walking.
std::array<std::uint32_t, 256> ReferenceTable(int a0, int a1, int a2, int a3) {
  const int s1 = std::max(a0, 0);
  const int s2 = std::max(s1, a1);
  const int s3 = std::max(s2, a2 + 1);
  const int s4 = std::max(s3, a3);
  std::array<std::uint32_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    // MulDiv rounds halves away from zero; all quotients here are >= 0.
    if (i < s1)
      t[i] = 0;
    else if (i < s2)
      t[i] = std::uint32_t(RoundHalfUp(std::int64_t(i - a0) * 255, a1 - a0));
    else if (i < s3)
      t[i] = 255;
    else if (i < s4)
      t[i] = 255 - std::uint32_t(RoundHalfUp(std::int64_t(i - a2) * 255, a3 - a2));
    else
      t[i] = 0;
  }
  return t;
}

std::array<std::uint32_t, 256> Table(double l0, double l1, double l2, double l3) {
  const double b[4] = {l0, l1, l2, l3};
  std::array<std::uint32_t, 256> t;
  t.fill(0xDEADBEEF);
  FillLightnessTable(b, t.data());
  return t;
}

struct EntryCase {
  int index;
  std::uint32_t value;
};

struct TableCase {
  double l[4];
  std::vector<EntryCase> entries;
};

TEST(LightnessTable, WorkedExamples) {
  const TableCase cases[] = {
      {{0, 0, 100, 100}, {{0, 255}, {1, 255}, {128, 255}, {254, 255}, {255, 255}}},
      {{20, 40, 60, 80},
       {{0, 0}, {51, 0}, {52, 5}, {101, 250}, {102, 255}, {153, 255},
        {154, 250}, {203, 5}, {204, 0}, {255, 0}}},
      {{0, 50, 50, 100}, {{0, 0}, {1, 2}, {127, 255}, {128, 253}, {255, 0}}},
      // Out of order: a0 = 204 leaves only zeros.
      {{80, 60, 40, 20}, {{0, 0}, {100, 0}, {204, 0}, {255, 0}}},
      // Plateau end below the ramp end: the down ramp starts at a1 = 153
      // with 255 - round(51 * 255 / 102) = 127; entry 203 is
      // 255 - round(101 * 255 / 102) = 255 - 253.
      {{20, 60, 40, 80}, {{50, 0}, {51, 0}, {152, 253}, {153, 127}, {203, 2}, {204, 0}}},
  };
  for (const auto& c : cases) {
    const auto t = Table(c.l[0], c.l[1], c.l[2], c.l[3]);
    for (const auto& e : c.entries)
      EXPECT_EQ(t[e.index], e.value)
          << c.l[0] << "/" << c.l[1] << "/" << c.l[2] << "/" << c.l[3]
          << " entry " << e.index;
  }
  const auto all = Table(0, 0, 100, 100);
  EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](auto v) { return v == 255; }));
  const auto t2 = Table(20, 40, 60, 80);
  for (int i = 0; i <= 51; ++i) EXPECT_EQ(t2[i], 0u) << i;
  for (int i = 102; i <= 153; ++i) EXPECT_EQ(t2[i], 255u) << i;
  for (int i = 204; i <= 255; ++i) EXPECT_EQ(t2[i], 0u) << i;
}

TEST(LightnessTable, MatchesPiecewiseReferenceForRandomBreakpoints) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> inRange(0.0, 100.0);
  std::uniform_real_distribution<double> wide(-300.0, 400.0);
  for (int n = 0; n < 4000; ++n) {
    double l[4];
    for (double& v : l) v = (n % 3 == 0) ? wide(rng) : inRange(rng);
    if (n % 2 == 0) std::sort(l, l + 4);
    const auto t = Table(l[0], l[1], l[2], l[3]);
    const auto ref = ReferenceTable(BreakpointIndex(l[0]), BreakpointIndex(l[1]),
                                    BreakpointIndex(l[2]), BreakpointIndex(l[3]));
    ASSERT_EQ(t, ref) << l[0] << "/" << l[1] << "/" << l[2] << "/" << l[3];
  }
}

TEST(LightnessTable, OrderedBreakpointsGiveATrapezoid) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> d(0.0, 100.0);
  for (int n = 0; n < 1000; ++n) {
    double l[4] = {d(rng), d(rng), d(rng), d(rng)};
    std::sort(l, l + 4);
    const auto t = Table(l[0], l[1], l[2], l[3]);
    const int a2 = BreakpointIndex(l[2]);
    for (int i = 0; i < 256; ++i) {
      ASSERT_LE(t[i], 255u);
      if (i > 0 && i <= a2) {
        ASSERT_GE(t[i], t[i - 1]) << i;
      }
      if (i > a2) {
        ASSERT_LE(t[i], t[i - 1]) << i;
      }
    }
  }
}

// --- settings made safe -----------------------------------------------------

struct SafeCase {
  double in, softness, spill;
};

TEST(SafeSettings, SoftnessAndSpill) {
  const SafeCase cases[] = {
      {kNaN, 0, 0},   {-kInf, 0, 0},    {-5, 0, 0},     {0, 0, 0},
      {37.5, 37.5, 37.5}, {100, 100, 100}, {150, 100, 100}, {kInf, 100, 100},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SafeSoftness(c.in), c.softness) << c.in;
    EXPECT_EQ(SafeSpill(c.in), c.spill) << c.in;
  }
  EXPECT_EQ(SpillFactor(SafeSpill(kNaN)), 1.0f);
  EXPECT_EQ(SpillFactor(SafeSpill(kInf)), 0.0f);
  EXPECT_EQ(SpillFactor(100.0), 0.0f);
}

TEST(SafeSettings, Breakpoints) {
  EXPECT_EQ(SafeBreakpoint(kNaN, 0), 0.0);
  EXPECT_EQ(SafeBreakpoint(kNaN, 1), 0.0);
  EXPECT_EQ(SafeBreakpoint(kNaN, 2), 100.0);
  EXPECT_EQ(SafeBreakpoint(kNaN, 3), 100.0);
  EXPECT_EQ(SafeBreakpoint(kInf, 0), kBreakpointLimit);
  EXPECT_EQ(SafeBreakpoint(-kInf, 3), -kBreakpointLimit);
  EXPECT_EQ(SafeBreakpoint(42.25, 1), 42.25);
  EXPECT_EQ(SafeBreakpoint(-7, 1), -7.0);
  // The extremes still give a well-formed table.
  const double lo = SafeBreakpoint(-kInf, 0), hi = SafeBreakpoint(kInf, 3);
  EXPECT_EQ(Table(lo, lo, hi, hi), Table(0, 0, 100, 100));
  EXPECT_EQ(Table(hi, hi, hi, hi), ReferenceTable(25500, 25500, 25500, 25500));
  // A very long, shallow ramp from a0 = -25499 to a1 = 25500.
  const auto ramp = Table(lo, hi, hi, hi);
  EXPECT_EQ(ramp[0], 127u);    // round(25499 * 255 / 50999) = round(127.497)
  EXPECT_EQ(ramp[255], 129u);  // round(25754 * 255 / 50999) = round(128.77)
}

struct RadiusCase {
  double softness, radius;
};

TEST(SoftnessRadius, Examples) {
  const RadiusCase cases[] = {{0.001, 1}, {10, 1},  {50, 6.25},
                              {75, 31.640625}, {100, 100}};
  for (const auto& c : cases) EXPECT_EQ(SoftnessRadius(c.softness), c.radius) << c.softness;
  EXPECT_EQ(SoftnessRadius(SafeSoftness(kInf)), 100.0);
}

// --- the wheel --------------------------------------------------------------

struct WheelCase {
  float h, s;
  int row, col;
};

TEST(Wheel, PositionsOnTheWheelMask) {
  const float fx = 120.0f, fy = 104.0f;  // a 241 x 209 mask
  const WheelCase cases[] = {
      {0.0f, 1.0f, 104, 240},  {0.25f, 1.0f, 208, 120}, {0.5f, 1.0f, 104, 0},
      {0.75f, 1.0f, 0, 120},   {0.0f, 0.0f, 104, 120},  {0.6f, 0.0f, 104, 120},
      {0.125f, 0.5f, 141, 162},
  };
  for (const auto& c : cases) {
    const WheelPos p = WheelPosition(c.h, c.s, fx, fy);
    EXPECT_EQ(p.row, c.row) << c.h << " " << c.s;
    EXPECT_EQ(p.col, c.col) << c.h << " " << c.s;
  }
}

TEST(Wheel, SinglePrecisionPositionAgreesWithDoubleAwayFromHalves) {
  const double fx = 120.0, fy = 104.0;
  int compared = 0;
  for (int hi = 0; hi < 360; ++hi)
    for (int si = 0; si <= 20; ++si) {
      const float h = float(hi) / 360.0f, s = float(si) / 20.0f;
      const double th = 2 * M_PI * double(h);
      const double r = (std::sin(th) * s + 1) * fy + 0.5;
      const double c = (std::cos(th) * s + 1) * fx + 0.5;
      const WheelPos p = WheelPosition(h, s, float(fx), float(fy));
      ASSERT_LE(std::abs(p.row - std::floor(r)), 1);
      ASSERT_LE(std::abs(p.col - std::floor(c)), 1);
      if (std::abs(r - std::round(r)) > 1e-3 && std::abs(c - std::round(c)) > 1e-3) {
        ASSERT_EQ(p.row, int(std::floor(r))) << h << " " << s;
        ASSERT_EQ(p.col, int(std::floor(c))) << h << " " << s;
        ++compared;
      }
    }
  EXPECT_GT(compared, 6000);
}

TEST(Wheel, OutOfRangeInputsStayOnTheMask) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float in[][2] = {{0.0f, 1.5f}, {0.5f, 1.5f}, {0.25f, 1.0001f},
                         {0.75f, 3.0f}, {nan, 1.0f}, {0.3f, nan}, {0.1f, inf}};
  for (const auto& v : in) {
    const WheelPos p = WheelPosition(v[0], v[1], 120.0f, 104.0f);
    EXPECT_GE(p.row, 0);
    EXPECT_LE(p.row, 208);
    EXPECT_GE(p.col, 0);
    EXPECT_LE(p.col, 240);
  }
}

// A mask whose every byte names its own position, so a look-up tells where
// it read.
struct TestMask {
  int w, h, stride;
  std::vector<std::uint8_t> bytes;
  TestMask(int width, int height) : w(width), h(height), stride((width + 3) & ~3) {
    bytes.resize(std::size_t(stride) * h);
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) bytes[r * stride + c] = std::uint8_t(r * 7 + c * 13);
  }
  std::uint8_t At(int r, int c) const { return bytes[r * stride + c]; }
  MaskView View() const { return MakeMaskView(bytes.data(), stride, w, h); }
};

TEST(Wheel, GreysReadRow120Column120) {
  const TestMask m(241, 209);
  const MaskView v = m.View();
  EXPECT_EQ(v.fx, 120.0f);
  EXPECT_EQ(v.fy, 104.0f);
  EXPECT_EQ(v.greyWeight, m.At(120, 120));
  EXPECT_NE(m.At(120, 120), m.At(104, 120));
  EXPECT_EQ(ChromaWeight(v, -1.0f, 0.0f), m.At(120, 120));
  EXPECT_EQ(ChromaWeight(v, -1.0f, 0.7f), m.At(120, 120));
  EXPECT_EQ(ChromaWeight(v, 0.3f, 0.0f), m.At(104, 120));
  EXPECT_EQ(ChromaWeight(v, 0.125f, 0.5f), m.At(141, 162));
  EXPECT_EQ(ChromaWeight(v, 0.0f, 1.0f), m.At(104, 240));
}

TEST(Wheel, SmallMasksReadTheirNearestPixelForGreys) {
  const TestMask m(50, 30);
  EXPECT_EQ(m.View().greyWeight, m.At(29, 49));
  const TestMask one(1, 1);
  EXPECT_EQ(one.View().greyWeight, one.At(0, 0));
  EXPECT_EQ(ChromaWeight(one.View(), 0.4f, 1.0f), one.At(0, 0));
}

struct LightnessIndexCase {
  float l;
  int index;
};

TEST(Wheel, LightnessIndex) {
  const LightnessIndexCase cases[] = {
      {0.0f, 0}, {1.0f, 255}, {0.5f, 128}, {0.2f, 51},
      {-0.1f, 0}, {1.5f, 255}, {std::numeric_limits<float>::quiet_NaN(), 0}};
  for (const auto& c : cases) EXPECT_EQ(LightnessIndex(c.l), c.index) << c.l;
}

}  // namespace
