// The host SDK's interfaces put every operation at its published position,
// and the host's objects answer at those positions.
#include "host/DataValue.h"
#include "host/Event.h"
#include "host/Image.h"
#include "host/NumberValue.h"
#include "host/Parameter.h"
#include "host/ParameterSet.h"
#include "host/RenderContext.h"
#include "tarn/Tarn.h"
#include "tests/host/VtableProbe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using mattix::test::CallSlot;
using mattix::test::SlotOf;
namespace h = mattix::host;

struct SlotCase {
  const char* name;
  std::ptrdiff_t actual;
  std::ptrdiff_t expected;
};

// The positions of the host-interface table and of the effect's interfaces,
// written out from the published table, not from the headers.
std::vector<SlotCase> PublishedSlots() {
  using namespace Tarn;
  return {
      {"IBase::QueryInterface", SlotOf(&PIM::IBase::QueryInterface), 0},
      {"IBase::AddRef", SlotOf(&PIM::IBase::AddRef), 1},
      {"IBase::Release", SlotOf(&PIM::IBase::Release), 2},
      {"IBase::GetRefCount", SlotOf(&PIM::IBase::GetRefCount), 3},
      {"RCObject::AddRef", SlotOf(&PIM::RCObject::AddRef), 0},
      {"RCObject::Release", SlotOf(&PIM::RCObject::Release), 1},
      {"RCObject::IsShared", SlotOf(&PIM::RCObject::IsShared), 2},
      {"IFXEffectRegistry::Register", SlotOf(&IFXEffectRegistry::Register), 4},
      {"IFXEffectRegistry::Update", SlotOf(&IFXEffectRegistry::Update), 5},
      {"IFXEffectRegistryFacet1::AttachModuleRecord",
       SlotOf(&IFXEffectRegistryFacet1::AttachModuleRecord), 4},
      {"IFXEffectRegistryFacet2::Announce", SlotOf(&IFXEffectRegistryFacet2::Announce), 4},
      {"IFXEffectInfo::SetName", SlotOf(&IFXEffectInfo::SetName), 4},
      {"IFXEffectInfo::SetText", SlotOf(&IFXEffectInfo::SetText), 5},
      {"IFXEffectInfo::SetVersion", SlotOf(&IFXEffectInfo::SetVersion), 7},
      {"IFXEffectInfo::SetEffectId", SlotOf(&IFXEffectInfo::SetEffectId), 9},
      {"IFXEffectInfo::SetInteger", SlotOf(&IFXEffectInfo::SetInteger), 11},
      {"IFXEffectInfo::SetIntegerPair", SlotOf(&IFXEffectInfo::SetIntegerPair), 12},
      {"IFXEffectInfoFacetA::SetFacetInteger", SlotOf(&IFXEffectInfoFacetA::SetFacetInteger), 5},
      {"IFXEffectInfoFacetB::SetFacetTriple", SlotOf(&IFXEffectInfoFacetB::SetFacetTriple), 5},
      {"IFXEffectInfoFacetB::SetFacetOption", SlotOf(&IFXEffectInfoFacetB::SetFacetOption), 6},
      {"IFXParameterList::Add", SlotOf(&IFXParameterList::Add), 6},
      {"IFXParameterFactory::Create", SlotOf(&IFXParameterFactory::Create), 6},
      {"IFXParameter::SetName", SlotOf(&IFXParameter::SetName), 6},
      {"IFXParameter::GetIndex", SlotOf(&IFXParameter::GetIndex), 7},
      {"IFXParameter::SetIndex", SlotOf(&IFXParameter::SetIndex), 8},
      {"IFXParameter::CurrentValue", SlotOf(&IFXParameter::CurrentValue), 11},
      {"IFXParameter::DefaultValue", SlotOf(&IFXParameter::DefaultValue), 12},
      {"IFXNumberRange::SetStep", SlotOf(&IFXNumberRange::SetStep), 5},
      {"IFXNumberRange::SetDisplayMinimum", SlotOf(&IFXNumberRange::SetDisplayMinimum), 7},
      {"IFXNumberRange::SetDisplayMaximum", SlotOf(&IFXNumberRange::SetDisplayMaximum), 9},
      {"IFXNumberRange::SetMinimum", SlotOf(&IFXNumberRange::SetMinimum), 11},
      {"IFXNumberRange::SetMaximum", SlotOf(&IFXNumberRange::SetMaximum), 13},
      {"IFXNumberValue::Get", SlotOf(&IFXNumberValue::Get), 5},
      {"IFXNumberValue::Set", SlotOf(&IFXNumberValue::Set), 6},
      {"IFXDataValue::GetSize", SlotOf(&IFXDataValue::GetSize), 5},
      {"IFXDataValue::GetData", SlotOf(&IFXDataValue::GetData), 6},
      {"IFXDataValue::Set", SlotOf(&IFXDataValue::Set), 7},
      {"IFXParameterSet::GetParameter", SlotOf(&IFXParameterSet::GetParameter), 10},
      {"IFXImageSource::GetImage", SlotOf(&IFXImageSource::GetImage), 4},
      {"IFXImage::Width", SlotOf(&IFXImage::Width), 4},
      {"IFXImage::Height", SlotOf(&IFXImage::Height), 5},
      {"IFXImage::BytesPerRow", SlotOf(&IFXImage::BytesPerRow), 7},
      {"IFXImage::Pixels", SlotOf(&IFXImage::Pixels), 10},
      {"IFXImage::LayoutCode", SlotOf(&IFXImage::LayoutCode), 13},
      {"IFXImage::GetFacet", SlotOf(&IFXImage::GetFacet), 21},
      {"IFXImage::AlphaKind", SlotOf(&IFXImage::AlphaKind), 32},
      {"IFXImageFormat::IsBottomUp", SlotOf(&IFXImageFormat::IsBottomUp), 9},
      {"IFXImageFormat::IsPremultiplied", SlotOf(&IFXImageFormat::IsPremultiplied), 10},
      {"IFXImageFormat::IsInterlaced", SlotOf(&IFXImageFormat::IsInterlaced), 11},
      {"IFXImageFormat::InterlaceDetail", SlotOf(&IFXImageFormat::InterlaceDetail), 12},
      {"IFXImageFormat::FormatValue", SlotOf(&IFXImageFormat::FormatValue), 13},
      {"IFXImageFormat::IsBlackTransparent", SlotOf(&IFXImageFormat::IsBlackTransparent), 15},
      {"IFXImageFormat::SetFormatOption", SlotOf(&IFXImageFormat::SetFormatOption), 24},
      {"IFXAlphaSource::HasAlpha", SlotOf(&IFXAlphaSource::HasAlpha), 4},
      {"IFXAlphaSource::AlphaPlane", SlotOf(&IFXAlphaSource::AlphaPlane), 5},
      {"IFXRenderContext::Mode", SlotOf(&IFXRenderContext::Mode), 10},
      {"IFXRenderContext::Field", SlotOf(&IFXRenderContext::Field), 11},
      {"IFXOutputRequest::Request", SlotOf(&IFXOutputRequest::Request), 6},
      {"IFXEvent::ParameterIndex", SlotOf(&IFXEvent::ParameterIndex), 4},
      {"IFXEvent::Window", SlotOf(&IFXEvent::Window), 5},
      {"IFXEvent::DeviceContext", SlotOf(&IFXEvent::DeviceContext), 6},
      {"IFXEvent::ParameterSet", SlotOf(&IFXEvent::ParameterSet), 7},
      {"IFXEvent::Kind", SlotOf(&IFXEvent::Kind), 9},
      {"IFXEvent::SetHandled", SlotOf(&IFXEvent::SetHandled), 10},
      {"IFXEvent::ReportChange", SlotOf(&IFXEvent::ReportChange), 12},
      {"IFXMouseEvent::Position", SlotOf(&IFXMouseEvent::Position), 4},
      {"IFXMouseEvent::Buttons", SlotOf(&IFXMouseEvent::Buttons), 11},
      {"IFXMouseButtons::Left", SlotOf(&IFXMouseButtons::Left), 5},
      {"IFXMouseButtons::Right", SlotOf(&IFXMouseButtons::Right), 6},
      // The effect's side.
      {"IFXBase::Reserved4", SlotOf(&IFXBase::Reserved4), 4},
      {"IFXBase::DefineParameters", SlotOf(&IFXBase::DefineParameters), 5},
      {"IFXBase::PrepareOutput", SlotOf(&IFXBase::PrepareOutput), 6},
      {"IFXBase::Render", SlotOf(&IFXBase::Render), 7},
      {"IFXBase::Reserved8", SlotOf(&IFXBase::Reserved8), 8},
      {"IFXCustomDrawEvent::GetControlRect", SlotOf(&IFXCustomDrawEvent::GetControlRect), 4},
      {"IFXCustomDrawEvent::DrawControl", SlotOf(&IFXCustomDrawEvent::DrawControl), 5},
      {"IFXParameterChangeEvent::OnParameterChanged",
       SlotOf(&IFXParameterChangeEvent::OnParameterChanged), 4},
      {"IFXCustomUserEvent::OnMouseDown", SlotOf(&IFXCustomUserEvent::OnMouseDown), 4},
      {"IFXCustomUserEvent::OnMouseUp", SlotOf(&IFXCustomUserEvent::OnMouseUp), 5},
      {"IFXCustomUserEvent::OnMouseMove", SlotOf(&IFXCustomUserEvent::OnMouseMove), 6},
      {"IFXCustomUserEvent::OnOtherUserEvent", SlotOf(&IFXCustomUserEvent::OnOtherUserEvent), 7},
  };
}

