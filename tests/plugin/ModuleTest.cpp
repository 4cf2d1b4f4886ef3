// The module as a host meets it through dlopen: registration as seen by the
// host's registry and effect info, the plug-in object's four interfaces with
// one shared count, its control areas, the parameters it defines, and what
// else the module lets out; rendering frames through it: the statuses,
// premultiplied inputs, PrepareOutput and the diagnostic keys, and the fuzz
// body of mask records (row orders, fields and heights) over its seeds and
// fixed damage (see FuzzSeeds.h), on one instance as the fuzz target uses;
// the custom controls, driven as a host program drives them
// (host/effect/ControlHost.h), and renders with what they store (the sample
// keyed through a pick and a lasso is the keyer's, tests/serve).
#include "host/effect/CallLog.h"
#include "host/effect/ControlHost.h"
#include "host/effect/EffectInfo.h"
#include "host/effect/EffectRegistry.h"
#include "host/effect/Image.h"
#include "host/effect/ImageSource.h"
#include "host/effect/OutputRequest.h"
#include "host/effect/Parameter.h"
#include "host/effect/ParameterFactory.h"
#include "host/effect/ParameterList.h"
#include "host/effect/RenderContext.h"
#include "tests/FuzzSeeds.h"
#include "tests/pixmill/Rle8Check.h"
#include "tests/plugin/MaskRenderCheck.h"
#include "tests/plugin/ModuleFixture.h"
#include "win/WinDesktop.h"
#include "win/WinUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace h = mattix::host;
using namespace mattix::test;

// The calls a registration must make, in order, written from the published
// sequence: registry facets, update, the description, the info facets,
// register, update.
std::vector<std::string> ExpectedCalls(const h::EffectRegistryOptions& r,
                                       const h::EffectInfoOptions& i) {
  std::vector<std::string> calls;
  if (r.offerFacet1) calls.push_back("registry1.AttachModuleRecord");
  if (r.offerFacet2) calls.push_back("registry2.Announce");
  calls.insert(calls.end(),
               {"registry.Update", "info.SetName(Chroma Key)", "info.SetText()", "info.SetEffectId",
                "info.SetVersion(1.0)", "info.SetInteger(0)", "info.SetIntegerPair(1,4)"});
  if (i.offerFacetA) calls.push_back("infoA.SetFacetInteger(2)");
  if (i.offerFacetB)
    calls.insert(calls.end(), {"infoB.SetFacetTriple(2,0,0)", "infoB.SetFacetOption(1)"});
  calls.push_back("registry.Register");
  // A refusal is returned at once: no second update.
  if (r.refusal == 0) calls.push_back("registry.Update");
  return calls;
}

TEST(Registration, CallsTheHostInTheDocumentedOrderWhateverItOffers) {
  for (int offered = 0; offered < 32; ++offered) {
    const h::EffectRegistryOptions r{(offered & 1) != 0, (offered & 2) != 0,
                                     (offered & 16) != 0 ? 0x4711 : 0};
    const h::EffectInfoOptions i{(offered & 4) != 0, (offered & 8) != 0};
    SCOPED_TRACE(offered);
    auto log = std::make_shared<h::CCallLog>();
    auto registry = h::Make<h::CEffectRegistry>(r, log);
    auto info = h::Make<h::CEffectInfo>(i, log);
    EXPECT_EQ(Module()->RegisterEntry()(registry.Get(), info.Get()), r.refusal);
    EXPECT_EQ(log->Entries(), ExpectedCalls(r, i));
    // A module record when offered, the one effect registered unless refused.
    EXPECT_EQ(std::pair(registry->ModuleRecord() != nullptr, registry->Registered().size()),
              std::pair(r.offerFacet1, r.refusal == 0 ? 1ul : 0ul));
    EXPECT_TRUE(info->Description().id == RegisteredEffectId());  // always the same
    // Every facet the module asked for was released again.
    EXPECT_EQ(std::pair(registry->GetRefCount(), info->GetRefCount()), std::pair(1, 1));
  }
}

const PIM::IID kInterfaces[] = {Tarn::IFXBase::kIID, Tarn::IFXCustomDrawEvent::kIID,
                                Tarn::IFXParameterChangeEvent::kIID,
                                Tarn::IFXCustomUserEvent::kIID};

