// The lightness bar driven as a host drives it: scripted presses, moves
// (with Shift states) and releases on a 255 x 44 window, checked through the
// values it reports and the window's pixels. Expected positions, greys and
// handle shapes come from direct formulas here (round-half-up division, a
// closed point-in-triangle test), never from the control's code.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "picker/WndLightness.h"
#include "win/Windows.h"

// The test program stands for the module: its application object and its
// resource table (linked in) give the bar its cursors.
CWinApp g_app("picker_bar_test");

namespace {

using Values = std::array<std::uint32_t, 4>;
constexpr int W = 255, H = 44;
constexpr COLORREF kBg = 0xA2A2A2;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// x of a 16-bit value in the 255-pixel bar: 7 + v * 240 / 65535 rounded.
int XOf(std::uint32_t v) { return int(std::floor(v * 240.0 / 65535.0 + 0.5)) + 7; }
std::uint32_t Argb(COLORREF c) {
  return 0xFF000000u | GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c);
}

struct Window {
  Window() : hwnd(WinCreateWindow(0, 0, W, H)), hdc(GetDC(hwnd)) {}
  ~Window() {
    ReleaseDC(hwnd, hdc);
    WinDestroyWindow(hwnd);
  }
  std::vector<std::uint32_t> Pixels() const {
    std::vector<std::uint32_t> p(std::size_t(W) * H);
    WinReadWindowPixels(hwnd, p.data(), W * 4);
    return p;
  }
  std::uint32_t At(const std::vector<std::uint32_t>& p, int x, int y) const {
    return p[std::size_t(y) * W + std::size_t(x)];
  }
  HWND hwnd;
  HDC hdc;
};

// A bar drawn in its own window, with the host's event calls.
struct Bar : Window {
  explicit Bar(std::array<double, 4> percent = {0, 0, 100, 100}) {
    bar.SetValues(percent.data());
    bar.EraseBackground(hwnd, hdc);
    bar.Draw(hwnd, hdc);
  }
  ~Bar() { WinSetAsyncKeyState(VK_SHIFT, FALSE); }
  bool Press(int x, int y) {
    bool handled = false;
    bar.OnButtonDown(hwnd, hdc, POINT{x, y}, handled);
    return handled;
  }
  void Move(int x, int y, bool shift = false) {
    bool handled = false;
    WinSetAsyncKeyState(VK_SHIFT, shift);
    bar.OnMouseMove(hwnd, hdc, POINT{x, y}, handled);
  }
  bool Reset() {
    bool handled = true;
    bar.OnReset(hwnd, hdc, POINT{0, 0}, handled);
    return handled;
  }
  void Release() {
    bool handled = false;
    bar.OnButtonUp(hwnd, hdc, POINT{0, 0}, handled);
  }
  // The stored 16-bit values, read back through the percent the bar reports.
  Values Stored() const {
    double d[4];
    bar.GetValues(d);
    Values v;
    for (int i = 0; i < 4; ++i) v[std::size_t(i)] = std::uint32_t(std::lround(d[i] * 65535 / 100));
    return v;
  }
  int Hit(int x, int y) { return bar.HitTest(*CWnd::FromHandle(hwnd), POINT{x, y}); }
  CWndLightness bar;
};

TEST(LightnessBar, ValuesAreTruncatedToSixteenBitsAndClamped) {
  const struct {
    std::array<double, 4> in;
    bool changed;
    Values stored;
  } cases[] = {
      {{0, 0, 100, 100}, false, {0, 0, 65535, 65535}},
      {{10, 20, 80, 90}, true, {6553, 13107, 52428, 58981}},
      {{-5, 0, 120, 100}, false, {0, 0, 65535, 65535}},
      {{kNaN, -kInf, kInf, 50}, true, {0, 0, 65535, 32767}},
      {{90, 10, 50, -1e300}, true, {58981, 6553, 32767, 0}},  // order is not enforced
  };
  for (const auto& c : cases) {
    CWndLightness bar;
    EXPECT_EQ(bar.SetValues(c.in.data()), c.changed) << c.in[0];
    double d[4];
    bar.GetValues(d);
    for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(d[i], c.stored[std::size_t(i)] * 100.0 / 65535);
  }
  CWndLightness bar;
  const double in[] = {10, 20, 80, 90};
  bar.SetValues(in);
  double d[4];
  bar.GetValues(d);
  const double shown[] = {9.99924, 20, 80, 89.99924};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(d[i], shown[i], 5e-6);
  // Round trip: a reported value comes back as itself or one less.
  for (std::uint32_t v = 0; v <= 65535; v += 97) {
    const double p[] = {v * 100.0 / 65535, 0, 0, 0};
    bar.SetValues(p);
    double back[4];
    bar.GetValues(back);
    const double lost = v - back[0] * 65535 / 100;
    EXPECT_TRUE(std::fabs(lost) < 1e-6 || std::fabs(lost - 1) < 1e-6) << v;
  }
}

