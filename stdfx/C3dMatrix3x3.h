#pragma once
#include "stdfx/StdfxApi.h"

namespace stdfx {

// A 3x3 matrix of doubles, row-major: element (row, column) is the
// (row * 3 + column)-th. Its one virtual operation, the copy assignment, is
// supplied by the image library (libpixmill.so), which therefore also holds
// the table of virtual operations and the type information; the constructors
// and element access are the support library's own. Polymorphic value type
// without a virtual destructor (never deleted through a base pointer).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class STDFX_API C3dMatrix3x3 {
 public:
  // All zero (the interface leaves the elements unset).
  C3dMatrix3x3();
  // Copies the nine elements.
  C3dMatrix3x3(const C3dMatrix3x3& other);

  // Copies the nine elements; defined in the image library.
  virtual C3dMatrix3x3& operator=(const C3dMatrix3x3& other);

  // Element row * 3 + column. The indices are not checked in release builds
  // (they must lie in 0..2); debug builds assert.
  double& operator()(int row, int column);
  const double& operator()(int row, int column) const;

 private:
  double m_e[9];
};
#pragma GCC diagnostic pop

}  // namespace stdfx
