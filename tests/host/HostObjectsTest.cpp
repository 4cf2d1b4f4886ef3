// The reference host's objects: reference counting, the interfaces each one
// offers, value copies, recorded answers and injected refusals.
#include "host/DataValue.h"
#include "host/EffectInfo.h"
#include "host/EffectRegistry.h"
#include "host/Event.h"
#include "host/HostStatus.h"
#include "host/Image.h"
#include "host/ImageSource.h"
#include "host/NumberValue.h"
#include "host/OutputRequest.h"
#include "host/Parameter.h"
#include "host/ParameterFactory.h"
#include "host/ParameterList.h"
#include "host/ParameterSet.h"
#include "host/RenderContext.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

namespace h = mattix::host;

// A host object that tells when it is destroyed.
class CProbe : public h::TObject<Tarn::IFXRenderContext> {
 public:
  explicit CProbe(bool* destroyed) : m_destroyed(destroyed) {}
  ~CProbe() override { *m_destroyed = true; }
  std::int32_t Mode() override { return 0; }
  std::int32_t Field() override { return 0; }

 private:
  bool* m_destroyed;
};

TEST(HostObject, CountsReferencesAndDestroysAtZero) {
  bool destroyed = false;
  auto* probe = new CProbe(&destroyed);
  EXPECT_EQ(probe->GetRefCount(), 0);  // new objects start at 0
  probe->AddRef();
  EXPECT_EQ(probe->GetRefCount(), 1);
  EXPECT_FALSE(probe->IsShared());

  void* raw = nullptr;
  ASSERT_EQ(probe->QueryInterface(PIM::IBase::kIID, &raw), 0);
  EXPECT_EQ(raw, static_cast<Tarn::IFXRenderContext*>(probe));
  EXPECT_EQ(probe->GetRefCount(), 2);
  EXPECT_TRUE(probe->IsShared());

  EXPECT_EQ(probe->QueryInterface(Tarn::IFXImage::kIID, &raw), PIM::kNoInterface);
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(probe->GetRefCount(), 2);  // a refusal adds nothing

  probe->Release();
  EXPECT_FALSE(destroyed);
  probe->Release();
  EXPECT_TRUE(destroyed);
}

TEST(HostObject, RefPtrKeepsOneReferencePerHolder) {
  bool destroyed = false;
  {
    PIM::RefPtr<CProbe> a = h::Make<CProbe>(&destroyed);
    EXPECT_EQ(a->GetRefCount(), 1);
    {
      PIM::RefPtr<CProbe> b = a;
      EXPECT_EQ(a->GetRefCount(), 2);
      PIM::RefPtr<Tarn::IFXRenderContext> c;
      ASSERT_EQ(PIM::Query(b.Get(), c), 0);
      EXPECT_EQ(a->GetRefCount(), 3);
      PIM::RefPtr<CProbe> moved = std::move(b);
      EXPECT_EQ(a->GetRefCount(), 3);
    }
    EXPECT_EQ(a->GetRefCount(), 1);
  }
  EXPECT_TRUE(destroyed);
}

struct OfferCase {
  std::string name;
  std::function<PIM::RefPtr<PIM::IBase>()> make;
  PIM::IID iid;
  bool offered;
};

void PrintTo(const OfferCase& c, std::ostream* os) { *os << c.name; }

class HostOffers : public ::testing::TestWithParam<OfferCase> {};

TEST_P(HostOffers, QueryInterfaceAnswersAsConfigured) {
  const OfferCase& c = GetParam();
  PIM::RefPtr<PIM::IBase> object = c.make();
  const std::int32_t before = object->GetRefCount();
  void* raw = reinterpret_cast<void*>(0x1);  // must be overwritten either way
  const PIM::Status status = object->QueryInterface(c.iid, &raw);
  if (c.offered) {
    EXPECT_EQ(status, 0);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(object->GetRefCount(), before + 1);
    static_cast<PIM::IBase*>(raw)->Release();  // every interface's slot 2
  } else {
    EXPECT_EQ(status, PIM::kNoInterface);
    EXPECT_EQ(raw, nullptr);
  }
  EXPECT_EQ(object->GetRefCount(), before);
}

