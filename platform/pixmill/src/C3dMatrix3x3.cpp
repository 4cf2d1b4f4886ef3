// The matrix's copy assignment, the one operation of stdfx::C3dMatrix3x3
// that the image library supplies. Being the class's only virtual operation,
// it also anchors the matrix's table of virtual operations and type
// information here.
#include "stdfx/C3dMatrix3x3.h"

namespace stdfx {

C3dMatrix3x3& C3dMatrix3x3::operator=(const C3dMatrix3x3& other) {
  for (int i = 0; i < 9; ++i) m_e[i] = other.m_e[i];
  return *this;
}

}  // namespace stdfx
