#include "host/effect/EffectInfo.h"

#include <utility>

namespace mattix::host {

namespace {
// Texts are copied; a null text reads as empty.
std::string Text(const char* text) { return text != nullptr ? std::string(text) : std::string(); }
}  // namespace

CEffectInfo::CEffectInfo(EffectInfoOptions options, CallLogPtr log)
    : m_options(options), m_log(std::move(log)) {}

bool CEffectInfo::Offers(const PIM::IID& iid) const {
  if (iid == Tarn::IFXEffectInfoFacetA::kIID) return m_options.offerFacetA;
  if (iid == Tarn::IFXEffectInfoFacetB::kIID) return m_options.offerFacetB;
  return true;
}

void CEffectInfo::SetName(const char* name) {
  m_description.name = Text(name);
  Log(m_log, "info.SetName(" + m_description.name + ")");
}

void CEffectInfo::SetText(const char* text) {
  m_description.text = Text(text);
  Log(m_log, "info.SetText(" + m_description.text + ")");
}

void CEffectInfo::SetVersion(const char* text) {
  m_description.version = Text(text);
  Log(m_log, "info.SetVersion(" + m_description.version + ")");
}

void CEffectInfo::SetEffectId(const PIM::IID& id) {
  m_description.id = id;
  Log(m_log, "info.SetEffectId");
}

void CEffectInfo::SetInteger(std::int32_t value) {
  m_description.integer = value;
  Log(m_log, "info.SetInteger(" + std::to_string(value) + ")");
}

void CEffectInfo::SetIntegerPair(std::int32_t a, std::int32_t b) {
  m_description.integerPair = std::array<std::int32_t, 2>{a, b};
  Log(m_log, "info.SetIntegerPair(" + std::to_string(a) + "," + std::to_string(b) + ")");
}

void CEffectInfo::SetFacetInteger(std::int32_t value) {
  m_description.facetInteger = value;
  Log(m_log, "infoA.SetFacetInteger(" + std::to_string(value) + ")");
}

void CEffectInfo::SetFacetTriple(std::int32_t a, std::int32_t b, std::int32_t c) {
  m_description.facetTriple = std::array<std::int32_t, 3>{a, b, c};
  Log(m_log, "infoB.SetFacetTriple(" + std::to_string(a) + "," + std::to_string(b) + "," +
                 std::to_string(c) + ")");
}

void CEffectInfo::SetFacetOption(std::int32_t value) {
  m_description.facetOption = value;
  Log(m_log, "infoB.SetFacetOption(" + std::to_string(value) + ")");
}

}  // namespace mattix::host
