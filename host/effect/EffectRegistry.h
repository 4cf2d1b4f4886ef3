#pragma once
// The host's effect registry: keeps a copy of the description of every
// effect registered with it.
#include "host/effect/CallLog.h"
#include "host/effect/EffectInfo.h"
#include "host/effect/HostObject.h"
#include "tarn/Registry.h"

#include <vector>

namespace mattix::host {

struct EffectRegistryOptions {
  bool offerFacet1 = true;
  bool offerFacet2 = true;
  // Non-zero: Register refuses with this status and keeps nothing.
  PIM::Status refusal = PIM::kOk;
};

class CEffectRegistry : public TObject<Tarn::IFXEffectRegistry, Tarn::IFXEffectRegistryFacet1,
                                       Tarn::IFXEffectRegistryFacet2> {
 public:
  explicit CEffectRegistry(EffectRegistryOptions options = {}, CallLogPtr log = nullptr);

  // Takes a copy of info's description; info must be a CEffectInfo
  // (kStatusBadArgument otherwise).
  PIM::Status Register(Tarn::IFXEffectInfo* info) override;
  void Update() override;
  void AttachModuleRecord(const void* record) override;
  void Announce() override;

  const std::vector<EffectDescription>& Registered() const { return m_registered; }
  // The address the module gave its first facet; never dereferenced.
  const void* ModuleRecord() const { return m_moduleRecord; }

 protected:
  bool Offers(const PIM::IID& iid) const override;

 private:
  EffectRegistryOptions m_options;
  CallLogPtr m_log;
  std::vector<EffectDescription> m_registered;
  const void* m_moduleRecord = nullptr;
};

}  // namespace mattix::host
