// Mask editing on the wheel, driven as a host drives it: a window, its
// device context, the pointer set in screen coordinates and the Shift and
// Alt key states. Lassos are checked against a brute-force even-odd fill of
// the scripted points, outlines against the window's pixels, cursors against
// the resources they should be.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "host/cli/PngFile.h"
#include "key/Mattix2.h"
#include "picker/WndHSL.h"
#include "tests/key/KeyTestUtil.h"
#include "win/Afx.h"
#include "win/Windows.h"

namespace {

constexpr int kW = 241, kH = 209;  // the mask
constexpr POINT kOrigin{100, 50};  // the window's client origin on the screen

HINSTANCE ThisProgram() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&ThisProgram), &module);
  return module;
}
AFX_MODULE_STATE g_state{nullptr, ThisProgram(), ThisProgram(), nullptr};

// Requests of exactly g_failSize bytes fail.
std::size_t g_failSize = 0;
void* Failing(std::size_t bytes) { return bytes == g_failSize ? nullptr : std::malloc(bytes); }

struct Wheel : CWndHSL {
  using CWndHSL::m_display;
  using CWndHSL::m_edit;
  using CWndHSL::m_mask;
  std::vector<std::uint8_t> outline;  // white display pixels when the release recomposes
  bool BlurMask() override {
    outline.assign(std::size_t(kW) * kH, 0);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        int r = 0, g = 0, b = 0;
        m_display.GetDIBColor(x, y, r, g, b);
        outline[std::size_t(y) * kW + x] = r == 255 && g == 255 && b == 255;
      }
    return CWndHSL::BlurMask();
  }
  std::vector<std::uint8_t> Mask() const {
    std::vector<std::uint8_t> m(std::size_t(kW) * kH);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) m[std::size_t(y) * kW + x] = m_mask.GetDIBByte(x, y);
    return m;
  }
  void SetMask(const std::vector<std::uint8_t>& m) {
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        m_mask.GetBytes()[(kH - 1 - y) * m_mask.DIBBytesPerLine() + x] = m[std::size_t(y) * kW + x];
  }
};

// One event of a script: 'd' press, 'm' move, 'u' release, 'k' keys only;
// keys bit 0 Shift, bit 1 Alt.
struct Step {
  char what;
  int x, y;
  int keys = 0;
};

struct Host {
  HWND hwnd = WinCreateWindow(kOrigin.x, kOrigin.y, 260, 260);
  HDC dc = GetDC(hwnd);
  ~Host() {
    WinSetAsyncKeyState(VK_SHIFT, FALSE);
    WinSetAsyncKeyState(VK_MENU, FALSE);
    ReleaseDC(hwnd, dc);
    WinDestroyWindow(hwnd);
  }
  // Plays the steps; returns the `handled` of the last one.
  bool Play(CWndHSL& w, const std::vector<Step>& steps) {
    bool handled = false;
    for (const Step& s : steps) {
      WinSetAsyncKeyState(VK_SHIFT, (s.keys & 1) != 0);
      WinSetAsyncKeyState(VK_MENU, (s.keys & 2) != 0);
      SetCursorPos(kOrigin.x + s.x, kOrigin.y + s.y);
      const POINT p{s.x, s.y};
      if (s.what == 'd') w.OnButtonDown(hwnd, dc, p, handled);
      if (s.what == 'm') w.OnMouseMove(hwnd, dc, p, handled);
      if (s.what == 'u') w.OnButtonUp(hwnd, dc, p, handled);
      if (s.what == 'k') w.OnKeyDown(hwnd);
    }
    return handled;
  }
  std::vector<std::uint8_t> White() const {  // white window pixels over the picture
    std::vector<std::uint8_t> p(260 * 260 * 4), out(std::size_t(kW) * kH);
    WinReadWindowPixels(hwnd, p.data(), 260 * 4);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const std::uint8_t* q = &p[std::size_t(y * 260 + x) * 4];
        out[std::size_t(y) * kW + x] = q[0] == 255 && q[1] == 255 && q[2] == 255;
      }
    return out;
  }
};

