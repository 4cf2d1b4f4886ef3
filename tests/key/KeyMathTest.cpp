// Arithmetic of the chroma key, checked against exact rational formulations
// and the worked examples of the keying rules (the row kernels are
// KeyKernelsTest's).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>

#include "key/internal/KeyMath.h"

namespace {

using namespace mattix::key::internal;

// floor(p / q + 1/2) for p >= 0, q > 0: rounding half up, in exact integers.
std::int64_t RoundHalfUp(std::int64_t p, std::int64_t q) { return (2 * p + q) / (2 * q); }

TEST(RoundDiv255, EqualsRoundHalfUpOverTheWholeProductRange) {
  for (std::uint32_t x = 0; x <= 255u * 255u; ++x)
    ASSERT_EQ(RoundDiv255(x), RoundHalfUp(x, 255)) << "x=" << x;
}

// The table as a piecewise function: each range starts where the previous
// one would have stopped, computed up front instead of by walking.
std::array<std::uint32_t, 256> ReferenceTable(int a0, int a1, int a2, int a3) {
  const int s1 = std::max(a0, 0), s2 = std::max(s1, a1), s3 = std::max(s2, a2 + 1);
  const int s4 = std::max(s3, a3);
  std::array<std::uint32_t, 256> t{};
  // MulDiv rounds halves away from zero; all quotients here are >= 0.
  for (int i = 0; i < 256; ++i)
    t[i] = i < s1   ? 0
           : i < s2 ? std::uint32_t(RoundHalfUp(std::int64_t(i - a0) * 255, a1 - a0))
           : i < s3 ? 255
           : i < s4 ? 255 - std::uint32_t(RoundHalfUp(std::int64_t(i - a2) * 255, a3 - a2))
                    : 0;
  return t;
}

// Sorted and unsorted breakpoints, in and far out of range: up to the safe
// limit, where long shallow ramps test the rounding of large quotients (the
// engine test maps unsafe settings to the limit).
TEST(LightnessTable, MatchesPiecewiseReferenceForRandomBreakpoints) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> inRange(0.0, 100.0),
      wide(-kBreakpointLimit, kBreakpointLimit);
  for (int n = 0; n < 2000; ++n) {
    double l[4];
    for (double& v : l) v = (n % 3 == 0) ? wide(rng) : inRange(rng);
    if (n % 2 == 0) std::sort(l, l + 4);
    std::array<std::uint32_t, 256> t;
    t.fill(0xDEADBEEF);  // every entry must be written
    FillLightnessTable(l, t.data());
    const auto ref = ReferenceTable(BreakpointIndex(l[0]), BreakpointIndex(l[1]),
                                    BreakpointIndex(l[2]), BreakpointIndex(l[3]));
    ASSERT_EQ(t, ref) << l[0] << "/" << l[1] << "/" << l[2] << "/" << l[3];
  }
}

TEST(Wheel, LightnessIndex) {
  const std::pair<float, int> cases[] = {{0.0f, 0},  {1.0f, 255}, {0.5f, 128},       {0.2f, 51},
                                         {-0.1f, 0}, {1.5f, 255}, {std::nanf(""), 0}};
  for (const auto& [l, index] : cases) EXPECT_EQ(LightnessIndex(l), index) << l;
}

}  // namespace
