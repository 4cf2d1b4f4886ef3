#include "host/effect/ParameterFactory.h"

#include "host/effect/HostStatus.h"

namespace mattix::host {

PIM::Status CParameterFactory::Create(std::int32_t kind, const PIM::IID& iid, void** out) {
  if (out == nullptr) return kStatusBadArgument;
  *out = nullptr;
  const int ordinal = m_creations++;
  if (auto refusal = m_refusals.find(ordinal); refusal != m_refusals.end()) {
    return refusal->second;
  }
  if (kind != Tarn::kNumberParameter && kind != Tarn::kDataParameter) return kStatusBadArgument;
  ParameterFaults faults;
  if (auto injected = m_faults.find(ordinal); injected != m_faults.end()) faults = injected->second;
  PIM::RefPtr<CParameter> parameter = Make<CParameter>(kind, faults);
  m_created.push_back(parameter);
  return parameter->QueryInterface(iid, out);
}

}  // namespace mattix::host
