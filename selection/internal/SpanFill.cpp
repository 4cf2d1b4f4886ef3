#include "selection/internal/SpanFill.h"

#include <cassert>
#include <cmath>
#include <cstring>

namespace selection::internal {

double RoundHalfAway(double v) { return v >= 0 ? std::trunc(v + 0.5) : std::trunc(v - 0.5); }

bool ClampRound(double v, int last, int* out) {
  assert(last >= 0);
  const double r = RoundHalfAway(v);
  if (std::isnan(r)) return false;
  if (r < 0) {
    *out = 0;
  } else if (r > last) {
    *out = last;
  } else {
    *out = static_cast<int>(r);  // 0 <= r <= last: the conversion is exact
  }
  return true;
}

void FillSpan(unsigned char* row, int width, double a, double b) {
  int xl = 0;
  int xr = 0;
  if (!ClampRound(a, width - 1, &xl) || !ClampRound(b, width - 1, &xr)) return;
  if (xl > xr) return;
  std::memset(row + xl, 255, static_cast<std::size_t>(xr - xl) + 1);
}

}  // namespace selection::internal