TEST(SdkLayout, EveryOperationSitsAtItsPublishedPosition) {
  if (!mattix::test::kCanProbeVtables) GTEST_SKIP() << "vtable probe needs the x86-64 Itanium ABI";
  for (const SlotCase& c : PublishedSlots()) {
    EXPECT_EQ(c.actual, c.expected) << c.name;
  }
}

TEST(SdkLayout, InterfaceIdentifiersAreDistinct) {
  using namespace Tarn;
  const PIM::IID ids[] = {PIM::IBase::kIID,
                          IFXBase::kIID,
                          IFXCustomDrawEvent::kIID,
                          IFXParameterChangeEvent::kIID,
                          IFXCustomUserEvent::kIID,
                          IFXEffectRegistry::kIID,
                          IFXEffectRegistryFacet1::kIID,
                          IFXEffectRegistryFacet2::kIID,
                          IFXEffectInfo::kIID,
                          IFXEffectInfoFacetA::kIID,
                          IFXEffectInfoFacetB::kIID,
                          IFXParameterList::kIID,
                          IFXParameterFactory::kIID,
                          IFXParameter::kIID,
                          IFXNumberRange::kIID,
                          IFXNumberValue::kIID,
                          IFXDataValue::kIID,
                          IFXParameterSet::kIID,
                          IFXImageSource::kIID,
                          IFXImage::kIID,
                          IFXImageFormat::kIID,
                          IFXAlphaSource::kIID,
                          IFXRenderContext::kIID,
                          IFXOutputRequest::kIID,
                          IFXEvent::kIID,
                          IFXMouseEvent::kIID,
                          IFXMouseButtons::kIID,
                          IFXOutputRequest::kFormatRequest};
  const std::size_t n = sizeof ids / sizeof ids[0];
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      EXPECT_EQ(ids[i] == ids[j], i == j) << i << " vs " << j;
      // operator== against an independent byte comparison.
      EXPECT_EQ(ids[i] == ids[j], std::memcmp(ids[i].bytes, ids[j].bytes, 16) == 0);
    }
  }
}

