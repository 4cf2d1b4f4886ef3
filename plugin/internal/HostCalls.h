#pragma once
// Small helpers for calling host objects defensively: a host that reports
// success but hands out no object is treated as a refusal.
#include "plugin/PluginStatus.h"
#include "tarn/Tarn.h"

namespace mattix::internal {

// The status of an out-parameter call: the host's own status when it failed,
// kStatusHostRefused when it claimed success with a null object, else 0.
template <class T>
PIM::Status Obtained(PIM::Status status, const PIM::RefPtr<T>& object) {
  if (status != PIM::kOk) return status;
  return object ? PIM::kOk : kStatusHostRefused;
}

// Parameter index of the set, as interface T (IFXParameter normally).
inline PIM::Status GetParameter(Tarn::IFXParameterSet* set, std::int32_t index,
                                PIM::RefPtr<Tarn::IFXParameter>& out) {
  out.Reset();
  if (set == nullptr) return kStatusHostRefused;
  return Obtained(set->GetParameter(index, Tarn::IFXParameter::kIID, out.put()), out);
}

// The current-value facet of a parameter as T (IFXNumberValue, IFXDataValue).
template <class T>
PIM::Status GetCurrentValue(Tarn::IFXParameter* parameter, PIM::RefPtr<T>& out) {
  return Obtained(parameter->CurrentValue(T::kIID, out.put()), out);
}

template <class T>
PIM::Status GetDefaultValue(Tarn::IFXParameter* parameter, PIM::RefPtr<T>& out) {
  return Obtained(parameter->DefaultValue(T::kIID, out.put()), out);
}

// The current value of number parameter index, or 0.0 when the set cannot
// give it.
inline double ReadNumber(Tarn::IFXParameterSet* set, std::int32_t index) {
  PIM::RefPtr<Tarn::IFXParameter> parameter;
  if (GetParameter(set, index, parameter) != PIM::kOk) return 0.0;
  PIM::RefPtr<Tarn::IFXNumberValue> value;
  if (GetCurrentValue(parameter.Get(), value) != PIM::kOk) return 0.0;
  return value->Get();
}

// The current byte-block value of parameter index, or null when the set
// cannot give it. The bytes stay the host's: the value object may be
// released, the parameter set keeps them.
inline PIM::RefPtr<Tarn::IFXDataValue> ReadData(Tarn::IFXParameterSet* set, std::int32_t index) {
  PIM::RefPtr<Tarn::IFXParameter> parameter;
  if (GetParameter(set, index, parameter) != PIM::kOk) return nullptr;
  PIM::RefPtr<Tarn::IFXDataValue> value;
  if (GetCurrentValue(parameter.Get(), value) != PIM::kOk) return nullptr;
  return value;
}

}  // namespace mattix::internal
