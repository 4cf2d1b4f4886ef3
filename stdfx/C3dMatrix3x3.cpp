#include "stdfx/C3dMatrix3x3.h"

#include <cassert>

namespace stdfx {

C3dMatrix3x3::C3dMatrix3x3() : m_e{} {}

C3dMatrix3x3::C3dMatrix3x3(const C3dMatrix3x3& other) {
  for (int i = 0; i < 9; ++i) m_e[i] = other.m_e[i];
}

double& C3dMatrix3x3::operator()(int row, int column) {
  assert(row >= 0 && row < 3 && column >= 0 && column < 3);
  return m_e[row * 3 + column];
}

const double& C3dMatrix3x3::operator()(int row, int column) const {
  assert(row >= 0 && row < 3 && column >= 0 && column < 3);
  return m_e[row * 3 + column];
}

}  // namespace stdfx
