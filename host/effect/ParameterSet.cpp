#include "host/effect/ParameterSet.h"

#include "host/effect/HostStatus.h"

#include <utility>

namespace mattix::host {

CParameterSet::CParameterSet(std::vector<PIM::RefPtr<CParameter>> parameters)
    : m_parameters(std::move(parameters)) {}

PIM::Status CParameterSet::GetParameter(std::int32_t index, const PIM::IID& iid, void** out) {
  if (out == nullptr) return kStatusBadArgument;
  *out = nullptr;
  CParameter* parameter = Find(index);
  if (parameter == nullptr) return kStatusNotFound;
  return parameter->QueryInterface(iid, out);
}

CParameter* CParameterSet::Find(std::int32_t index) const {
  for (const auto& p : m_parameters) {
    if (p->Index() == index) return p.Get();
  }
  return nullptr;
}

CParameter* CParameterSet::Find(const std::string& name) const {
  for (const auto& p : m_parameters) {
    if (p->Name() == name) return p.Get();
  }
  return nullptr;
}

}  // namespace mattix::host
