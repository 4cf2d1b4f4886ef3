#include "stdfx/RGB2YUV.h"

namespace stdfx {

static_assert(sizeof(CRGB2YUV) == sizeof(void*) + 4 * 8, "a virtual table and four 64-bit members");

CRGB2YUV::CRGB2YUV(const CRGB2YUV& other)
    : m_kr(other.m_kr), m_kb(other.m_kb), m_clampY(other.m_clampY), m_clampC(other.m_clampC) {}

CRGB2YUV& CRGB2YUV::operator=(const CRGB2YUV& other) {
  m_kr = other.m_kr;
  m_kb = other.m_kb;
  m_clampY = other.m_clampY;
  m_clampC = other.m_clampC;
  return *this;
}

}  // namespace stdfx