TEST(PluginObject, EveryInterfaceFindsEveryOtherAndCountsOnce) {
  Tarn::IFXBase* base = CreateRaw();
  base->AddRef();
  EXPECT_EQ(base->Reserved4() | base->Reserved8(), 0);
  // Each interface once: distinct subobjects, IFXBase's first.
  std::vector<PIM::IBase*> found;
  for (const PIM::IID& iid : kInterfaces) {
    void* raw = nullptr;
    ASSERT_EQ(base->QueryInterface(iid, &raw), 0);
    found.push_back(static_cast<PIM::IBase*>(raw));
  }
  EXPECT_EQ(found[0], static_cast<PIM::IBase*>(base));
  EXPECT_EQ(std::set<PIM::IBase*>(found.begin(), found.end()).size(), found.size());
  // From every interface, asking for every interface (and for IBase, which
  // is IFXBase) gives the same pointer and one more reference.
  for (std::size_t from = 0; from < found.size(); ++from)
    for (std::size_t to = 0; to <= found.size(); ++to) {
      void* raw = nullptr;
      const PIM::IID& iid = to < found.size() ? kInterfaces[to] : PIM::IBase::kIID;
      ASSERT_EQ(found[from]->QueryInterface(iid, &raw), 0);
      EXPECT_EQ(static_cast<PIM::IBase*>(raw), found[to % found.size()]) << from << "->" << to;
      EXPECT_EQ(found[from]->GetRefCount(), 6);
      static_cast<PIM::IBase*>(raw)->Release();
    }
  for (PIM::IBase* i : found) i->Release();
  EXPECT_EQ(found[3]->GetRefCount(), 1);
  // The last reference goes through another interface; whether the object
  // is freed then (and only then) is for the address sanitizer to see.
  found[3]->Release();
}

// The seven parameters as published, and the control area for each index.
TEST(DefineParameters, TheSevenParametersAsPublishedAndTheirControlAreas) {
  auto base = PIM::RefPtr<Tarn::IFXBase>::Retain(CreateRaw());
  auto list = h::Make<h::CParameterList>();
  auto factory = h::Make<h::CParameterFactory>();
  // Without a factory nothing is asked.
  EXPECT_EQ(base->DefineParameters(list.Get(), nullptr), 0x5000);
  EXPECT_EQ(list->AddCount(), 0);
  // Each definition makes new parameters.
  for (int twice = 0; twice < 2; ++twice)
    ASSERT_EQ(base->DefineParameters(list.Get(), factory.Get()), 0);
  ASSERT_EQ(list->Parameters().size(), 14u);
  EXPECT_NE(list->Parameters()[0].Get(), list->Parameters()[7].Get());
  const auto& parameters = list->Parameters();
  // Numbers 0 to 4: from 0 to their maximum (percentages, or colour
  // components to 255) in steps of 0.1, shown over their whole range; value
  // and default 0, each set once by the module (revision 1).
  const char* const names[] = {"Softness", "Spill Suppression", "Key Red", "Key Green", "Key Blue"};
  for (std::int32_t i = 0; i < 5; ++i) {
    const h::CParameter& p = *parameters[i];
    const h::NumberRange& r = p.Range();
    const double max = i < 2 ? 100.0 : 255.0;
    EXPECT_EQ(std::tuple(p.Name(), p.Index(), p.Kind(), r.step, r.minimum, r.maximum,
                         r.displayMinimum, r.displayMaximum),
              std::tuple(std::string(names[i]), i, 1, 0.1, 0.0, max, 0.0, max));
    EXPECT_EQ(std::tuple(p.CurrentNumber()->Value(), p.DefaultNumber()->Value(),
                         p.CurrentNumber()->Revision(), p.DefaultNumber()->Revision()),
              std::tuple(0.0, 0.0, 1u, 1u))
        << names[i];
  }
  // "Lightness" holds four little-endian doubles 0, 0, 100, 100, written
  // here from their IEEE-754 encodings (100.0 is 0x4059000000000000); an
  // empty "Chroma Mask" record is 144 zero bytes.
  std::vector<std::uint8_t> lightness(32, 0);
  lightness[22] = lightness[30] = 0x59;
  lightness[23] = lightness[31] = 0x40;
  const std::pair<const char*, std::vector<std::uint8_t>> blocks[] = {
      {"Lightness", lightness}, {"Chroma Mask", std::vector<std::uint8_t>(144, 0)}};
  for (std::int32_t i = 5; i < 7; ++i) {
    const h::CParameter& p = *parameters[i];
    const auto& [name, bytes] = blocks[i - 5];
    EXPECT_EQ(std::tuple(p.Name(), p.Index(), p.Kind(), p.CurrentData()->Bytes(),
                         p.DefaultData()->Bytes(), p.Range().step.has_value()),
              std::tuple(std::string(name), i, 3, bytes, bytes, false));
  }
  // The module kept no reference to anything it defined.
  for (const auto& p : parameters) EXPECT_EQ(p->GetRefCount(), 1) << p->Name();  // the list's
  EXPECT_EQ(std::pair(list->GetRefCount(), factory->GetRefCount()), std::pair(1, 1));
  PIM::RefPtr<Tarn::IFXCustomDrawEvent> draw;
  ASSERT_EQ(PIM::Query(base.Get(), draw), 0);
  const Tarn::TRect<long> none(0, 0, 0, 0);
  const std::pair<std::int32_t, Tarn::TRect<long>> cases[] = {
      {4, none}, {5, {0, 0, 255, 44}}, {6, {0, 0, 260, 260}}, {7, none}, {-1, none}};
  for (const auto& [index, expected] : cases) {
    auto parameter = h::Make<h::CParameter>(Tarn::kDataParameter);
    parameter->SetIndex(index);
    Tarn::TRect<long> out(-9, -9, -9, -9);  // whatever the host had there
    EXPECT_EQ(&draw->GetControlRect(out, parameter.Get()), &out);
    EXPECT_EQ(out, expected) << "index " << index;
  }
}

