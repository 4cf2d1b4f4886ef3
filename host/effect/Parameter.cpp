#include "host/effect/Parameter.h"

namespace mattix::host {

CParameter::CParameter(std::int32_t kind, PIM::Status refusal) : m_kind(kind), m_refusal(refusal) {
  if (IsNumber()) {
    m_currentNumber = Make<CNumberValue>();
    m_defaultNumber = Make<CNumberValue>();
  } else {
    m_currentData = Make<CDataValue>();
    m_defaultData = Make<CDataValue>();
  }
}

bool CParameter::Offers(const PIM::IID& iid) const {
  if (iid == Tarn::IFXNumberRange::kIID) return IsNumber();
  return true;
}

void CParameter::SetName(const char* name) { m_name = name != nullptr ? name : ""; }

PIM::Status CParameter::Value(Tarn::IFXNumberValue* number, Tarn::IFXDataValue* data,
                              PIM::Status refusal, const PIM::IID& iid, void** out) {
  if (out == nullptr) return PIM::kNoInterface;
  *out = nullptr;
  if (refusal != PIM::kOk) return refusal;
  // Each value answers only for its own kind: a number parameter has no
  // byte-block value and the other way round.
  if (number != nullptr) return number->QueryInterface(iid, out);
  return data->QueryInterface(iid, out);
}

PIM::Status CParameter::CurrentValue(const PIM::IID& iid, void** out) {
  return Value(m_currentNumber.Get(), m_currentData.Get(), m_refusal, iid, out);
}

PIM::Status CParameter::DefaultValue(const PIM::IID& iid, void** out) {
  return Value(m_defaultNumber.Get(), m_defaultData.Get(), PIM::kOk, iid, out);
}

}  // namespace mattix::host