TEST(SdkLayout, IdentifiersDifferingInOneByteAreDifferent) {
  for (int byte = 0; byte < 16; ++byte) {
    PIM::IID near = Tarn::IFXBase::kIID;
    near.bytes[byte] ^= 0x01;
    EXPECT_FALSE(near == Tarn::IFXBase::kIID) << "byte " << byte;
  }
}

TEST(SdkLayout, RectangleIsTablePointerThenFourInt32) {
  static_assert(std::is_same_v<Tarn::TRect<long>::value_type, std::int32_t>);
  static_assert(std::is_same_v<Tarn::TPoint<long>::value_type, std::int32_t>);
  static_assert(std::is_polymorphic_v<Tarn::TRect<long>>);
  const Tarn::TRect<long> rect(-1, 2, 300000, -400000);
  std::int32_t fields[4];
  std::memcpy(fields, reinterpret_cast<const unsigned char*>(&rect) + sizeof(void*), sizeof fields);
  EXPECT_EQ(fields[0], -1);
  EXPECT_EQ(fields[1], 2);
  EXPECT_EQ(fields[2], 300000);
  EXPECT_EQ(fields[3], -400000);

  const Tarn::TPoint<long> point(-7, 9);
  std::int32_t xy[2];
  std::memcpy(xy, reinterpret_cast<const unsigned char*>(&point) + sizeof(void*), sizeof xy);
  EXPECT_EQ(xy[0], -7);
  EXPECT_EQ(xy[1], 9);
}