std::function<PIM::RefPtr<PIM::IBase>()> Registry(h::EffectRegistryOptions options) {
  return [=] {
    auto r = h::Make<h::CEffectRegistry>(options);
    return PIM::RefPtr<PIM::IBase>::Retain(static_cast<Tarn::IFXEffectRegistry*>(r.Get()));
  };
}
std::function<PIM::RefPtr<PIM::IBase>()> Info(h::EffectInfoOptions options) {
  return [=] {
    auto i = h::Make<h::CEffectInfo>(options);
    return PIM::RefPtr<PIM::IBase>::Retain(static_cast<Tarn::IFXEffectInfo*>(i.Get()));
  };
}
std::function<PIM::RefPtr<PIM::IBase>()> Param(std::int32_t kind, h::ParameterFaults faults = {}) {
  return [=] {
    auto p = h::Make<h::CParameter>(kind, faults);
    return PIM::RefPtr<PIM::IBase>::Retain(static_cast<Tarn::IFXParameter*>(p.Get()));
  };
}
std::function<PIM::RefPtr<PIM::IBase>()> Img(bool format, bool alpha) {
  return [=] {
    h::ImageDescription d;
    d.offerFormat = format;
    auto i = h::Make<h::CImage>(d);
    if (alpha) i->SetAlphaSource(false, nullptr);
    return PIM::RefPtr<PIM::IBase>::Retain(static_cast<Tarn::IFXImage*>(i.Get()));
  };
}
std::function<PIM::RefPtr<PIM::IBase>()> Evt(bool mouse) {
  return [=] {
    h::EventDescription d;
    if (mouse) d.mouse = h::MouseState{};
    auto e = h::Make<h::CEvent>(d);
    return PIM::RefPtr<PIM::IBase>::Retain(static_cast<Tarn::IFXEvent*>(e.Get()));
  };
}

INSTANTIATE_TEST_SUITE_P(
    Objects, HostOffers,
    ::testing::Values(
        OfferCase{"RegistryItself", Registry({}), Tarn::IFXEffectRegistry::kIID, true},
        OfferCase{"RegistryFacet1", Registry({}), Tarn::IFXEffectRegistryFacet1::kIID, true},
        OfferCase{"RegistryFacet2", Registry({}), Tarn::IFXEffectRegistryFacet2::kIID, true},
        OfferCase{"RegistryWithoutFacet1", Registry({false, true, 0}),
                  Tarn::IFXEffectRegistryFacet1::kIID, false},
        OfferCase{"RegistryWithoutFacet2", Registry({true, false, 0}),
                  Tarn::IFXEffectRegistryFacet2::kIID, false},
        OfferCase{"RegistryNotInfo", Registry({}), Tarn::IFXEffectInfo::kIID, false},
        OfferCase{"InfoFacetA", Info({}), Tarn::IFXEffectInfoFacetA::kIID, true},
        OfferCase{"InfoWithoutFacetA", Info({false, true}), Tarn::IFXEffectInfoFacetA::kIID, false},
        OfferCase{"InfoWithoutFacetB", Info({true, false}), Tarn::IFXEffectInfoFacetB::kIID, false},
        OfferCase{"NumberHasRange", Param(Tarn::kNumberParameter), Tarn::IFXNumberRange::kIID,
                  true},
        OfferCase{"DataHasNoRange", Param(Tarn::kDataParameter), Tarn::IFXNumberRange::kIID, false},
        OfferCase{"NumberBuiltWithoutRange", Param(Tarn::kNumberParameter, {true, 0, 0}),
                  Tarn::IFXNumberRange::kIID, false},
        OfferCase{"ParameterIsNotItsValue", Param(Tarn::kNumberParameter),
                  Tarn::IFXNumberValue::kIID, false},
        OfferCase{"ImageFormat", Img(true, false), Tarn::IFXImageFormat::kIID, true},
        OfferCase{"ImageWithoutFormat", Img(false, false), Tarn::IFXImageFormat::kIID, false},
        OfferCase{"ImageWithoutAlphaSource", Img(true, false), Tarn::IFXAlphaSource::kIID, false},
        OfferCase{"ImageAlphaSource", Img(true, true), Tarn::IFXAlphaSource::kIID, true},
        OfferCase{"EventWithMouse", Evt(true), Tarn::IFXMouseEvent::kIID, true},
        OfferCase{"EventWithoutMouse", Evt(false), Tarn::IFXMouseEvent::kIID, false},
        OfferCase{"EventIBase", Evt(false), PIM::IBase::kIID, true}),
    [](const auto& test) { return test.param.name; });

