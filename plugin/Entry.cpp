#include "plugin/Entry.h"

#include "plugin/MattixPlugin.h"
#include "plugin/PluginStatus.h"
#include "win/Afx.h"

#include <cstdint>
#include <new>

namespace {

// The record handed to the registry's first facet. The host may keep its
// address; the module never reads it back.
struct ModuleRecord {
  std::uint32_t size;
  std::uint32_t version;  // 0x0100: 1.0
  char name[8];
};
const ModuleRecord g_moduleRecord{sizeof(ModuleRecord), 0x0100, "Mattix"};

PIM::Status Describe(Tarn::IFXEffectRegistry* registry, Tarn::IFXEffectInfo* info) {
  // A facet that the registry or the info does not offer is skipped.
  if (PIM::RefPtr<Tarn::IFXEffectRegistryFacet1> facet; PIM::Query(registry, facet) == 0 && facet) {
    facet->AttachModuleRecord(&g_moduleRecord);
  }
  if (PIM::RefPtr<Tarn::IFXEffectRegistryFacet2> facet; PIM::Query(registry, facet) == 0 && facet) {
    facet->Announce();
  }
  registry->Update();

  info->SetName("Chroma Key");
  info->SetText("");
  info->SetEffectId(mattix::kChromaKeyEffectId);
  info->SetVersion("1.0");
  const Tarn::TFilterEffectNumbers& n = Tarn::kFilterEffectNumbers;
  info->SetInteger(n.integer);
  info->SetIntegerPair(n.pair[0], n.pair[1]);
  if (PIM::RefPtr<Tarn::IFXEffectInfoFacetA> facet; PIM::Query(info, facet) == 0 && facet) {
    facet->SetFacetInteger(n.facetInteger);
  }
  if (PIM::RefPtr<Tarn::IFXEffectInfoFacetB> facet; PIM::Query(info, facet) == 0 && facet) {
    facet->SetFacetTriple(n.facetTriple[0], n.facetTriple[1], n.facetTriple[2]);
  }
  if (PIM::RefPtr<Tarn::IFXEffectInfoFacetB> facet; PIM::Query(info, facet) == 0 && facet) {
    facet->SetFacetOption(n.facetOption);
  }

  if (const PIM::Status status = registry->Register(info); status != PIM::kOk) return status;
  registry->Update();
  return PIM::kOk;
}

}  // namespace

extern "C" PIM::Status registerEffects(Tarn::IFXEffectRegistry* registry,
                                       Tarn::IFXEffectInfo* info) {
  if (registry == nullptr || info == nullptr) return mattix::kStatusHostRefused;
  try {
    return Describe(registry, info);
  } catch (...) {
    // Nothing may unwind into the host.
    return mattix::kStatusHostRefused;
  }
}

extern "C" Tarn::IFXBase* createEffect(const PIM::IID* id) {
  if (id == nullptr || !(*id == mattix::kChromaKeyEffectId)) return nullptr;
  // The controls load their resources from the current module state's
  // instance: the module's own.
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  try {
    CMattixPlugin* plugin = new (std::nothrow) CMattixPlugin();
    return plugin;  // count 0: the host takes the first reference
  } catch (...) {
    return nullptr;  // a control that fails to construct yields no instance
  }
}