// The lasso's points as the drag records them: each pointer position that
// falls on a new pixel, clamped to 0..width and 0..height.
std::vector<POINT> Recorded(const std::vector<Step>& steps) {
  std::vector<POINT> pts;
  POINT last{-1, -1};
  for (const Step& s : steps) {
    if (s.what == 'k' || (s.what == 'u' && !pts.empty())) continue;
    const POINT onPicture{std::clamp(s.x, 0, kW - 1), std::clamp(s.y, 0, kH - 1)};
    if (s.what == 'm' && onPicture.x == last.x && onPicture.y == last.y) continue;
    if (s.what == 'd') pts.clear();
    pts.push_back({std::clamp(s.x, 0, kW), std::clamp(s.y, 0, kH)});
    last = onPicture;
  }
  return pts;
}

// Brute-force even-odd fill of the vertices (x, y + 0.5): row y's centre
// line y + 0.5 meets an edge whose upper end lies on or above it and whose
// lower end below it; the crossing is an exact fraction, each span end is
// rounded halves away from zero and clamped into the mask. One vertex, or a
// polygon on one row, marks its row one below the recorded row.
std::vector<std::uint8_t> BruteFill(const std::vector<POINT>& v) {
  std::vector<std::uint8_t> m(std::size_t(kW) * kH, 0);
  const auto mark = [&](long a, long b, int row) {
    for (long x = std::max(a, 0L); x <= std::min(b, long(kW - 1)); ++x)
      m[std::size_t(row) * kW + std::size_t(x)] = 255;
  };
  const bool flat = std::all_of(v.begin(), v.end(), [&](POINT p) { return p.y == v[0].y; });
  if (v.empty()) return m;
  if (flat) {
    long lo = v[0].x, hi = v[0].x;
    for (POINT p : v) lo = std::min(lo, long(p.x)), hi = std::max(hi, long(p.x));
    mark(lo, hi, std::min(v[0].y + 1, kH - 1));
    return m;
  }
  for (int row = 0; row < kH; ++row) {
    std::vector<std::pair<long, long>> xs;  // numerator, denominator > 0
    for (std::size_t i = 0; i < v.size(); ++i) {
      POINT u = v[i], l = v[(i + 1) % v.size()];
      if (u.y > l.y) std::swap(u, l);
      if (!(u.y <= row && row < l.y)) continue;  // (y + 0.5) <= row + 0.5 < ...
      const long d = l.y - u.y;
      xs.push_back({long(u.x) * d + long(row - u.y) * (l.x - u.x), d});
    }
    std::sort(xs.begin(), xs.end(),
              [](auto a, auto b) { return a.first * b.second < b.first * a.second; });
    const auto round = [](std::pair<long, long> f) {  // f >= 0
      return (2 * f.first + f.second) / (2 * f.second);
    };
    for (std::size_t k = 0; k + 1 < xs.size(); k += 2) mark(round(xs[k]), round(xs[k + 1]), row);
  }
  return m;
}

HCURSOR Cursor(int index) {
  return index == 0 ? LoadCursorW(nullptr, IDC_ARROW)
                    : LoadCursorW(ThisProgram(), MAKEINTRESOURCEW(3030 + index));
}

// Lassos whose edges rise by powers of two (so the fill's running x is exact)
// against the brute-force fill; a click; a path far outside the control.
TEST(WheelEdit, LassoFillsWhatTheBruteForceFills) {
  AFX_MANAGE_STATE(&g_state);
  const std::vector<std::vector<Step>> scripts = {
      {{'d', 60, 50}, {'u', 60, 50}},
      {{'d', 40, 40},
       {'m', 72, 48},
       {'m', 104, 40},
       {'m', 96, 72},
       {'m', 104, 104},
       {'m', 72, 96},
       {'m', 40, 104},
       {'m', 48, 72},
       {'u', 48, 72}},
      {{'d', 150, 40}, {'m', 190, 104}, {'m', 190, 40}, {'m', 150, 104}, {'u', 150, 104}},
      {{'d', 20, 200},
       {'m', 9000, 200},
       {'m', 9000, -7000},
       {'m', -5000, -4000},
       {'m', -5000, 8000},
       {'u', -5000, 8000}},
      {{'d', -40, -40}, {'m', 30, -9}, {'m', 300, 250}, {'u', 300, 250}},
  };
  for (const auto& script : scripts) {
    Host host;
    Wheel w;
    host.Play(w, script);
    EXPECT_FALSE(w.m_edit.dragging);
    EXPECT_EQ(w.Mask(), BruteFill(Recorded(script))) << script[1].x;
  }
  // The click: the single pixel one row below the pressed one.
  Host host;
  Wheel w;
  host.Play(w, scripts[0]);
  EXPECT_EQ(w.m_mask.GetDIBByte(60, 51), 255);
}

