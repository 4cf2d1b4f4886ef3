#include "selection/internal/SpanFill.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

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
    ::testing::Values(RoundCase{0.0, 0.0}, RoundCase{2.5, 3.0}, RoundCase{2.4999, 2.0},
                      RoundCase{-2.5, -3.0}, RoundCase{-2.4999, -2.0},
                      // The sum 0.49999999999999994 + 0.5 rounds to 1.0 before
                      // the truncation: the formula, not exact rounding.
                      RoundCase{0.49999999999999994, 1.0},
                      // Above 2^52 adding 0.5 rounds to even: 2^52 + 1 -> 2^52 + 2.
                      RoundCase{4503599627370497.0, 4503599627370498.0}, RoundCase{-1e300, -1e300},
                      RoundCase{kInf, kInf}));

TEST(RoundHalfAway, KeepsNaN) { EXPECT_TRUE(std::isnan(RoundHalfAway(kNaN))); }

}  // namespace
