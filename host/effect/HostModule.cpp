#include "host/effect/HostModule.h"

#include "host/base/HostError.h"
#include "host/effect/HostObject.h"

#include <dlfcn.h>

#include <utility>

namespace mattix::host {

namespace {

std::string LoaderError() {
  const char* reason = dlerror();
  return reason != nullptr ? reason : "unknown reason";
}

}  // namespace

CHostModule::CHostModule(std::string path, void* handle)
    : m_path(std::move(path)), m_handle(handle) {}

std::shared_ptr<CHostModule> CHostModule::Load(const std::string& path) {
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    throw HostError("cannot load effect module " + path + ": " + LoaderError());
  }
  std::shared_ptr<CHostModule> module(new CHostModule(path, handle));
  // An entry point is a function; the loader returns it as an object
  // pointer, which POSIX guarantees converts back.
  void* registerSymbol = dlsym(handle, Tarn::kRegisterEffectsName);
  void* createSymbol = dlsym(handle, Tarn::kCreateEffectName);
  if (registerSymbol == nullptr || createSymbol == nullptr) {
    throw HostError(
        "effect module " + path + " lacks " +
        (registerSymbol == nullptr ? Tarn::kRegisterEffectsName : Tarn::kCreateEffectName));
  }
  module->m_register = reinterpret_cast<Tarn::RegisterEffectsFunction>(registerSymbol);
  module->m_create = reinterpret_cast<Tarn::CreateEffectFunction>(createSymbol);
  return module;
}

CHostModule::~CHostModule() {
  if (m_handle != nullptr) dlclose(m_handle);
}

PIM::Status CHostModule::RegisterEffects() {
  PIM::RefPtr<CEffectRegistry> registry = Make<CEffectRegistry>();
  PIM::RefPtr<CEffectInfo> info = Make<CEffectInfo>();
  return RegisterEffects(*registry, *info);
}

PIM::Status CHostModule::RegisterEffects(CEffectRegistry& registry, CEffectInfo& info) {
  const std::size_t before = registry.Registered().size();
  const PIM::Status status = m_register(&registry, &info);
  for (std::size_t i = before; i < registry.Registered().size(); ++i) {
    m_effects.push_back(registry.Registered()[i]);
  }
  return status;
}

const EffectDescription* CHostModule::FindEffect(const std::string& name) const {
  for (const EffectDescription& effect : m_effects) {
    if (effect.name == name) return &effect;
  }
  return nullptr;
}

std::unique_ptr<CEffectInstance> CHostModule::CreateInstance(const PIM::IID& id) {
  Tarn::IFXBase* base = m_create(&id);
  if (base == nullptr) return nullptr;
  return std::make_unique<CEffectInstance>(shared_from_this(), base);
}

std::unique_ptr<CEffectInstance> CHostModule::CreateInstance() {
  if (m_effects.empty() || !m_effects.front().id) {
    throw HostError("effect module " + m_path + " has registered no effect");
  }
  std::unique_ptr<CEffectInstance> instance = CreateInstance(*m_effects.front().id);
  if (!instance) {
    throw HostError("effect module " + m_path + " refused to create \"" + m_effects.front().name +
                    "\"");
  }
  return instance;
}

}  // namespace mattix::host