TEST(HostDataValue, SetCopiesTheBytes) {
  auto value = h::Make<h::CDataValue>();
  std::vector<std::uint8_t> source = {1, 2, 3, 4, 5};
  ASSERT_EQ(value->Set(5, source.data()), 0);
  source.assign(5, 0xEE);  // the caller's buffer changes afterwards
  EXPECT_EQ(value->Bytes(), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_NE(value->GetData(), source.data());
  EXPECT_EQ(value->GetSize(), 5u);
  EXPECT_EQ(value->Revision(), 1u);
}

TEST(HostDataValue, SetFromItsOwnBytesKeepsThem) {
  auto value = h::Make<h::CDataValue>();
  const std::uint8_t bytes[] = {9, 8, 7, 6};
  ASSERT_EQ(value->Set(4, bytes), 0);
  // A prefix of its own buffer, as an effect might hand back what it read.
  ASSERT_EQ(value->Set(2, value->GetData()), 0);
  EXPECT_EQ(value->Bytes(), (std::vector<std::uint8_t>{9, 8}));
}

TEST(HostDataValue, EmptyAndInvalidWrites) {
  auto value = h::Make<h::CDataValue>();
  const std::uint8_t bytes[] = {1, 2};
  ASSERT_EQ(value->Set(2, bytes), 0);
  EXPECT_EQ(value->Set(2, nullptr), h::kStatusBadArgument);
  EXPECT_EQ(value->Bytes(), (std::vector<std::uint8_t>{1, 2}));  // unchanged
  EXPECT_EQ(value->Set(0, nullptr), 0);
  EXPECT_EQ(value->GetSize(), 0u);
  EXPECT_EQ(value->GetData(), nullptr);
}

TEST(HostParameter, ValueFacetsAnswerOnlyForTheirKind) {
  struct Case {
    std::int32_t kind;
    PIM::IID asked;
    PIM::Status expected;
  };
  const Case cases[] = {
      {Tarn::kNumberParameter, Tarn::IFXNumberValue::kIID, 0},
      {Tarn::kNumberParameter, Tarn::IFXDataValue::kIID, PIM::kNoInterface},
      {Tarn::kDataParameter, Tarn::IFXDataValue::kIID, 0},
      {Tarn::kDataParameter, Tarn::IFXNumberValue::kIID, PIM::kNoInterface},
  };
  for (const Case& c : cases) {
    auto parameter = h::Make<h::CParameter>(c.kind);
    for (bool current : {true, false}) {
      void* raw = nullptr;
      const PIM::Status status =
          current ? parameter->CurrentValue(c.asked, &raw) : parameter->DefaultValue(c.asked, &raw);
      EXPECT_EQ(status, c.expected) << "kind " << c.kind << (current ? " current" : " default");
      EXPECT_EQ(raw != nullptr, c.expected == 0);
      if (raw != nullptr) static_cast<PIM::IBase*>(raw)->Release();
    }
  }
}

TEST(HostParameter, CurrentAndDefaultAreSeparateValues) {
  auto parameter = h::Make<h::CParameter>(Tarn::kNumberParameter);
  PIM::RefPtr<Tarn::IFXNumberValue> current;
  PIM::RefPtr<Tarn::IFXNumberValue> fallback;
  ASSERT_EQ(parameter->CurrentValue(Tarn::IFXNumberValue::kIID, current.put()), 0);
  ASSERT_EQ(parameter->DefaultValue(Tarn::IFXNumberValue::kIID, fallback.put()), 0);
  current->Set(3.0);
  fallback->Set(7.0);
  EXPECT_EQ(current->Get(), 3.0);
  EXPECT_EQ(fallback->Get(), 7.0);
  EXPECT_EQ(parameter->CurrentNumber()->Revision(), 1u);
}

TEST(HostParameter, InjectedValueRefusals) {
  h::ParameterFaults faults;
  faults.refuseCurrentValue = 0x61;
  faults.refuseDefaultValue = 0x62;
  auto parameter = h::Make<h::CParameter>(Tarn::kDataParameter, faults);
  void* raw = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(parameter->CurrentValue(Tarn::IFXDataValue::kIID, &raw), 0x61);
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(parameter->DefaultValue(Tarn::IFXDataValue::kIID, &raw), 0x62);
}

TEST(HostFactory, CreatesByKindAndRefusesByOrdinal) {
  auto factory = h::Make<h::CParameterFactory>();
  factory->RefuseCreation(1, 0x99);
  PIM::RefPtr<Tarn::IFXParameter> p;
  EXPECT_EQ(factory->Create(Tarn::kNumberParameter, Tarn::IFXParameter::kIID, p.put()), 0);
  ASSERT_TRUE(p);
  EXPECT_EQ(factory->Create(Tarn::kNumberParameter, Tarn::IFXParameter::kIID, p.put()), 0x99);
  EXPECT_FALSE(p);
  EXPECT_EQ(factory->Create(Tarn::kDataParameter, Tarn::IFXParameter::kIID, p.put()), 0);
  ASSERT_TRUE(p);
  EXPECT_EQ(factory->Create(2, Tarn::IFXParameter::kIID, p.put()), h::kStatusBadArgument);
  EXPECT_EQ(factory->Create(Tarn::kDataParameter, Tarn::IFXImage::kIID, p.put()),
            PIM::kNoInterface);
  EXPECT_EQ(factory->CreateCount(), 5);
  ASSERT_EQ(factory->Created().size(), 3u);  // kinds 1, 3 and the refused interface's
  EXPECT_TRUE(factory->Created()[0]->IsNumber());
  EXPECT_FALSE(factory->Created()[1]->IsNumber());
}

TEST(HostList, KeepsOwnParametersAndRefusesByOrdinal) {
  auto list = h::Make<h::CParameterList>();
  list->RefuseAdd(1, 0x42);
  auto a = h::Make<h::CParameter>(Tarn::kNumberParameter);
  auto b = h::Make<h::CParameter>(Tarn::kNumberParameter);
  auto c = h::Make<h::CParameter>(Tarn::kDataParameter);
  EXPECT_EQ(list->Add(a.Get()), 0);
  EXPECT_EQ(list->Add(b.Get()), 0x42);
  EXPECT_EQ(list->Add(c.Get()), 0);
  EXPECT_EQ(list->Add(nullptr), h::kStatusBadArgument);
  ASSERT_EQ(list->Parameters().size(), 2u);
  EXPECT_EQ(list->Parameters()[0].Get(), a.Get());
  EXPECT_EQ(list->Parameters()[1].Get(), c.Get());
  EXPECT_EQ(a->GetRefCount(), 2);  // the list holds its own reference
  EXPECT_EQ(b->GetRefCount(), 1);
}

TEST(HostSet, FindsByIndexAndOffersNothingWhenEmpty) {
  auto a = h::Make<h::CParameter>(Tarn::kNumberParameter);
  a->SetIndex(3);
  a->SetName("Key Green");
  auto set = h::Make<h::CParameterSet>(std::vector<PIM::RefPtr<h::CParameter>>{a});
  PIM::RefPtr<Tarn::IFXParameter> found;
  EXPECT_EQ(set->GetParameter(3, Tarn::IFXParameter::kIID, found.put()), 0);
  EXPECT_EQ(found.Get(), static_cast<Tarn::IFXParameter*>(a.Get()));
  EXPECT_EQ(set->GetParameter(2, Tarn::IFXParameter::kIID, found.put()), h::kStatusNotFound);
  EXPECT_FALSE(found);
  EXPECT_EQ(set->Find("Key Green"), a.Get());
  EXPECT_EQ(set->Find("Key Blue"), nullptr);

  auto empty = h::Make<h::CParameterSet>();
  for (std::int32_t index = -1; index <= 7; ++index) {
    EXPECT_EQ(empty->GetParameter(index, Tarn::IFXParameter::kIID, found.put()),
              h::kStatusNotFound);
  }
}

TEST(HostEvent, RecordsHandledAndChangeReportsAndPassesThemOn) {
  std::vector<h::ChangeReport> seen;
  h::EventDescription d;
  d.parameterIndex = 6;
  auto event = h::Make<h::CEvent>(d, [&](const h::ChangeReport& r) { seen.push_back(r); });
  EXPECT_FALSE(event->Handled().has_value());
  event->SetHandled(false);
  event->SetHandled(true);
  EXPECT_EQ(event->Handled(), true);
  EXPECT_EQ(event->HandledCount(), 2);

  auto parameter = h::Make<h::CParameter>(Tarn::kDataParameter);
  parameter->SetIndex(6);
  event->ReportChange(parameter.Get(), 1, 0);
  event->ReportChange(nullptr, 0, 1);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].parameterIndex, 6);
  EXPECT_EQ(seen[1].parameterIndex, -1);
  EXPECT_EQ(event->Changes().size(), 2u);
  EXPECT_EQ(event->Changes()[1].flag2, 1);
}

