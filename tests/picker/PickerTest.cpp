// The hue/saturation wheel against independent formulations: the composite
// and the tint by rounded floating point, the blur radius through a blur of
// the stated radius, the disc by integer distance, the record by round trips;
// then mask editing driven as a host drives it (a window, its device context,
// the pointer in screen coordinates and the Shift and Alt keys), lassos
// checked against a brute-force even-odd fill of the scripted points,
// outlines against the window's pixels. (Damaged records are the record's own
// tests; the engine keying what the wheel marks, and picked and dragged
// colours keying the sample, are the plug-in's.)
//
// The lightness bar driven as a host drives it: scripted presses, moves
// (with Shift states) and releases on a 255 x 44 window, checked through the
// values it reports and the window's pixels. Expected positions, greys and
// handle shapes come from direct formulas here (round-half-up division,
// point-in-triangle tests), never from the control's code.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "ControlHost.h"
#include "filter/Gaussian.h"
#include "picker/WndHSL.h"
#include "picker/WndLightness.h"
#include "tests/selection/ReferenceFill.h"

// The test program stands for the module: its application object and its
// resource table (linked in) give the bar its cursors.
CWinApp g_app("picker_test");

namespace {

using picker_test::g_withResources;
AFX_MODULE_STATE g_withoutResources{nullptr, nullptr, nullptr, nullptr};
constexpr int kW = 241, kH = 209;  // the mask
constexpr POINT kOrigin{100, 50};  // the client area on the screen
using Bytes = std::vector<std::uint8_t>;

template <class F>
Bytes Picture(F f) {
  Bytes b(std::size_t(kW) * kH);
  for (int i = 0; i < kW * kH; ++i) b[std::size_t(i)] = std::uint8_t(f(i % kW, i / kW));
  return b;
}

// The wheel with its state open to the tests: DrawInfo's arguments recorded,
// the mask as a picture (top row first) or by buffer row, and `outline`, the
// display's white pixels when the release recomposes (BlurMask comes first).
struct Wheel : CWndHSL {
  using CWndHSL::m_base, CWndHSL::m_display, CWndHSL::m_edit, CWndHSL::m_mask, CWndHSL::m_softMask,
      CWndHSL::m_wheel;
  std::vector<int> info;
  Bytes outline;
  void DrawInfo(CDC* dc, int r, int g, int b, int h, int l, int s) override {
    info = {r, g, b, h, l, s};
    CWndHSL::DrawInfo(dc, r, g, b, h, l, s);
  }
  bool BlurMask() override {
    outline = Picture([&](int x, int y) {
      int r = 0, g = 0, b = 0;
      m_display.GetDIBColor(x, y, r, g, b);
      return r + g + b == 765;
    });
    return CWndHSL::BlurMask();
  }
  std::uint8_t& MaskAt(int x, int row) { return m_mask.GetBytes()[row * 244 + x]; }  // 8-bit rows
  Bytes Mask() const {
    return Picture([&](int x, int y) { return m_mask.GetDIBByte(x, y); });
  }
  void SetMask(const Bytes& m) {
    for (int i = 0; i < kW * kH; ++i)
      m_mask.GetBytes()[(kH - 1 - i / kW) * 244 + i % kW] = m[std::size_t(i)];
  }
};

// The wheel's tests run with this program's resources as the module's.
struct WheelTest : ::testing::Test {
  AFX_MAINTAIN_STATE2 resources{&g_withResources};
};

// The base is the picture over grey 162; the display adds the tint of the
// soft mask, the disabled look mixes base and grey half and half.
TEST_F(WheelTest, BaseTintAndDisabledLook) {
  Wheel w;
  ASSERT_TRUE(w.BlurMask());
  std::mt19937 rng(7);
  for (std::size_t i = 0; i < w.m_softMask.DIBSize(); ++i)
    w.m_softMask.GetBytes()[i] = rng() % 3 ? 0 : rng();
  const std::uint8_t* pic = w.m_wheel.GetBytes();
  for (std::size_t i = 0; i < w.m_base.DIBSize(); ++i) {
    const double a = pic[i | 3];
    ASSERT_EQ(w.m_base.GetBytes()[i],
              i % 4 == 3 ? 255 : std::lround(pic[i] * a / 255) + std::lround(162 * (255 - a) / 255))
        << i;
  }
  ASSERT_TRUE(w.ComposeDisplay());
  stdfx::CDIB disabled;
  w.Enable(false);
  ASSERT_TRUE(w.GetDisplayImage(disabled));
  for (int row = 0; row < 209; ++row)
    for (int x = 0; x < 241 * 3; ++x) {
      const int m = w.m_softMask.GetBytes()[row * 244 + x / 3], at = row * 964 + x / 3 * 4 + x % 3;
      const int b = w.m_base.GetBytes()[at];
      ASSERT_EQ(w.m_display.GetBytes()[at],
                m == 0 ? b : std::lround(b * 159 / 255.0) + std::lround(m * 96 / 255.0));
      ASSERT_EQ(disabled.GetBytes()[at], std::lround((b * 127 + 162 * 128) / 255.0));
    }
}

// Softness 0 copies; otherwise the radius is max(1, min(100, (s/100)^4 * 100)).
TEST_F(WheelTest, BlurRadiusFollowsSoftness) {
  const std::pair<double, double> cases[] = {{0, 0},      {10, 1},    {50, 6.25},
                                             {80, 40.96}, {100, 100}, {std::nan(""), 1}};
  for (const auto& [softness, radius] : cases) {
    SCOPED_TRACE(softness);
    Wheel w;
    for (int row = 90; row < 110; ++row)
      for (int x = 100; x < 130; ++x) w.MaskAt(x, row) = 255;
    EXPECT_EQ(w.SetKeyParams(&softness), softness != 0);  // NaN differs from all
    EXPECT_EQ(w.SetKeyParams(&softness), std::isnan(softness));
    ASSERT_TRUE(w.BlurMask());
    stdfx::CDIB expected(w.m_mask);
    ASSERT_EQ(radius > 0 ? stdfx::CGaussian(1).Blur(expected, w.m_mask, radius, radius) : 0, 0);
    ASSERT_EQ(std::memcmp(w.m_softMask.GetBytes(), expected.GetBytes(), expected.DIBSize()), 0);
  }
}

// 731 sets one byte at the colour's position, 733 the disc of the bytes
// whose integer distance squared is at most 12 (37 bytes when unclipped).
TEST_F(WheelTest, MarksColoursAtTheirPositions) {
  // r, g, b and the byte's column and buffer row.
  const std::array<int, 5> cases[] = {
      {255, 0, 0, 240, 104}, {128, 128, 128, 120, 120}, {0, 255, 0, 60, 194}, {0, 0, 255, 60, 14}};
  for (const auto [r, g, b, at, atRow] : cases) {
    SCOPED_TRACE(at);
    Wheel w;
    EXPECT_FALSE(w.MarkColour(729, 0, 0, 0));
    for (const auto& [command, r2] : {std::pair{731, 0}, {733, 12}}) {
      EXPECT_TRUE(w.MarkColour(command, r, g, b));
      EXPECT_FALSE(w.MarkColour(command, r, g, b));
      for (int row = 0; row < 209; ++row)
        for (int x = 0; x < 244; ++x) {
          const int dx = x - at, dy = row - atRow;
          ASSERT_EQ(w.MaskAt(x, row), x < 241 && dx * dx + dy * dy <= r2 ? 255 : 0)
              << x << "," << row;
        }
    }
    EXPECT_TRUE(w.MarkColour(730, 0, 0, 255));  // clears first, then marks blue
    EXPECT_TRUE(w.MarkColour(730, 0, 0, 255));
    const auto m = w.Mask();
    EXPECT_EQ(std::count(m.begin(), m.end(), 0) + 1, long(m.size()));
    EXPECT_EQ(w.MaskAt(60, 14), 255);
  }
}

TEST_F(WheelTest, RecordRoundTripAndUnchangedShortcut) {
  Wheel a;
  std::uint32_t size = 0;
  const std::uint8_t* empty = a.GetMaskData(size);
  EXPECT_EQ(std::vector<std::uint8_t>(empty, empty + size), std::vector<std::uint8_t>(144, 0));
  EXPECT_TRUE(a.SetMaskData(empty, size));
  for (int r = 0; r < 256; r += 37) a.MarkColour(733, r, 255 - r, 40);
  const std::uint8_t* data = a.GetMaskData(size);
  const std::vector<std::uint8_t> record(data, data + size), marked = a.Mask();
  Wheel b;
  EXPECT_TRUE(b.SetMaskData(record.data(), size));
  EXPECT_EQ(b.Mask(), marked);
  a.MaskAt(0, 0) = 9;  // the same record again is not decoded
  EXPECT_FALSE(a.SetMaskData(record.data(), size));
  EXPECT_EQ(a.MaskAt(0, 0), 9);
  b.MarkColour(731, 255, 0, 0);  // another record, then the first again (an undo)
  data = b.GetMaskData(size);
  EXPECT_TRUE(a.SetMaskData(std::vector<std::uint8_t>(data, data + size).data(), size));
  EXPECT_TRUE(a.SetMaskData(record.data(), std::uint32_t(record.size())));
  EXPECT_EQ(a.Mask(), marked);
  // An empty record clears the mask.
  EXPECT_TRUE(b.SetMaskData(nullptr, 0));
  EXPECT_EQ(b.Mask(), Bytes(marked.size(), 0));
  // A reset waits for the end of a drag; then it empties the mask and asks
  // to store it.
  const picker_test::ControlHost host(0, 0, 260, 260);
  EXPECT_TRUE(host.Send(a, 'd', POINT{0, 0}));
  EXPECT_FALSE(host.Send(a, 'r', POINT{0, 0}));
  host.Send(a, 'u', POINT{0, 0});
  EXPECT_TRUE(host.Send(a, 'r', POINT{0, 0}));
  EXPECT_EQ(a.Mask(), std::vector<std::uint8_t>(marked.size(), 0));
}

// Without the resources every image is invalid and every operation says so.
TEST(WheelWithoutResources, NothingIsReadOrDrawn) {
  AFX_MANAGE_STATE(&g_withoutResources);
  Wheel w;
  EXPECT_FALSE(w.m_wheel.IsValidDIB() || w.m_base.IsValidDIB() || w.m_mask.IsValidDIB());
  EXPECT_FALSE(w.MarkColour(731, 255, 0, 0));
  std::uint32_t size = 0;
  EXPECT_EQ(w.GetMaskData(size), w.GetEmptyMaskData());
  EXPECT_EQ(size, 144u);
  const picker_test::ControlHost window(0, 0, 260, 260);
  const auto before = window.Pixels();
  EXPECT_FALSE(w.Draw(window.hwnd, window.dc));
  EXPECT_EQ(window.Pixels(), before);
  w.ShowInfoAt(nullptr, CDC::FromHandle(window.dc), POINT{240, 104});
  EXPECT_EQ(w.info, std::vector<int>(6, -1));
}

HCURSOR Cursor(int i) {
  return LoadCursorW(i ? picker_test::ThisProgram() : nullptr,
                     MAKEINTRESOURCEW(i ? 3030 + i : 32512));
}
// One event: 'd' press, 'm' move, 'u' release; keys bit 0 Shift, bit 1 Alt.
struct Step {
  char what;
  int x, y, keys;
};
// "d40,40 m72,48/1 u48,72": events with the keys after a slash.
std::vector<Step> Script(const char* text, int keys = 0) {
  std::vector<Step> steps;
  std::istringstream in(text);
  for (Step s{}; in >> s.what >> s.x && in.ignore() >> s.y; steps.push_back(s))
    if (s.keys = keys; in.peek() == '/') in.ignore() >> s.keys;
  return steps;
}

struct Host : picker_test::ControlHost {
  Host() : ControlHost(kOrigin.x, kOrigin.y, 260, 260) {}
  bool Play(CWndHSL& w, const std::vector<Step>& steps) const {  // the last `handled`
    bool handled = false;
    for (const Step& s : steps) {
      WinSetAsyncKeyState(VK_SHIFT, s.keys & 1);
      WinSetAsyncKeyState(VK_MENU, (s.keys & 2) != 0);
      SetCursorPos(kOrigin.x + s.x, kOrigin.y + s.y);
      handled = Send(w, s.what, POINT{s.x, s.y});
    }
    return handled;
  }
  Bytes White() const {  // white window pixels over the picture
    const auto p = Pixels();
    return Picture([&](int x, int y) { return (p[std::size_t(y * 260 + x)] & 0xFFFF) == 0xFFFF; });
  }
};

// The lasso's points as a drag records them: each position on a new pixel,
// clamped to 0..width and 0..height.
std::vector<POINT> Recorded(const std::vector<Step>& steps) {
  std::vector<POINT> pts;
  POINT last{-1, -1};
  for (const Step& s : steps) {
    const POINT on{std::clamp(s.x, 0, kW - 1), std::clamp(s.y, 0, kH - 1)};
    if (s.what == 'd') pts.clear();
    if (s.what == 'd' || (s.what == 'm' && (on.x != last.x || on.y != last.y))) {
      pts.push_back({std::clamp(s.x, 0, kW), std::clamp(s.y, 0, kH)});
      last = on;
    }
  }
  return pts;
}

// The fill tests' brute-force reference on the vertices (x, y + 0.5); edges
// that rise by powers of two leave no end undecided. One vertex, or all on
// one row, fill one row lower, from the leftmost to the rightmost, clamped.
Bytes BruteFill(const std::vector<POINT>& v) {
  Bytes m(std::size_t(kW) * kH, 0);
  if (std::all_of(v.begin(), v.end(), [&](POINT p) { return p.y == v[0].y; })) {
    const auto [lo, hi] =
        std::minmax_element(v.begin(), v.end(), [](POINT a, POINT b) { return a.x < b.x; });
    const int row = std::min(int(v[0].y) + 1, kH - 1);
    for (int x = std::clamp(int(lo->x), 0, kW - 1); x <= std::clamp(int(hi->x), 0, kW - 1); ++x)
      m[std::size_t(row * kW + x)] = 255;
    return m;
  }
  std::vector<double> xy;
  for (const POINT p : v) xy.insert(xy.end(), {double(p.x), p.y + 0.5});
  const auto ref = scan_test::ReferenceFill(kW, kH, xy);
  EXPECT_EQ(ref.must, ref.may);
  std::transform(ref.must.begin(), ref.must.end(), m.begin(), [](char c) { return c ? 255 : 0; });
  return m;
}

using WheelEdit = WheelTest;

// Edges rise by powers of two (the fill's running x stays exact): a click
// (its pixel lies one row below the pressed one), a star, a bow tie, paths
// far outside the control, a press during a drag; then events without a
// press change nothing.
TEST_F(WheelEdit, LassoFillsWhatTheBruteForceFills) {
  for (const char* script :
       {"d60,50 u60,50", "d40,40 m72,48 m104,40 m96,72 m104,104 m72,96 m40,104 m48,72 u48,72",
        "d150,40 m190,104 m190,40 m150,104 u150,104",
        "d20,200 m9000,200 m9000,-7000 m-5000,-4000 m-5000,8000 u-5000,8000",
        "d-40,-40 m30,-9 m300,250 u300,250", "d10,10 m200,150 d30,40 u30,40"}) {
    Host host;
    Wheel w;
    EXPECT_TRUE(host.Play(w, Script(script)));
    EXPECT_FALSE(w.m_edit.dragging);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_FALSE(host.Play(w, Script("u50,50 m50,50")));  // no press: nothing
    EXPECT_EQ(w.Mask(), BruteFill(Recorded(Script(script)))) << script;
  }
}

// 200 on a rectangle, then a lasso over an overlapping one in each mode:
// replace, add (saturates at 255), subtract (stops at 0), intersect.
TEST_F(WheelEdit, CombineModesOnOverlappingShapes) {
  const Bytes before =
      Picture([](int x, int y) { return x >= 30 && x < 90 && y >= 20 && y < 80 ? 200 : 0; });
  for (int k = 0; k < 4; ++k) {
    const auto lasso = Script("d60,10 m120,10 m120,74 m60,74 u60,74", k);
    const Bytes s = BruteFill(Recorded(lasso));
    Host host;
    Wheel w;
    w.SetMask(before);
    host.Play(w, lasso);
    const Bytes m = w.Mask();
    for (std::size_t i = 0; i < m.size(); ++i) {
      const int in = s[i] != 0, old = before[i];
      const int expected[4] = {in ? 255 : 0, in ? 255 : old, in ? 0 : old, in ? old : 0};
      ASSERT_EQ(m[i], expected[k]) << "mode " << k << " at " << i;
    }
  }
}

// A press on a keyed pixel with no key held moves the region (its cursor,
// the capture); with keys, or elsewhere, it draws a lasso. Away and back
// (even far outside) restores the mask exactly. The pressed pixel holds 1.
TEST_F(WheelEdit, MoveFollowsThePointerAndComesBack) {
  const Bytes region = Picture([](int x, int y) {
    return x >= 100 && x < 140 && y >= 60 && y < 90 ? x - 109 + 3 * (y - 70) : 0;
  });
  const std::array<int, 4> cases[] = {
      {0, 110, 5, 4}, {1, 110, 4, 10}, {2, 110, 4, 11}, {3, 110, 4, 12}, {0, 20, 4, 9}};
  for (const auto [keys, px, kind, cursor] : cases) {
    Host host;
    Wheel w;
    w.SetMask(region);
    w.Draw(host.hwnd, host.dc);
    const COLORREF tinted = GetPixel(host.dc, 120, 75);
    host.Play(w, {{'d', px, 70, keys}});
    EXPECT_EQ(w.m_edit.kind, kind) << keys << " at " << px;
    EXPECT_EQ(GetCursor(), Cursor(cursor)) << keys << " at " << px;
    EXPECT_EQ(GetCapture(), host.hwnd) << keys << " at " << px;
    // Only a lasso that replaces shows the wheel without the region's tint.
    EXPECT_EQ(GetPixel(host.dc, 120, 75) == tinted, keys != 0 || kind == 5);
    if (kind != 5) continue;
    host.Play(w, Script("m140,50"));
    EXPECT_EQ(w.Mask(), Picture([&](int x, int y) {
                return x >= 30 && y + 20 < kH ? region[std::size_t((y + 20) * kW + x - 30)] : 0;
              }));
    host.Play(w, Script("m-8000,9000 m110,70/3 u110,70"));
    EXPECT_EQ(w.Mask(), region);
    EXPECT_EQ(GetCapture(), nullptr);
  }
}

// The outline in the window mid-drag and in the display at the release: the
// segments between the points, closed by a line to the start unless the last
// point lies next to it (where the line could only repaint its two ends).
// Segments here are horizontal, vertical, diagonal or of slope 1/2.
TEST_F(WheelEdit, OutlineAndItsClosingLine) {
  const auto segment = [](Bytes& m, POINT a, POINT b) {
    const int n = std::max(std::abs(b.x - a.x), std::abs(b.y - a.y));
    for (int t = 0; t <= n; ++t)
      m[std::size_t((a.y + (b.y - a.y) * t / n) * kW + a.x + (b.x - a.x) * t / n)] = 1;
  };
  for (const auto [x, y, closed] : {std::array{40, 40, 1}, {22, 21, 1}, {20, 22, 1}, {21, 21, 0}}) {
    Host host;
    Wheel w;
    const POINT path[] = {{20, 20}, {120, 20}, {120, 100}, {x, 100}, {x, y}};
    for (std::size_t i = 0; i < 5; ++i) host.Play(w, {{i ? 'm' : 'd', path[i].x, path[i].y, 0}});
    Bytes expected(std::size_t(kW) * kH, 0);
    for (int i = 0; i < 4; ++i) segment(expected, path[i], path[i + 1]);
    EXPECT_EQ(host.White(), expected) << x;
    EXPECT_EQ(GetCursor(), Cursor(9)) << x;
    host.Play(w, {{'u', x, y, 0}});
    if (closed) segment(expected, path[4], path[0]);
    EXPECT_EQ(w.outline, expected) << x;
  }
}

// ---- The lightness bar ----

using Values = std::array<std::uint32_t, 4>;
using Percent = std::array<double, 4>;
constexpr int W = 255, H = 44;
constexpr COLORREF kBg = 0xA2A2A2;

// x of a 16-bit value in the 255-pixel bar: 7 + v * 240 / 65535 rounded.
int XOf(std::uint32_t v) { return int(std::floor(v * 240.0 / 65535.0 + 0.5)) + 7; }
using win_test::Argb;

// A window with a bar drawn in it.
struct Bar : picker_test::ControlHost {
  explicit Bar(Percent percent = {0, 0, 100, 100}) : ControlHost(0, 0, W, H) {
    bar.SetValues(percent.data());
    bar.EraseBackground(hwnd, dc);
    bar.Draw(hwnd, dc);
  }
  ~Bar() { WinSetAsyncKeyState(VK_SHIFT, FALSE); }
  bool On(char event, int x, int y, bool shift = false) {
    WinSetAsyncKeyState(VK_SHIFT, shift);
    return Send(bar, event, POINT{x, y});
  }
  // Presses handle h at its x and runs moves such as "120 S80" (S: Shift).
  void Drag(int h, const std::string& moves) {
    ASSERT_TRUE(On('d', XOf(Stored()[std::size_t(h)]), h == 1 || h == 2 ? 12 : 16));
    std::istringstream in(moves);
    for (std::string m; in >> m;) On('m', std::stoi(m.substr(m[0] == 'S')), 30, m[0] == 'S');
  }
  // The stored 16-bit values, read back through the percent the bar reports.
  Values Stored() const {
    double d[4];
    bar.GetValues(d);
    Values v;
    for (std::size_t i = 0; i < 4; ++i) v[i] = std::uint32_t(std::lround(d[i] * 65535 / 100));
    return v;
  }
  CWndLightness bar;
};

TEST(LightnessBar, ValuesAreTruncatedToSixteenBitsAndClamped) {
  // Percent set, whether that changed the defaults, the values stored.
  const std::tuple<Percent, bool, Values> cases[] = {
      {{0, 0, 100, 100}, false, {0, 0, 65535, 65535}},
      {{10, 20, 80, 90}, true, {6553, 13107, 52428, 58981}},
      {{-5, 0, 120, 100}, false, {0, 0, 65535, 65535}},
      {{NAN, -INFINITY, INFINITY, 50}, true, {0, 0, 65535, 32767}},
      {{90, 10, 50, -1e300}, true, {58981, 6553, 32767, 0}}};  // order is not enforced
  for (const auto& [in, changed, stored] : cases) {
    Bar b;
    EXPECT_EQ(b.bar.SetValues(in.data()), changed) << in[0];
    EXPECT_EQ(b.Stored(), stored) << in[0];
  }
}

TEST(LightnessBar, HitAreasAndTies) {
  // The bar's percent, then points x, y and the handle each hits.
  const std::pair<Percent, std::vector<std::array<int, 3>>> cases[] = {
      // L1 at x 100 (38.75 % of 240 pixels = 93), nothing else within reach.
      {{0, 38.75, 90, 100}, {{108, 2, 1}, {92, 13, 1}, {100, 14, -1}, {109, 5, -1}}},
      // Stacked at an end: the one that can move away from it.
      {{0, 0, 0, 100}, {{7, 10, 2}}},
      {{0, 100, 100, 100}, {{247, 10, 1}}},
      {{0, 0, 0, 0}, {{7, 17, 3}}},
      {{100, 100, 100, 100}, {{247, 17, 0}}},
      {{0, 50, 50, 100}, {{7, 18, -1}}},
      // L1 at 100, L2 at 102: the nearer right corner, L1 on a tie.
      {{0, 38.75, 39.5834, 100}, {{108, 2, 1}, {110, 2, 2}}},
      // Both at 100: L2 when the pointer is not right of them.
      {{0, 38.75, 38.75, 100}, {{100, 5, 2}, {101, 5, 1}}}};
  for (const auto& [percent, hits] : cases) {
    Bar b(percent);
    for (const auto& [x, y, handle] : hits)
      EXPECT_EQ(b.bar.HitTest(*CWnd::FromHandle(b.hwnd), POINT{x, y}), handle)
          << x << "," << y << " " << percent[1];
  }
}

// A reset waits for the end of a drag; then it restores the defaults.
TEST(LightnessBar, DragsStopAtNeighboursAndShiftScalesTheInnerHandles) {
  // The bar's percent, the handle dragged, its moves, the values after.
  const std::tuple<Percent, int, const char*, Values> cases[] = {
      {{10, 20, 60, 100}, 1, "150 240", {6553, 39321, 39321, 65535}},
      {{10, 20, 60, 100}, 0, "3 -400", {0, 13107, 39321, 65535}},
      {{0, 40, 60, 100}, 3, "S127", {0, 13107, 19661, 32768}},
      {{0, 40, 60, 100}, 3, "127", {0, 26214, 39321, 39321}},
      {{20, 40, 60, 100}, 0, "S127", {32768, 40960, 49152, 65535}},
      // Whole percents rounded (40.6 % -> 41 %); out-of-order inner handles
      // are put back in order.
      {{0, 40.6, 60, 100}, 3, "S127", {0, 13435, 19661, 32768}},
      {{0, 60, 40, 100}, 3, "S127", {0, 13107, 13107, 32768}}};
  for (const auto& [percent, handle, moves, after] : cases) {
    Bar b(percent);
    b.Drag(handle, moves);
    EXPECT_FALSE(b.On('r', 0, 0));
    b.On('u', 0, 0);
    EXPECT_EQ(b.Stored(), after) << "handle " << handle << ": " << moves;
    EXPECT_TRUE(b.On('r', 0, 0));
    EXPECT_EQ(b.Stored(), (Values{0, 0, 65535, 65535}));
  }
}

// The ramp's column i is grey round(210 i / 240); disabled, that grey
// mixed with the background, 128 parts to 127, rounded.
TEST(LightnessBar, RampGreysAndTheirDisabledLook) {
  for (const bool enabled : {true, false}) {
    Bar b;
    b.bar.Enable(enabled);
    b.bar.Draw(b.hwnd, b.dc);
    const auto p = b.Pixels();
    for (int i = 0; i <= 240; ++i) {
      const int v = int(std::floor(210.0 * i / 240 + 0.5));
      const int g = enabled ? v : int(std::floor((162 * 128 + v * 127) / 255.0 + 0.5));
      for (int y = 0; y < 4; ++y)
        ASSERT_EQ(p[std::size_t(y * W + 7 + i)], Argb(RGB(g, g, g))) << i << " " << enabled;
    }
  }
}

// Moving over the bar, or dragging a handle, shows a lightness in the label;
// beside the bar, or with the bar disabled, the label is blank as first drawn.
TEST(LightnessBar, LabelShowsThePointersLightnessOnlyOverAnEnabledBar) {
  if (!std::ifstream("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf").good())
    GTEST_SKIP() << "DejaVuSans.ttf missing (install fonts-dejavu-core)";
  Bar b;
  const auto label = [&] {
    const auto p = b.Pixels();
    std::vector<std::uint32_t> rect;
    for (int y = 22; y < 42; ++y) rect.insert(rect.end(), &p[y * W + 220], &p[y * W + 255]);
    return rect;
  };
  const auto blank = label();
  for (const auto& [x, enabled, shown] :
       {std::tuple{127, true, true}, {2, true, false}, {127, false, false}}) {
    b.On('m', 60, 30);
    ASSERT_NE(label(), blank);
    b.bar.Enable(enabled);
    b.On('m', x, 30);
    EXPECT_EQ(label() != blank, shown) << x << " " << enabled;
    b.bar.Enable(true);
  }
  b.Drag(1, "120");  // a drag shows the dragged handle's lightness
  EXPECT_NE(label(), blank);
}

TEST(LightnessBar, HandlePixelsFollowTheirTriangle) {
  const struct {
    Percent percent;
    const char* drag;  // moves of the handle; null: not pressed
    bool highlighted;
    int handle, x, y;
    COLORREF fill, edge;
  } cases[] = {{{0, 38.75, 90, 100}, nullptr, false, 1, 100, 5, 0xFFFFFF, 0xD1D1D1},
               {{30, 50, 70, 100}, nullptr, false, 0, 79, 9, 0x000000, 0x515151},
               {{0, 38.75, 90, 100}, "101", true, 1, 101, 5, 0xFFFFFF, 0x5151D1},
               {{30, 50, 70, 100}, "60", true, 0, 60, 9, 0x000000, 0x5151D1},
               {{30, 50, 70, 100}, "60", false, 0, 60, 9, 0x000000, 0x515151}};  // released
  for (const auto& c : cases) {
    Bar b(c.percent);
    if (c.drag != nullptr) b.Drag(c.handle, c.drag);
    if (c.drag != nullptr && !c.highlighted) b.On('u', 0, 0);
    const auto p = b.Pixels();
    // Triangle (x, y), (x - 7, y + 7), (x + 7, y + 7), d rows below its tip.
    // The outline runs through pixel positions (the left edge i = x - d in
    // the edge colour, the rest too when highlighted); the fill takes the
    // pixels whose centre lies inside, on the left edge counting as in and
    // on the right edge as out (half-open spans): x - d - 1 <= i < x + d.
    for (int j = c.y; j <= c.y + 8; ++j)
      for (int i = c.x - 9; i <= c.x + 9; ++i) {
        const int d = j - c.y;
        const bool outline = d <= 7 && std::abs(i - c.x) <= d && (std::abs(i - c.x) == d || d == 7);
        const bool filled = d <= 6 && i >= c.x - d - 1 && i < c.x + d;
        const bool edge = outline && (i == c.x - d || c.highlighted);
        const COLORREF want = !(filled || outline) ? kBg : (edge ? c.edge : c.fill);
        EXPECT_EQ(p[std::size_t(j * W + i)], Argb(want))
            << "handle " << c.handle << " at " << i << "," << j;
      }
  }
}

}  // namespace
