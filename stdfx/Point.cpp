#include "stdfx/Point.h"

#include "stdfx/internal/Wrap32.h"

namespace stdfx {

using internal::Add32;
using internal::Neg32;
using internal::Sub32;

CPoint::CPoint() : tagPOINT{0, 0} {}
CPoint::CPoint(int px, int py) : tagPOINT{px, py} {}
CPoint::CPoint(POINT p) : tagPOINT(p) {}

void CPoint::Offset(int dx, int dy) {
  x = Add32(x, dx);
  y = Add32(y, dy);
}
void CPoint::Offset(POINT d) { Offset(d.x, d.y); }
void CPoint::operator+=(POINT d) { Offset(d.x, d.y); }
void CPoint::operator-=(POINT d) {
  x = Sub32(x, d.x);
  y = Sub32(y, d.y);
}

int CPoint::operator==(POINT p) const { return x == p.x && y == p.y ? 1 : 0; }
int CPoint::operator!=(POINT p) const { return x != p.x || y != p.y ? 1 : 0; }

CPoint CPoint::operator-() const { return CPoint(Neg32(x), Neg32(y)); }
CPoint CPoint::operator+(POINT d) const { return CPoint(Add32(x, d.x), Add32(y, d.y)); }

CPoint& CPoint::operator=(const CPoint& src) {
  x = src.x;
  y = src.y;
  return *this;
}

}  // namespace stdfx