TEST(HostEvent, MousePositionAndButtons) {
  h::EventDescription d;
  d.mouse = h::MouseState{-5, 260, false, true};
  auto event = h::Make<h::CEvent>(d);
  PIM::RefPtr<Tarn::IFXMouseEvent> mouse;
  ASSERT_EQ(PIM::Query(static_cast<Tarn::IFXEvent*>(event.Get()), mouse), 0);
  const Tarn::TPoint<long> p = mouse->Position();
  EXPECT_EQ(p.x, -5);
  EXPECT_EQ(p.y, 260);
  ASSERT_NE(mouse->Buttons(), nullptr);
  EXPECT_FALSE(mouse->Buttons()->Left());
  EXPECT_TRUE(mouse->Buttons()->Right());
}

TEST(HostImage, AllocatesZeroedRowsAndLendsItsAlphaPlane) {
  h::ImageDescription d;
  d.width = 3;
  d.height = 2;
  d.bytesPerRow = 12;
  auto image = h::CImage::Allocate(d);
  ASSERT_NE(image->Pixels(), nullptr);
  const auto* bytes = static_cast<const std::uint8_t*>(image->Pixels());
  for (int i = 0; i < 24; ++i) EXPECT_EQ(bytes[i], 0) << i;

  h::ImageDescription plane;
  plane.width = 3;
  plane.height = 2;
  plane.bytesPerRow = 4;
  auto alpha = h::CImage::Allocate(plane);
  image->SetAlphaSource(true, alpha);
  PIM::RefPtr<Tarn::IFXAlphaSource> source;
  ASSERT_EQ(image->GetFacet(Tarn::IFXAlphaSource::kIID, source.put()), 0);
  EXPECT_TRUE(source->HasAlpha());
  Tarn::IFXImage* lent = source->AlphaPlane();
  EXPECT_EQ(lent, static_cast<Tarn::IFXImage*>(alpha.Get()));
  EXPECT_EQ(lent->BytesPerRow(), 4);
  EXPECT_EQ(alpha->GetRefCount(), 2);  // ours and the frame's; lending adds none

  // A source that reports alpha but yields no plane.
  image->SetAlphaSource(true, nullptr);
  EXPECT_TRUE(source->HasAlpha());
  EXPECT_EQ(source->AlphaPlane(), nullptr);
}

