#include "host/effect/EffectRegistry.h"

#include "host/effect/HostStatus.h"

#include <utility>

namespace mattix::host {

CEffectRegistry::CEffectRegistry(EffectRegistryOptions options, CallLogPtr log)
    : m_options(options), m_log(std::move(log)) {}

bool CEffectRegistry::Offers(const PIM::IID& iid) const {
  if (iid == Tarn::IFXEffectRegistryFacet1::kIID) return m_options.offerFacet1;
  if (iid == Tarn::IFXEffectRegistryFacet2::kIID) return m_options.offerFacet2;
  return true;
}

PIM::Status CEffectRegistry::Register(Tarn::IFXEffectInfo* info) {
  Log(m_log, "registry.Register");
  if (m_options.refusal != PIM::kOk) return m_options.refusal;
  const auto* ours = dynamic_cast<const CEffectInfo*>(info);
  if (ours == nullptr) return kStatusBadArgument;
  m_registered.push_back(ours->Description());
  return PIM::kOk;
}

void CEffectRegistry::Update() { Log(m_log, "registry.Update"); }

void CEffectRegistry::AttachModuleRecord(const void* record) {
  m_moduleRecord = record;
  Log(m_log, "registry1.AttachModuleRecord");
}

void CEffectRegistry::Announce() { Log(m_log, "registry2.Announce"); }

}  // namespace mattix::host
