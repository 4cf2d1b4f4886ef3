// The custom controls through the built module, driven as a host program
// drives them (host/ControlHost.h): drawing events, parameter changes, key
// colour picks and pointer events, what they write back into the host's
// parameters, and renders that follow. Wheel positions come from the
// textbook HLS of a colour and the wheel's ellipse (centre (120, 104) in
// client coordinates, half axes 120 and 104).
#include "host/ControlHost.h"
#include "host/HostModule.h"
#include "host/Image.h"
#include "host/cli/PngFile.h"
#include "tests/plugin/ModuleFixture.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

namespace h = mattix::host;
using mattix::test::Module;

constexpr int kSoftness = 0, kSpill = 1, kKeyRed = 2, kKeyGreen = 3, kKeyBlue = 4, kBar = 5,
              kWheel = 6;
using Reports = std::vector<std::tuple<int, int, int>>;  // parameter, flag, flag

Reports Of(const h::EventResult& result) {
  Reports reports;
  for (const h::ChangeReport& r : result.changes)
    reports.emplace_back(r.parameterIndex, r.flag1, r.flag2);
  return reports;
}

// A fresh instance with its controls on screen.
struct Rig {
  Rig() {
    Module()->RegisterEffects();
    instance = Module()->CreateInstance();
    EXPECT_EQ(instance->DefineParameters(), 0);
    controls = std::make_unique<h::CControlHost>(*instance);
  }
  std::uint64_t Revision(int index) const {
    return instance->Parameter(index)->CurrentData()->Revision();
  }
  bool Blank(int index) const {
    const h::ControlPixels p = controls->Pixels(index);
    for (std::uint32_t c : p.pixels)
      if (c != 0xFFFFFFFFu) return false;
    return !p.pixels.empty();
  }
  // Keys pixels (0xAARRGGBB, straight alpha) in one row; the output pixels.
  std::vector<std::uint32_t> Render(std::vector<std::uint32_t> in, int width = 0) const {
    if (width == 0) width = int(in.size());
    const int height = int(in.size()) / width;
    std::vector<std::uint32_t> out(in.size());
    auto input = h::CImage::WrapBgra(in.data(), width, height, width * 4, false);
    auto output = h::CImage::WrapBgra(out.data(), width, height, width * 4, false);
    EXPECT_EQ(instance->Render(*output, *input), 0);
    return out;
  }
  std::unique_ptr<h::CEffectInstance> instance;
  std::unique_ptr<h::CControlHost> controls;  // destroyed before the instance
};

std::vector<std::uint8_t> LightnessRecord(std::array<double, 4> values) {
  std::vector<std::uint8_t> bytes(32);
  std::memcpy(bytes.data(), values.data(), 32);
  return bytes;
}

// Every wheel colour keyed: a 241 x 209 8-bit header (size, width, height,
// planes 1 | 8 bits, BI_RLE8, bytes of runs) and hand-written runs of 241
// bytes 255, an end of line per row, the last one an end of bitmap.
std::vector<std::uint8_t> FullMaskRecord() {
  std::vector<std::uint8_t> record(144, 0);
  const std::uint32_t header[6] = {144, 241, 209, 1 | 8 << 16, 1, 209 * 4};
  std::memcpy(record.data(), header, sizeof header);
  for (int row = 0; row < 209; ++row) record.insert(record.end(), {241, 255, 0, 0});
  record.back() = 1;
  return record;
}

// Client point of hue (turns) and saturation on the wheel.
POINT WheelPoint(double hue, double saturation) {
  const double a = 2.0 * std::numbers::pi * hue;
  return {int(std::lround(120.0 + std::cos(a) * saturation * 120.0)),
          int(std::lround(104.0 - std::sin(a) * saturation * 104.0))};
}

// Pixels that differ between two pictures of one window.
std::vector<POINT> Changed(const h::ControlPixels& a, const h::ControlPixels& b) {
  std::vector<POINT> points;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      if (a.At(x, y) != b.At(x, y)) points.push_back({x, y});
  return points;
}

bool Keyed(std::uint32_t pixel) { return pixel >> 24 == 0; }

// (0, 128, 0): hue 1/3, saturation 1, lightness 25 percent. Its wheel pixel
// is column trunc((cos 120 deg + 1) * 120 + 0.5) = 60 and row
// trunc((sin 120 deg + 1) * 104 + 0.5) = 194 from the bottom, y 14.
constexpr POINT kGreenOnWheel{60, 14};

