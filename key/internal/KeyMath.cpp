#include "key/internal/KeyMath.h"

#include <algorithm>

#include "win/WinKernel.h"

namespace mattix::key::internal {

namespace {

double ClampPercent(double v, double lo, double hi, double ifNaN) {
  if (std::isnan(v)) return ifNaN;
  return std::clamp(v, lo, hi);
}

}  // namespace

double SafeSoftness(double percent) { return ClampPercent(percent, 0.0, 100.0, 0.0); }

double SafeSpill(double percent) { return ClampPercent(percent, 0.0, 100.0, 0.0); }

double SafeBreakpoint(double percent, int which) {
  const double fallback = which < 2 ? 0.0 : 100.0;
  return ClampPercent(percent, -kBreakpointLimit, kBreakpointLimit, fallback);
}

int BreakpointIndex(double percent) {
  // |percent| <= 10000 keeps the product far inside int range.
  return static_cast<int>(percent * static_cast<double>(2.55f) + 0.5);
}

void FillLightnessTable(const double breakpoints[4], std::uint32_t table[256]) {
  const int a0 = BreakpointIndex(breakpoints[0]);
  const int a1 = BreakpointIndex(breakpoints[1]);
  const int a2 = BreakpointIndex(breakpoints[2]);
  const int a3 = BreakpointIndex(breakpoints[3]);
  constexpr int n = 256;
  int i = 0;
  for (; i < std::min(a0, n); ++i) table[i] = 0;
  // In the ramps a0 <= i < a1 and a2 < i < a3, so every MulDiv below has a
  // positive divisor and a quotient in 0..255.
  for (; i < std::min(a1, n); ++i)
    table[i] = static_cast<std::uint32_t>(MulDiv(i - a0, 255, a1 - a0));
  for (; i <= std::min(a2, n - 1); ++i) table[i] = 255;
  for (; i < std::min(a3, n); ++i)
    table[i] = 255u - static_cast<std::uint32_t>(MulDiv(i - a2, 255, a3 - a2));
  for (; i < n; ++i) table[i] = 0;
}

double SoftnessRadius(double softness) {
  const double u = softness / 100.0;
  const double r = 100.0 * u * u * u * u;
  if (r < 1.0) return 1.0;
  return std::min(r, 100.0);
}

MaskView MakeMaskView(const std::uint8_t* pixels, std::ptrdiff_t stride, int width, int height) {
  MaskView m;
  m.pixels = pixels;
  m.stride = stride;
  m.width = width;
  m.height = height;
  m.fx = static_cast<float>(width - 1) * 0.5f;
  m.fy = static_cast<float>(height - 1) * 0.5f;
  const int greyRow = std::min(wheel::kGreyRow, height - 1);
  const int greyCol = std::min(wheel::kGreyColumn, width - 1);
  m.greyWeight = pixels[greyRow * stride + greyCol];
  return m;
}

}  // namespace mattix::key::internal
