#pragma once
// The host's effect description: what an effect tells the host about itself
// at registration (name, texts, identifier, integers and facet values).
#include "host/effect/CallLog.h"
#include "host/effect/HostObject.h"
#include "tarn/Registry.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace mattix::host {

struct EffectDescription {
  std::string name;
  std::string text;     // the text at position 5
  std::string version;  // the text at position 7
  std::optional<PIM::IID> id;
  std::optional<std::int32_t> integer;                     // position 11
  std::optional<std::array<std::int32_t, 2>> integerPair;  // position 12
  std::optional<std::int32_t> facetInteger;                // facet A, 5
  std::optional<std::array<std::int32_t, 3>> facetTriple;  // facet B, 5
  std::optional<std::int32_t> facetOption;                 // facet B, 6
};

struct EffectInfoOptions {
  bool offerFacetA = true;
  bool offerFacetB = true;
};

class CEffectInfo
    : public TObject<Tarn::IFXEffectInfo, Tarn::IFXEffectInfoFacetA, Tarn::IFXEffectInfoFacetB> {
 public:
  explicit CEffectInfo(EffectInfoOptions options = {}, CallLogPtr log = nullptr);

  void SetName(const char* name) override;
  void SetText(const char* text) override;
  void SetVersion(const char* text) override;
  void SetEffectId(const PIM::IID& id) override;
  void SetInteger(std::int32_t value) override;
  void SetIntegerPair(std::int32_t a, std::int32_t b) override;
  void SetFacetInteger(std::int32_t value) override;
  void SetFacetTriple(std::int32_t a, std::int32_t b, std::int32_t c) override;
  void SetFacetOption(std::int32_t value) override;

  const EffectDescription& Description() const { return m_description; }

 protected:
  bool Offers(const PIM::IID& iid) const override;

 private:
  EffectInfoOptions m_options;
  CallLogPtr m_log;
  EffectDescription m_description;
};

}  // namespace mattix::host