TEST(LightnessBar, HitAreasAndTies) {
  const struct {
    std::array<double, 4> percent;
    int x, y, handle;
  } cases[] = {
      // L1 at x 100 (38.75 % of 240 pixels = 93), nothing else within reach.
      {{0, 38.75, 90, 100}, 108, 2, 1},
      {{0, 38.75, 90, 100}, 92, 13, 1},
      {{0, 38.75, 90, 100}, 100, 14, -1},
      {{0, 38.75, 90, 100}, 109, 5, -1},
      {{0, 0, 0, 100}, 7, 10, 2},
      {{0, 100, 100, 100}, 247, 10, 1},
      {{0, 0, 0, 0}, 7, 17, 3},
      {{100, 100, 100, 100}, 247, 17, 0},
      {{0, 0, 0, 100}, 7, 17, 0},
      {{0, 50, 50, 100}, 247, 17, 3},
      {{0, 50, 50, 100}, 7, 16, 0},
      {{0, 50, 50, 100}, 7, 18, -1},
      // L1 at 100, L2 at 102: the nearer right corner, L1 on a tie.
      {{0, 38.75, 39.5834, 100}, 108, 2, 1},
      {{0, 38.75, 39.5834, 100}, 110, 2, 2},
      // Both at 100: L2 when the pointer is not right of them.
      {{0, 38.75, 38.75, 100}, 100, 5, 2},
      {{0, 38.75, 38.75, 100}, 101, 5, 1},
  };
  for (const auto& c : cases) {
    Bar b(c.percent);
    EXPECT_EQ(b.Hit(c.x, c.y), c.handle) << c.x << "," << c.y << " " << c.percent[1];
  }
}

TEST(LightnessBar, DragsStopAtNeighboursAndShiftScalesTheInnerHandles) {
  struct Step {
    int x;
    bool shift;
  };
  const struct {
    std::array<double, 4> percent;
    int handle;
    std::vector<Step> script;
    Values after;
  } cases[] = {
      {{0, 20, 60, 100}, 1, {{150, false}, {240, false}}, {0, 39321, 39321, 65535}},
      {{10, 20, 60, 100}, 0, {{3, false}, {-400, false}}, {0, 13107, 39321, 65535}},
      {{0, 40, 60, 100}, 3, {{127, true}}, {0, 13107, 19661, 32768}},
      {{0, 40, 60, 100}, 3, {{127, false}}, {0, 26214, 39321, 39321}},
      // Whole percents rounded (40.6 % -> 41 %); out-of-order inner handles
      // are put back in order.
      {{0, 40.6, 60, 100}, 3, {{127, true}}, {0, 13435, 19661, 32768}},
      {{0, 60, 40, 100}, 3, {{127, true}}, {0, 13107, 13107, 32768}},
  };
  for (const auto& c : cases) {
    Bar b(c.percent);
    const std::uint32_t v = b.Stored()[std::size_t(c.handle)];
    ASSERT_TRUE(b.Press(XOf(v), c.handle == 1 || c.handle == 2 ? 12 : 16));
    for (const Step& s : c.script) b.Move(s.x, 30, s.shift);
    b.Release();
    EXPECT_EQ(b.Stored(), c.after) << "handle " << c.handle;
  }
}

TEST(LightnessBar, ResetOnlyWhenIdleAndAway) {
  Bar b;
  EXPECT_FALSE(b.Reset());  // already at the defaults
  const double in[] = {10, 20, 80, 90};
  b.bar.SetValues(in);
  ASSERT_TRUE(b.Press(XOf(6553), 16));
  EXPECT_FALSE(b.Reset());
  EXPECT_EQ(b.Stored(), (Values{6553, 13107, 52428, 58981}));
  b.Release();
  EXPECT_TRUE(b.Reset());
  EXPECT_EQ(b.Stored(), (Values{0, 0, 65535, 65535}));
}

