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
  const PIM::Status status = m_register(registry.Get(), info.Get());
  m_effects.insert(m_effects.end(), registry->Registered().begin(), registry->Registered().end());
  return status;
}

std::unique_ptr<CEffectInstance> CHostModule::CreateInstance() {
  if (m_effects.empty() || !m_effects.front().id) {
    throw HostError("effect module " + m_path + " has registered no effect");
  }
  Tarn::IFXBase* base = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_createMutex);
    base = m_create(&*m_effects.front().id);
  }
  if (base == nullptr) {
    throw HostError("effect module " + m_path + " refused to create \"" + m_effects.front().name +
                    "\"");
  }
  return std::make_unique<CEffectInstance>(shared_from_this(), base);
}

}  // namespace mattix::host
