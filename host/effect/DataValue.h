#pragma once
// A byte-block value facet of a parameter (current or default value). The
// host owns the bytes: Set copies them in, GetData lends them out until the
// next Set.
#include "host/effect/HostObject.h"
#include "tarn/Parameters.h"

#include <cstdint>
#include <vector>

namespace mattix::host {

class CDataValue : public TObject<Tarn::IFXDataValue> {
 public:
  CDataValue() = default;

  std::uint32_t GetSize() override;
  // Null for an empty value.
  const void* GetData() override;
  // Copies size bytes from data (which may point into this value). A null
  // data with a non-zero size is refused with kStatusBadArgument; a copy that
  // cannot be allocated with kStatusOutOfMemory, the value unchanged.
  PIM::Status Set(std::uint32_t size, const void* data) override;

  const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
  std::uint64_t Revision() const { return m_revision; }

 private:
  std::vector<std::uint8_t> m_bytes;
  std::uint64_t m_revision = 0;
};

}  // namespace mattix::host
