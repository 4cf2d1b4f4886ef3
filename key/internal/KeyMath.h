#pragma once
// Pure arithmetic of the chroma key: settings made safe, the lightness
// trapezoid, the blur radius, the position of a colour on the wheel mask and
// the rounded 8-bit products. Shared by the reference kernel and by any
// faster kernel that must match it bit for bit.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "wheel/WheelGeometry.h"

namespace mattix::key::internal {

// Rounded division by 255 of x in 0..65025 (a product of two 8-bit values):
// ((x + 128) + ((x + 128) >> 8)) >> 8, which equals floor(x / 255 + 1/2),
// i.e. halves rounded up, over that whole range.
constexpr std::uint32_t RoundDiv255(std::uint32_t x) {
  const std::uint32_t y = x + 128u;
  return (y + (y >> 8)) >> 8;
}

// Key weight t = round(w * k / 255) of lightness weight w and chroma weight k.
constexpr std::uint32_t KeyWeight(std::uint32_t w, std::uint32_t k) { return RoundDiv255(w * k); }

// Output alpha round(a * (255 - t) / 255) for source alpha a and key weight t.
constexpr std::uint32_t KeyedAlpha(std::uint32_t a, std::uint32_t t) {
  return RoundDiv255(a * (255u - t));
}

// Settings as the engine uses them. Values inside the parameters' ranges pass
// unchanged; the rest are given a defined meaning so that no conversion to an
// integer ever sees a NaN or an out-of-range value:
// - softness and spill suppression: NaN counts as 0, values are clamped to
//   0..100 percent (for softness this changes nothing: at or below 0 there is
//   no blur and from 100 up the radius is already at its cap of 100);
// - a lightness breakpoint that is NaN takes its default (0, 0, 100, 100 for
//   L0..L3); other values are clamped to -10000..10000 percent, so finite
//   breakpoints a little outside 0..100 keep their trapezoid, whose ramps
//   then start or end outside the table.
double SafeSoftness(double percent);
double SafeSpill(double percent);
double SafeBreakpoint(double percent, int which);
inline constexpr double kBreakpointLimit = 10000.0;

// Table index of a breakpoint: trunc(L * 2.55 + 0.5) in double precision,
// with 2.55 the single-precision constant widened (2.549999952316284), so
// 100 percent gives 255. Takes an already safe breakpoint.
int BreakpointIndex(double percent);

// The 256-entry lightness weight table (each entry 0..255) of four safe
// breakpoints in percent: 0 below a0, a ramp up to a1 (MulDiv rounding), 255
// from a1 through a2 inclusive, a ramp down to a3, 0 from a3 on. Each range
// starts where the previous one stopped; a range whose end lies below the
// current index is skipped, so breakpoints out of order give the shape the
// walk leaves behind. Never writes outside the 256 entries.
void FillLightnessTable(const double breakpoints[4], std::uint32_t table[256]);

// Blur radius of a softness above 0 (percent): 100 * (softness / 100)^4,
// at least 1 and at most 100. Softness 10 gives 1, 50 gives 6.25.
double SoftnessRadius(double softness);

// Spill factor that scales the saturation of partly keyed colours:
// 1 - spill / 100 in single precision (spill already safe, 0..100).
inline float SpillFactor(double spill) { return 1.0f - static_cast<float>(spill) / 100.0f; }

// The chroma mask as the kernels read it: an 8-bit picture of width x height
// bytes, rows in memory order. fx and fy are (width - 1) / 2 and
// (height - 1) / 2 in single precision. greyWeight is the weight of colours
// without hue: the byte at buffer row 120, column 120 (each index limited to
// the mask, so a mask smaller than 121 pixels a side reads its last row or
// column there).
struct MaskView {
  const std::uint8_t* pixels = nullptr;
  std::ptrdiff_t stride = 0;
  int width = 0;
  int height = 0;
  float fx = 0.0f;
  float fy = 0.0f;
  std::uint8_t greyWeight = 0;
};

MaskView MakeMaskView(const std::uint8_t* pixels, std::ptrdiff_t stride, int width, int height);

// Chroma weight of a colour: the mask byte at its wheel position, or the grey
// weight when the hue is undefined (h < 0).
inline std::uint32_t ChromaWeight(const MaskView& m, float h, float s) {
  if (!(h >= 0.0f)) return m.greyWeight;
  const wheel::Position p = wheel::PositionOf(h, s, m.fx, m.fy);
  return m.pixels[p.row * m.stride + p.column];
}

// Lightness table index of lightness l (0..1): trunc(l * 255 + 0.5), limited
// to 0..255.
inline int LightnessIndex(float l) {
  float v = l * 255.0f + 0.5f;
  if (!(v >= 0.0f)) v = 0.0f;
  if (v > 255.0f) v = 255.0f;
  return static_cast<int>(v);
}

}  // namespace mattix::key::internal
