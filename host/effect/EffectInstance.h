#pragma once
// One effect instance as the host holds it: the effect's main interface with
// one reference, and the parameters the effect defined.
#include "host/effect/Image.h"
#include "host/effect/ParameterFactory.h"
#include "host/effect/ParameterList.h"
#include "host/effect/ParameterSet.h"
#include "tarn/Effect.h"
#include "tarn/Images.h"

#include <cstdint>
#include <memory>
#include <string>

namespace mattix::host {

class CHostModule;

class CEffectInstance {
 public:
  // Takes one reference to base; module stays loaded while the instance
  // lives.
  CEffectInstance(std::shared_ptr<CHostModule> module, Tarn::IFXBase* base);
  ~CEffectInstance();
  CEffectInstance(const CEffectInstance&) = delete;
  CEffectInstance& operator=(const CEffectInstance&) = delete;

  // Another interface of the effect, or null.
  template <class T>
  PIM::RefPtr<T> Query() const {
    PIM::RefPtr<T> out;
    PIM::Query(m_base.Get(), out);
    return out;
  }

  // Asks the effect to define its parameters on a new list and factory; the
  // parameters it added make up the instance's parameter set. Returns the
  // effect's status.
  PIM::Status DefineParameters();

  // The set handed to the effect at every call that needs parameters, and
  // one of its parameters (null when the effect defined none so). Hosts of
  // Mattix read and write values by name through CKeyingEffect.
  CParameterSet* Parameters() const { return m_set.Get(); }
  CParameter* Parameter(std::int32_t index) const { return m_set->Find(index); }
  CParameter* Parameter(const std::string& name) const { return m_set->Find(name); }

  // Renders input into output through the effect's Render, with the
  // instance's parameter set and a render context of mode and field (mode
  // 0: the whole frame, 1: one field). Returns the effect's status.
  PIM::Status Render(CImage& output, CImage& input, std::int32_t mode = 0, std::int32_t field = 0);
  PIM::Status Render(Tarn::IFXImageSource* output, const Tarn::TSourceList& inputs,
                     Tarn::IFXRenderContext* context);
  // Asks the effect for the output's format given its first input (null:
  // none); the effect answers through request.
  PIM::Status PrepareOutput(CImage* input, Tarn::IFXOutputRequest& request);

  // The area the effect asks for to draw parameter index's control (an
  // empty rectangle when it has none, or when the effect offers no custom
  // drawing).
  Tarn::TRect<long> ControlRect(std::int32_t index) const;

 private:
  std::shared_ptr<CHostModule> m_module;  // released last
  PIM::RefPtr<Tarn::IFXBase> m_base;
  PIM::RefPtr<CParameterSet> m_set;
};

}  // namespace mattix::host
