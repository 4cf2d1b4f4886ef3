// RGB <-> HLS checked against textbook formulations other than the one the
// library uses: the hue from the ordering of the channels (hexagon sectors),
// saturation as (max - L) / min(L, 1 - L), and the HLS -> RGB formula
// f(n) = L - a * max(-1, min(k - 3, 9 - k, 1)) with k = (n + 12 h) mod 12.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "stdfx/HSL.h"

namespace {

struct Hls {
  double h;  // turns, -1 for no hue
  double l;
  double s;
};

// Hue by sector: which channel is largest and which smallest fixes a sixth
// of the turn, the middle channel's position between them the place in it.
Hls ReferenceHls(int r, int g, int b) {
  const double R = r / 255.0, G = g / 255.0, B = b / 255.0;
  const double mx = std::max({R, G, B}), mn = std::min({R, G, B});
  Hls out{};
  out.l = (mx + mn) / 2;
  if (r == g && g == b) return {-1.0, out.l, 0.0};
  out.s = (mx - out.l) / std::min(out.l, 1 - out.l);
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
  out.h = sixths / 6;
  if (out.h >= 1) out.h -= 1;
  return out;
}

// Channel n (0 red, 8 green, 4 blue) of HLS -> RGB, unrounded, in 0..1.
double ReferenceChannel(int n, double h, double l, double s) {
  const double a = s * std::min(l, 1 - l);
  const double k = std::fmod(n + 12 * h, 12.0);
  return l - a * std::max(-1.0, std::min({k - 3, 9 - k, 1.0}));
}

// Distance of two hues on the circle of one turn.
double HueDistance(double a, double b) {
  const double d = std::fabs(a - b);
  return std::min(d, 1 - d);
}

void ExpectMatchesReference(int r, int g, int b) {
  float h = 0, l = 0, s = 0;
  stdfx::CHSL::RGBtoHLS(h, l, s, r, g, b);
  const Hls ref = ReferenceHls(r, g, b);
  ASSERT_NEAR(l, ref.l, 1e-6) << r << ' ' << g << ' ' << b;
  ASSERT_NEAR(s, ref.s, 1e-6) << r << ' ' << g << ' ' << b;
  if (ref.h < 0) {
    ASSERT_EQ(h, -1.0f) << r << ' ' << g << ' ' << b;
  } else {
    ASSERT_TRUE(h >= 0.0f && h < 1.0f) << h;
    ASSERT_LE(HueDistance(h, ref.h), 1e-6) << r << ' ' << g << ' ' << b;
  }
}

TEST(CHSL, RandomColoursMatchReference) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 50000; ++i) ExpectMatchesReference(byte(rng), byte(rng), byte(rng));
  // Reds just below a full turn, and near-grey colours where hue is most
  // sensitive.
  for (int b = 1; b < 256; b += 3)
    for (int g = 0; g < b; g += 2) ExpectMatchesReference(255, g, b);
  for (int i = 0; i < 20000; ++i) {
    const int v = byte(rng);
    ExpectMatchesReference(std::clamp(v + byte(rng) % 3 - 1, 0, 255), v,
                           std::clamp(v + byte(rng) % 3 - 1, 0, 255));
  }
}

// Every 8-bit colour survives RGB -> HLS -> RGB (a lattice of the cube with
// both ends of every channel, plus random colours).
TEST(CHSL, RoundTripIsExact) {
  std::vector<int> levels;
  for (int v = 0; v < 256; v += 7) levels.push_back(v);
  levels.push_back(254);
  levels.push_back(255);
  auto check = [](int r0, int g0, int b0) {
    float h = 0, l = 0, s = 0;
    stdfx::CHSL::RGBtoHLS(h, l, s, r0, g0, b0);
    int r = -1, g = -1, b = -1;
    stdfx::CHSL::HLStoRGB(r, g, b, h, l, s);
    ASSERT_TRUE(r == r0 && g == g0 && b == b0) << r0 << ' ' << g0 << ' ' << b0;
  };
  for (int r : levels)
    for (int g : levels)
      for (int b : levels) check(r, g, b);
  std::mt19937 rng(7);
  for (int i = 0; i < 30000; ++i) check(rng() & 255, rng() & 255, rng() & 255);
}

// HLS -> RGB against the other textbook formula at random points: each
// channel is the reference value rounded to nearest.
TEST(CHSL, HlsToRgbMatchesReference) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int i = 0; i < 50000; ++i) {
    float h = unit(rng);
    if (h >= 1.0f) h = 0.0f;
    const float l = unit(rng);
    const float s = unit(rng);
    int rgb[3] = {-1, -1, -1};
    stdfx::CHSL::HLStoRGB(rgb[0], rgb[1], rgb[2], h, l, s);
    const int n[3] = {0, 8, 4};
    for (int c = 0; c < 3; ++c) {
      const double want = 255.0 * ReferenceChannel(n[c], h, l, s);
      ASSERT_LE(std::fabs(rgb[c] - want), 0.5 + 1e-6)
          << "h " << h << " l " << l << " s " << s << " channel " << c;
    }
  }
}

struct HlsInput {
  const char* name;
  float h, l, s;
  int r, g, b;
};

TEST(CHSL, HlsToRgbEdgeInputs) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<HlsInput> cases = {
      {"grey of half lightness rounds up", 0.3f, 0.5f, 0.0f, 128, 128, 128},
      {"no hue ignores saturation", -1.0f, 0.5f, 1.0f, 128, 128, 128},
      {"hue not a number is no hue", nan, 0.0f, 1.0f, 0, 0, 0},
      {"hue 1 is red", 1.0f, 0.5f, 1.0f, 255, 0, 0},
      {"hue taken modulo 1", 1.0f + 1.0f / 3.0f, 0.5f, 1.0f, 0, 255, 0},
      {"lightness above 1 clamps", 0.0f, 7.0f, 1.0f, 255, 255, 255},
      {"lightness not a number is 0", 0.0f, nan, 1.0f, 0, 0, 0},
      {"saturation above 1 clamps", 2.0f / 3.0f, 0.5f, 9.0f, 0, 0, 255},
      {"saturation not a number is 0", 0.5f, 0.5f, nan, 128, 128, 128},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int r = -1, g = -1, b = -1;
    stdfx::CHSL::HLStoRGB(r, g, b, c.h, c.l, c.s);
    EXPECT_TRUE(r == c.r && g == c.g && b == c.b) << r << ' ' << g << ' ' << b;
  }
  float h = 0, l = 0, s = 0;  // RGB outside 0..255 is clamped
  stdfx::CHSL::RGBtoHLS(h, l, s, 300, -5, 0);
  EXPECT_TRUE(h == 0.0f && l == 0.5f && s == 1.0f);
}

}  // namespace