// The module lets out its two entry points and the support library that
// effects share, nothing else.
TEST(ModuleExports, OnlyEntryPointsAndSupportLibrary) {
  const std::string command =
      "nm -DC --defined-only --format=just-symbols '" + ModulePath() + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::vector<std::string> names;
  char line[4096];
  while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr)
    names.emplace_back(line, std::strcspn(line, "\n"));
  if (names.empty()) GTEST_SKIP() << "nm (binutils 2.37 or later) is not available";
  const std::regex allowed(
      "registerEffects|createEffect|(stdfx(2d)?::|(vtable|typeinfo|typeinfo name) "
      "for stdfx).*");
  int entries = 0;
  for (const std::string& name : names) {
    entries += name == "registerEffects" || name == "createEffect";
    EXPECT_TRUE(std::regex_match(name, allowed)) << "exported: " << name;
  }
  EXPECT_EQ(entries, 2);
}

// ---- Rendering ----

constexpr std::uint32_t kSentinel = 0x5A5A5A5A;

// Refused frames and modes leave the output untouched, though a mask keys
// every colour fully.
TEST(Render, RefusalsLeaveTheOutputUntouched) {
  // Output and input layouts, mode, status: mode 3; an output, then an input,
  // of another layout; the YUV family (described but not keyed).
  const std::array<std::int32_t, 4> cases[] = {
      {4, 4, 3, 0x1000}, {8, 4, 0, 0x3400}, {4, 2, 0, 0x3400}, {1, 2, 0, 0x1000}};
  auto instance = NewInstance();
  const auto mask = pixmill_test::MaskRecordOf(241, 209, [](int, int) { return 255; });
  auto* data = instance->Parameter("Chroma Mask")->CurrentData();
  ASSERT_EQ(data->Set(std::uint32_t(mask.size()), mask.data()), 0);
  auto frame = [](std::vector<std::uint32_t>& pixels, std::int32_t layout) {
    h::ImageDescription d;
    d.width = d.height = 4;
    d.bytesPerRow = 16;
    d.pixels = pixels.data();
    d.layoutCode = layout;
    return h::Make<h::CImage>(d);
  };
  for (const auto [outLayout, inLayout, mode, status] : cases) {
    std::vector<std::uint32_t> in(16, 0xFF00FF00u), out(16, kSentinel);
    EXPECT_EQ(instance->Render(*frame(out, outLayout), *frame(in, inLayout), mode, 0), status)
        << outLayout << " " << inLayout << " " << mode;
    EXPECT_EQ(out, std::vector<std::uint32_t>(16, kSentinel));
  }
  // A missing input or output frame.
  std::vector<std::uint32_t> pixels(4);
  auto image = h::CImage::WrapBgra(pixels.data(), 2, 2, 8, true);
  auto empty = h::Make<h::CImageSource>(), full = h::Make<h::CImageSource>(image);
  auto context = h::Make<h::CRenderContext>();
  Tarn::IFXImageSource *noInput[] = {empty.Get()}, *oneInput[] = {full.Get()};
  EXPECT_EQ(instance->Render(full.Get(), Tarn::TSourceList{noInput, 1}, context.Get()), 0x3400);
  EXPECT_EQ(instance->Render(empty.Get(), Tarn::TSourceList{oneInput, 1}, context.Get()), 0x3400);
}