TEST(LightnessBar, LabelShowsThePercentUnderThePointer) {
  const struct {
    int x;
    const wchar_t* text;
  } cases[] = {{7, L"L   0"}, {247, L"L 100"}, {127, L"L  50"}, {5, L""}, {249, L""}};
  for (const auto& c : cases) {
    Bar b;
    b.Move(c.x, 30);
    Window ref;  // the label drawn directly
    CDC& dc = *CDC::FromHandle(ref.hdc);
    CFont font;
    font.Attach(GetStockObject(DEFAULT_GUI_FONT));
    dc.SelectObject(&font);
    dc.SetTextColor(0xFFFFFF);
    dc.SetBkColor(kBg);
    const RECT r{220, 22, 255, 42};
    dc.ExtTextOut(220, 22, ETO_OPAQUE, &r, CString(c.text), nullptr);
    const auto got = b.Pixels(), want = ref.Pixels();
    int wrong = 0;
    for (int y = 22; y < 42; ++y)
      for (int x = 220; x < 255; ++x) wrong += b.At(got, x, y) != ref.At(want, x, y);
    EXPECT_EQ(wrong, 0) << c.x;
  }
}

TEST(LightnessBar, RampGreysAndWashedOutWhenDisabled) {
  for (bool enabled : {true, false}) {
    Bar b;
    b.bar.Enable(enabled);
    b.bar.Draw(b.hwnd, b.hdc);
    const auto p = b.Pixels();
    for (int i = 0; i <= 240; ++i) {
      const int v = (210 * i + 120) / 240;
      const int c = enabled ? v : int(std::lround((162 * 128 + v * 127) / 255.0));
      for (int y = 0; y < 4; ++y) ASSERT_EQ(b.At(p, i + 7, y), Argb(RGB(c, c, c))) << i;
    }
    int handlePixels = 0;  // disabled: no handles below the ramp
    for (int y = 5; y < H; ++y)
      for (int x = 0; x < 220; ++x) handlePixels += b.At(p, x, y) != Argb(kBg);
    EXPECT_EQ(handlePixels == 0, !enabled);
  }
}

TEST(LightnessBar, HandlePixelsFollowTheirTriangle) {
  const struct {
    std::array<double, 4> percent;
    int moveTo;     // 0: idle; else dragged there
    bool released;  // highlighted while not released
    int handle, x, y;
    COLORREF fill, shade;
  } cases[] = {
      {{0, 38.75, 90, 100}, 0, false, 1, 100, 5, 0xFFFFFF, 0xD1D1D1},
      {{30, 50, 70, 100}, 0, false, 0, 79, 9, 0x000000, 0x515151},
      {{0, 38.75, 90, 100}, 101, false, 1, 101, 5, 0xFFFFFF, 0x5151D1},
      {{30, 50, 70, 100}, 60, false, 0, 60, 9, 0x000000, 0x5151D1},
      {{30, 50, 70, 100}, 60, true, 0, 60, 9, 0x000000, 0x515151},
  };
  for (const auto& c : cases) {
    Bar b(c.percent);
    if (c.moveTo != 0) {
      ASSERT_TRUE(b.Press(XOf(b.Stored()[std::size_t(c.handle)]), c.y + 7));
      b.Move(c.moveTo, 30);
      if (c.released) b.Release();
    }
    const auto p = b.Pixels();
    for (int j = c.y; j <= c.y + 8; ++j) {
      for (int i = c.x - 9; i <= c.x + 9; ++i) {
        // Triangle (x, y), (x - 7, y + 7), (x + 7, y + 7); e(px, py) <= 0 on
        // the inner side of each edge, by the sign of a cross product.
        auto e = [&](double px, double py, int k) {
          const double ax[] = {c.x + 0.0, c.x - 7.0, c.x + 7.0},
                       ay[] = {c.y + 0.0, c.y + 7.0, c.y + 7.0};
          const int n = (k + 1) % 3;
          return (ax[n] - ax[k]) * (py - ay[k]) - (ay[n] - ay[k]) * (px - ax[k]);
        };
        // Filled: the pixel's centre inside, the left edge counting as in
        // and the right edge as out (half-open spans).
        const double cx = i + 0.5, cy = j + 0.5;
        const bool filled = e(cx, cy, 0) <= 0 && e(cx, cy, 1) < 0 && e(cx, cy, 2) < 0;
        // Outline: edges through the corners pass through pixel positions.
        bool on[3], inside = true;
        for (int k = 0; k < 3; ++k) {
          on[k] = e(i, j, k) == 0;
          inside = inside && e(i, j, k) <= 0;
        }
        const bool outline = inside && (on[0] || on[1] || on[2]);
        const bool edge = outline && (on[0] || (c.moveTo != 0 && !c.released));
        const bool in = filled || outline;
        const COLORREF want = !in ? kBg : (edge ? c.shade : c.fill);
        EXPECT_EQ(b.At(p, i, j), Argb(want)) << "handle " << c.handle << " at " << i << "," << j;
      }
    }
  }
}

