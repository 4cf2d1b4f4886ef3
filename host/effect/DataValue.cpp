#include "host/effect/DataValue.h"

#include "host/effect/HostStatus.h"

#include <new>

namespace mattix::host {

std::uint32_t CDataValue::GetSize() { return static_cast<std::uint32_t>(m_bytes.size()); }

const void* CDataValue::GetData() { return m_bytes.empty() ? nullptr : m_bytes.data(); }

PIM::Status CDataValue::Set(std::uint32_t size, const void* data) {
  if (size != 0 && data == nullptr) return kStatusBadArgument;
  try {
    // Copy first, then swap: data may point into the old bytes.
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::vector<std::uint8_t> copy(bytes, bytes + size);
    m_bytes.swap(copy);
  } catch (const std::bad_alloc&) {
    return kStatusOutOfMemory;
  }
  ++m_revision;
  return PIM::kOk;
}

}  // namespace mattix::host