TEST(Controls, KeyColourChanges) {
  struct Case {
    const char* name;
    int index;
    double value;
    h::Keys keys;
    bool quiet;
    std::size_t marked;  // wheel pixels tinted; 0: nothing may happen
  };
  const Case cases[] = {
      {"KeyRed0.4RoundsToBlack", kKeyRed, 0.4, {}, false, 0},
      {"KeyGreen128", kKeyGreen, 128.0, {}, false, 1},
      {"KeyGreen128WithShiftMarksADisc", kKeyGreen, 128.0, {true, false}, false, 37},
      {"QuietKeyBlue", kKeyBlue, 200.0, {}, true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.controls->Draw(kWheel);
    const h::ControlPixels before = rig.controls->Pixels(kWheel);
    const std::uint64_t revision = rig.Revision(kWheel);
    const h::EventResult result = rig.controls->ChangeNumber(c.index, c.value, c.keys, c.quiet);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.handled, true);
    const std::vector<POINT> tinted = Changed(before, rig.controls->Pixels(kWheel));
    if (c.marked == 0) {
      EXPECT_TRUE(Of(result).empty());
      EXPECT_TRUE(tinted.empty());
      EXPECT_EQ(rig.Revision(kWheel), revision);
      EXPECT_EQ(rig.instance->Number(c.index), c.value);  // not written back
      continue;
    }
    EXPECT_EQ(Of(result),
              (Reports{{kKeyRed, 0, 1}, {kKeyGreen, 0, 1}, {kKeyBlue, 0, 1}, {kWheel, 0, 0}}));
    for (int i : {kKeyRed, kKeyGreen, kKeyBlue}) EXPECT_EQ(rig.instance->Number(i), 0.0);
    EXPECT_GT(rig.controls->Value(kWheel).size(), 144u);
    // The tint covers the colour's position, or the disc of radius 3.5
    // around it: the 37 pixels at a squared distance of at most 12.
    EXPECT_EQ(tinted.size(), c.marked);
    for (POINT p : tinted) {
      const int dx = p.x - kGreenOnWheel.x, dy = p.y - kGreenOnWheel.y;
      EXPECT_LE(dx * dx + dy * dy, c.marked == 1 ? 0 : 12) << p.x << "," << p.y;
    }
    // The stored record keys that green and not a red.
    const std::vector<std::uint32_t> out = rig.Render({0xFF008000u, 0xFF800000u});
    EXPECT_TRUE(Keyed(out[0]));
    EXPECT_EQ(out[1], 0xFF800000u);
  }
}

// Softness reaches the wheel the same way through a change as through a
// drawing event; Spill Suppression is not the controls' business.
TEST(Controls, SoftnessRedrawsTheWheelSpillDoesNot) {
  Rig rig;
  const h::EventResult spill = rig.controls->ChangeNumber(kSpill, 50.0);
  EXPECT_EQ(spill.handled, false);
  EXPECT_TRUE(rig.Blank(kWheel));

  rig.controls->PickKeyColour(0, 128, 0, {true, false});
  const h::ControlPixels sharp = rig.controls->Pixels(kWheel);
  const h::EventResult soft = rig.controls->ChangeNumber(kSoftness, 50.0);
  EXPECT_EQ(soft.handled, true);
  EXPECT_TRUE(Of(soft).empty());
  const h::ControlPixels blurred = rig.controls->Pixels(kWheel);
  EXPECT_GT(Changed(sharp, blurred).size(), 37u);
  rig.controls->Draw(kWheel);
  EXPECT_TRUE(Changed(blurred, rig.controls->Pixels(kWheel)).empty());
}

// A drawing event reads the parameter set; a change hands the new value
// over: both show the same. Another kind draws and reports nothing.
TEST(Controls, DrawEventsAndChangesShowTheParameter) {
  const std::vector<std::uint8_t> fullMask = FullMaskRecord();
  const std::pair<int, std::vector<std::uint8_t>> values[] = {
      {kBar, LightnessRecord({0, 40, 60, 100})}, {kWheel, fullMask}};
  for (const auto& [index, bytes] : values) {
    SCOPED_TRACE(index);
    Rig drawn, changed;
    EXPECT_FALSE(drawn.controls->Draw(index, 2).handled.has_value());
    EXPECT_TRUE(drawn.Blank(index));
    drawn.controls->Draw(index);
    const h::ControlPixels defaults = drawn.controls->Pixels(index);
    ASSERT_EQ(drawn.instance->SetData(index, bytes.data(), std::uint32_t(bytes.size())), 0);
    const h::EventResult draw = drawn.controls->Draw(index);
    EXPECT_EQ(draw.handled, true);
    EXPECT_TRUE(draw.changes.empty());
    const h::EventResult change = changed.controls->ChangeData(index, bytes);
    EXPECT_EQ(change.handled, true);
    EXPECT_TRUE(change.changes.empty());
    const h::ControlPixels shown = drawn.controls->Pixels(index);
    EXPECT_FALSE(Changed(defaults, shown).empty());
    EXPECT_TRUE(Changed(shown, changed.controls->Pixels(index)).empty());
  }
  Rig rig;  // a parameter without a control: handled, nothing drawn
  EXPECT_EQ(rig.controls->Draw(kKeyRed).handled, true);
}