TEST(HostImage, SourceLendsItsFrameAndRequestRecordsCalls) {
  auto image = h::Make<h::CImage>(h::ImageDescription{});
  auto source = h::Make<h::CImageSource>(image);
  EXPECT_EQ(source->GetImage(), static_cast<Tarn::IFXImage*>(image.Get()));
  auto empty = h::Make<h::CImageSource>();
  EXPECT_EQ(empty->GetImage(), nullptr);

  auto request = h::Make<h::COutputRequest>(0x33);
  int handle = 0;
  EXPECT_EQ(request->Request(Tarn::IFXOutputRequest::kFormatRequest, &handle, image.Get(), 512, 64),
            0x33);
  ASSERT_EQ(request->Calls().size(), 1u);
  EXPECT_TRUE(request->Calls()[0].id == Tarn::IFXOutputRequest::kFormatRequest);
  EXPECT_EQ(request->Calls()[0].output, &handle);
  EXPECT_EQ(request->Calls()[0].a, 512);
  EXPECT_EQ(request->Calls()[0].b, 64);
}

TEST(HostRegistry, KeepsACopyOfEachRegisteredDescription) {
  auto registry = h::Make<h::CEffectRegistry>();
  auto info = h::Make<h::CEffectInfo>();
  std::string name = "Temporary";
  info->SetName(name.c_str());
  name.assign("Overwritten");  // the host copied the text
  info->SetText(nullptr);      // null reads as empty
  EXPECT_EQ(registry->Register(info.Get()), 0);
  info->SetName("Later");
  ASSERT_EQ(registry->Registered().size(), 1u);
  EXPECT_EQ(registry->Registered()[0].name, "Temporary");
  EXPECT_EQ(registry->Registered()[0].text, "");
}

TEST(HostRegistry, RefusalKeepsNothing) {
  auto registry = h::Make<h::CEffectRegistry>(h::EffectRegistryOptions{true, true, 0x5A});
  auto info = h::Make<h::CEffectInfo>();
  EXPECT_EQ(registry->Register(info.Get()), 0x5A);
  EXPECT_TRUE(registry->Registered().empty());
}

}  // namespace
