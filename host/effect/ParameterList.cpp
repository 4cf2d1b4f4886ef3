#include "host/effect/ParameterList.h"

#include "host/effect/HostStatus.h"

namespace mattix::host {

PIM::Status CParameterList::Add(Tarn::IFXParameter* parameter) {
  ++m_adds;
  auto* ours = dynamic_cast<CParameter*>(parameter);
  if (ours == nullptr) return kStatusBadArgument;
  m_parameters.push_back(PIM::RefPtr<CParameter>::Retain(ours));
  return PIM::kOk;
}

}  // namespace mattix::host