// A mask of 200 on a rectangle, then a lasso over an overlapping one in each
// mode: replace, add (saturates at 255), subtract (stops at 0), intersect.
TEST(WheelEdit, CombineModesOnOverlappingShapes) {
  AFX_MANAGE_STATE(&g_state);
  std::vector<std::uint8_t> before(std::size_t(kW) * kH, 0);
  for (int y = 20; y < 80; ++y)
    for (int x = 30; x < 90; ++x) before[std::size_t(y) * kW + x] = 200;
  for (int mode = 0; mode < 4; ++mode) {
    const std::vector<Step> lasso = {{'d', 60, 10, mode},
                                     {'m', 120, 10, mode},
                                     {'m', 120, 74, mode},
                                     {'m', 60, 74, mode},
                                     {'u', 60, 74, mode}};
    const std::vector<std::uint8_t> s = BruteFill(Recorded(lasso));
    Host host;
    Wheel w;
    w.SetMask(before);
    host.Play(w, lasso);
    const std::vector<std::uint8_t> m = w.Mask();
    for (std::size_t i = 0; i < m.size(); ++i) {
      const int in = s[i] != 0, old = before[i];
      const int expected[4] = {in ? 255 : 0, in ? 255 : old, in ? 0 : old, in ? old : 0};
      ASSERT_EQ(m[i], expected[mode]) << "mode " << mode << " at " << i;
    }
  }
}

// A press on a keyed pixel with no key held moves the region, with the
// drag's cursor; with keys it draws a lasso. Moving away and back restores
// the mask exactly, also after leaving the control far behind.
TEST(WheelEdit, MoveFollowsThePointerAndComesBack) {
  AFX_MANAGE_STATE(&g_state);
  const struct {
    int keys, kind, cursor;
  } presses[] = {{0, 5, 4}, {1, 4, 10}, {2, 4, 11}, {3, 4, 12}};
  std::vector<std::uint8_t> region(std::size_t(kW) * kH, 0);
  for (int y = 60; y < 90; ++y)
    for (int x = 100; x < 140; ++x) region[std::size_t(y) * kW + x] = std::uint8_t(x + 3 * y);
  for (const auto& c : presses) {
    Host host;
    Wheel w;
    w.SetMask(region);
    host.Play(w, {{'d', 110, 70, c.keys}});
    EXPECT_EQ(w.m_edit.kind, c.kind);
    EXPECT_EQ(GetCursor(), Cursor(c.cursor));
    EXPECT_EQ(GetCapture(), host.hwnd);
    if (c.kind != 5) continue;
    host.Play(w, {{'m', 140, 50}});
    const std::vector<std::uint8_t> moved = w.Mask();
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const int sx = x - 30, sy = y + 20;
        const int expected = sx >= 0 && sx < kW && sy < kH ? region[std::size_t(sy) * kW + sx] : 0;
        ASSERT_EQ(moved[std::size_t(y) * kW + x], expected);
      }
    host.Play(w, {{'m', -8000, 9000}, {'m', 110, 70, 3}, {'u', 110, 70}});
    EXPECT_EQ(w.Mask(), region);
    EXPECT_EQ(GetCapture(), nullptr);
  }
}