// Events a control does not act on write nothing and report nothing; a
// right press resets a control that holds a value and stores the reset.
TEST(Controls, PointerEventsStoreOnlyWhatTheControlDid) {
  Rig rig;
  for (int index : {kBar, kWheel}) rig.controls->Draw(index);
  const std::uint64_t bar = rig.Revision(kBar), wheel = rig.Revision(kWheel);
  const h::EventResult idle[] = {
      rig.controls->Press(kBar, {120, 30}, h::Button::kRight),  // already at defaults
      rig.controls->Release(kBar, {120, 30}),                   // no drag
      rig.controls->Move(kWheel, {120, 104}),                   // shows the info lines
      rig.controls->Release(kWheel, {120, 104})};
  for (const h::EventResult& r : idle) {
    EXPECT_EQ(r.handled, true);
    EXPECT_TRUE(r.changes.empty());
  }
  EXPECT_EQ(rig.Revision(kBar), bar);
  EXPECT_EQ(rig.Revision(kWheel), wheel);

  rig.controls->ChangeData(kBar, LightnessRecord({10, 20, 80, 90}));
  rig.controls->PickKeyColour(0, 128, 0);
  EXPECT_EQ(Of(rig.controls->Press(kBar, {120, 30}, h::Button::kRight)), (Reports{{kBar, 1, 0}}));
  EXPECT_EQ(rig.controls->LightnessValues(), (std::array<double, 4>{0, 0, 100, 100}));
  EXPECT_EQ(Of(rig.controls->Press(kWheel, {120, 104}, h::Button::kRight)),
            (Reports{{kWheel, 1, 0}}));
  EXPECT_EQ(rig.controls->Value(kWheel), std::vector<std::uint8_t>(144, 0));
}

// Events without a mouse facet, for parameters without a control, and of
// other kinds.
TEST(Controls, UserEventsTheControlsDoNotTake) {
  Rig rig;
  auto effect = rig.instance->Query<Tarn::IFXCustomUserEvent>();
  auto send = [&](int index, bool mouse,
                  PIM::Status (Tarn::IFXCustomUserEvent::*op)(Tarn::IFXEvent*)) {
    h::EventDescription d;
    d.parameterIndex = index;
    d.window = rig.controls->Window(kBar);
    d.parameters = PIM::RefPtr<h::CParameterSet>::Retain(rig.instance->Parameters());
    if (mouse) d.mouse = h::MouseState{20, 12, true, false};
    auto event = h::Make<h::CEvent>(std::move(d));
    const PIM::Status status = (effect.Get()->*op)(event.Get());
    EXPECT_TRUE(event->Changes().empty());
    return std::pair{status, event->Handled()};
  };
  using E = Tarn::IFXCustomUserEvent;
  for (auto op : {&E::OnMouseDown, &E::OnMouseUp, &E::OnMouseMove}) {
    EXPECT_EQ(send(kBar, false, op), std::pair(PIM::Status{0x1003}, std::optional<bool>{}));
    EXPECT_EQ(send(kKeyRed, true, op), std::pair(PIM::Status{0}, std::optional<bool>{false}));
  }
  EXPECT_EQ(send(kBar, true, &E::OnOtherUserEvent),
            std::pair(PIM::Status{0}, std::optional<bool>{false}));
  EXPECT_TRUE(rig.Blank(kBar));
  EXPECT_EQ(rig.controls->LightnessValues(), (std::array<double, 4>{0, 0, 100, 100}));
}