// The host's objects, called through their tables at the published
// positions, answer with the operation named there.
TEST(SdkLayout, HostImageAnswersAtPublishedPositions) {
  if (!mattix::test::kCanProbeVtables) GTEST_SKIP() << "vtable probe needs the x86-64 Itanium ABI";
  unsigned char pixels[16] = {};
  h::ImageDescription d;
  d.width = 640;
  d.height = 480;
  d.bytesPerRow = 2560;
  d.pixels = pixels;
  d.layoutCode = 4;
  d.alphaKind = 3;
  d.format = {1, 1, 1, 1, 0.25f, 1};
  auto image = h::Make<h::CImage>(d);
  Tarn::IFXImage* i = image.Get();
  EXPECT_EQ((CallSlot<std::int32_t>(i, 4)), 640);
  EXPECT_EQ((CallSlot<std::int32_t>(i, 5)), 480);
  EXPECT_EQ((CallSlot<std::int32_t>(i, 7)), 2560);
  EXPECT_EQ((CallSlot<void*>(i, 10)), static_cast<void*>(pixels));
  EXPECT_EQ((CallSlot<std::int32_t>(i, 13)), 4);
  EXPECT_EQ((CallSlot<std::int32_t>(i, 32)), 3);
  EXPECT_EQ((CallSlot<std::int32_t>(i, 3)), 1);  // GetRefCount

  void* raw = nullptr;
  ASSERT_EQ((CallSlot<PIM::Status>(i, 21, &Tarn::IFXImageFormat::kIID, &raw)), 0);
  auto* format = static_cast<Tarn::IFXImageFormat*>(raw);
  EXPECT_EQ((CallSlot<std::int32_t>(format, 9)), 1);
  EXPECT_EQ((CallSlot<std::int32_t>(format, 10)), 1);
  EXPECT_EQ((CallSlot<std::int32_t>(format, 11)), 1);
  EXPECT_EQ((CallSlot<std::int32_t>(format, 12)), 1);
  EXPECT_EQ((CallSlot<float>(format, 13)), 0.25f);
  EXPECT_EQ((CallSlot<std::int32_t>(format, 15)), 1);
  CallSlot<void>(format, 24, std::int32_t{7});
  EXPECT_EQ(image->FormatOptions(), std::vector<std::int32_t>{7});
  CallSlot<void>(format, 2);  // Release
  EXPECT_EQ(image->GetRefCount(), 1);
}

