// The custom controls through the built module, driven as a host program
// drives them (host/ControlHost.h), and renders with what they store (the
// sample keyed through a pick and a lasso is the keyer's, tests/serve). Wheel
// positions come from the textbook HLS of a colour and the wheel's ellipse
// (centre (120, 104) in client coordinates, half axes 120 and 104).
#include "host/effect/ControlHost.h"
#include "host/effect/Image.h"
#include "tests/plugin/ModuleFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

namespace h = mattix::host;
using Reports = std::vector<std::tuple<int, int, int>>;  // parameter, flag, flag
constexpr int kSoftness = 0, kSpill = 1, kKeyRed = 2, kKeyGreen = 3, kKeyBlue = 4, kBar = 5,
              kWheel = 6;

Reports Of(const h::EventResult& result) {
  Reports reports;
  for (const h::ChangeReport& r : result.changes)
    reports.emplace_back(r.parameterIndex, r.flag1, r.flag2);
  return reports;
}

// A fresh instance with its controls on screen.
struct Rig {
  Rig()
      : instance(mattix::test::NewInstance()),
        controls(std::make_unique<h::CControlHost>(*instance)) {}
  std::uint64_t Revision(int index) const {
    return instance->Parameter(index)->CurrentData()->Revision();
  }
  // Untouched since the host painted its grey panel.
  bool Blank(int index) const {
    const std::vector<std::uint32_t> p = controls->Pixels(index).pixels;
    return std::all_of(p.begin(), p.end(), [](std::uint32_t c) { return c == 0xFFA2A2A2u; });
  }
  // Keys rows of width pixels 0xAARRGGBB (straight alpha); the output.
  std::vector<std::uint32_t> Render(std::vector<std::uint32_t> in, int width) const {
    std::vector<std::uint32_t> out(in.size());
    const int height = int(in.size()) / width;
    auto input = h::CImage::WrapBgra(in.data(), width, height, width * 4, false);
    auto output = h::CImage::WrapBgra(out.data(), width, height, width * 4, false);
    EXPECT_EQ(instance->Render(*output, *input), 0);
    return out;
  }
  h::CControlHost* operator->() const { return controls.get(); }
  std::unique_ptr<h::CEffectInstance> instance;
  std::unique_ptr<h::CControlHost> controls;  // destroyed before the instance
};

std::vector<std::uint8_t> LightnessRecord(std::array<double, 4> values) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(values.data());
  return {bytes, bytes + 32};
}

std::vector<POINT> Changed(const h::ControlPixels& a, const h::ControlPixels& b) {
  std::vector<POINT> points;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      if (a.At(x, y) != b.At(x, y)) points.push_back({x, y});
  return points;
}

bool Keyed(std::uint32_t pixel) { return pixel >> 24 == 0; }

// (0, 128, 0): hue 1/3, saturation 1, lightness 25 percent; on the wheel
// column trunc((cos 120 deg + 1) * 120 + 0.5) = 60, row trunc((sin 120 deg
// + 1) * 104 + 0.5) = 194 from the bottom: y 14.
constexpr POINT kGreenOnWheel{60, 14};

