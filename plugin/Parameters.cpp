#include "plugin/Parameters.h"

#include "plugin/PluginStatus.h"
#include "plugin/internal/HostCalls.h"

namespace mattix {

namespace {

PIM::RefPtr<Tarn::IFXParameter> CreateParameter(Tarn::IFXParameterFactory* factory,
                                                std::int32_t kind) {
  PIM::RefPtr<Tarn::IFXParameter> parameter;
  if (internal::Obtained(factory->Create(kind, Tarn::IFXParameter::kIID, parameter.put()),
                         parameter) != PIM::kOk) {
    return nullptr;
  }
  return parameter;
}

// Gives a parameter its current and then its default value through its
// value facet of type Value; the status of a facet that cannot be had.
template <class Value, class Assign>
PIM::Status SetInitialValues(Tarn::IFXParameter* parameter, Assign assign) {
  PIM::RefPtr<Value> value;
  if (const PIM::Status status = internal::GetCurrentValue(parameter, value); status != PIM::kOk)
    return status;
  assign(*value);
  if (const PIM::Status status = internal::GetDefaultValue(parameter, value); status != PIM::kOk)
    return status;
  assign(*value);
  return PIM::kOk;
}

}  // namespace

PIM::Status AddNumberParameter(Tarn::IFXParameterList* list, Tarn::IFXParameterFactory* factory,
                               const char* name, std::int32_t index, double initial, double step,
                               double minimum, double maximum, double displayMinimum,
                               double displayMaximum) {
  if (list == nullptr || factory == nullptr) return kStatusHostRefused;
  PIM::RefPtr<Tarn::IFXParameter> parameter = CreateParameter(factory, Tarn::kNumberParameter);
  if (!parameter) return kStatusHostRefused;
  parameter->SetName(name);
  parameter->SetIndex(index);

  PIM::RefPtr<Tarn::IFXNumberRange> range;
  if (const PIM::Status status = internal::Obtained(PIM::Query(parameter.Get(), range), range);
      status != PIM::kOk) {
    return status;
  }
  range->SetStep(step);
  range->SetMinimum(minimum);
  range->SetMaximum(maximum);
  // Exactly -1.0 asks for the value range.
  if (displayMinimum == kDisplayAsValueRange) {
    range->SetDisplayMinimum(minimum);
    range->SetDisplayMaximum(maximum);
  } else {
    range->SetDisplayMinimum(displayMinimum);
    range->SetDisplayMaximum(displayMaximum);
  }

  if (const PIM::Status status = SetInitialValues<Tarn::IFXNumberValue>(
          parameter.Get(), [&](Tarn::IFXNumberValue& v) { v.Set(initial); });
      status != PIM::kOk) {
    return status;
  }
  return list->Add(parameter.Get());
}

PIM::Status AddDataParameter(Tarn::IFXParameterList* list, Tarn::IFXParameterFactory* factory,
                             const char* name, std::int32_t index, const void* data,
                             std::uint32_t size) {
  PIM::RefPtr<Tarn::IFXParameter> parameter = CreateParameter(factory, Tarn::kDataParameter);
  if (!parameter) return PIM::kOk;
  parameter->SetName(name);
  parameter->SetIndex(index);

  if (const PIM::Status status = SetInitialValues<Tarn::IFXDataValue>(
          parameter.Get(), [&](Tarn::IFXDataValue& v) { v.Set(size, data); });
      status != PIM::kOk) {
    return status;
  }
  list->Add(parameter.Get());
  return PIM::kOk;
}

}  // namespace mattix
