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

  PIM::RefPtr<Tarn::IFXNumberValue> value;
  if (const PIM::Status status = internal::GetCurrentValue(parameter.Get(), value);
      status != PIM::kOk) {
    return status;
  }
  value->Set(initial);
  if (const PIM::Status status = internal::GetDefaultValue(parameter.Get(), value);
      status != PIM::kOk) {
    return status;
  }
  value->Set(initial);

  return list->Add(parameter.Get());
}

PIM::Status AddDataParameter(Tarn::IFXParameterList* list, Tarn::IFXParameterFactory* factory,
                             const char* name, std::int32_t index, const void* data,
                             std::uint32_t size) {
  PIM::RefPtr<Tarn::IFXParameter> parameter = CreateParameter(factory, Tarn::kDataParameter);
  if (!parameter) return PIM::kOk;
  parameter->SetName(name);
  parameter->SetIndex(index);

  PIM::RefPtr<Tarn::IFXDataValue> value;
  if (const PIM::Status status = internal::GetCurrentValue(parameter.Get(), value);
      status != PIM::kOk) {
    return status;
  }
  value->Set(size, data);
  if (const PIM::Status status = internal::GetDefaultValue(parameter.Get(), value);
      status != PIM::kOk) {
    return status;
  }
  value->Set(size, data);

  list->Add(parameter.Get());
  return PIM::kOk;
}

}  // namespace mattix
