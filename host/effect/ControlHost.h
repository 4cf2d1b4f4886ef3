#pragma once
// CControlHost: puts a keying effect's custom controls on screen, as a host
// program does, through the Windows layer's host side: one window per
// control, drawing events with the window's device context, the pointer and
// the keyboard forwarded as the effect's user events, parameter changes
// announced to the effect, and the windows' pixels and the cursor read back.
// Parameters are named as CKeyingEffect names them.
//
//   using E = CKeyingEffect;
//   CControlHost controls(effect);
//   controls.Draw(E::kLightness);                  // the lightness bar
//   controls.Press(E::kLightness, {7, 12});        // grab the L0 handle...
//   controls.Move(E::kLightness, {60, 12});
//   controls.Release(E::kLightness, {60, 12});     // ...and drop it: "Lightness" holds it
//   controls.PickKeyColour(40, 200, 60);           // the user picked a key colour
//   ControlPixels wheel = controls.Pixels(E::kChromaMask);
//
// The windows share the process's one screen, so one host at a time drives
// its windows (the pointer, capture and key states are global). Each call
// finishes the event: whatever the effect wrote into its parameters is in the
// effect's parameters when the call returns, and its next render uses it.
// A name the effect does not define throws HostError naming it.
#include "host/effect/Event.h"
#include "host/effect/KeyingEffect.h"
#include "win/WinUser.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
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
  // Creates a window, filled with the panel's grey, for every parameter of
  // the effect whose control rectangle is not empty, at the rectangle's
  // size; the windows lie one below the other from screen point (16, 16),
  // 16 pixels apart. Throws HostError when a window cannot be created. The
  // effect must outlive the host.
  explicit CControlHost(CKeyingEffect& effect);
  // Destroys the windows.
  ~CControlHost();
  CControlHost(const CControlHost&) = delete;
  CControlHost& operator=(const CControlHost&) = delete;

  // The parameters that have a control, in the effect's order, and the
  // window of one (null when it has none).
  std::vector<std::string> Controls() const;
  HWND Window(const std::string& name) const { return Window(Index(name)); }

  // Has the effect draw the named parameter's control: an event of kind
  // (Tarn::kDrawEvent to draw) with the control's window and a device
  // context on it for the duration of the call.
  EventResult Draw(const std::string& name, std::int32_t kind = Tarn::kDrawEvent);

  // Pointer events over the named parameter's control, at a point of its
  // client area. Each first moves the screen pointer there (SetCursorPos at
  // the window's screen origin plus the point) and sets Shift and Alt as
  // keys says. A press holds its button until the release; moves report it
  // held.
  EventResult Press(const std::string& name, POINT point, Button button = Button::kLeft,
                    Keys keys = {});
  EventResult Move(const std::string& name, POINT point, Keys keys = {});
  EventResult Release(const std::string& name, POINT point, Keys keys = {});

  // The host's own change of a parameter (its editor, an undo, a loaded
  // project): sets the current value, sets Shift and Alt as keys says, then
  // tells the effect (OnParameterChanged) with the window of the parameter's
  // control, or of the wheel's ("Chroma Mask") for a parameter without one.
  // quiet is passed on; the effect ignores quiet key colour changes.
  EventResult ChangeNumber(const std::string& name, double value, Keys keys = {},
                           bool quiet = false);
  EventResult ChangeData(const std::string& name, const std::vector<std::uint8_t>& bytes,
                         bool quiet = false);
  // A key colour the user picked (0..255 a channel): sets "Key Red", "Key
  // Green" and "Key Blue", then announces the change of the first of them
  // whose value changed ("Key Red" when none did), not quiet. With Shift the
  // effect marks a disc around the colour.
  EventResult PickKeyColour(double red, double green, double blue, Keys keys = {});

  // The client area of the named parameter's window as it is now; empty for
  // a parameter without a control.
  ControlPixels Pixels(const std::string& name) const;
  // The cursor that the effect set last; none while it is hidden.
  static std::optional<CursorImage> Cursor();

 private:
  enum class Pointer { kDown, kUp, kMove };
  std::int32_t Index(const std::string& name) const;
  HWND Window(std::int32_t index) const;
  EventResult Forward(const std::string& name, POINT point, Keys keys, Pointer pointer,
                      std::optional<Button> button);
  EventResult Announce(std::int32_t index, Keys keys, bool quiet);
  // Builds the event (a device context on window for its duration), hands
  // it to call and collects the answer.
  template <class Call>
  EventResult Send(EventDescription description, Call call);

  CKeyingEffect& m_effect;
  std::map<std::int32_t, HWND> m_windows;  // by the parameter's index
  std::optional<Button> m_held;
};

}  // namespace mattix::host
