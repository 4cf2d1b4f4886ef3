#pragma once
// A user-interface event the host hands to an effect: drawing a control, a
// parameter change or a mouse event (with a mouse facet). It records what
// the effect answers: whether it handled the event and which parameter
// changes it reported.
#include "host/effect/HostObject.h"
#include "host/effect/MouseButtons.h"
#include "host/effect/ParameterSet.h"
#include "tarn/Events.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace mattix::host {

struct ChangeReport {
  std::int32_t parameterIndex;  // -1 for a null parameter
  std::int32_t flag1;
  std::int32_t flag2;
};

struct MouseState {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool left = false;
  bool right = false;
};

struct EventDescription {
  std::int32_t kind = 0;
  std::int32_t parameterIndex = -1;
  Tarn::WindowHandle window = nullptr;
  Tarn::DeviceContextHandle deviceContext = nullptr;
  PIM::RefPtr<CParameterSet> parameters;
  std::optional<MouseState> mouse;  // set: the event has a mouse facet
};

class CEvent : public TObject<Tarn::IFXEvent, Tarn::IFXMouseEvent> {
 public:
  explicit CEvent(EventDescription description);

  // IFXEvent.
  std::int32_t ParameterIndex() override { return m_description.parameterIndex; }
  Tarn::WindowHandle Window() override { return m_description.window; }
  Tarn::DeviceContextHandle DeviceContext() override { return m_description.deviceContext; }
  Tarn::IFXParameterSet* ParameterSet() override { return m_description.parameters.Get(); }
  std::int32_t Kind() override { return m_description.kind; }
  void SetHandled(bool handled) override;
  void ReportChange(Tarn::IFXParameter* parameter, std::int32_t flag1, std::int32_t flag2) override;

  // IFXMouseEvent (offered only when the event has a mouse state).
  Tarn::TPoint<long> Position() override;
  Tarn::IFXMouseButtons* Buttons() override { return m_buttons.Get(); }

  // The last answer given to SetHandled, if any.
  std::optional<bool> Handled() const { return m_handled; }
  const std::vector<ChangeReport>& Changes() const { return m_changes; }

 protected:
  bool Offers(const PIM::IID& iid) const override;

 private:
  EventDescription m_description;
  PIM::RefPtr<CMouseButtons> m_buttons;
  std::optional<bool> m_handled;
  std::vector<ChangeReport> m_changes;
};

}  // namespace mattix::host
