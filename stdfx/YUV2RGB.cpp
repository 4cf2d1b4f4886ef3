#include "stdfx/YUV2RGB.h"

namespace stdfx {

static_assert(sizeof(CYUV2RGB) == sizeof(void*) + 5 * 8, "a virtual table and five 64-bit members");

CYUV2RGB::CYUV2RGB(const CYUV2RGB& other)
    : m_crToR(other.m_crToR),
      m_cbToG(other.m_cbToG),
      m_crToG(other.m_crToG),
      m_cbToB(other.m_cbToB),
      m_table(other.m_table) {}

CYUV2RGB& CYUV2RGB::operator=(const CYUV2RGB& other) {
  m_crToR = other.m_crToR;
  m_cbToG = other.m_cbToG;
  m_crToG = other.m_crToG;
  m_cbToB = other.m_cbToB;
  m_table = other.m_table;
  return *this;
}

const std::int32_t* CYUV2RGB::GetMinMaxN256P512Table0() const {
  return m_table ? m_table + 256 : nullptr;
}

}  // namespace stdfx