TEST(SdkLayout, HostParameterAndValuesAnswerAtPublishedPositions) {
  if (!mattix::test::kCanProbeVtables) GTEST_SKIP() << "vtable probe needs the x86-64 Itanium ABI";
  auto parameter = h::Make<h::CParameter>(Tarn::kNumberParameter);
  Tarn::IFXParameter* p = parameter.Get();
  CallSlot<void>(p, 6, "Softness");
  CallSlot<void>(p, 8, std::int32_t{3});
  EXPECT_EQ(parameter->Name(), "Softness");
  EXPECT_EQ((CallSlot<std::int32_t>(p, 7)), 3);

  void* raw = nullptr;
  ASSERT_EQ((CallSlot<PIM::Status>(p, 11, &Tarn::IFXNumberValue::kIID, &raw)), 0);
  auto* current = static_cast<Tarn::IFXNumberValue*>(raw);
  EXPECT_EQ((CallSlot<PIM::Status>(current, 6, 42.5)), 0);
  EXPECT_EQ((CallSlot<double>(current, 5)), 42.5);
  current->Release();
  ASSERT_EQ((CallSlot<PIM::Status>(p, 12, &Tarn::IFXNumberValue::kIID, &raw)), 0);
  auto* fallback = static_cast<Tarn::IFXNumberValue*>(raw);
  CallSlot<PIM::Status>(fallback, 6, -1.5);
  fallback->Release();
  EXPECT_EQ(parameter->CurrentNumber()->Value(), 42.5);
  EXPECT_EQ(parameter->DefaultNumber()->Value(), -1.5);

  ASSERT_EQ(p->QueryInterface(Tarn::IFXNumberRange::kIID, &raw), 0);
  auto* range = static_cast<Tarn::IFXNumberRange*>(raw);
  CallSlot<void>(range, 5, 0.1);
  CallSlot<void>(range, 7, 1.0);
  CallSlot<void>(range, 9, 2.0);
  CallSlot<void>(range, 11, 3.0);
  CallSlot<void>(range, 13, 4.0);
  range->Release();
  EXPECT_EQ(parameter->Range().step, 0.1);
  EXPECT_EQ(parameter->Range().displayMinimum, 1.0);
  EXPECT_EQ(parameter->Range().displayMaximum, 2.0);
  EXPECT_EQ(parameter->Range().minimum, 3.0);
  EXPECT_EQ(parameter->Range().maximum, 4.0);

  auto data = h::Make<h::CDataValue>();
  Tarn::IFXDataValue* v = data.Get();
  const char bytes[3] = {'a', 'b', 'c'};
  EXPECT_EQ((CallSlot<PIM::Status>(v, 7, std::uint32_t{3}, static_cast<const void*>(bytes))), 0);
  EXPECT_EQ((CallSlot<std::uint32_t>(v, 5)), 3u);
  EXPECT_EQ(std::memcmp(CallSlot<const void*>(v, 6), "abc", 3), 0);
}

TEST(SdkLayout, HostEventAndContextAnswerAtPublishedPositions) {
  if (!mattix::test::kCanProbeVtables) GTEST_SKIP() << "vtable probe needs the x86-64 Itanium ABI";
  int window = 0;
  int dc = 0;
  h::EventDescription d;
  d.kind = 1;
  d.parameterIndex = 6;
  d.window = &window;
  d.deviceContext = &dc;
  d.parameters = h::Make<h::CParameterSet>();
  d.mouse = h::MouseState{12, -3, true, false};
  auto event = h::Make<h::CEvent>(d);
  Tarn::IFXEvent* e = event.Get();
  EXPECT_EQ((CallSlot<std::int32_t>(e, 4)), 6);
  EXPECT_EQ((CallSlot<void*>(e, 5)), static_cast<void*>(&window));
  EXPECT_EQ((CallSlot<void*>(e, 6)), static_cast<void*>(&dc));
  EXPECT_EQ((CallSlot<Tarn::IFXParameterSet*>(e, 7)), d.parameters.Get());
  EXPECT_EQ((CallSlot<std::int32_t>(e, 9)), 1);
  CallSlot<void>(e, 10, true);
  EXPECT_EQ(event->Handled(), true);
  auto parameter = h::Make<h::CParameter>(Tarn::kDataParameter);
  parameter->SetIndex(5);
  CallSlot<void>(e, 12, static_cast<Tarn::IFXParameter*>(parameter.Get()), std::int32_t{1},
                 std::int32_t{0});
  ASSERT_EQ(event->Changes().size(), 1u);
  EXPECT_EQ(event->Changes()[0].parameterIndex, 5);
  EXPECT_EQ(event->Changes()[0].flag1, 1);
  EXPECT_EQ(event->Changes()[0].flag2, 0);

  void* raw = nullptr;
  ASSERT_EQ(e->QueryInterface(Tarn::IFXMouseEvent::kIID, &raw), 0);
  auto* mouse = static_cast<Tarn::IFXMouseEvent*>(raw);
  auto* buttons = CallSlot<Tarn::IFXMouseButtons*>(mouse, 11);
  ASSERT_NE(buttons, nullptr);
  EXPECT_TRUE((CallSlot<bool>(buttons, 5)));
  EXPECT_FALSE((CallSlot<bool>(buttons, 6)));
  mouse->Release();

  auto context = h::Make<h::CRenderContext>(1, 0);
  EXPECT_EQ((CallSlot<std::int32_t>(static_cast<Tarn::IFXRenderContext*>(context.Get()), 10)), 1);
  EXPECT_EQ((CallSlot<std::int32_t>(static_cast<Tarn::IFXRenderContext*>(context.Get()), 11)), 0);
}

}  // namespace
