#pragma once
// A number value facet of a parameter (current or default value).
#include "host/effect/HostObject.h"
#include "tarn/Parameters.h"

#include <cstdint>

namespace mattix::host {

class CNumberValue : public TObject<Tarn::IFXNumberValue> {
 public:
  explicit CNumberValue(double value = 0.0) : m_value(value) {}

  double Get() override { return m_value; }
  // Stores the value as given; the host does not clamp it to the range.
  PIM::Status Set(double value) override;

  double Value() const { return m_value; }
  // Number of Set calls so far; a host compares it to notice a change.
  std::uint64_t Revision() const { return m_revision; }

 private:
  double m_value;
  std::uint64_t m_revision = 0;
};

}  // namespace mattix::host
