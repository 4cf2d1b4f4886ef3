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
#include <cstring>
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

TEST(Registration, SameIdentifierEveryTimeAndNullHostObjectsRefused) {
  auto registry = h::Make<h::CEffectRegistry>();
  auto first = h::Make<h::CEffectInfo>();
  auto second = h::Make<h::CEffectInfo>();
  EXPECT_NE(Module()->RegisterEntry()(nullptr, first.Get()), 0);
  EXPECT_NE(Module()->RegisterEntry()(registry.Get(), nullptr), 0);
  EXPECT_TRUE(registry->Registered().empty());
  EXPECT_FALSE(first->Description().id.has_value());
  ASSERT_EQ(Module()->RegisterEntry()(registry.Get(), first.Get()), 0);
  ASSERT_EQ(Module()->RegisterEntry()(registry.Get(), second.Get()), 0);
  ASSERT_TRUE(first->Description().id && second->Description().id);
  EXPECT_TRUE(*first->Description().id == *second->Description().id);
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

// The module lets out its two entry points and the support library that
// effects share, nothing else.
TEST(ModuleExports, OnlyEntryPointsAndSupportLibrary) {
  const std::string command = "nm -DC --defined-only --format=just-symbols '" +
                              mattix::test::ModulePath() + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::vector<std::string> names;
  char line[4096];
  while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr)
    names.emplace_back(line, std::strcspn(line, "\n"));
  if (names.empty()) GTEST_SKIP() << "nm (binutils 2.37 or later) is not available";
  int entries = 0;
  for (const std::string& name : names) {
    const bool entry = name == "registerEffects" || name == "createEffect";
    entries += entry;
    bool allowed = entry;
    for (const char* prefix : {"stdfx::", "stdfx2d::", "vtable for stdfx", "typeinfo for stdfx",
                               "typeinfo name for stdfx"})
      allowed = allowed || name.rfind(prefix, 0) == 0;
    EXPECT_TRUE(allowed) << "exported: " << name;
  }
  EXPECT_EQ(entries, 2);
}

// The module brings its own application object, which knows the module.
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
  EXPECT_EQ(AfxGetApp(), nullptr);  // the test program has none of its own
}

}  // namespace
