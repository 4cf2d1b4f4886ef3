// Every SDK slot layout in one table-driven program: the published position
// of each operation of the host's and the effect's interfaces, the built
// module's object answering at those positions when called through its
// tables (as foreign host code compiled against them calls it), distinct
// interface identifiers and the layout of rectangles and points.
//
// The probes assume the Itanium C++ ABI on x86-64, which the module and its
// host share: a pointer to a virtual member function holds 1 + the byte
// offset of the function's slot, and an object's first word points at slot
// 0 of its table. Host objects implement these interfaces with `override`,
// so their entries sit where the interfaces put them.
#include "host/Parameter.h"
#include "host/ParameterFactory.h"
#include "host/ParameterList.h"
#include "tarn/Tarn.h"
#include "tests/plugin/ModuleFixture.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace {

namespace h = mattix::host;

#if defined(__x86_64__)
constexpr bool kCanProbeVtables = true;
#else
constexpr bool kCanProbeVtables = false;
#endif

// The slot of a virtual member function, or -1 for a non-virtual one.
template <class MemberFunction>
std::ptrdiff_t SlotOf(MemberFunction pmf) {
  static_assert(sizeof(MemberFunction) == 2 * sizeof(std::uintptr_t));
  std::uintptr_t words[2];
  std::memcpy(words, &pmf, sizeof words);
  if ((words[0] & 1U) == 0) return -1;
  return static_cast<std::ptrdiff_t>((words[0] - 1) / sizeof(void*));
}

// Calls the function in slot of object's table directly.
template <class R, class... Args, class T>
R CallSlot(T* object, int slot, Args... args) {
  void* const* table = *reinterpret_cast<void* const* const*>(object);
  using Function = R (*)(T*, Args...);
  return reinterpret_cast<Function>(table[slot])(object, args...);
}

struct SlotCase {
  const char* name;
  std::ptrdiff_t actual;
  std::ptrdiff_t expected;
};

// The positions, written out from the published table, not from the headers.
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
  if (!kCanProbeVtables) GTEST_SKIP() << "vtable probe needs the x86-64 Itanium ABI";
  for (const SlotCase& c : PublishedSlots()) EXPECT_EQ(c.actual, c.expected) << c.name;
}

// The module's object answers at the published positions.
TEST(SdkLayout, ModuleObjectAnswersAtPublishedPositions) {
  if (!kCanProbeVtables) GTEST_SKIP() << "vtable probe needs the x86-64 Itanium ABI";
  Tarn::IFXBase* base = mattix::test::CreateRaw();
  ASSERT_NE(base, nullptr);
  CallSlot<void>(base, 1);                          // AddRef
  EXPECT_EQ((CallSlot<std::int32_t>(base, 3)), 1);  // GetRefCount
  CallSlot<void>(base, 1);
  CallSlot<void>(base, 2);  // Release
  EXPECT_EQ(base->GetRefCount(), 1);
  EXPECT_EQ((CallSlot<PIM::Status>(base, 4)), 0);  // reserved: does nothing
  EXPECT_EQ((CallSlot<PIM::Status>(base, 8)), 0);

  auto list = h::Make<h::CParameterList>();
  auto factory = h::Make<h::CParameterFactory>();
  EXPECT_EQ((CallSlot<PIM::Status>(base, 5, static_cast<Tarn::IFXParameterList*>(list.Get()),
                                   static_cast<Tarn::IFXParameterFactory*>(factory.Get()))),
            0);
  ASSERT_EQ(list->Parameters().size(), 7u);

  // QueryInterface for the drawing interface, then its GetControlRect.
  void* raw = nullptr;
  ASSERT_EQ((CallSlot<PIM::Status>(base, 0, &Tarn::IFXCustomDrawEvent::kIID, &raw)), 0);
  auto* draw = static_cast<Tarn::IFXCustomDrawEvent*>(raw);
  Tarn::TRect<long> out;
  CallSlot<Tarn::TRect<long>&>(draw, 4, &out, list->Parameters()[6].Get());
  EXPECT_EQ(out, Tarn::TRect<long>(0, 0, 260, 260));
  draw->Release();
  base->Release();
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
      EXPECT_EQ(ids[i] == ids[j], std::memcmp(ids[i].bytes, ids[j].bytes, 16) == 0);
    }
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

}  // namespace
