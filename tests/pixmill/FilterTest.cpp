// Reconstruction filters: values from their published definitions, the
// properties every resampling filter of the catalogue must have (zero
// outside its width, symmetry, sums of shifted copies).
#include <gtest/gtest.h>

#include <numbers>
#include <vector>

#include "stdfx/Filter2d.h"

namespace {

using stdfx2d::CFilter;

// Each filter's values from its published definition, zero outside its
// width, symmetry, interpolation where it interpolates (1 at 0, 0 at other
// integers), and copies shifted by whole samples adding up to 1 everywhere
// (Lanczos, a windowed sinc, only nearly).
TEST(Filter, CatalogueMatchesDefinitionsAndProperties) {
  const double pi2 = std::numbers::pi * std::numbers::pi;
  const struct {
    int method;
    double width;
    bool interpolating;
    double unitySumError;
    std::vector<std::pair<double, double>> values;  // (x, f(x))
  } cases[] = {
      {CFilter::kBox, 0.5, true, 1e-15, {{-0.5, 1}, {0.25, 1}, {0.5, 0}}},
      {CFilter::kTriangle, 1.0, true, 1e-15, {{0.25, 0.75}, {-0.5, 0.5}}},
      {CFilter::kBell, 1.5, false, 1e-15, {{0, 0.75}, {0.5, 0.5}, {1, 0.125}}},
      {CFilter::kBSpline, 2.0, false, 1e-15, {{0, 4.0 / 6}, {1, 1.0 / 6}, {0.5, 23.0 / 48}}},
      {CFilter::kMitchell, 2.0, false, 1e-15, {{0, 8.0 / 9}, {1, 1.0 / 18}, {-1, 1.0 / 18}}},
      {CFilter::kCatmullRom, 2.0, true, 1e-15, {{0.5, 9.0 / 16}, {1.5, -1.0 / 16}}},
      {CFilter::kLanczos3, 3.0, true, 2e-2, {{0.5, 6 / pi2}}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    const CFilter f(c.method);
    EXPECT_EQ(f.GetFilterWidth(), c.width);
    for (const auto& [x, want] : c.values) EXPECT_NEAR(f.X(x), want, 1e-12) << "x " << x;
    for (double x = c.width; x < c.width + 3; x += 0.125) {
      EXPECT_EQ(f.X(x), 0.0) << x;
      EXPECT_TRUE(c.method == CFilter::kBox || f.X(-x) == 0.0) << x;
    }
    for (double x = 0.0625; x < c.width; x += 0.0625) EXPECT_DOUBLE_EQ(f.X(x), f.X(-x)) << x;
    for (int k = 0; c.interpolating && k < 4; ++k) EXPECT_NEAR(f.X(k), k == 0, 1e-15) << k;
    for (double t = 0.0; t < 1.0; t += 1.0 / 64) {
      double sum = 0.0;
      for (int k = -4; k <= 4; ++k) sum += f.X(t - k);
      EXPECT_NEAR(sum, 1.0, c.unitySumError) << "t " << t;
    }
  }
}

}  // namespace
