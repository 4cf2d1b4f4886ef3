// RGB <-> HLS checked against textbook formulations other than the one the
// library uses: the hue from the ordering of the channels (hexagon sectors),
// saturation as (max - L) / min(L, 1 - L); HLS -> RGB by the exact round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>

#include "stdfx/HSL.h"

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

}  // namespace
