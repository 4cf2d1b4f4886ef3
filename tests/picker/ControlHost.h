#pragma once
// Shared by the control tests: this program stands for the module (its
// resources are linked in and registered under its handle), and a window
// drives a control as a host does.
#include "tests/platform/TestWindow.h"
#include "win/Afx.h"

namespace picker_test {

inline HINSTANCE ThisProgram() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&ThisProgram), &module);
  return module;
}
inline AFX_MODULE_STATE g_withResources{nullptr, ThisProgram(), ThisProgram(), nullptr};

// A window at (left, top) of the screen that sends a control its events.
struct ControlHost : win_test::TestWindow {
  using TestWindow::TestWindow;
  // 'd' press, 'm' move, 'u' release, 'r' reset; returns `handled`.
  template <class Control>
  bool Send(Control& control, char event, POINT p) const {
    bool handled = false;
    if (event == 'd') control.OnButtonDown(hwnd, dc, p, handled);
    if (event == 'm') control.OnMouseMove(hwnd, dc, p, handled);
    if (event == 'u') control.OnButtonUp(hwnd, dc, p, handled);
    if (event == 'r') control.OnReset(hwnd, dc, p, handled);
    return handled;
  }
};

}  // namespace picker_test
