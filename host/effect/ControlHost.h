#pragma once
// CControlHost: puts an effect instance's custom controls on screen, as a
// host program does, through the Windows layer's host side: one window per
// control, drawing events with the window's device context, the pointer and
// the keyboard forwarded as the effect's user events, parameter changes
// announced to the effect, and the windows' pixels and the cursor read back.
//
//   CControlHost controls(*instance);   // after instance->DefineParameters()
//   controls.Draw(5);                    // the lightness bar
//   controls.Press(5, {7, 12});          // grab the L0 handle...
//   controls.Move(5, {60, 12});
//   controls.Release(5, {60, 12});       // ...and drop it: "Lightness" holds it
//   controls.PickKeyColour(40, 200, 60); // the user picked a key colour
//   ControlPixels wheel = controls.Pixels(6);
//
// The windows share the process's one screen, so one host at a time drives
// its windows (the pointer, capture and key states are global). Each call
// finishes the event: whatever the effect wrote into its parameters is in the
// instance's parameter set when the call returns, and the next render of the
// instance uses it.
#include "host/effect/EffectInstance.h"
#include "host/effect/Event.h"
#include "win/WinUser.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace mattix::host {

// Keys held during an event, set on the keyboard before it is forwarded;
// they stay so until the next event that sets them.
struct Keys {
  bool shift = false;
  bool alt = false;
};

enum class Button { kLeft, kRight };

// The effect's answer to one event.
struct EventResult {
  PIM::Status status = PIM::kOk;
  std::optional<bool> handled;  // unset: the effect did not say
  std::vector<ChangeReport> changes;
};

// A window's client area: width x height pixels, rows top-down, each pixel
// 0xAARRGGBB (alpha 255).
struct ControlPixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t At(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

// The current cursor: 32 x 32 pixels 0xAARRGGBB (straight alpha), rows
// top-down, and the hot spot within it.
struct CursorImage {
  std::vector<std::uint32_t> pixels;
  POINT hotSpot{0, 0};
};

class CControlHost {
 public:
  // The parameter of the control on which key colours, Softness and every
  // other parameter without a control of its own are shown.
  static constexpr std::int32_t kWheelParameter = 6;

  // Creates a window, filled with white, for every parameter of the instance
  // whose control rectangle is not empty, at the rectangle's size; the
  // windows lie one below the other from screen point (16, 16), 16 pixels
  // apart. Throws HostError when a window cannot be created. The instance
  // must outlive the host.
  explicit CControlHost(CEffectInstance& instance);
  // Destroys the windows.
  ~CControlHost();
  CControlHost(const CControlHost&) = delete;
  CControlHost& operator=(const CControlHost&) = delete;

  // The parameters that have a control, in index order, and the window of
  // one (null when it has none).
  std::vector<std::int32_t> Controls() const;
  HWND Window(std::int32_t index) const;

  // Every report of a change that the effect makes is also passed to
  // handler (for instance to record an undo step), during the call.
  void SetChangeHandler(CEvent::ChangeHandler handler) { m_onChange = std::move(handler); }

  // Has the effect draw parameter index's control: an event of kind
  // (Tarn::kDrawEvent to draw) with the control's window and a device
  // context on it for the duration of the call.
  EventResult Draw(std::int32_t index, std::int32_t kind = Tarn::kDrawEvent);

  // Pointer events over parameter index's control, at a point of its client
  // area. Each first moves the screen pointer there (SetCursorPos at the
  // window's screen origin plus the point) and sets Shift and Alt as keys
  // says. A press holds its button until the release; moves report it held.
  EventResult Press(std::int32_t index, POINT point, Button button = Button::kLeft, Keys keys = {});
  EventResult Move(std::int32_t index, POINT point, Keys keys = {});
  EventResult Release(std::int32_t index, POINT point, Keys keys = {});

  // The host's own change of a parameter (its editor, an undo, a loaded
  // project): sets the current value, sets Shift and Alt as keys says, then
  // tells the effect (OnParameterChanged) with the window of the parameter's
  // control, or of the wheel's for a parameter without one. quiet is passed
  // on; the effect ignores quiet key colour changes.
  EventResult ChangeNumber(std::int32_t index, double value, Keys keys = {}, bool quiet = false);
  EventResult ChangeData(std::int32_t index, const std::vector<std::uint8_t>& bytes,
                         bool quiet = false);
  // A key colour the user picked (0..255 a channel): sets "Key Red", "Key
  // Green" and "Key Blue", then announces the change of the first of them
  // whose value changed ("Key Red" when none did), not quiet. With Shift the
  // effect marks a disc around the colour.
  EventResult PickKeyColour(double red, double green, double blue, Keys keys = {});

  // The client area of parameter index's window as it is now; empty for a
  // parameter without a control.
  ControlPixels Pixels(std::int32_t index) const;
  // The cursor that the effect set last; none while it is hidden.
  static std::optional<CursorImage> Cursor();

  // The values the controls wrote: a parameter's current bytes, and the
  // "Lightness" value as its four percentages.
  std::vector<std::uint8_t> Value(std::int32_t index) const { return m_instance.Data(index); }
  std::array<double, 4> LightnessValues() const;

 private:
  enum class Pointer { kDown, kUp, kMove };
  EventResult Forward(std::int32_t index, POINT point, Keys keys, Pointer pointer,
                      std::optional<Button> button);
  EventResult Announce(std::int32_t index, Keys keys, bool quiet);
  // Builds the event (a device context on window for its duration), hands
  // it to call and collects the answer.
  template <class Call>
  EventResult Send(EventDescription description, Call call);

  CEffectInstance& m_instance;
  std::map<std::int32_t, HWND> m_windows;
  std::optional<Button> m_held;
  CEvent::ChangeHandler m_onChange;
};

}  // namespace mattix::host
