#pragma once
#include <cstddef>
#include <type_traits>

#include "stdfx/StdfxApi.h"
#include "win/WinTypes.h"

namespace stdfx {

// An integer rectangle that is exactly a Windows RECT (it adds members, no
// fields), so a pointer to it is a pointer to a RECT. Rectangles are
// half-open: right and bottom lie outside. Arithmetic wraps in 32 bits.
// Null RECT pointers count as an empty rectangle.
class STDFX_API CRect : public tagRECT {
 public:
  // All zero (the interface leaves the fields unset).
  CRect();
  CRect(const CRect& other) = default;
  CRect(int l, int t, int r, int b);
  CRect(const RECT& src);
  CRect(LPCRECT src);
  CRect(POINT topLeft, POINT bottomRight);

  void SetRect(int l, int t, int r, int b);
  void operator=(const RECT& src);
  CRect& operator=(const CRect& src);

  int Width() const;   // right - left
  int Height() const;  // bottom - top

  operator LPRECT();
  operator LPCRECT() const;

  // 1 when right - left < 1 or bottom - top < 1 (differences in 32 bits).
  int IsRectEmpty() const;
  // 1 when all four fields are 0.
  int IsRectNull() const;
  void SetRectEmpty();

  int EqualRect(LPCRECT other) const;
  int operator==(const RECT& other) const;
  int operator!=(const RECT& other) const;

  void OffsetRect(int dx, int dy);

  // Reads both inputs first, so either may be this rectangle. When either is
  // empty or they do not overlap (touching edges do not), sets this to
  // (0, 0, 0, 0) and returns 0; otherwise stores the overlap and returns 1.
  int IntersectRect(LPCRECT a, LPCRECT b);
};

static_assert(sizeof(CRect) == sizeof(RECT) && alignof(CRect) == alignof(RECT));
static_assert(std::is_standard_layout_v<CRect> && !std::is_polymorphic_v<CRect>);
static_assert(offsetof(CRect, left) == 0 && offsetof(CRect, top) == 4 &&
              offsetof(CRect, right) == 8 && offsetof(CRect, bottom) == 12);

}  // namespace stdfx