// Dragging L0 up to L1 and L3 down to L2 narrows the lightness window to
// 40..60 percent: a 25-percent green under a full mask stops being keyed,
// a 50-percent one stays keyed. A handle dropped at client x holds
// (x - 7) / 240 of the range.
TEST(Controls, BarDragNarrowsTheLightnessWindowAndTheRenderFollows) {
  Rig rig;
  const std::vector<std::uint8_t> fullMask = FullMaskRecord();
  rig.controls->ChangeData(kWheel, fullMask);
  rig.controls->ChangeData(kBar, LightnessRecord({0, 40, 60, 100}));
  const std::vector<std::uint32_t> colours = {0xFF008000u, 0xFF00FF00u};  // L 25 and 50 %
  const std::vector<std::uint32_t> wide = rig.Render(colours);
  EXPECT_GT(wide[0] >> 24, 0u);  // partly keyed: 25 / 40 of the ramp
  EXPECT_LT(wide[0] >> 24, 255u);

  const Reports press = Of(rig.controls->Press(kBar, {7, 15}));  // L0, below L1's reach
  EXPECT_EQ(Of(rig.controls->Move(kBar, {103, 15})), (Reports{{kBar, 1, 0}}));
  EXPECT_EQ(Of(rig.controls->Release(kBar, {103, 15})), (Reports{{kBar, 0, 0}}));
  EXPECT_EQ(press, (Reports{{kBar, 1, 0}}));
  rig.controls->Press(kBar, {247, 15});  // L3
  rig.controls->Move(kBar, {151, 15}, {false, false});
  rig.controls->Release(kBar, {151, 15});
  const std::array<double, 4> values = rig.controls->LightnessValues();
  const double expected[4] = {40, 40, 60, 60};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(values[std::size_t(i)], expected[i], 100.0 / 240);

  const std::vector<std::uint32_t> narrow = rig.Render(colours);
  EXPECT_EQ(narrow[0], colours[0]);
  EXPECT_TRUE(Keyed(narrow[1]));
}

class Sample : public ::testing::Test {
 protected:
  void SetUp() override {
    picture = mattix::cli::ReadPng(std::string(MATTIX_SOURCE_DIR) + "/samples/greenscreen.png");
    pixels.resize(picture.pixels.size() / 4);
    std::memcpy(pixels.data(), picture.pixels.data(), picture.pixels.size());
  }
  std::uint32_t At(int x, int y) const { return pixels[std::size_t(y * picture.width + x)]; }
  mattix::cli::BgraImage picture;
  std::vector<std::uint32_t> pixels;  // 0xAARRGGBB
};

// A colour picked from the backdrop marks the wheel and keys exactly the
// pixels of that colour (and of any colour at its wheel position); the face
// stays.
TEST_F(Sample, KeyColourPickedFromThePictureKeysThatColour) {
  Rig rig;
  rig.controls->Draw(kWheel);
  const h::ControlPixels before = rig.controls->Pixels(kWheel);
  const std::uint32_t backdrop = At(2, 2);
  rig.controls->PickKeyColour(backdrop >> 16 & 0xFF, backdrop >> 8 & 0xFF, backdrop & 0xFF);
  EXPECT_EQ(Changed(before, rig.controls->Pixels(kWheel)).size(), 1u);
  const std::vector<std::uint32_t> out = rig.Render(pixels, picture.width);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    if (pixels[i] == backdrop) {
      ASSERT_TRUE(Keyed(out[i])) << i;
    }
  }
  const std::size_t face =
      std::size_t(int(0.42 * picture.height) * picture.width + int(0.40 * picture.width));
  EXPECT_EQ(out[face], pixels[face]);
}

// A lasso around the backdrop's hues (0.26 to 0.46 turns, saturation 0.35
// to 1), drawn with the pointer, keys the backdrop of the sample and not
// the face.
TEST_F(Sample, LassoAroundTheGreenHuesKeysTheBackdrop) {
  Rig rig;
  rig.controls->Draw(kWheel);
  std::vector<POINT> lasso;
  for (int i = 0; i <= 20; ++i) lasso.push_back(WheelPoint(0.26 + 0.01 * i, 1.0));
  for (int i = 20; i >= 0; --i) lasso.push_back(WheelPoint(0.26 + 0.01 * i, 0.35));
  if (Of(rig.controls->Press(kWheel, lasso[0])).empty()) {
    GTEST_SKIP() << "the wheel does not act on a press: it has no lasso to drive";
  }
  for (std::size_t i = 1; i < lasso.size(); ++i) rig.controls->Move(kWheel, lasso[i]);
  EXPECT_EQ(Of(rig.controls->Release(kWheel, lasso[0])), (Reports{{kWheel, 0, 0}}));

  const std::vector<std::uint32_t> out = rig.Render(pixels, picture.width);
  const int w = picture.width, hgt = picture.height;
  for (auto [x, y] : {std::pair{2, 2}, {w - 3, 2}, {2, hgt / 2}, {w - 3, hgt - 3}})
    EXPECT_TRUE(Keyed(out[std::size_t(y * w + x)])) << x << "," << y;
  const std::size_t face = std::size_t(int(0.42 * hgt) * w + int(0.40 * w));
  EXPECT_EQ(out[face], pixels[face]);
}

}  // namespace
