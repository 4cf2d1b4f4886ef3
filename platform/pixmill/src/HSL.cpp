// RGB <-> HLS in the double hexcone model (Foley, van Dam et al., Computer
// Graphics: Principles and Practice, RGB_To_HLS and HLS_To_RGB), with hue
// in turns instead of degrees.
#include "stdfx/HSL.h"

#include <algorithm>
#include <cmath>

namespace stdfx {
namespace {

double Clamp01(float v) {
  if (!(v > 0.0f)) return 0.0;  // also NaN
  return v < 1.0f ? static_cast<double>(v) : 1.0;
}

// One channel of HLS_To_RGB: the value at hue position t (turns) on the
// trapezoid that runs from m1 up to m2 and back.
double Channel(double m1, double m2, double t) {
  t -= std::floor(t);
  if (t < 1.0 / 6.0) return m1 + (m2 - m1) * t * 6.0;
  if (t < 0.5) return m2;
  if (t < 2.0 / 3.0) return m1 + (m2 - m1) * (2.0 / 3.0 - t) * 6.0;
  return m1;
}

int To8Bit(double v) {
  const double scaled = std::floor(v * 255.0 + 0.5);
  return static_cast<int>(std::clamp(scaled, 0.0, 255.0));
}

}  // namespace

void CHSL::RGBtoHLS(float& h, float& l, float& s, int r, int g, int b) {
  r = std::clamp(r, 0, 255);
  g = std::clamp(g, 0, 255);
  b = std::clamp(b, 0, 255);
  const int mx = std::max({r, g, b});
  const int mn = std::min({r, g, b});
  const int sum = mx + mn;  // 0..510
  const int delta = mx - mn;
  l = static_cast<float>(sum / 510.0);
  if (delta == 0) {
    h = -1.0f;
    s = 0.0f;
    return;
  }
  // Saturation: delta over the distance of lightness to the nearer of black
  // and white, both measured in the same 0..510 units.
  s = static_cast<float>(sum <= 255 ? static_cast<double>(delta) / sum
                                    : static_cast<double>(delta) / (510 - sum));
  double sector;  // hue in sixths of a turn, -1..5
  if (r == mx)
    sector = static_cast<double>(g - b) / delta;
  else if (g == mx)
    sector = 2.0 + static_cast<double>(b - r) / delta;
  else
    sector = 4.0 + static_cast<double>(r - g) / delta;
  double turns = sector / 6.0;
  if (turns < 0.0) turns += 1.0;
  float hf = static_cast<float>(turns);
  if (hf >= 1.0f) hf = 0.0f;  // a hue just below red rounded up to a full turn
  h = hf;
}

void CHSL::HLStoRGB(int& r, int& g, int& b, float h, float l, float s) {
  const double ld = Clamp01(l);
  const double sd = Clamp01(s);
  if (!(h >= 0.0f) || !std::isfinite(h) || sd == 0.0) {
    r = g = b = To8Bit(ld);
    return;
  }
  const double m2 = ld <= 0.5 ? ld * (1.0 + sd) : ld + sd - ld * sd;
  const double m1 = 2.0 * ld - m2;
  const double hd = h;
  r = To8Bit(Channel(m1, m2, hd + 1.0 / 3.0));
  g = To8Bit(Channel(m1, m2, hd));
  b = To8Bit(Channel(m1, m2, hd - 1.0 / 3.0));
}

}  // namespace stdfx
