#include "stdfx/Rectx248.h"

namespace stdfx {

CRectx248::CRectx248() = default;

CRectx248::CRectx248(const CRectx248& other) {
  SetRect(other.left, other.top, other.right, other.bottom);
}

CRectx248::CRectx248(const RECT& src) { SetRect(src.left, src.top, src.right, src.bottom); }

CRectx248::CRectx248(const CRect& src) { SetRect(src.left, src.top, src.right, src.bottom); }

CRectx248::CRectx248(int l, int t, int r, int b) { SetRect(l, t, r, b); }

CRectx248::CRectx248(const CFixedx248& l, const CFixedx248& t, const CFixedx248& r,
                     const CFixedx248& b) {
  SetRect(l, t, r, b);
}

CRectx248& CRectx248::operator=(const RECT& src) {
  SetRect(src.left, src.top, src.right, src.bottom);
  return *this;
}

CRectx248& CRectx248::operator=(const CRectx248& src) {
  SetRect(src.left, src.top, src.right, src.bottom);
  return *this;
}

void CRectx248::CeilRect(const CRectx248& src) {
  left = src.left.Ceil();
  top = src.top.Ceil();
  right = src.right.Ceil();
  bottom = src.bottom.Ceil();
}

int CRectx248::IntersectRect(CRectx248* a, CRectx248* b) {
  if (a && b) {
    left = a->left > b->left ? a->left : b->left;
    right = a->right < b->right ? a->right : b->right;
    if (left < right) {
      top = a->top > b->top ? a->top : b->top;
      bottom = a->bottom < b->bottom ? a->bottom : b->bottom;
      if (top < bottom) return 1;
    }
  }
  SetRectEmpty();
  return 0;
}

CRectx248& CRectx248::operator=(const CRect& src) { return *this = static_cast<const RECT&>(src); }

void CRectx248::SetRect(int l, int t, int r, int b) {
  left = l;
  top = t;
  right = r;
  bottom = b;
}

void CRectx248::SetRect(const CFixedx248& l, const CFixedx248& t, const CFixedx248& r,
                        const CFixedx248& b) {
  left = l;
  top = t;
  right = r;
  bottom = b;
}

void CRectx248::SetRectEmpty() { SetRect(0, 0, 0, 0); }

int CRectx248::IsRectEmpty() const {
  if (left >= right) return 1;
  return top >= bottom ? 1 : 0;
}

void CRectx248::OffsetRect(int dx, int dy) {
  left += dx;
  right += dx;
  top += dy;
  bottom += dy;
}

void CRectx248::OffsetRect(const CFixedx248& dx, const CFixedx248& dy) {
  left += dx;
  right += dx;
  top += dy;
  bottom += dy;
}

void CRectx248::OffsetRect(const CPointx248& p) { OffsetRect(p.x, p.y); }

}  // namespace stdfx
