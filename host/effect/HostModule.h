#pragma once
// The host API: loads an effect module, registers its effects and creates
// instances, as a video editor does.
//
//   auto module = CHostModule::Load("build/libmattix.so");
//   module->RegisterEffects();                  // module->Effects()[0].name
//   auto instance = module->CreateInstance();   // the first registered effect
//   instance->DefineParameters();
//   double softness = instance->Number("Softness");
#include "host/effect/EffectInfo.h"
#include "host/effect/EffectInstance.h"
#include "host/effect/EffectRegistry.h"
#include "tarn/Effect.h"

#include <memory>
#include <string>
#include <vector>

namespace mattix::host {

class CHostModule : public std::enable_shared_from_this<CHostModule> {
 public:
  // Loads the module at path and finds its two entry points; throws
  // HostError naming the path and the reason.
  static std::shared_ptr<CHostModule> Load(const std::string& path);
  // Unloads the module; instances keep it loaded while they live.
  ~CHostModule();
  CHostModule(const CHostModule&) = delete;
  CHostModule& operator=(const CHostModule&) = delete;

  const std::string& Path() const { return m_path; }
  Tarn::RegisterEffectsFunction RegisterEntry() const { return m_register; }
  Tarn::CreateEffectFunction CreateEntry() const { return m_create; }
  // The loader's handle, for looking up other symbols.
  void* Handle() const { return m_handle; }

  // Calls registerEffects with a new registry and effect info, and keeps
  // the descriptions the registry accepted. Returns the module's status.
  PIM::Status RegisterEffects();
  // Calls registerEffects with the host's own registry and info; the
  // accepted descriptions are kept as well.
  PIM::Status RegisterEffects(CEffectRegistry& registry, CEffectInfo& info);
  const std::vector<EffectDescription>& Effects() const { return m_effects; }
  const EffectDescription* FindEffect(const std::string& name) const;

  // A new instance of the effect id, or null when the module refuses.
  std::unique_ptr<CEffectInstance> CreateInstance(const PIM::IID& id);
  // A new instance of the first registered effect; throws HostError when no
  // effect has been registered or the module refuses.
  std::unique_ptr<CEffectInstance> CreateInstance();

 private:
  CHostModule(std::string path, void* handle);

  std::string m_path;
  void* m_handle;
  Tarn::RegisterEffectsFunction m_register = nullptr;
  Tarn::CreateEffectFunction m_create = nullptr;
  std::vector<EffectDescription> m_effects;
};

}  // namespace mattix::host