// Premultiplied input without a mask: the output is the input made straight,
// c = round(c' * 255 / a) with halves up. Holding a diagnostic key shows that
// output opaque (or its alpha as grey) at the desktop's corner; released,
// nothing is drawn.
TEST(Render, PremultipliedInputComesOutStraightAndDiagnosticKeysShowIt) {
  const std::vector<std::uint8_t> premultiplied = {50,  100, 0,   100, 0, 0, 0, 0,
                                                   200, 10,  255, 255, 1, 2, 3, 4};
  std::vector<std::uint8_t> straight(16);
  std::vector<std::uint32_t> colour(4), alpha(4);
  for (std::size_t i = 0; i < 16; ++i) {
    const int c = premultiplied[i], a = premultiplied[i | 3];
    straight[i] = i % 4 == 3 ? a : a == 0 ? 0 : std::min(255, (c * 255 * 2 + a) / (2 * a));
    // The frames are bottom-up: buffer pixel k shows at k ^ 2 on the desktop.
    colour[i / 4 ^ 2] |= i % 4 == 3 ? 0xFF000000u : std::uint32_t(straight[i]) << (8 * (i % 4));
    alpha[i / 4 ^ 2] = 0xFF000000u | std::uint32_t(a) * 0x010101u;
  }
  auto instance = NewInstance();
  // No key held (0): nothing drawn.
  const std::pair<int, std::vector<std::uint32_t>> cases[] = {
      {0, {0, 0, 0, 0}}, {VK_OEM_3, colour}, {VK_OEM_4, colour}, {VK_OEM_6, alpha}};
  for (const auto& [vk, shown] : cases) {
    WinDesktopClear(0);
    std::vector<std::uint8_t> in = premultiplied, out(16, 0xAB);  // the input may be converted
    auto input = h::CImage::WrapBgra(in.data(), 2, 2, 8, true, true),
         output = h::CImage::WrapBgra(out.data(), 2, 2, 8, true);
    const DWORD writes = WinDesktopWriteCount();
    WinSetAsyncKeyState(vk, TRUE);
    ASSERT_EQ(instance->Render(*output, *input), 0);
    WinSetAsyncKeyState(vk, FALSE);
    EXPECT_EQ(out, straight) << "key " << vk;
    EXPECT_EQ(WinDesktopWriteCount() != writes, vk != 0) << "key " << vk;
    std::vector<std::uint32_t> desktop(4);
    ASSERT_TRUE(WinDesktopRead(0, 0, 2, 2, desktop.data(), 8));
    EXPECT_EQ(desktop, shown) << "key " << vk;
  }
}

// The output's format is asked for as the input's, with option 0 set on it.
TEST(PrepareOutput, PassesTheInputFormatOn) {
  auto instance = NewInstance();
  auto request = h::Make<h::COutputRequest>(0x77);
  EXPECT_EQ(instance->PrepareOutput(nullptr, *request), 0x4002);
  EXPECT_TRUE(request->Calls().empty());
  std::vector<std::uint32_t> pixels(4);
  auto input = h::CImage::WrapBgra(pixels.data(), 2, 2, 8, false);
  EXPECT_EQ(instance->PrepareOutput(input.Get(), *request), 0x77);
  ASSERT_EQ(request->Calls().size(), 1u);
  const h::OutputRequestCall& call = request->Calls()[0];
  EXPECT_EQ(std::tuple(call.id, call.output, call.format, call.a, call.b),
            std::tuple(Tarn::IFXOutputRequest::kFormatRequest, instance.get(),
                       static_cast<Tarn::IFXImageFormat*>(input.Get()), 512, 64));
  EXPECT_EQ(input->FormatOptions(), std::vector<std::int32_t>{0});
}

TEST(FuzzBody, MaskRecordsSetByAHostThenRendered) {
  auto effect = NewEffect();
  ExpectSeedsHold("tests/plugin/fuzz/mask", [&](const std::uint8_t* data, std::size_t size) {
    return CheckMaskRender(*effect, data, size);
  });
}

// ---- Controls ----

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

// How many pixels differ.
std::size_t Changed(const h::ControlPixels& a, const h::ControlPixels& b) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i) n += a.pixels.at(i) != b.pixels.at(i);
  return n;
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
    const std::size_t tinted = Changed(before, rig->Pixels(kWheel));
    EXPECT_EQ(std::pair(result.handled, tinted), std::pair(std::optional(true), c.marked));
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
    EXPECT_NE(Changed(defaults, drawn->Pixels(name)), 0u);
    EXPECT_EQ(Changed(drawn->Pixels(name), changed->Pixels(name)), 0u);
  }
  const h::ControlPixels sharp = source->Pixels(kWheel);
  EXPECT_EQ(source->ChangeNumber(kSoftness, 50.0).handled, true);
  const h::ControlPixels soft = source->Pixels(kWheel);
  EXPECT_GT(Changed(sharp, soft), 37u);
  source->Draw(kWheel);
  EXPECT_EQ(Changed(soft, source->Pixels(kWheel)), 0u);
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
