#include "host/effect/ParameterList.h"

#include "host/effect/HostStatus.h"

namespace mattix::host {

PIM::Status CParameterList::Add(Tarn::IFXParameter* parameter) {
  const int ordinal = m_adds++;
  if (auto refusal = m_refusals.find(ordinal); refusal != m_refusals.end()) return refusal->second;
  auto* ours = dynamic_cast<CParameter*>(parameter);
  if (ours == nullptr) return kStatusBadArgument;
  m_parameters.push_back(PIM::RefPtr<CParameter>::Retain(ours));
  return PIM::kOk;
}

}  // namespace mattix::host
