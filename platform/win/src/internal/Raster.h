#pragma once
// Pixel kernels of the layer: free functions over a 32-bit surface (rows
// top-down, `width` pixels apart) that clip to it and call nobody. The rules
// they follow are stated in win/WinGdi.h.
#include <cstdint>

#include "win/WinTypes.h"

namespace internal {

struct Surface {
  std::uint32_t* pixels;
  int width;
  int height;
};

// Fills [left, right) x [top, bottom), clipped.
void FillRect(const Surface& s, const RECT& r, std::uint32_t pixel);
// The line from a up to, not including, b.
void DrawLine(const Surface& s, POINT a, POINT b, std::uint32_t pixel);
// Even-odd fill of the closed polygon at pixel centres.
void FillPolygon(const Surface& s, const POINT* points, int count, std::uint32_t pixel);

// The intersection of two rectangles; empty (all 0) when they do not meet.
RECT Intersect(const RECT& a, const RECT& b);

}  // namespace internal
