// The plug-in object's user interface: drawing the two custom controls,
// parameter changes and pointer events, routed to the lightness bar
// (parameter 5) and the hue/saturation wheel (parameter 6), and the writing
// back of their values into the host's parameters.
//
// Every entry switches to the module's MFC state first: the controls wrap
// the host's handles and look up their cursors under it.
#include "plugin/KParam.h"
#include "plugin/MattixPlugin.h"
#include "plugin/Parameters.h"
#include "plugin/PluginStatus.h"
#include "plugin/internal/EventTarget.h"
#include "plugin/internal/HostCalls.h"
#include "win/Afx.h"
#include "win/WinUser.h"

#include <cstring>

namespace {

using mattix::internal::EventTarget;
using mattix::internal::TargetOf;

// Marking commands of the wheel: the colour's own position, or the disc
// around it (while Shift is held).
constexpr int kMarkPosition = 731;
constexpr int kMarkDisc = 733;

// A key channel as an integer 0..255: plus 0.5, fraction cut off. Values
// outside the parameter's range are first limited to it (NaN counts as 0),
// so that a host holding one cannot make the conversion overflow.
int RoundChannel(double value) {
  if (!(value > 0.0)) return 0;
  if (value > 255.0) value = 255.0;
  return static_cast<int>(value + 0.5);
}

// Reports a change of parameter index to the event; skipped when the set
// cannot give the parameter.
void Report(Tarn::IFXEvent* event, Tarn::IFXParameterSet* set, std::int32_t index, int flag1,
            int flag2) {
  PIM::RefPtr<Tarn::IFXParameter> parameter;
  if (mattix::internal::GetParameter(set, index, parameter) == PIM::kOk) {
    event->ReportChange(parameter.Get(), flag1, flag2);
  }
}

// Sets number parameter index to value; false when the set cannot give it.
bool WriteNumber(Tarn::IFXParameterSet* set, std::int32_t index, double value) {
  PIM::RefPtr<Tarn::IFXParameter> parameter;
  if (mattix::internal::GetParameter(set, index, parameter) != PIM::kOk) return false;
  PIM::RefPtr<Tarn::IFXNumberValue> number;
  if (mattix::internal::GetCurrentValue(parameter.Get(), number) != PIM::kOk) return false;
  return number->Set(value) == PIM::kOk;
}

}  // namespace

PIM::Status CMattixPlugin::DrawControl(Tarn::IFXEvent* event) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  if (event == nullptr || event->Kind() != Tarn::kDrawEvent) return PIM::kOk;
  const EventTarget target = TargetOf(event);
  const CKParam snapshot(target.set);
  if (target.index == mattix::kLightness) {
    m_lightness.SetValues(snapshot.Lightness());
    m_lightness.Draw(target.hwnd, target.hdc);
  } else if (target.index == mattix::kChromaMask) {
    m_wheel.SetMaskData(snapshot.Mask(), snapshot.MaskSize());
    m_wheel.SetKeyParams(snapshot.KeyValues());
    m_wheel.Draw(target.hwnd, target.hdc);
  }
  event->SetHandled(true);
  return PIM::kOk;
}

// A "Lightness" or "Chroma Mask" value that cannot be read (no parameter,
// no value facet, or a "Lightness" shorter than its 32 bytes) is not handed
// to the control: the bar keeps its values and the wheel its mask, so each
// stays valid and is redrawn as it was. A value that can be read is handed
// over as it is; the wheel empties its mask for a record it cannot decode.
PIM::Status CMattixPlugin::OnParameterChanged(Tarn::IFXEvent* event, void* /*unused*/, bool quiet) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  if (event == nullptr) return PIM::kOk;
  const EventTarget target = TargetOf(event);
  bool handled = true;
  switch (target.index) {
    case mattix::kKeyRed:
    case mattix::kKeyGreen:
    case mattix::kKeyBlue:
      if (!quiet) PickKeyColour(event);
      break;
    case mattix::kSoftness: {
      const double softness = mattix::internal::ReadNumber(target.set, mattix::kSoftness);
      m_wheel.SetKeyParams(&softness);
      m_wheel.Draw(target.hwnd, target.hdc);
      break;
    }
    case mattix::kLightness: {
      const PIM::RefPtr<Tarn::IFXDataValue> value =
          mattix::internal::ReadData(target.set, mattix::kLightness);
      if (value && value->GetData() != nullptr && value->GetSize() >= mattix::kLightnessSize) {
        double values[4];
        std::memcpy(values, value->GetData(), sizeof values);
        m_lightness.SetValues(values);
      }
      m_lightness.Draw(target.hwnd, target.hdc);
      break;
    }
    case mattix::kChromaMask: {
      if (const PIM::RefPtr<Tarn::IFXDataValue> value =
              mattix::internal::ReadData(target.set, mattix::kChromaMask)) {
        m_wheel.SetMaskData(value->GetData(), value->GetSize());
      }
      m_wheel.Draw(target.hwnd, target.hdc);
      break;
    }
    default:
      handled = false;
      break;
  }
  event->SetHandled(handled);
  return PIM::kOk;
}

