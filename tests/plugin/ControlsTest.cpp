// The custom controls through the built module, driven as a host program
// drives them (host/effect/ControlHost.h), and renders with what they store (the
// sample keyed through a pick and a lasso is the keyer's, tests/serve).
#include "host/effect/ControlHost.h"
#include "tests/plugin/ModuleFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

namespace {

namespace h = mattix::host;
using Effect = h::CKeyingEffect;
using Reports = std::vector<std::tuple<std::string, int, int>>;  // parameter, flag, flag
const std::string kSoftness = Effect::kSoftness, kSpill = Effect::kSpillSuppression,
                  kKeyRed = Effect::kKeyRed, kKeyGreen = Effect::kKeyGreen,
                  kKeyBlue = Effect::kKeyBlue, kBar = Effect::kLightness,
                  kWheel = Effect::kChromaMask;

// A fresh effect with its controls on screen.
struct Rig {
  Rig() : effect(mattix::test::NewEffect()), controls(std::make_unique<h::CControlHost>(*effect)) {}
  std::uint64_t Revision(const std::string& name) const {
    return effect->Parameter(name).CurrentData()->Revision();
  }
  // The changes an event reported, by parameter name.
  Reports Of(const h::EventResult& result) const {
    Reports reports;
    for (const h::ChangeReport& r : result.changes)
      reports.emplace_back(effect->Instance().Parameter(r.parameterIndex)->Name(), r.flag1,
                           r.flag2);
    return reports;
  }
  // Untouched since the host painted its grey panel.
  bool Blank(const std::string& name) const {
    const std::vector<std::uint32_t> p = controls->Pixels(name).pixels;
    return std::all_of(p.begin(), p.end(), [](std::uint32_t c) { return c == 0xFFA2A2A2u; });
  }
  // Keys one row of pixels 0xAARRGGBB (straight alpha); the output.
  std::vector<std::uint32_t> Render(const std::vector<std::uint32_t>& in) const {
    std::vector<std::uint32_t> out(in.size());
    effect->Key(reinterpret_cast<const std::uint8_t*>(in.data()),
                reinterpret_cast<std::uint8_t*>(out.data()), int(in.size()), 1, in.size() * 4);
    return out;
  }
  h::CControlHost* operator->() const { return controls.get(); }
  std::unique_ptr<Effect> effect;
  std::unique_ptr<h::CControlHost> controls;  // destroyed before the effect
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

TEST(Controls, KeyColourChanges) {
  struct Case {
    std::string name;
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
    const h::EventResult result = rig->ChangeNumber(c.name, c.value, c.keys, c.quiet);
    const std::vector<POINT> tinted = Changed(before, rig->Pixels(kWheel));
    EXPECT_EQ(std::pair(result.handled, tinted.size()), std::pair(std::optional(true), c.marked));
    if (c.marked == 0) {
      // Nothing reported or stored, the number not written back.
      EXPECT_EQ(std::tuple(rig.Of(result), rig.Revision(kWheel), rig.effect->Number(c.name)),
                std::tuple(Reports{}, revision, c.value));
      continue;
    }
    EXPECT_EQ(rig.Of(result),
              (Reports{{kKeyRed, 0, 1}, {kKeyGreen, 0, 1}, {kKeyBlue, 0, 1}, {kWheel, 0, 0}}));
    for (const std::string& key : {kKeyRed, kKeyGreen, kKeyBlue})
      EXPECT_EQ(rig.effect->Number(key), 0.0);
    // "Chroma Mask" keys that green (so the mark lies where the engine looks
    // it up; where the wheel puts each pixel of a mark is the wheel's test)
    // and not a red.
    const std::vector<std::uint32_t> out = rig.Render({0xFF008000u, 0xFF800000u});
    EXPECT_TRUE(Keyed(out[0]));
    EXPECT_EQ(out[1], 0xFF800000u);
  }
}

// A drawing event shows the parameter set's value, a change hands the new
// value over: both show the same. Softness redraws the wheel as a drawing
// event does; another kind of drawing event, and Spill Suppression, draw
// and report nothing.
TEST(Controls, DrawingAndChangesShowTheParameters) {
  Rig source;  // a mask: the one a key colour pick stores
  source->PickKeyColour(0, 128, 0, {true, false});
  const std::pair<std::string, std::vector<std::uint8_t>> values[] = {
      {kBar, LightnessRecord({0, 40, 60, 100})}, {kWheel, source.effect->Data(kWheel)}};
  for (const auto& [name, bytes] : values) {
    Rig drawn, changed;
    EXPECT_FALSE(drawn->Draw(name, 2).handled.has_value());
    EXPECT_EQ(drawn->ChangeNumber(kSpill, 50.0).handled, false);
    EXPECT_TRUE(drawn.Blank(name));
    drawn->Draw(name);
    const h::ControlPixels defaults = drawn->Pixels(name);
    drawn.effect->SetData(name, bytes);
    EXPECT_EQ(drawn->Draw(name).handled, true);
    const h::EventResult change = changed->ChangeData(name, bytes);
    EXPECT_EQ(change.handled, true);
    EXPECT_TRUE(change.changes.empty());
    EXPECT_FALSE(Changed(defaults, drawn->Pixels(name)).empty());
    EXPECT_TRUE(Changed(drawn->Pixels(name), changed->Pixels(name)).empty());
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
  auto effect = rig.effect->Instance().Query<Tarn::IFXCustomUserEvent>();
  using E = Tarn::IFXCustomUserEvent;
  for (auto op : {&E::OnMouseDown, &E::OnMouseUp, &E::OnMouseMove, &E::OnOtherUserEvent}) {
    for (bool mouse : {false, true}) {
      h::EventDescription d;
      d.parameterIndex = rig.effect->Parameter(mouse ? kKeyRed : kBar).Index();
      d.window = rig->Window(kBar);
      d.parameters = PIM::RefPtr<h::CParameterSet>::Retain(rig.effect->Instance().Parameters());
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
  const auto revisions = std::pair(rig.Revision(kBar), rig.Revision(kWheel));
  for (const h::EventResult& r :
       {rig->Press(kBar, {120, 30}, h::Button::kRight),  // at the defaults
        rig->Release(kBar, {120, 30}),                   // no drag
        rig->Move(kWheel, {120, 104}),                   // info lines only
        rig->Release(kWheel, {120, 104})})
    EXPECT_EQ(std::pair(r.handled, r.changes.size()), std::pair(std::optional(true), 0ul));
  EXPECT_EQ(std::pair(rig.Revision(kBar), rig.Revision(kWheel)), revisions);

  rig->PickKeyColour(0, 128, 0);
  rig->ChangeData(kBar, LightnessRecord({0, 40, 60, 100}));
  const std::vector<std::uint32_t> colours = {0xFF008000u, 0xFF00FF00u};
  const std::uint32_t partly = rig.Render(colours)[0] >> 24;  // 25 / 40 of the ramp
  EXPECT_TRUE(partly > 0 && partly < 255) << partly;
  EXPECT_EQ(rig.Of(rig->Press(kBar, {7, 15})), (Reports{{kBar, 1, 0}}));  // L0
  EXPECT_EQ(rig.Of(rig->Move(kBar, {103, 15})), (Reports{{kBar, 1, 0}}));
  EXPECT_EQ(rig.Of(rig->Release(kBar, {103, 15})), (Reports{{kBar, 0, 0}}));
  rig->Press(kBar, {247, 15});  // L3
  rig->Move(kBar, {151, 15});
  rig->Release(kBar, {151, 15});
  const std::array<double, 4> values = rig.effect->Settings().lightness, expected{40, 40, 60, 60};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(values[i], expected[i], 100.0 / 240);
  const std::vector<std::uint32_t> narrow = rig.Render(colours);
  EXPECT_EQ(narrow[0], colours[0]);
  EXPECT_TRUE(Keyed(narrow[1]));

  EXPECT_EQ(rig.Of(rig->Press(kBar, {120, 30}, h::Button::kRight)), (Reports{{kBar, 1, 0}}));
  EXPECT_EQ(rig.effect->Settings().lightness, (std::array<double, 4>{0, 0, 100, 100}));
  EXPECT_EQ(rig.Of(rig->Press(kWheel, {9, 9}, h::Button::kRight)), (Reports{{kWheel, 1, 0}}));
  EXPECT_EQ(rig.effect->Data(kWheel), std::vector<std::uint8_t>(144, 0));
}

}  // namespace
