#pragma once
#include <cstddef>
#include <type_traits>

#include "stdfx/StdfxApi.h"
#include "win/WinTypes.h"

namespace stdfx {

// An integer point that is exactly a Windows POINT (members only, no added
// fields). Arithmetic wraps in 32 bits.
class STDFX_API CPoint : public tagPOINT {
 public:
  // Both zero (the interface leaves the fields unset).
  CPoint();
  CPoint(const CPoint& other) = default;
  CPoint(int px, int py);
  CPoint(POINT p);

  void Offset(int dx, int dy);
  void Offset(POINT d);
  void operator+=(POINT d);
  void operator-=(POINT d);

  int operator==(POINT p) const;
  int operator!=(POINT p) const;

  CPoint operator-() const;
  CPoint operator+(POINT d) const;
  CPoint& operator=(const CPoint& src);
};

static_assert(sizeof(CPoint) == sizeof(POINT) && alignof(CPoint) == alignof(POINT));
static_assert(std::is_standard_layout_v<CPoint> && !std::is_polymorphic_v<CPoint>);
static_assert(offsetof(CPoint, x) == 0 && offsetof(CPoint, y) == 4);

}  // namespace stdfx
