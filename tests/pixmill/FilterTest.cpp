// Reconstruction filters: values from their published definitions, the
// properties every resampling filter of the catalogue must have (zero
// outside its width, symmetry, sums of shifted copies), and the members.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "stdfx/Filter2d.h"

namespace {

using stdfx2d::CFilter;

struct FilterCase {
  const char* name;
  int method;
  double width;
  bool interpolating;    // 1 at 0, 0 at every other integer
  double unitySumError;  // how far the sum of unit-shifted copies may stray from 1
  std::vector<std::pair<double, double>> values;  // (x, f(x)) from the definitions
};

class Filters : public ::testing::TestWithParam<FilterCase> {};

TEST_P(Filters, MatchDefinitionsAndProperties) {
  const FilterCase& c = GetParam();
  const CFilter f(c.method);
  EXPECT_EQ(f.GetFilterMethod(), c.method);
  EXPECT_EQ(f.GetFilterWidth(), c.width);
  ASSERT_NE(f.GetFilterFunction(), nullptr);
  for (const auto& [x, want] : c.values) EXPECT_NEAR(f.X(x), want, 1e-12) << "x " << x;
  for (double x = c.width; x < c.width + 3; x += 0.125) {
    EXPECT_EQ(f.X(x), 0.0) << x;
    if (c.method != CFilter::kBox) {
      EXPECT_EQ(f.X(-x), 0.0) << -x;
    }
  }
  for (double x = 0.0625; x < c.width; x += 0.0625) EXPECT_DOUBLE_EQ(f.X(x), f.X(-x)) << x;
  if (c.interpolating) {
    EXPECT_DOUBLE_EQ(f.X(0.0), 1.0);
    for (int k = 1; k < 4; ++k) EXPECT_NEAR(f.X(k), 0.0, 1e-15) << k;
  }
  // Copies shifted by whole samples add up to 1 everywhere (a constant
  // signal is reconstructed as that constant).
  for (double t = 0.0; t < 1.0; t += 1.0 / 64) {
    double sum = 0.0;
    for (int k = -4; k <= 4; ++k) sum += f.X(t - k);
    EXPECT_NEAR(sum, 1.0, c.unitySumError) << "t " << t;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, Filters,
    ::testing::Values(
        FilterCase{"Box", CFilter::kBox, 0.5, true, 1e-15, {{-0.5, 1}, {0.25, 1}, {0.5, 0}}},
        FilterCase{"Triangle", CFilter::kTriangle, 1.0, true, 1e-15, {{0.25, 0.75}, {-0.5, 0.5}}},
        FilterCase{"Bell", CFilter::kBell, 1.5, false, 1e-15, {{0, 0.75}, {0.5, 0.5}, {1, 0.125}}},
        FilterCase{"BSpline",
                   CFilter::kBSpline,
                   2.0,
                   false,
                   1e-15,
                   {{0, 4.0 / 6}, {1, 1.0 / 6}, {-1, 1.0 / 6}, {0.5, 23.0 / 48}}},
        FilterCase{"Mitchell",
                   CFilter::kMitchell,
                   2.0,
                   false,
                   1e-15,
                   {{0, 8.0 / 9}, {1, 1.0 / 18}, {-1, 1.0 / 18}}},
        FilterCase{"CatmullRom",
                   CFilter::kCatmullRom,
                   2.0,
                   true,
                   1e-15,
                   {{0.5, 9.0 / 16}, {1.5, -1.0 / 16}}},
        // Lanczos is a windowed sinc: close to a partition of unity, not exact.
        FilterCase{"Lanczos3",
                   CFilter::kLanczos3,
                   3.0,
                   true,
                   2e-2,
                   {{0.5, 6 / (std::numbers::pi * std::numbers::pi)}}}));

double Half(double x) { return 0.5 * x; }

TEST(Filter, OwnFunctionsCopiesAndUnknownMethods) {
  const CFilter own(42, 3.5, Half);
  EXPECT_EQ(own.GetFilterMethod(), 42);
  EXPECT_EQ(own.GetFilterWidth(), 3.5);
  EXPECT_EQ(own.GetFilterFunction(), &Half);
  EXPECT_EQ(own.X(3.0), 1.5);
  CFilter other(CFilter::kBox);
  other = own;
  EXPECT_EQ(other.X(-2.0), -1.0);
  const CFilter unknown(99);
  EXPECT_EQ(unknown.GetFilterFunction(), nullptr);
  EXPECT_EQ(unknown.GetFilterWidth(), 0.0);
  EXPECT_EQ(unknown.X(0.0), 0.0);
}

}  // namespace