TEST(Controls, KeyColourChanges) {
  struct Case {
    int index;
    double value;
    h::Keys keys;
    bool quiet;
    std::size_t marked;                             // wheel pixels tinted; 0: nothing may happen
  } const cases[] = {{kKeyRed, 0.4, {}, false, 0},  // rounds to black
                     {kKeyGreen, 128.0, {}, false, 1},
                     {kKeyGreen, 128.0, {true, false}, false, 37},  // Shift: a disc
                     {kKeyBlue, 200.0, {}, true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.marked + c.value);
    Rig rig;
    rig->Draw(kWheel);
    const h::ControlPixels before = rig->Pixels(kWheel);
    const std::uint64_t revision = rig.Revision(kWheel);
    const h::EventResult result = rig->ChangeNumber(c.index, c.value, c.keys, c.quiet);
    EXPECT_EQ(result.handled, true);
    const std::vector<POINT> tinted = Changed(before, rig->Pixels(kWheel));
    EXPECT_EQ(tinted.size(), c.marked);
    if (c.marked == 0) {
      EXPECT_TRUE(Of(result).empty());
      EXPECT_EQ(rig.Revision(kWheel), revision);
      EXPECT_EQ(rig.instance->Number(c.index), c.value);  // not written back
      continue;
    }
    EXPECT_EQ(Of(result),
              (Reports{{kKeyRed, 0, 1}, {kKeyGreen, 0, 1}, {kKeyBlue, 0, 1}, {kWheel, 0, 0}}));
    for (int i : {kKeyRed, kKeyGreen, kKeyBlue}) EXPECT_EQ(rig.instance->Number(i), 0.0);
    // The colour's position, or the 37 pixels within 3.5 of it.
    for (POINT p : tinted) {
      const int dx = p.x - kGreenOnWheel.x, dy = p.y - kGreenOnWheel.y;
      EXPECT_LE(dx * dx + dy * dy, c.marked == 1 ? 0 : 12) << p.x << "," << p.y;
    }
    // "Chroma Mask" keys that green and not a red.
    const std::vector<std::uint32_t> out = rig.Render({0xFF008000u, 0xFF800000u}, 2);
    EXPECT_TRUE(Keyed(out[0]) && out[1] == 0xFF800000u);
  }
}

// A drawing event shows the parameter set's value, a change hands the new
// value over: both show the same. Softness redraws the wheel as a drawing
// event does; another kind of drawing event, and Spill Suppression, draw
// and report nothing.
TEST(Controls, DrawingAndChangesShowTheParameters) {
  Rig source;  // a mask: the one a key colour pick stores
  source->PickKeyColour(0, 128, 0, {true, false});
  const std::pair<int, std::vector<std::uint8_t>> values[] = {
      {kBar, LightnessRecord({0, 40, 60, 100})}, {kWheel, source->Value(kWheel)}};
  for (const auto& [index, bytes] : values) {
    Rig drawn, changed;
    EXPECT_FALSE(drawn->Draw(index, 2).handled.has_value());
    EXPECT_EQ(drawn->ChangeNumber(kSpill, 50.0).handled, false);
    EXPECT_TRUE(drawn.Blank(index));
    drawn->Draw(index);
    const h::ControlPixels defaults = drawn->Pixels(index);
    ASSERT_EQ(drawn.instance->SetData(index, bytes.data(), std::uint32_t(bytes.size())), 0);
    EXPECT_EQ(drawn->Draw(index).handled, true);
    const h::EventResult change = changed->ChangeData(index, bytes);
    EXPECT_TRUE(change.handled == true && change.changes.empty());
    EXPECT_FALSE(Changed(defaults, drawn->Pixels(index)).empty());
    EXPECT_TRUE(Changed(drawn->Pixels(index), changed->Pixels(index)).empty());
  }
  const h::ControlPixels sharp = source->Pixels(kWheel);
  EXPECT_EQ(source->ChangeNumber(kSoftness, 50.0).handled, true);
  const h::ControlPixels soft = source->Pixels(kWheel);
  EXPECT_GT(Changed(sharp, soft).size(), 37u);
  source->Draw(kWheel);
  EXPECT_TRUE(Changed(soft, source->Pixels(kWheel)).empty());
  EXPECT_EQ(source->Draw(kKeyRed).handled, true);  // no control: nothing drawn
}