// The outline in the window mid-drag, and in the display at the release:
// the segments between recorded points, closed by a line to the start
// unless the last point lies next to it (a line that could only repaint its
// two ends). The segments here are horizontal, vertical or of slope 1/2.
TEST(WheelEdit, OutlineAndItsClosingLine) {
  AFX_MANAGE_STATE(&g_state);
  const auto segment = [](std::vector<std::uint8_t>& m, POINT a, POINT b) {
    const int n = std::max(std::abs(b.x - a.x), std::abs(b.y - a.y));
    for (int t = 0; t <= n; ++t)
      m[std::size_t(a.y + (b.y - a.y) * t / std::max(n, 1)) * kW +
        std::size_t(a.x + (b.x - a.x) * t / std::max(n, 1))] = 1;
  };
  const struct {
    POINT last;
    bool closed;
  } cases[] = {{{40, 40}, true}, {{22, 21}, true}, {{20, 22}, true}, {{21, 21}, false}};
  for (const auto& c : cases) {
    Host host;
    Wheel w;
    const POINT path[] = {{20, 20}, {120, 20}, {120, 100}, {c.last.x, 100}, c.last};
    host.Play(w, {{'d', 20, 20},
                  {'m', 120, 20},
                  {'m', 120, 100},
                  {'m', c.last.x, 100},
                  {'m', c.last.x, c.last.y}});
    std::vector<std::uint8_t> expected(std::size_t(kW) * kH, 0);
    for (int i = 0; i + 1 < 5; ++i) segment(expected, path[i], path[i + 1]);
    EXPECT_EQ(host.White(), expected);
    EXPECT_EQ(GetCursor(), Cursor(9));
    host.Play(w, {{'u', c.last.x, c.last.y}});
    if (c.closed) segment(expected, c.last, path[0]);
    EXPECT_EQ(w.outline, expected) << c.last.x;
  }
}

// The cursor of every idle situation, the pointer given in screen
// coordinates: keyed pixel, keys, disabled, outside the client area, and a
// capture held elsewhere.
TEST(WheelEdit, IdleCursors) {
  AFX_MANAGE_STATE(&g_state);
  Host host;
  Wheel w;
  w.MarkColour(733, 40, 200, 60);
  POINT keyed{0, 0};
  for (int y = 0; y < kH && keyed.x == 0; ++y)
    for (int x = 0; x < kW; ++x)
      if (w.m_mask.GetDIBByte(x, y) > 0) keyed = {x, y};
  ASSERT_NE(keyed.x, 0);
  const struct {
    POINT at;
    int keys;
    int expected;
  } cases[] = {{keyed, 0, 3}, {{5, 5}, 0, 5}, {keyed, 1, 6},
               {keyed, 2, 7}, {{5, 5}, 3, 8}, {{250, 250}, 0, 5}};
  for (const auto& c : cases) {
    host.Play(w, {{'k', c.at.x, c.at.y, c.keys}});
    EXPECT_EQ(GetCursor(), Cursor(c.expected)) << c.at.x << " " << c.keys;
    SetCursor(Cursor(1));
    host.Play(w, {{'m', c.at.x, c.at.y, c.keys}});
    w.OnSetCursor(host.hwnd, CWndHSL::kHitClient);
    EXPECT_EQ(GetCursor(), Cursor(c.expected));
  }
  w.OnSetCursor(host.hwnd, 2);
  EXPECT_EQ(GetCursor(), Cursor(0));
  HWND other = WinCreateWindow(0, 0, 10, 10);
  SetCapture(other);
  w.OnSetCursor(host.hwnd, CWndHSL::kHitClient);
  EXPECT_EQ(GetCursor(), Cursor(0));  // left alone
  ReleaseCapture();
  WinDestroyWindow(other);
  w.Enable(false);
  SetCursor(Cursor(5));
  w.OnSetCursor(host.hwnd, CWndHSL::kHitClient);
  EXPECT_EQ(GetCursor(), Cursor(0));
  bool handled = true;
  w.OnButtonDown(host.hwnd, host.dc, keyed, handled);
  EXPECT_FALSE(handled);
  EXPECT_FALSE(w.m_edit.dragging);
}

// Events out of order: a release or a move without a press are not handled
// and change nothing; a press during a drag starts the drag again there.
TEST(WheelEdit, EventsOutOfOrder) {
  AFX_MANAGE_STATE(&g_state);
  Host host;
  Wheel w;
  w.MarkColour(733, 40, 200, 60);
  const std::vector<std::uint8_t> before = w.Mask();
  EXPECT_FALSE(host.Play(w, {{'u', 50, 50}}));
  EXPECT_FALSE(host.Play(w, {{'m', 50, 50}}));
  EXPECT_EQ(w.Mask(), before);
  EXPECT_TRUE(host.Play(w, {{'d', 10, 10}, {'m', 200, 150}, {'d', 30, 40}, {'u', 30, 40}}));
  EXPECT_EQ(w.Mask(), BruteFill({{30, 40}}));
}

