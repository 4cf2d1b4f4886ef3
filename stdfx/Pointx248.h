#pragma once
#include "stdfx/Fixedx248.h"
#include "stdfx/StdfxApi.h"

namespace stdfx {

// A point with 24.8 fixed-point coordinates. Every coordinate change goes
// through the coordinate's own virtual operations. Polymorphic value type
// without a virtual destructor (never deleted through a base pointer); the
// virtual operations keep the order of the exported table.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class STDFX_API CPointx248 {
 public:
  // Both coordinates zero (the interface leaves them unset).
  CPointx248();
  CPointx248(const CPointx248& other);
  CPointx248(int px, int py);
  CPointx248(const CFixedx248& px, const CFixedx248& py);

  virtual CPointx248& operator=(const CPointx248& other);
  virtual void Assign(const CFixedx248& px, const CFixedx248& py);
  virtual void Assign(int px, int py);

  CFixedx248 x;
  CFixedx248 y;
};
#pragma GCC diagnostic pop

}  // namespace stdfx
