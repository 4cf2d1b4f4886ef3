// Pixel kernels: rectangles, lines and polygons, clipped to the surface.
//
// Lines pick one pixel per step along the major axis and round the exact
// minor coordinate (halves toward +infinity); polygons are filled row by row
// from the crossings of the row's centre line with the edges. Both use exact
// integer arithmetic in 128 bits, so coordinates anywhere in the 32-bit
// range give the same pixels as small ones and no loop runs longer than the
// surface is wide or high.
#include <algorithm>
#include <cassert>
#include <vector>

#include "internal/Raster.h"

namespace internal {
namespace {

__extension__ using Int128 = __int128;

// floor(n / d) and ceil(n / d) for d > 0.
Int128 FloorDiv(Int128 n, Int128 d) {
  Int128 q = n / d;
  if (n % d != 0 && n < 0) --q;
  return q;
}
Int128 CeilDiv(Int128 n, Int128 d) { return -FloorDiv(-n, d); }

std::int64_t Clamp(Int128 v, std::int64_t lo, std::int64_t hi) {
  return v < lo ? lo : (v > hi ? hi : std::int64_t(v));
}

void FillRow(const Surface& s, int y, std::int64_t x0, std::int64_t x1, std::uint32_t pixel) {
  x0 = std::max<std::int64_t>(x0, 0);
  x1 = std::min<std::int64_t>(x1, s.width);
  if (y < 0 || y >= s.height || x0 >= x1) return;
  std::fill(s.pixels + std::int64_t(y) * s.width + x0, s.pixels + std::int64_t(y) * s.width + x1,
            pixel);
}

}  // namespace

RECT Intersect(const RECT& a, const RECT& b) {
  const RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
  if (r.left >= r.right || r.top >= r.bottom) return RECT{0, 0, 0, 0};
  return r;
}

void FillRect(const Surface& s, const RECT& r, std::uint32_t pixel) {
  const RECT c = Intersect(r, RECT{0, 0, s.width, s.height});
  for (int y = c.top; y < c.bottom; ++y) FillRow(s, y, c.left, c.right, pixel);
}

void DrawLine(const Surface& s, POINT a, POINT b, std::uint32_t pixel) {
  const std::int64_t dx = std::int64_t(b.x) - a.x;
  const std::int64_t dy = std::int64_t(b.y) - a.y;
  const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  // Walk the major axis: m = m0 + step * i for i in [0, n).
  const std::int64_t m0 = xMajor ? a.x : a.y;
  const std::int64_t n0 = xMajor ? a.y : a.x;
  const std::int64_t dm = xMajor ? dx : dy;
  const std::int64_t dn = xMajor ? dy : dx;
  const std::int64_t n = dm < 0 ? -dm : dm;
  if (n == 0) return;
  const std::int64_t step = dm > 0 ? 1 : -1;
  const std::int64_t limit = xMajor ? s.width : s.height;
  // Only the steps whose major coordinate lies on the surface.
  std::int64_t iLo = step > 0 ? -m0 : m0 - (limit - 1);
  std::int64_t iHi = step > 0 ? limit - m0 : m0 + 1;
  iLo = std::max<std::int64_t>(iLo, 0);
  iHi = std::min<std::int64_t>(iHi, n);
  for (std::int64_t i = iLo; i < iHi; ++i) {
    const std::int64_t m = m0 + step * i;
    // minor = n0 + round(i * dn / n), halves up: floor((2 i dn + n) / 2n).
    const std::int64_t minor =
        Clamp(n0 + FloorDiv(Int128(2) * i * dn + n, Int128(2) * n), -1, std::int64_t(1) << 32);
    const std::int64_t x = xMajor ? m : minor;
    const std::int64_t y = xMajor ? minor : m;
    if (x >= 0 && x < s.width && y >= 0 && y < s.height) s.pixels[y * s.width + x] = pixel;
  }
}

void FillPolygon(const Surface& s, const POINT* points, int count, std::uint32_t pixel) {
  if (count < 3) return;
  std::int64_t yMin = points[0].y, yMax = points[0].y;
  for (int i = 1; i < count; ++i) {
    yMin = std::min<std::int64_t>(yMin, points[i].y);
    yMax = std::max<std::int64_t>(yMax, points[i].y);
  }
  // Rows whose centre y + 0.5 lies in (yMin, yMax).
  const std::int64_t rowLo = std::max<std::int64_t>(yMin, 0);
  const std::int64_t rowHi = std::min<std::int64_t>(yMax, s.height);
  std::vector<std::int64_t> starts;
  try {
    starts.reserve(std::size_t(count));
  } catch (...) {
    return;
  }
  for (std::int64_t y = rowLo; y < rowHi; ++y) {
    starts.clear();
    for (int i = 0; i < count; ++i) {
      POINT p = points[i];
      POINT q = points[(i + 1) % count];
      if (p.y == q.y) continue;
      if (p.y > q.y) std::swap(p, q);
      // The edge spans [p.y, q.y): it crosses the centre line of rows p.y
      // to q.y - 1, so a vertex is never counted twice.
      if (y < p.y || y >= q.y) continue;
      // First pixel whose centre is at or right of the crossing xc:
      // ceil(xc - 0.5) with xc = p.x + (y + 0.5 - p.y) * (q.x - p.x) / D.
      const Int128 d = Int128(q.y) - p.y;
      const Int128 num =
          Int128(2) * p.x * d + (Int128(2) * y + 1 - Int128(2) * p.y) * (Int128(q.x) - p.x) - d;
      starts.push_back(Clamp(CeilDiv(num, 2 * d), -1, std::int64_t(s.width) + 1));
    }
    // A closed outline crosses a line between integers an even number of
    // times, so the sorted crossings pair up into the inside runs
    // [starts[0], starts[1]), [starts[2], starts[3]), ...
    assert(starts.size() % 2 == 0);
    std::sort(starts.begin(), starts.end());
    for (std::size_t k = 0; k + 1 < starts.size(); k += 2) {
      FillRow(s, int(y), starts[k], starts[k + 1], pixel);
    }
  }
}

}  // namespace internal
