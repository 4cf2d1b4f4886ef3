// The module's entry points: registration as seen by the host's registry and
// effect info, creation by identifier, what else the module lets out, and
// the application object it brings.
#include "host/CallLog.h"
#include "host/EffectInfo.h"
#include "host/EffectRegistry.h"
#include "tests/plugin/ModuleFixture.h"
#include "win/Afx.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace h = mattix::host;
using mattix::test::Module;

// The calls a registration must make, in order, written from the published
// sequence: registry facets, update, the description, the info facets,
// register, update.
std::vector<std::string> ExpectedCalls(const h::EffectRegistryOptions& r,
                                       const h::EffectInfoOptions& i) {
  std::vector<std::string> calls;
  if (r.offerFacet1) calls.push_back("registry1.AttachModuleRecord");
  if (r.offerFacet2) calls.push_back("registry2.Announce");
  calls.insert(calls.end(),
               {"registry.Update", "info.SetName(Chroma Key)", "info.SetText()", "info.SetEffectId",
                "info.SetVersion(1.0)", "info.SetInteger(0)", "info.SetIntegerPair(1,4)"});
  if (i.offerFacetA) calls.push_back("infoA.SetFacetInteger(2)");
  if (i.offerFacetB)
    calls.insert(calls.end(), {"infoB.SetFacetTriple(2,0,0)", "infoB.SetFacetOption(1)"});
  calls.push_back("registry.Register");
  // A refusal is returned at once: no second update.
  if (r.refusal == 0) calls.push_back("registry.Update");
  return calls;
}

TEST(Registration, CallsTheHostInTheDocumentedOrderWhateverItOffers) {
  for (int offered = 0; offered < 32; ++offered) {
    const h::EffectRegistryOptions r{(offered & 1) != 0, (offered & 2) != 0,
                                     (offered & 16) != 0 ? 0x4711 : 0};
    const h::EffectInfoOptions i{(offered & 4) != 0, (offered & 8) != 0};
    SCOPED_TRACE(offered);
    auto log = std::make_shared<h::CCallLog>();
    auto registry = h::Make<h::CEffectRegistry>(r, log);
    auto info = h::Make<h::CEffectInfo>(i, log);
    EXPECT_EQ(Module()->RegisterEntry()(registry.Get(), info.Get()), r.refusal);
    EXPECT_EQ(log->Entries(), ExpectedCalls(r, i));
    EXPECT_EQ(registry->ModuleRecord() != nullptr, r.offerFacet1);
    // Every facet the module asked for was released again.
    EXPECT_EQ(registry->GetRefCount(), 1);
    EXPECT_EQ(info->GetRefCount(), 1);
  }
}

TEST(RegistrationValues, SameIdentifierEveryTime) {
  auto first = h::Make<h::CEffectInfo>();
  auto second = h::Make<h::CEffectInfo>();
  auto registry = h::Make<h::CEffectRegistry>();
  ASSERT_EQ(Module()->RegisterEntry()(registry.Get(), first.Get()), 0);
  ASSERT_EQ(Module()->RegisterEntry()(registry.Get(), second.Get()), 0);
  ASSERT_TRUE(first->Description().id && second->Description().id);
  EXPECT_TRUE(*first->Description().id == *second->Description().id);
}

TEST(RegistrationValues, NullRegistryOrInfoIsRefused) {
  auto registry = h::Make<h::CEffectRegistry>();
  auto info = h::Make<h::CEffectInfo>();
  EXPECT_NE(Module()->RegisterEntry()(nullptr, info.Get()), 0);
  EXPECT_NE(Module()->RegisterEntry()(registry.Get(), nullptr), 0);
  EXPECT_TRUE(registry->Registered().empty());
  EXPECT_FALSE(info->Description().id.has_value());
}

TEST(CreateEffect, WrongIdentifiersYieldNull) {
  const PIM::IID effect = mattix::test::RegisteredEffectId();
  std::vector<PIM::IID> wrong = {PIM::IID{}, PIM::IBase::kIID, Tarn::IFXBase::kIID};
  // The comparison covers all 16 bytes: one bit off anywhere is another id.
  for (int byte = 0; byte < 16; ++byte) {
    for (std::uint8_t bit : {0x01, 0x80}) {
      PIM::IID near = effect;
      near.bytes[byte] ^= bit;
      wrong.push_back(near);
    }
  }
  for (const PIM::IID& id : wrong) {
    EXPECT_EQ(Module()->CreateEntry()(&id), nullptr);
  }
  EXPECT_EQ(Module()->CreateEntry()(nullptr), nullptr);
}

std::vector<std::string> DefinedDynamicSymbols(const std::string& path) {
  std::vector<std::string> names;
  const std::string command = "nm -DC --defined-only '" + path + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return names;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    // "address type name": the name starts after the second space.
    const std::size_t first = text.find(' ');
    const std::size_t second = first == std::string::npos ? first : text.find(' ', first + 1);
    if (second != std::string::npos) names.push_back(text.substr(second + 1));
  }
  return names;
}

bool Allowed(const std::string& name) {
  if (name == "registerEffects" || name == "createEffect") return true;
  for (const char* prefix : {"stdfx::", "stdfx2d::", "vtable for stdfx", "typeinfo for stdfx",
                             "typeinfo name for stdfx"}) {
    if (name.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

TEST(ModuleExports, OnlyEntryPointsAndSupportLibrary) {
  const std::vector<std::string> names = DefinedDynamicSymbols(mattix::test::ModulePath());
  if (names.empty()) GTEST_SKIP() << "nm (binutils) is not available";
  bool sawRegister = false;
  bool sawCreate = false;
  for (const std::string& name : names) {
    EXPECT_TRUE(Allowed(name)) << "exported: " << name;
    sawRegister = sawRegister || name == "registerEffects";
    sawCreate = sawCreate || name == "createEffect";
  }
  EXPECT_TRUE(sawRegister);
  EXPECT_TRUE(sawCreate);
}

TEST(ModuleApplication, ConstructedWithTheModule) {
  const void* entry = reinterpret_cast<const void*>(mattix::test::Module()->CreateEntry());
  AFX_MODULE_STATE* state = AfxFindModuleState(entry);
  ASSERT_NE(state, nullptr) << "the module holds no application object";
  ASSERT_NE(state->m_pCurrentWinApp, nullptr);
  EXPECT_EQ(state->m_lpszCurrentAppName, nullptr);  // no application name
  EXPECT_EQ(state->m_pCurrentWinApp->m_pszAppName, nullptr);

  Dl_info info{};
  ASSERT_NE(dladdr(entry, &info), 0);
  EXPECT_EQ(static_cast<void*>(state->m_hCurrentInstanceHandle), info.dli_fbase);
  EXPECT_EQ(state->m_hCurrentResourceHandle, state->m_hCurrentInstanceHandle);

  // The test program holds no application of its own.
  EXPECT_EQ(AfxGetStaticModuleState(), AfxGetProcessModuleState());
  EXPECT_EQ(AfxGetApp(), nullptr);
  {
    AFX_MANAGE_STATE(state);
    EXPECT_EQ(AfxGetApp(), state->m_pCurrentWinApp);
    EXPECT_EQ(static_cast<void*>(AfxGetInstanceHandle()), info.dli_fbase);
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
}

}  // namespace
