#include "stdfx/Tables.h"

#include <cstring>

namespace stdfx {

static_assert(sizeof(CTables) == sizeof(void*) + 11 * sizeof(void*) + CTables::kStorageBytes,
              "a table pointer for the virtual table, eleven table pointers, the storage");

CTables::CTables(const CTables& other) {
  std::memcpy(m_tables, other.m_tables, sizeof m_tables);
  std::memcpy(m_storage, other.m_storage, sizeof m_storage);
}

CTables& CTables::operator=(const CTables& other) {
  if (this != &other) {
    std::memcpy(m_tables, other.m_tables, sizeof m_tables);
    std::memcpy(m_storage, other.m_storage, sizeof m_storage);
  }
  return *this;
}

const std::int32_t* CTables::GetMinMaxN256P512Table0() const {
  return m_tables[kN256P512] + k8bitBefore;
}
const std::int32_t* CTables::GetMinMaxL16H235Table0() const {
  return m_tables[kL16H235] + k8bitBefore;
}
const std::int32_t* CTables::GetMinMaxL16H240Table0() const {
  return m_tables[kL16H240] + k8bitBefore;
}
const std::int32_t* CTables::GetMinMax10bitTable0() const {
  return m_tables[k10bit] + k10bitBefore;
}
const std::int32_t* CTables::GetMinMax10bitYCCIRTable0() const {
  return m_tables[k10bitYCCIR] + k10bitBefore;
}
const std::int32_t* CTables::GetMinMax10bitCCCIRTable0() const {
  return m_tables[k10bitCCCIR] + k10bitBefore;
}

}  // namespace stdfx
