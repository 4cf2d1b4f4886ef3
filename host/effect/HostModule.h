#pragma once
// An effect module loaded with dlopen: its two entry points, the effects it
// registered and the instances it creates, as a video editor holds them.
// Hosts of Mattix drive it through CKeyingEffect (KeyingEffect.h), which
// finds, loads and registers the module.
#include "host/effect/EffectInfo.h"
#include "host/effect/EffectInstance.h"
#include "host/effect/EffectRegistry.h"
#include "tarn/Effect.h"

#include <memory>
#include <mutex>
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

  // Calls registerEffects with a new registry and effect info, and keeps
  // the descriptions the registry accepted. Returns the module's status.
  PIM::Status RegisterEffects();
  const std::vector<EffectDescription>& Effects() const { return m_effects; }

  // A new instance of the first registered effect; throws HostError when no
  // effect has been registered or the module refuses. Any thread may call
  // it: creations run one at a time, as they reach the module's shared state.
  std::unique_ptr<CEffectInstance> CreateInstance();

 private:
  CHostModule(std::string path, void* handle);

  std::string m_path;
  void* m_handle;
  Tarn::RegisterEffectsFunction m_register = nullptr;
  Tarn::CreateEffectFunction m_create = nullptr;
  std::vector<EffectDescription> m_effects;
  std::mutex m_createMutex;
};

}  // namespace mattix::host
