#pragma once
#include "stdfx/Fixedx248.h"
#include "stdfx/Pointx248.h"
#include "stdfx/Rect.h"
#include "stdfx/StdfxApi.h"
#include "win/WinTypes.h"

namespace stdfx {

// A rectangle with 24.8 fixed-point coordinates, half-open like CRect: it is
// empty when left >= right or top >= bottom. Every coordinate change goes
// through the coordinate's own virtual operations. Polymorphic value type
// without a virtual destructor (never deleted through a base pointer); the
// virtual operations keep the order of the exported table.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class STDFX_API CRectx248 {
 public:
  // All zero (the interface leaves the coordinates unset).
  CRectx248();
  CRectx248(const CRectx248& other);
  // Integer coordinates of any RECT-layout rectangle (RECT, MFC's CRect,
  // stdfx::CRect), each times 256.
  CRectx248(const RECT& src);
  CRectx248(const CRect& src);
  CRectx248(int l, int t, int r, int b);
  CRectx248(const CFixedx248& l, const CFixedx248& t, const CFixedx248& r, const CFixedx248& b);

  // From any RECT-layout rectangle: each coordinate = the integer * 256.
  virtual CRectx248& operator=(const RECT& src);
  virtual CRectx248& operator=(const CRectx248& src);
  // Each coordinate = src's matching coordinate rounded by Ceil() (to an
  // integer, away from zero, on all four sides).
  virtual void CeilRect(const CRectx248& src);
  // This = the overlap of *a and *b: left and right first, then top and
  // bottom only when left < right. Returns 1 for a non-empty result;
  // otherwise sets all four coordinates to 0 and returns 0. Either input may
  // be this rectangle; a null input counts as empty.
  virtual int IntersectRect(CRectx248* a, CRectx248* b);

  // The same as operator=(const RECT&).
  CRectx248& operator=(const CRect& src);

  void SetRect(int l, int t, int r, int b);
  void SetRect(const CFixedx248& l, const CFixedx248& t, const CFixedx248& r, const CFixedx248& b);
  void SetRectEmpty();
  // 1 when left >= right, otherwise 1 when top >= bottom, else 0.
  int IsRectEmpty() const;
  void OffsetRect(int dx, int dy);
  void OffsetRect(const CFixedx248& dx, const CFixedx248& dy);
  void OffsetRect(const CPointx248& p);

  CFixedx248 left;
  CFixedx248 top;
  CFixedx248 right;
  CFixedx248 bottom;
};
#pragma GCC diagnostic pop

}  // namespace stdfx