// Memory running out: while the point list grows, the point is dropped and
// the outline goes on; in the fill (shape or vertices), the mask stays.
TEST(WheelEdit, OutOfMemory) {
  AFX_MANAGE_STATE(&g_state);
  std::vector<Step> walk{{'d', 40, 30}};  // twice around a rectangle, a pixel a step
  for (int lap = 0; lap < 2; ++lap) {
    for (int x = 41; x <= 200; ++x) walk.push_back({'m', x, 30});
    for (int y = 31; y <= 180; ++y) walk.push_back({'m', 200, y});
    for (int x = 199; x >= 40; --x) walk.push_back({'m', x, 180});
    for (int y = 179; y >= 30; --y) walk.push_back({'m', 40, y});
  }
  walk.push_back({'u', 40, 30});
  Host host;
  Wheel w;
  g_failSize = 2048 * sizeof(POINT);
  w.m_edit.memory.allocate = &Failing;
  host.Play(w, {walk.begin(), walk.end() - 1});
  EXPECT_EQ(w.m_edit.count, 1024);
  EXPECT_TRUE(host.White()[std::size_t(100) * kW + 40]);  // drawn after the list was full
  g_failSize = 0;  // the vertices of 1024 points are as large as the refused list
  host.Play(w, {walk.back()});
  std::vector<POINT> kept = Recorded(walk);
  kept.resize(1024);
  EXPECT_EQ(w.Mask(), BruteFill(kept));

  const std::vector<Step> lasso = {{'d', 60, 60}, {'m', 90, 60}, {'m', 90, 90}, {'u', 90, 90}};
  for (std::size_t fail : {std::size_t(244 * kH), 3 * 2 * sizeof(double)}) {
    Wheel v;
    v.MarkColour(733, 40, 200, 60);
    const std::vector<std::uint8_t> before = v.Mask();
    g_failSize = fail;
    v.m_edit.memory.allocate = &Failing;
    host.Play(v, lasso);
    EXPECT_EQ(v.Mask(), before) << fail;
    g_failSize = 0;
    host.Play(v, lasso);
    EXPECT_EQ(v.Mask(), BruteFill(Recorded(lasso)));
  }
}

// A loop around the wheel's greens (hue 85 to 165 degrees, saturation 0.12
// to beyond the rim) leaves a mask with which the engine keys the shipped
// sample's green screen and keeps the person.
TEST(WheelEdit, DraggedGreensKeyTheSample) {
  AFX_MANAGE_STATE(&g_state);
  const auto onWheel = [](double degrees, double s) {
    const double a = degrees * std::numbers::pi / 180.0;
    return Step{'m', int(std::lround(120 + s * 120 * std::cos(a))),
                int(std::lround(104 - s * 104 * std::sin(a)))};
  };
  std::vector<Step> loop;
  for (int h = 85; h <= 165; h += 4) loop.push_back(onWheel(h, 1.2));
  for (int h = 165; h >= 85; h -= 4) loop.push_back(onWheel(h, 0.12));
  loop.front().what = 'd';
  loop.push_back(loop.back());
  loop.back().what = 'u';
  Host host;
  Wheel w;
  host.Play(w, loop);
  std::uint32_t size = 0;
  const std::uint8_t* record = w.GetMaskData(size);
  ASSERT_GT(size, 144u);

  const auto picture =
      mattix::cli::ReadPng(std::string(MATTIX_SOURCE_DIR) + "/samples/greenscreen.png");
  const int width = picture.width, height = picture.height;
  keytest::Frame source(width, height), target(width, height);
  for (int y = 0; y < height; ++y)
    std::copy_n(picture.Row(y), width * 4, source.line(height - 1 - y));
  const double settings[6] = {0, 0, 0, 0, 100, 100};
  ASSERT_EQ(CMattix2().Process(target.dib(), source.dib(), settings, record, size, -1), 0);
  const auto alpha = [&](int x, int y) { return target.line(height - 1 - y)[4 * x + 3]; };
  const struct {
    int x0, y0, x1, y1, expected;
  } areas[] = {{0, 0, 40, 40, 0},
               {width - 40, height - 40, width, height, 0},
               {0, 150, 40, 200, 0},
               {170, 110, 210, 170, 255},
               {150, 260, 230, 310, 255}};
  for (const auto& a : areas)
    for (int y = a.y0; y < a.y1; ++y)
      for (int x = a.x0; x < a.x1; ++x) ASSERT_EQ(alpha(x, y), a.expected) << x << "," << y;
}

}  // namespace
