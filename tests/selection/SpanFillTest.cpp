#include "selection/detail/SpanFill.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using selection::internal::ClampRound;
using selection::internal::FillSpan;
using selection::internal::RoundHalfAway;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct RoundCase {
  double v;
  double expected;
};

class RoundHalfAwayTable : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundHalfAwayTable, RoundsHalvesAwayFromZero) {
  const auto& c = GetParam();
  EXPECT_EQ(RoundHalfAway(c.v), c.expected) << "v=" << c.v;
}

INSTANTIATE_TEST_SUITE_P(
    Values, RoundHalfAwayTable,
    ::testing::Values(RoundCase{0.0, 0.0}, RoundCase{0.5, 1.0}, RoundCase{1.5, 2.0},
                      RoundCase{2.5, 3.0}, RoundCase{2.4999, 2.0}, RoundCase{-0.5, -1.0},
                      RoundCase{-1.5, -2.0}, RoundCase{-2.5, -3.0}, RoundCase{-2.4999, -2.0},
                      RoundCase{0.49, 0.0}, RoundCase{-0.49, 0.0},
                      // The sum 0.49999999999999994 + 0.5 rounds to 1.0 before
                      // the truncation: the formula, not exact rounding.
                      RoundCase{0.49999999999999994, 1.0},
                      // Above 2^52 adding 0.5 rounds to even: 2^52 + 1 -> 2^52 + 2.
                      RoundCase{4503599627370497.0, 4503599627370498.0},
                      RoundCase{1e300, 1e300}, RoundCase{-1e300, -1e300},
                      RoundCase{kInf, kInf}, RoundCase{-kInf, -kInf}));

TEST(RoundHalfAway, KeepsNaN) { EXPECT_TRUE(std::isnan(RoundHalfAway(kNaN))); }

struct ClampCase {
  double v;
  int last;
  bool placed;
  int expected;
};

class ClampRoundTable : public ::testing::TestWithParam<ClampCase> {};

TEST_P(ClampRoundTable, RoundsThenClampsIntoRange) {
  const auto& c = GetParam();
  int out = -12345;
  EXPECT_EQ(ClampRound(c.v, c.last, &out), c.placed) << "v=" << c.v;
  EXPECT_EQ(out, c.placed ? c.expected : -12345) << "v=" << c.v;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ClampRoundTable,
    ::testing::Values(ClampCase{4.5, 9, true, 5}, ClampCase{-0.4, 9, true, 0},
                      ClampCase{-0.6, 9, true, 0},  // rounds to -1, clamps to 0
                      ClampCase{8.5, 9, true, 9}, ClampCase{9.4, 9, true, 9},
                      ClampCase{9.5, 9, true, 9},   // rounds to 10, clamps to 9
                      ClampCase{3e9, 9, true, 9},   // beyond the int range
                      ClampCase{-3e9, 9, true, 0}, ClampCase{1e300, 9, true, 9},
                      ClampCase{-1e300, 9, true, 0}, ClampCase{DBL_MAX, 9, true, 9},
                      ClampCase{-DBL_MAX, 9, true, 0}, ClampCase{kInf, 9, true, 9},
                      ClampCase{-kInf, 9, true, 0}, ClampCase{0.3, 0, true, 0},
                      ClampCase{5.0, 0, true, 0}, ClampCase{kNaN, 9, false, 0},
                      ClampCase{-kNaN, 9, false, 0}));

struct SpanCase {
  const char* name;
  double a;
  double b;
  const char* expected;  // the 10-byte row: '#' 255, '.' untouched
};

class FillSpanTable : public ::testing::TestWithParam<SpanCase> {};

TEST_P(FillSpanTable, WritesRoundedClampedEndsInclusive) {
  const auto& c = GetParam();
  // Ten picture bytes, then bytes that belong to someone else.
  std::vector<unsigned char> row(14, 0);
  for (int i = 10; i < 14; ++i) row[i] = 0x5A;
  FillSpan(row.data(), 10, c.a, c.b);
  std::string got;
  for (int i = 0; i < 10; ++i) got += row[i] == 255 ? '#' : row[i] == 0 ? '.' : '?';
  EXPECT_EQ(got, c.expected);
  for (int i = 10; i < 14; ++i) EXPECT_EQ(row[i], 0x5A) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Spans, FillSpanTable,
    ::testing::Values(SpanCase{"Plain", 2, 5, "..####...."},
                      SpanCase{"Reversed", 5, 2, ".........."},
                      SpanCase{"HalfBoth", 2.5, 2.5, "...#......"},
                      SpanCase{"RoundsOutward", 2.4, 2.6, "..##......"},
                      SpanCase{"EndsCross", 4.5, 4.4, ".........."},
                      SpanCase{"WhollyLeft", -5, -1, "#........."},
                      SpanCase{"WhollyRight", 12, 20, ".........#"},
                      SpanCase{"RightHalf", 9.5, 30, ".........#"},
                      SpanCase{"AroundZero", -0.5, 0.4, "#........."},
                      SpanCase{"Infinite", -kInf, kInf, "##########"},
                      SpanCase{"Huge", -1e300, 3e9, "##########"},
                      SpanCase{"NaNLeft", kNaN, 5, ".........."},
                      SpanCase{"NaNRight", 2, kNaN, ".........."}),
    [](const auto& tp) { return std::string(tp.param.name); });

}  // namespace