void CMattixPlugin::PickKeyColour(Tarn::IFXEvent* event) {
  const EventTarget target = TargetOf(event);
  const int red = RoundChannel(mattix::internal::ReadNumber(target.set, mattix::kKeyRed));
  const int green = RoundChannel(mattix::internal::ReadNumber(target.set, mattix::kKeyGreen));
  const int blue = RoundChannel(mattix::internal::ReadNumber(target.set, mattix::kKeyBlue));
  if (red == 0 && green == 0 && blue == 0) return;

  const int command = GetAsyncKeyState(VK_SHIFT) < 0 ? kMarkDisc : kMarkPosition;
  m_wheel.MarkColour(command, red, green, blue);
  m_wheel.Draw(target.hwnd, target.hdc);
  std::uint32_t size = 0;
  const std::uint8_t* record = m_wheel.GetMaskData(size);

  // The three keys go back to 0 (the pick is spent), then the mask is
  // stored; every write that succeeded is reported, the keys first.
  constexpr std::int32_t kKeys[] = {mattix::kKeyRed, mattix::kKeyGreen, mattix::kKeyBlue};
  bool reset[3];
  for (int i = 0; i < 3; ++i) reset[i] = WriteNumber(target.set, kKeys[i], 0.0);
  const bool stored = SetDataParameter(target.set, mattix::kChromaMask, record, size) == PIM::kOk;
  for (int i = 0; i < 3; ++i) {
    if (reset[i]) Report(event, target.set, kKeys[i], 0, 1);
  }
  if (stored) Report(event, target.set, mattix::kChromaMask, 0, 0);
}

PIM::Status CMattixPlugin::OnMouseDown(Tarn::IFXEvent* event) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  return ForwardPointer(event, Pointer::kDown);
}

PIM::Status CMattixPlugin::OnMouseUp(Tarn::IFXEvent* event) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  return ForwardPointer(event, Pointer::kUp);
}

PIM::Status CMattixPlugin::OnMouseMove(Tarn::IFXEvent* event) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  return ForwardPointer(event, Pointer::kMove);
}

PIM::Status CMattixPlugin::OnOtherUserEvent(Tarn::IFXEvent* event) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  if (event != nullptr) event->SetHandled(false);
  return PIM::kOk;
}

PIM::Status CMattixPlugin::ForwardPointer(Tarn::IFXEvent* event, Pointer pointer) {
  PIM::RefPtr<Tarn::IFXMouseEvent> mouse;
  if (PIM::Query(event, mouse) != PIM::kOk || !mouse) return mattix::kStatusNoMouse;
  const Tarn::TPoint<long> position = mouse->Position();
  const POINT point{position.x, position.y};
  const EventTarget target = TargetOf(event);
  if (target.index != mattix::kLightness && target.index != mattix::kChromaMask) {
    event->SetHandled(false);
    return PIM::kOk;
  }
  const bool bar = target.index == mattix::kLightness;
  bool changed = false;
  switch (pointer) {
    case Pointer::kDown: {
      // The left button edits, the right one resets; with neither reported
      // nothing is called and nothing stored.
      Tarn::IFXMouseButtons* buttons = mouse->Buttons();
      const bool left = buttons != nullptr && buttons->Left();
      const bool right = buttons != nullptr && buttons->Right();
      if (left) {
        bar ? m_lightness.OnButtonDown(target.hwnd, target.hdc, point, changed)
            : m_wheel.OnButtonDown(target.hwnd, target.hdc, point, changed);
      } else if (right) {
        bar ? m_lightness.OnReset(target.hwnd, target.hdc, point, changed)
            : m_wheel.OnReset(target.hwnd, target.hdc, point, changed);
      }
      if (left || right) StoreControlValue(event, changed, 1);
      break;
    }
    case Pointer::kUp:
      bar ? m_lightness.OnButtonUp(target.hwnd, target.hdc, point, changed)
          : m_wheel.OnButtonUp(target.hwnd, target.hdc, point, changed);
      StoreControlValue(event, changed, 0);
      break;
    case Pointer::kMove:
      bar ? m_lightness.OnMouseMove(target.hwnd, target.hdc, point, changed)
          : m_wheel.OnMouseMove(target.hwnd, target.hdc, point, changed);
      StoreControlValue(event, changed, 1);
      break;
  }
  event->SetHandled(true);
  return PIM::kOk;
}

void CMattixPlugin::StoreControlValue(Tarn::IFXEvent* event, bool changed, int flag) {
  if (!changed) return;
  const EventTarget target = TargetOf(event);
  PIM::Status status = mattix::kStatusHostRefused;
  if (target.index == mattix::kLightness) {
    double values[4];
    m_lightness.GetValues(values);
    status = SetDataParameter(target.set, mattix::kLightness, values, mattix::kLightnessSize);
  } else if (target.index == mattix::kChromaMask) {
    std::uint32_t size = 0;
    const std::uint8_t* record = m_wheel.GetMaskData(size);
    status = SetDataParameter(target.set, mattix::kChromaMask, record, size);
  }
  if (status == PIM::kOk) Report(event, target.set, target.index, flag, 0);
}
