#include "plugin/MattixPlugin.h"

#include "plugin/Parameters.h"
#include "plugin/PluginStatus.h"
#include "win/Afx.h"

namespace {

struct NumberParameter {
  const char* name;
  mattix::ParameterIndex index;
  double minimum;
  double maximum;
  double step;
  double initial;
};

// Parameters 0 to 4, in index order.
constexpr NumberParameter kNumberParameters[] = {
    {"Softness", mattix::kSoftness, 0.0, 100.0, 0.1, 0.0},
    {"Spill Suppression", mattix::kSpillSuppression, 0.0, 100.0, 0.1, 0.0},
    {"Key Red", mattix::kKeyRed, 0.0, 255.0, 0.1, 0.0},
    {"Key Green", mattix::kKeyGreen, 0.0, 255.0, 0.1, 0.0},
    {"Key Blue", mattix::kKeyBlue, 0.0, 255.0, 0.1, 0.0},
};

}  // namespace

CMattixPlugin::CMattixPlugin() = default;
CMattixPlugin::~CMattixPlugin() = default;

PIM::Status CMattixPlugin::QueryInterface(const PIM::IID& iid, void** out) {
  if (out == nullptr) return PIM::kNoInterface;
  void* found = nullptr;
  if (iid == PIM::IBase::kIID || iid == Tarn::IFXBase::kIID) {
    found = static_cast<Tarn::IFXBase*>(this);
  } else if (iid == Tarn::IFXCustomDrawEvent::kIID) {
    found = static_cast<Tarn::IFXCustomDrawEvent*>(this);
  } else if (iid == Tarn::IFXParameterChangeEvent::kIID) {
    found = static_cast<Tarn::IFXParameterChangeEvent*>(this);
  } else if (iid == Tarn::IFXCustomUserEvent::kIID) {
    found = static_cast<Tarn::IFXCustomUserEvent*>(this);
  }
  *out = found;
  if (found == nullptr) return PIM::kNoInterface;
  AddRef();
  return PIM::kOk;
}

void CMattixPlugin::AddRef() { PIM::RCObject::AddRef(); }
void CMattixPlugin::Release() {
  if (DropReference() == 0) delete this;
}
std::int32_t CMattixPlugin::GetRefCount() { return RefCount(); }

PIM::Status CMattixPlugin::Reserved4() { return PIM::kOk; }
PIM::Status CMattixPlugin::Reserved8() { return PIM::kOk; }

PIM::Status CMattixPlugin::DefineParameters(Tarn::IFXParameterList* list,
                                            Tarn::IFXParameterFactory* factory) {
  if (list == nullptr || factory == nullptr) return mattix::kStatusHostRefused;
  // A number parameter the host refuses does not stop the others.
  for (const NumberParameter& p : kNumberParameters) {
    mattix::AddNumberParameter(list, factory, p.name, p.index, p.initial, p.step, p.minimum,
                               p.maximum, mattix::kDisplayAsValueRange,
                               mattix::kDisplayAsValueRange);
  }
  if (const PIM::Status status =
          mattix::AddDataParameter(list, factory, "Lightness", mattix::kLightness,
                                   mattix::kDefaultLightness, mattix::kLightnessSize);
      status != PIM::kOk) {
    return status;
  }
  // The wheel's empty record is both the current and the default value.
  if (const PIM::Status status =
          mattix::AddDataParameter(list, factory, "Chroma Mask", mattix::kChromaMask,
                                   m_wheel.GetEmptyMaskData(), m_wheel.GetEmptyMaskSize());
      status != PIM::kOk) {
    return status;
  }
  return PIM::kOk;
}

// PrepareOutput and Render: see Render.cpp.

Tarn::TRect<long>& CMattixPlugin::GetControlRect(Tarn::TRect<long>& out,
                                                 Tarn::IFXParameter* parameter) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  out = Tarn::TRect<long>(0, 0, 0, 0);
  if (parameter == nullptr) return out;
  switch (parameter->GetIndex()) {
    case mattix::kLightness:
      out = Tarn::TRect<long>(0, 0, CWndLightness::kWidth, CWndLightness::kHeight);
      break;
    case mattix::kChromaMask:
      out = Tarn::TRect<long>(0, 0, CWndHSL::kSize, CWndHSL::kSize);
      break;
    default:
      break;
  }
  return out;
}

// DrawControl, OnParameterChanged and the pointer events: see ControlEvents.cpp.
