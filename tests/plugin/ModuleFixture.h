#pragma once
// The built module, loaded and registered once per test program from the
// path the test registration passes in MATTIX_MODULE, and the effect
// identifier it registers (tests learn it as a host does, from
// registration).
#include "host/effect/EffectInfo.h"
#include "host/effect/EffectRegistry.h"
#include "host/effect/HostModule.h"
#include "host/effect/KeyingEffect.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace mattix::test {

inline std::string ModulePath() {
  const char* path = std::getenv("MATTIX_MODULE");
  return path != nullptr ? std::string(path) : std::string();
}

inline std::shared_ptr<host::CHostModule> Module() {
  static std::shared_ptr<host::CHostModule> module = host::CKeyingEffect::LoadModule(ModulePath());
  return module;
}

inline PIM::IID RegisteredEffectId() {
  static const PIM::IID id = [] {
    auto registry = host::Make<host::CEffectRegistry>();
    auto info = host::Make<host::CEffectInfo>();
    EXPECT_EQ(Module()->RegisterEntry()(registry.Get(), info.Get()), 0);
    return info->Description().id.value_or(PIM::IID{});
  }();
  return id;
}

// A new instance straight from createEffect, with the count it came with.
inline Tarn::IFXBase* CreateRaw() {
  const PIM::IID id = RegisteredEffectId();
  return Module()->CreateEntry()(&id);
}

// A fresh instance with its parameters defined.
inline std::unique_ptr<host::CEffectInstance> NewInstance() {
  auto instance = Module()->CreateInstance();
  EXPECT_EQ(instance->DefineParameters(), 0);
  return instance;
}

// A fresh instance as hosts drive it, at the effect's defaults.
inline std::unique_ptr<host::CKeyingEffect> NewEffect() {
  return std::make_unique<host::CKeyingEffect>(Module());
}

}  // namespace mattix::test
