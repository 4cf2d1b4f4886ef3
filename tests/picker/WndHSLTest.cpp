// The hue/saturation wheel against independent formulations: the composite
// and the tint by rounded floating point, the blur radius through a blur of
// the stated radius, the disc by integer distance, the record by round trips.
// (Damaged records are the record's own tests; the engine keying what the
// wheel marks is the plug-in's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "ControlHost.h"
#include "filter/Gaussian.h"
#include "picker/WndHSL.h"

namespace {

// The wheel with its state open to the tests; DrawInfo's arguments recorded.
struct Wheel : CWndHSL {
  using CWndHSL::m_base;
  using CWndHSL::m_display;
  using CWndHSL::m_mask;
  using CWndHSL::m_softMask;
  using CWndHSL::m_wheel;
  std::vector<int> info;
  void DrawInfo(CDC* dc, int r, int g, int b, int h, int l, int s) override {
    info = {r, g, b, h, l, s};
    CWndHSL::DrawInfo(dc, r, g, b, h, l, s);
  }
  std::uint8_t& MaskAt(int x, int row) { return m_mask.GetBytes()[row * 244 + x]; }  // 8-bit rows
  std::vector<std::uint8_t> Mask() const {
    return {m_mask.GetBytes(), m_mask.GetBytes() + m_mask.DIBSize()};
  }
};

using picker_test::g_withResources;
AFX_MODULE_STATE g_withoutResources{nullptr, nullptr, nullptr, nullptr};

long Round(double v) { return std::lround(v); }

// The base is the picture over grey 162; the display adds the tint of the
// soft mask, the disabled look mixes base and grey half and half.
TEST(Wheel, BaseTintAndDisabledLook) {
  AFX_MANAGE_STATE(&g_withResources);
  Wheel w;
  ASSERT_TRUE(w.BlurMask());
  std::mt19937 rng(7);
  for (std::size_t i = 0; i < w.m_softMask.DIBSize(); ++i)
    w.m_softMask.GetBytes()[i] = rng() % 3 ? 0 : rng();
  const std::uint8_t* pic = w.m_wheel.GetBytes();
  for (std::size_t i = 0; i < w.m_base.DIBSize(); ++i) {
    const double a = pic[i | 3];
    ASSERT_EQ(w.m_base.GetBytes()[i],
              i % 4 == 3 ? 255 : Round(pic[i] * a / 255) + Round(162 * (255 - a) / 255))
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
                m == 0 ? b : Round(b * 159 / 255.0) + Round(m * 96 / 255.0));
      ASSERT_EQ(disabled.GetBytes()[at], Round((b * 127 + 162 * 128) / 255.0));
    }
}

// Softness 0 copies; otherwise the radius is max(1, min(100, (s/100)^4 * 100)).
TEST(Wheel, BlurRadiusFollowsSoftness) {
  AFX_MANAGE_STATE(&g_withResources);
  const struct {
    double softness, radius;
  } cases[] = {{0, 0}, {10, 1}, {50, 6.25}, {80, 40.96}, {100, 100}, {std::nan(""), 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.softness);
    Wheel w;
    for (int row = 90; row < 110; ++row)
      for (int x = 100; x < 130; ++x) w.MaskAt(x, row) = 255;
    EXPECT_EQ(w.SetKeyParams(&c.softness), c.softness != 0);  // NaN differs from all
    EXPECT_EQ(w.SetKeyParams(&c.softness), std::isnan(c.softness));
    ASSERT_TRUE(w.BlurMask());
    stdfx::CDIB expected(w.m_mask);
    if (c.radius > 0) {
      ASSERT_EQ(stdfx::CGaussian(1).Blur(expected, w.m_mask, c.radius, c.radius), 0);
    }
    ASSERT_EQ(std::memcmp(w.m_softMask.GetBytes(), expected.GetBytes(), expected.DIBSize()), 0);
  }
}

// 731 sets one byte at the colour's position, 733 the disc of the bytes
// whose integer distance squared is at most 12 (37 bytes when unclipped).
TEST(Wheel, MarksColoursAtTheirPositions) {
  AFX_MANAGE_STATE(&g_withResources);
  const struct {
    int r, g, b, x, row, disc;
  } cases[] = {{255, 0, 0, 240, 104, 22},
               {128, 128, 128, 120, 120, 37},
               {0, 255, 0, 60, 194, 37},
               {0, 0, 255, 60, 14, 37}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.x);
    Wheel w;
    EXPECT_FALSE(w.MarkColour(729, 0, 0, 0));
    for (const auto& [command, r2, count] : {std::array{731, 0, 1}, {733, 12, c.disc}}) {
      EXPECT_TRUE(w.MarkColour(command, c.r, c.g, c.b));
      EXPECT_FALSE(w.MarkColour(command, c.r, c.g, c.b));
      int n = 0;
      for (int row = 0; row < 209; ++row)
        for (int x = 0; x < 244; ++x) {
          const int dx = x - c.x, dy = row - c.row;
          ASSERT_EQ(w.MaskAt(x, row), x < 241 && dx * dx + dy * dy <= r2 ? 255 : 0)
              << x << "," << row;
          n += w.MaskAt(x, row) != 0;
        }
      EXPECT_EQ(n, count);
    }
    EXPECT_TRUE(w.MarkColour(730, 0, 0, 255));  // clears first, then marks blue
    EXPECT_TRUE(w.MarkColour(730, 0, 0, 255));
    const auto m = w.Mask();
    EXPECT_TRUE(std::count(m.begin(), m.end(), 0) + 1 == long(m.size()) && w.MaskAt(60, 14) == 255);
  }
}

TEST(WheelRecord, RoundTripAndUnchangedShortcut) {
  AFX_MANAGE_STATE(&g_withResources);
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
  EXPECT_TRUE(b.SetMaskData(nullptr, 0));  // an empty record clears the mask
  EXPECT_EQ(b.Mask(), std::vector<std::uint8_t>(marked.size(), 0));
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
TEST(Wheel, WithoutResourcesNothingIsReadOrDrawn) {
  AFX_MANAGE_STATE(&g_withoutResources);
  Wheel w;
  EXPECT_FALSE(w.m_wheel.IsValidDIB() || w.m_base.IsValidDIB() || w.m_mask.IsValidDIB());
  EXPECT_FALSE(w.MarkColour(731, 255, 0, 0));
  std::uint32_t size = 0;
  EXPECT_TRUE(w.GetMaskData(size) == w.GetEmptyMaskData() && size == 144u);
  const picker_test::ControlHost window(0, 0, 260, 260);
  const auto before = window.Pixels();
  EXPECT_FALSE(w.Draw(window.hwnd, window.dc));
  EXPECT_EQ(window.Pixels(), before);
  w.ShowInfoAt(nullptr, CDC::FromHandle(window.dc), POINT{240, 104});
  EXPECT_EQ(w.info, std::vector<int>(6, -1));
}

}  // namespace
