#pragma once
// A window of the drawing layer at (left, top) of the screen and its device
// context, for tests that draw into one and read its pixels back.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "win/Windows.h"

namespace win_test {

// A colour as Pixels() gives it, opaque.
inline std::uint32_t Argb(COLORREF c) {
  return 0xFF000000u | std::uint32_t(GetRValue(c)) << 16 | std::uint32_t(GetGValue(c)) << 8 |
         GetBValue(c);
}

struct TestWindow {
  TestWindow(int left, int top, int width, int height)
      : hwnd(WinCreateWindow(left, top, width, height)),
        dc(GetDC(hwnd)),
        m_width(width),
        m_height(height) {}
  ~TestWindow() {
    ReleaseDC(hwnd, dc);
    WinDestroyWindow(hwnd);
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  std::vector<std::uint32_t> Pixels() const {  // 0xAARRGGBB, top row first
    std::vector<std::uint32_t> p(std::size_t(m_width) * std::size_t(m_height));
    EXPECT_TRUE(WinReadWindowPixels(hwnd, p.data(), m_width * 4));
    return p;
  }
  HWND hwnd;
  HDC dc;
  int m_width, m_height;
};

}  // namespace win_test
