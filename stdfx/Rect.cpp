#include "stdfx/Rect.h"

#include "stdfx/internal/Wrap32.h"

namespace stdfx {

using internal::Add32;
using internal::Sub32;

namespace {
int IsEmpty(const RECT& r) {
  return Sub32(r.right, r.left) < 1 || Sub32(r.bottom, r.top) < 1 ? 1 : 0;
}
}  // namespace

CRect::CRect() : tagRECT{0, 0, 0, 0} {}
CRect::CRect(int l, int t, int r, int b) : tagRECT{l, t, r, b} {}
CRect::CRect(const RECT& src) : tagRECT(src) {}
CRect::CRect(LPCRECT src) : tagRECT(src ? *src : RECT{0, 0, 0, 0}) {}
CRect::CRect(POINT topLeft, POINT bottomRight)
    : tagRECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y} {}

void CRect::SetRect(int l, int t, int r, int b) {
  left = l;
  top = t;
  right = r;
  bottom = b;
}

void CRect::operator=(const RECT& src) { SetRect(src.left, src.top, src.right, src.bottom); }

CRect& CRect::operator=(const CRect& src) {
  SetRect(src.left, src.top, src.right, src.bottom);
  return *this;
}

int CRect::Width() const { return Sub32(right, left); }
int CRect::Height() const { return Sub32(bottom, top); }

CRect::operator LPRECT() { return this; }
CRect::operator LPCRECT() const { return this; }

int CRect::IsRectEmpty() const { return IsEmpty(*this); }
int CRect::IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0 ? 1 : 0; }
void CRect::SetRectEmpty() { SetRect(0, 0, 0, 0); }

int CRect::EqualRect(LPCRECT other) const { return other ? *this == *other : 0; }
int CRect::operator==(const RECT& other) const {
  return left == other.left && top == other.top && right == other.right && bottom == other.bottom
             ? 1
             : 0;
}
int CRect::operator!=(const RECT& other) const { return *this == other ? 0 : 1; }

void CRect::OffsetRect(int dx, int dy) {
  left = Add32(left, dx);
  right = Add32(right, dx);
  top = Add32(top, dy);
  bottom = Add32(bottom, dy);
}

int CRect::IntersectRect(LPCRECT a, LPCRECT b) {
  if (!a || !b) {
    SetRectEmpty();
    return 0;
  }
  const RECT ra = *a;  // copies first: this may be a or b
  const RECT rb = *b;
  if (IsEmpty(ra) || IsEmpty(rb) || ra.left >= rb.right || ra.right <= rb.left ||
      ra.top >= rb.bottom || ra.bottom <= rb.top) {
    SetRectEmpty();
    return 0;
  }
  SetRect(ra.left > rb.left ? ra.left : rb.left, ra.top > rb.top ? ra.top : rb.top,
          ra.right < rb.right ? ra.right : rb.right, ra.bottom < rb.bottom ? ra.bottom : rb.bottom);
  return 1;
}

}  // namespace stdfx