// Where handles overlap, inner ones lie over outer ones and L1 over L2, L0
// over L3: a pixel of the lower handle's shaded edge shows the upper one.
TEST(LightnessBar, HandlesStackInnerOverOuter) {
  const struct {
    std::array<double, 4> percent;
    int x, y;
    COLORREF want;
  } cases[] = {
      {{10, 10, 60, 90}, 31, 12, 0xFFFFFF},     // L1 over L0, both at x 31
      {{0, 50, 51.25, 100}, 128, 7, 0xFFFFFF},  // L1 (x 127) over L2 (x 130)
      {{50, 0, 0, 51.25}, 128, 11, 0x000000},   // L0 (x 127) over L3 (x 130)
  };
  for (const auto& c : cases) {
    Bar b(c.percent);
    EXPECT_EQ(b.At(b.Pixels(), c.x, c.y), Argb(c.want)) << c.x << "," << c.y;
  }
}

// The one-handle update leaves what a full redraw of the same state draws.
TEST(LightnessBar, PartialRedrawsMatchAFullRedraw) {
  struct Step {
    int x;
    bool shift;
  };
  const struct {
    int handle;
    std::vector<Step> script;
  } cases[] = {
      // Up to a neighbour and away again: the erase must not leave it damaged.
      {1,
       {{80, false},
        {95, false},
        {130, false},
        {150, false},
        {110, false},
        {40, false},
        {60, false}}},
      {2, {{180, false}, {120, false}, {100, false}, {230, false}, {236, false}}},
      {0, {{30, false}, {45, false}, {60, false}, {10, false}}},
      {3, {{200, false}, {210, true}, {150, true}, {236, false}, {245, false}}},
  };
  // Values that survive the round trip through percent, so that a move
  // changes the dragged value alone.
  const std::array<double, 4> start{10, 30, 60, 80};
  for (const auto& c : cases) {
    Bar a(start), full(start);
    const int press = XOf(a.Stored()[std::size_t(c.handle)]);
    const int y = c.handle == 1 || c.handle == 2 ? 12 : 16;
    ASSERT_TRUE(a.Press(press, y) && full.Press(press, y));
    for (const Step& s : c.script) {
      a.Move(s.x, 30, s.shift);
      full.Move(s.x, 30, s.shift);
      full.bar.Draw(full.hwnd, full.hdc);
      const auto pa = a.Pixels(), pf = full.Pixels();
      int wrong = 0;
      for (int j = 0; j < 22; ++j)  // above the label
        for (int i = 0; i < W; ++i) wrong += a.At(pa, i, j) != full.At(pf, i, j);
      ASSERT_EQ(wrong, 0) << "handle " << c.handle << " at x " << s.x;
    }
  }
}

TEST(LightnessBar, CursorsFollowTheDrag) {
  Bar b;
  const HCURSOR over = LoadCursorW(g_app.m_hInstance, MAKEINTRESOURCEW(3021));
  const HCURSOR dragging = LoadCursorW(g_app.m_hInstance, MAKEINTRESOURCEW(3022));
  ASSERT_TRUE(over != nullptr && dragging != nullptr);
  ASSERT_TRUE(b.Press(247, 16));
  EXPECT_EQ(GetCursor(), dragging);
  EXPECT_EQ(GetCapture(), b.hwnd);
  b.Release();
  EXPECT_EQ(GetCursor(), over);
  EXPECT_EQ(GetCapture(), nullptr);
}

// Clients too narrow for a bar draw inside themselves only and map no
// pointer position to a value.
TEST(LightnessBar, NarrowClientsKeepTheirValues) {
  for (int width : {1, 10, 15}) {
    HWND hwnd = WinCreateWindow(0, 0, width, H);
    HDC hdc = GetDC(hwnd);
    CWndLightness bar;
    const double in[] = {10, 20, 80, 90};
    bar.SetValues(in);
    EXPECT_TRUE(bar.Draw(hwnd, hdc));
    bool handled = false;
    bar.OnButtonDown(hwnd, hdc, POINT{7, 16}, handled);
    for (int x : {0, 3, 12, 300, -300}) bar.OnMouseMove(hwnd, hdc, POINT{x, 16}, handled);
    bar.OnButtonUp(hwnd, hdc, POINT{0, 0}, handled);
    double out[4];
    bar.GetValues(out);
    EXPECT_NEAR(out[0], 9.99924, 5e-6) << width;
    EXPECT_NEAR(out[3], 89.99924, 5e-6) << width;
    ReleaseDC(hwnd, hdc);
    WinDestroyWindow(hwnd);
  }
}

}  // namespace
