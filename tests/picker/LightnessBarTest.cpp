// The lightness bar driven as a host drives it: scripted presses, moves
// (with Shift states) and releases on a 255 x 44 window, checked through the
// values it reports and the window's pixels. Expected positions, greys and
// handle shapes come from direct formulas here (round-half-up division,
// point-in-triangle tests), never from the control's code.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>
#include "ControlHost.h"
#include "picker/WndLightness.h"

// The test program stands for the module: its application object and its
// resource table (linked in) give the bar its cursors.
CWinApp g_app("picker_test");

namespace {

using Values = std::array<std::uint32_t, 4>;
using Percent = std::array<double, 4>;
constexpr int W = 255, H = 44;
constexpr COLORREF kBg = 0xA2A2A2;

// x of a 16-bit value in the 255-pixel bar: 7 + v * 240 / 65535 rounded.
int XOf(std::uint32_t v) { return int(std::floor(v * 240.0 / 65535.0 + 0.5)) + 7; }
using win_test::Argb;

// The stored 16-bit values, read back through the percent the bar reports.
Values StoredIn(const CWndLightness& bar) {
  double d[4];
  bar.GetValues(d);
  Values v;
  for (std::size_t i = 0; i < 4; ++i) v[i] = std::uint32_t(std::lround(d[i] * 65535 / 100));
  return v;
}

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
  Values Stored() const { return StoredIn(bar); }
  CWndLightness bar;
};

TEST(LightnessBar, ValuesAreTruncatedToSixteenBitsAndClamped) {
  const struct {
    Percent in;
    bool changed;
    Values stored;
  } cases[] = {{{0, 0, 100, 100}, false, {0, 0, 65535, 65535}},
               {{10, 20, 80, 90}, true, {6553, 13107, 52428, 58981}},
               {{-5, 0, 120, 100}, false, {0, 0, 65535, 65535}},
               {{NAN, -INFINITY, INFINITY, 50}, true, {0, 0, 65535, 32767}},
               {{90, 10, 50, -1e300}, true, {58981, 6553, 32767, 0}}};  // order is not enforced
  for (const auto& c : cases) {
    CWndLightness bar;
    EXPECT_EQ(bar.SetValues(c.in.data()), c.changed) << c.in[0];
    EXPECT_EQ(StoredIn(bar), c.stored) << c.in[0];
  }
}

TEST(LightnessBar, HitAreasAndTies) {
  const struct {
    Percent percent;
    int x, y, handle;
  } cases[] = {// L1 at x 100 (38.75 % of 240 pixels = 93), nothing else within reach.
               {{0, 38.75, 90, 100}, 108, 2, 1},
               {{0, 38.75, 90, 100}, 92, 13, 1},
               {{0, 38.75, 90, 100}, 100, 14, -1},
               {{0, 38.75, 90, 100}, 109, 5, -1},
               // Stacked at an end: the one that can move away from it.
               {{0, 0, 0, 100}, 7, 10, 2},
               {{0, 100, 100, 100}, 247, 10, 1},
               {{0, 0, 0, 0}, 7, 17, 3},
               {{100, 100, 100, 100}, 247, 17, 0},
               {{0, 50, 50, 100}, 7, 18, -1},
               // L1 at 100, L2 at 102: the nearer right corner, L1 on a tie.
               {{0, 38.75, 39.5834, 100}, 108, 2, 1},
               {{0, 38.75, 39.5834, 100}, 110, 2, 2},
               // Both at 100: L2 when the pointer is not right of them.
               {{0, 38.75, 38.75, 100}, 100, 5, 2},
               {{0, 38.75, 38.75, 100}, 101, 5, 1}};
  for (const auto& c : cases) {
    Bar b(c.percent);
    EXPECT_EQ(b.bar.HitTest(*CWnd::FromHandle(b.hwnd), POINT{c.x, c.y}), c.handle)
        << c.x << "," << c.y << " " << c.percent[1];
  }
}

// A reset waits for the end of a drag; then it restores the defaults.
TEST(LightnessBar, DragsStopAtNeighboursAndShiftScalesTheInnerHandles) {
  const struct {
    Percent percent;
    int handle;
    const char* moves;
    Values after;
  } cases[] = {{{10, 20, 60, 100}, 1, "150 240", {6553, 39321, 39321, 65535}},
               {{10, 20, 60, 100}, 0, "3 -400", {0, 13107, 39321, 65535}},
               {{0, 40, 60, 100}, 3, "S127", {0, 13107, 19661, 32768}},
               {{0, 40, 60, 100}, 3, "127", {0, 26214, 39321, 39321}},
               // Whole percents rounded (40.6 % -> 41 %); out-of-order inner handles
               // are put back in order.
               {{0, 40.6, 60, 100}, 3, "S127", {0, 13435, 19661, 32768}},
               {{0, 60, 40, 100}, 3, "S127", {0, 13107, 13107, 32768}}};
  for (const auto& c : cases) {
    Bar b(c.percent);
    b.Drag(c.handle, c.moves);
    EXPECT_FALSE(b.On('r', 0, 0));
    b.On('u', 0, 0);
    EXPECT_EQ(b.Stored(), c.after) << "handle " << c.handle << ": " << c.moves;
    EXPECT_TRUE(b.On('r', 0, 0));
    EXPECT_EQ(b.Stored(), (Values{0, 0, 65535, 65535}));
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
