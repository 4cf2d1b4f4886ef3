#pragma once
// Shared by the control tests: this program stands for the module (its
// resources are linked in and registered under its handle), and a window
// drives a control as a host does.
#include <cstdint>
#include <vector>

#include "win/Afx.h"
#include "win/Windows.h"

namespace picker_test {

inline HINSTANCE ThisProgram() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&ThisProgram), &module);
  return module;
}
inline AFX_MODULE_STATE g_withResources{nullptr, ThisProgram(), ThisProgram(), nullptr};

// A window at (left, top) of the screen and its device context.
struct ControlHost {
  ControlHost(int left, int top, int width, int height)
      : hwnd(WinCreateWindow(left, top, width, height)),
        dc(GetDC(hwnd)),
        m_width(width),
        m_height(height) {}
  ~ControlHost() {
    ReleaseDC(hwnd, dc);
    WinDestroyWindow(hwnd);
  }
  ControlHost(const ControlHost&) = delete;
  ControlHost& operator=(const ControlHost&) = delete;
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
  std::vector<std::uint32_t> Pixels() const {  // 0xAARRGGBB, top row first
    std::vector<std::uint32_t> p(std::size_t(m_width) * std::size_t(m_height));
    WinReadWindowPixels(hwnd, p.data(), m_width * 4);
    return p;
  }
  HWND hwnd;
  HDC dc;
  int m_width, m_height;
};

}  // namespace picker_test
