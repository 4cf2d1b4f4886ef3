// The library's pure functions against independent formulations: RGB <-> HLS
// against textbook formulations other than the one the library uses (the hue
// from the ordering of the channels (hexagon sectors), saturation as
// (max - L) / min(L, 1 - L); HLS -> RGB by the exact round trip);
// reconstruction filters from their published definitions and the
// properties every resampling filter of the catalogue must have (zero outside
// its width, symmetry, sums of shifted copies); the shared clamp tables, every
// entry over every documented index range. (That the blur's output stays
// inside the 8-bit table is checked with the blur.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <tuple>
#include <vector>

#include "stdfx/Filter2d.h"
#include "stdfx/HSL.h"
#include "stdfx/Tables.h"

namespace {

// Hue in turns by sector: which channel is largest and which smallest fixes
// a sixth of the turn, the middle channel's position between them the place
// in it; -1 for greys.
double ReferenceHue(int r, int g, int b) {
  if (r == g && g == b) return -1.0;
  const double R = r, G = g, B = b;
  double sixths;
  if (r >= g && g >= b)
    sixths = 0 + (G - B) / (R - B);
  else if (g >= r && r >= b)
    sixths = 2 - (R - B) / (G - B);
  else if (g >= b && b >= r)
    sixths = 2 + (B - R) / (G - R);
  else if (b >= g && g >= r)
    sixths = 4 - (G - R) / (B - R);
  else if (b >= r && r >= g)
    sixths = 4 + (R - G) / (B - G);
  else
    sixths = 6 - (B - G) / (R - G);
  return sixths >= 6 ? 0.0 : sixths / 6;
}

// Random colours, reds just below a full turn and near-greys (where hue is
// most sensitive): H, L and S as the references give them, and the round
// trip back to RGB exact.
TEST(CHSL, RgbToHlsMatchesTheReferenceAndRoundTrips) {
  std::mt19937 rng(42);
  auto byte = [&] { return int(rng() & 255); };
  for (int i = 0; i < 80000; ++i) {
    int r = byte(), g = byte(), b = byte();
    if (i % 4 == 1) {
      r = std::clamp(g + byte() % 3 - 1, 0, 255);
      b = std::clamp(g + byte() % 3 - 1, 0, 255);
    }
    if (i % 4 == 2) {
      r = 255;
      g = byte() % (b + 1);
    }
    float h = 0, l = 0, s = 0;
    stdfx::CHSL::RGBtoHLS(h, l, s, r, g, b);
    const double mx = std::max({r, g, b}) / 255.0, mn = std::min({r, g, b}) / 255.0;
    const double refL = (mx + mn) / 2, refH = ReferenceHue(r, g, b);
    const double refS = refH < 0 ? 0.0 : (mx - refL) / std::min(refL, 1 - refL);
    ASSERT_NEAR(l, refL, 1e-6) << r << ' ' << g << ' ' << b;
    ASSERT_NEAR(s, refS, 1e-6) << r << ' ' << g << ' ' << b;
    const double d = std::fabs(h - refH);  // hue error on the circle
    ASSERT_TRUE(refH < 0 ? h == -1.0f : (h >= 0.0f && h < 1.0f && std::min(d, 1 - d) <= 1e-6))
        << r << ' ' << g << ' ' << b << ": " << h;
    int r2 = -1, g2 = -1, b2 = -1;
    stdfx::CHSL::HLStoRGB(r2, g2, b2, h, l, s);
    ASSERT_EQ(std::tuple(r2, g2, b2), std::tuple(r, g, b));
  }
}

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

using stdfx::CTables;

// Every entry over every documented index range (lowest..highest relative
// to Table0) is the index clamped to lo..hi.
TEST(CTables, EveryIndexClamps) {
  using Get = const std::int32_t* (CTables::*)() const;
  const struct {
    Get table0, start;
    int lowest, highest, lo, hi;
  } cases[] = {
      {&CTables::GetMinMaxN256P512Table0, &CTables::GetMinMaxN256P512Table, -512, 1023, 0, 255},
      {&CTables::GetMinMaxL16H235Table0, &CTables::GetMinMaxL16H235Table, -512, 1023, 16, 235},
      {&CTables::GetMinMaxL16H240Table0, &CTables::GetMinMaxL16H240Table, -512, 1023, 16, 240},
      {&CTables::GetMinMax10bitTable0, &CTables::GetMinMax10bitTable, -2048, 2559, 0, 1023},
      {&CTables::GetMinMax10bitYCCIRTable0, &CTables::GetMinMax10bitYCCIRTable, -2048, 2559, 64,
       940},
      {&CTables::GetMinMax10bitCCCIRTable0, &CTables::GetMinMax10bitCCCIRTable, -2048, 2559, 64,
       960}};
  const CTables& t = CTables::GetInstance();
  for (const auto& c : cases) {
    const std::int32_t* zero = (t.*c.table0)();
    ASSERT_NE(zero, nullptr);
    ASSERT_EQ(zero + c.lowest, (t.*c.start)());
    for (long v = c.lowest; v <= c.highest; ++v)
      ASSERT_EQ(zero[v], std::clamp<long>(v, c.lo, c.hi)) << "index " << v << " of " << c.hi;
  }
}

}  // namespace
