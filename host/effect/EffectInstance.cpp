#include "host/effect/EffectInstance.h"

#include "host/base/HostError.h"
#include "host/effect/HostModule.h"
#include "host/effect/HostObject.h"
#include "host/effect/ImageSource.h"
#include "host/effect/RenderContext.h"

#include <algorithm>
#include <utility>

namespace mattix::host {

CEffectInstance::CEffectInstance(std::shared_ptr<CHostModule> module, Tarn::IFXBase* base)
    : m_module(std::move(module)),
      m_base(PIM::RefPtr<Tarn::IFXBase>::Retain(base)),
      m_set(Make<CParameterSet>()) {}

CEffectInstance::~CEffectInstance() = default;

PIM::Status CEffectInstance::DefineParameters() {
  PIM::RefPtr<CParameterList> list = Make<CParameterList>();
  PIM::RefPtr<CParameterFactory> factory = Make<CParameterFactory>();
  return DefineParameters(*list, *factory);
}

PIM::Status CEffectInstance::DefineParameters(CParameterList& list, CParameterFactory& factory) {
  const PIM::Status status = m_base->DefineParameters(&list, &factory);
  // Whatever reached the list is the instance's, even after a failure.
  std::vector<PIM::RefPtr<CParameter>> parameters = list.Parameters();
  std::stable_sort(parameters.begin(), parameters.end(),
                   [](const auto& a, const auto& b) { return a->Index() < b->Index(); });
  m_set = Make<CParameterSet>(std::move(parameters));
  return status;
}

CParameter& CEffectInstance::Checked(std::int32_t index, bool number) const {
  CParameter* parameter = m_set->Find(index);
  if (parameter == nullptr) {
    throw HostError("the effect has no parameter " + std::to_string(index));
  }
  if (parameter->IsNumber() != number) {
    throw HostError("parameter \"" + parameter->Name() + "\" is not a " +
                    (number ? "number" : "byte block"));
  }
  return *parameter;
}

double CEffectInstance::Number(std::int32_t index) const {
  return Checked(index, true).CurrentNumber()->Value();
}

double CEffectInstance::Number(const std::string& name) const {
  CParameter* parameter = m_set->Find(name);
  if (parameter == nullptr) throw HostError("the effect has no parameter \"" + name + "\"");
  return Number(parameter->Index());
}

PIM::Status CEffectInstance::SetNumber(std::int32_t index, double value) {
  return Checked(index, true).CurrentNumber()->Set(value);
}

std::vector<std::uint8_t> CEffectInstance::Data(std::int32_t index) const {
  return Checked(index, false).CurrentData()->Bytes();
}

PIM::Status CEffectInstance::SetData(std::int32_t index, const void* bytes, std::uint32_t size) {
  return Checked(index, false).CurrentData()->Set(size, bytes);
}

PIM::Status CEffectInstance::Render(CImage& output, CImage& input, std::int32_t mode,
                                    std::int32_t field) {
  PIM::RefPtr<CImageSource> outSource = Make<CImageSource>(PIM::RefPtr<CImage>::Retain(&output));
  PIM::RefPtr<CImageSource> inSource = Make<CImageSource>(PIM::RefPtr<CImage>::Retain(&input));
  PIM::RefPtr<CRenderContext> context = Make<CRenderContext>(mode, field);
  Tarn::IFXImageSource* sources[] = {inSource.Get()};
  return Render(outSource.Get(), Tarn::TSourceList{sources, 1}, context.Get());
}

PIM::Status CEffectInstance::Render(Tarn::IFXImageSource* output, const Tarn::TSourceList& inputs,
                                    Tarn::IFXRenderContext* context) {
  return m_base->Render(output, &inputs, m_set.Get(), context);
}

PIM::Status CEffectInstance::PrepareOutput(CImage* input, Tarn::IFXOutputRequest& request) {
  PIM::RefPtr<CImageSource> inSource = Make<CImageSource>(PIM::RefPtr<CImage>::Retain(input));
  Tarn::IFXImageSource* sources[] = {inSource.Get()};
  const Tarn::TSourceList inputs{sources, 1};
  return m_base->PrepareOutput(this, &inputs, nullptr, nullptr, &request);
}

Tarn::TRect<long> CEffectInstance::ControlRect(std::int32_t index) const {
  Tarn::TRect<long> rect;
  PIM::RefPtr<Tarn::IFXCustomDrawEvent> draw = Query<Tarn::IFXCustomDrawEvent>();
  if (!draw) return rect;
  // The effect asks the parameter for its index: use the defined one, or a
  // stand-in carrying the index when the effect defined none there.
  PIM::RefPtr<CParameter> parameter = PIM::RefPtr<CParameter>::Retain(m_set->Find(index));
  if (!parameter) {
    parameter = Make<CParameter>(Tarn::kNumberParameter);
    parameter->SetIndex(index);
  }
  draw->GetControlRect(rect, parameter.Get());
  return rect;
}

}  // namespace mattix::host