// Without a mouse facet: 0x1003 and nothing else. With one, for a parameter
// without a control, and any other user event: not handled.
TEST(Controls, UserEventsTheControlsDoNotTake) {
  Rig rig;
  auto effect = rig.instance->Query<Tarn::IFXCustomUserEvent>();
  using E = Tarn::IFXCustomUserEvent;
  for (auto op : {&E::OnMouseDown, &E::OnMouseUp, &E::OnMouseMove, &E::OnOtherUserEvent}) {
    for (bool mouse : {false, true}) {
      h::EventDescription d;
      d.parameterIndex = mouse ? kKeyRed : kBar;
      d.window = rig->Window(kBar);
      d.parameters = PIM::RefPtr<h::CParameterSet>::Retain(rig.instance->Parameters());
      if (mouse) d.mouse = h::MouseState{20, 12, true, false};
      auto event = h::Make<h::CEvent>(std::move(d));
      const bool refused = !mouse && op != &E::OnOtherUserEvent;
      EXPECT_EQ((effect.Get()->*op)(event.Get()), refused ? 0x1003 : 0);
      EXPECT_EQ(event->Handled(), refused ? std::nullopt : std::optional<bool>(false));
      EXPECT_TRUE(event->Changes().empty());
    }
  }
  EXPECT_TRUE(rig.Blank(kBar));
}

// Events a control does not act on write nothing and report nothing. L0
// dragged up to L1 and L3 down to L2 (a handle dropped at client x holds
// (x - 7) / 240 of the range) narrow the window to 40..60 percent: of two
// greens at one wheel position, marked by a pick, the 25-percent one stops
// being keyed, the 50-percent one stays keyed. Right presses reset both
// controls and store the reset.
TEST(Controls, PointerEventsEditAndResetTheControls) {
  Rig rig;
  const std::uint64_t revisions[] = {rig.Revision(kBar), rig.Revision(kWheel)};
  for (const h::EventResult& r :
       {rig->Press(kBar, {120, 30}, h::Button::kRight),  // at the defaults
        rig->Release(kBar, {120, 30}),                   // no drag
        rig->Move(kWheel, {120, 104}),                   // info lines only
        rig->Release(kWheel, {120, 104})}) {
    EXPECT_TRUE(r.handled == true && r.changes.empty());
  }
  EXPECT_TRUE(rig.Revision(kBar) == revisions[0] && rig.Revision(kWheel) == revisions[1]);

  rig->PickKeyColour(0, 128, 0);
  rig->ChangeData(kBar, LightnessRecord({0, 40, 60, 100}));
  const std::vector<std::uint32_t> colours = {0xFF008000u, 0xFF00FF00u};
  const std::uint32_t partly = rig.Render(colours, 2)[0] >> 24;  // 25 / 40 of the ramp
  EXPECT_TRUE(partly > 0 && partly < 255) << partly;
  EXPECT_EQ(Of(rig->Press(kBar, {7, 15})), (Reports{{kBar, 1, 0}}));  // L0
  EXPECT_EQ(Of(rig->Move(kBar, {103, 15})), (Reports{{kBar, 1, 0}}));
  EXPECT_EQ(Of(rig->Release(kBar, {103, 15})), (Reports{{kBar, 0, 0}}));
  rig->Press(kBar, {247, 15});  // L3
  rig->Move(kBar, {151, 15});
  rig->Release(kBar, {151, 15});
  const std::array<double, 4> values = rig->LightnessValues(), expected{40, 40, 60, 60};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(values[i], expected[i], 100.0 / 240);
  const std::vector<std::uint32_t> narrow = rig.Render(colours, 2);
  EXPECT_TRUE(narrow[0] == colours[0] && Keyed(narrow[1]));

  EXPECT_EQ(Of(rig->Press(kBar, {120, 30}, h::Button::kRight)), (Reports{{kBar, 1, 0}}));
  EXPECT_EQ(rig->LightnessValues(), (std::array<double, 4>{0, 0, 100, 100}));
  EXPECT_EQ(Of(rig->Press(kWheel, {9, 9}, h::Button::kRight)), (Reports{{kWheel, 1, 0}}));
  EXPECT_EQ(rig->Value(kWheel), std::vector<std::uint8_t>(144, 0));
}

}  // namespace
