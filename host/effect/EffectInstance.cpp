#include "host/effect/EffectInstance.h"

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
  const PIM::Status status = m_base->DefineParameters(list.Get(), factory.Get());
  // Whatever reached the list is the instance's, even after a failure.
  std::vector<PIM::RefPtr<CParameter>> parameters = list->Parameters();
  std::stable_sort(parameters.begin(), parameters.end(),
                   [](const auto& a, const auto& b) { return a->Index() < b->Index(); });
  m_set = Make<CParameterSet>(std::move(parameters));
  return status;
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
