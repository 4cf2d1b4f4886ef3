#include "stdfx/Pointx248.h"

namespace stdfx {

CPointx248::CPointx248() = default;

CPointx248::CPointx248(const CPointx248& other) {
  x = other.x;
  y = other.y;
}

CPointx248::CPointx248(int px, int py) {
  x = px;
  y = py;
}

CPointx248::CPointx248(const CFixedx248& px, const CFixedx248& py) {
  x = px;
  y = py;
}

CPointx248& CPointx248::operator=(const CPointx248& other) {
  x = other.x;
  y = other.y;
  return *this;
}

void CPointx248::Assign(const CFixedx248& px, const CFixedx248& py) {
  x = px;
  y = py;
}

void CPointx248::Assign(int px, int py) {
  x = px;
  y = py;
}

}  // namespace stdfx
