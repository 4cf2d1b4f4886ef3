// Every SDK slot layout in one table: the published position of each
// operation of the host's and the effect's interfaces, which foreign host
// code compiled against them calls. The module's and the host's objects
// implement these interfaces with `override`, so their entries sit where the
// interfaces put them.
//
// The probe assumes the Itanium C++ ABI on x86-64, which the module and its
// host share: a pointer to a virtual member function holds 1 + the byte
// offset of the function's slot.
#include "tarn/Tarn.h"

#include <gtest/gtest.h>

#include "tests/host/effect/VtableProbe.h"

namespace {

using namespace mattix::test;

// The positions, written out from the published table, not from the headers:
// one interface a line, the host's first, then the effect's.
#define S(I, F, N) EXPECT_EQ(SlotOf(&I::F), N) << #I "::" #F
TEST(SdkLayout, EveryOperationSitsAtItsPublishedPosition) {
  if (!kCanProbeVtables) GTEST_SKIP() << "vtable probe needs the x86-64 Itanium ABI";
  using namespace Tarn;
  using PIM::IBase, PIM::RCObject;
  // clang-format off
  S(IBase, QueryInterface, 0); S(IBase, AddRef, 1); S(IBase, Release, 2);
  S(IBase, GetRefCount, 3);
  S(RCObject, AddRef, 0); S(RCObject, Release, 1); S(RCObject, IsShared, 2);
  S(IFXEffectRegistry, Register, 4); S(IFXEffectRegistry, Update, 5);
  S(IFXEffectRegistryFacet1, AttachModuleRecord, 4);
  S(IFXEffectRegistryFacet2, Announce, 4);
  S(IFXEffectInfo, SetName, 4); S(IFXEffectInfo, SetText, 5); S(IFXEffectInfo, SetVersion, 7);
  S(IFXEffectInfo, SetEffectId, 9); S(IFXEffectInfo, SetInteger, 11);
  S(IFXEffectInfo, SetIntegerPair, 12);
  S(IFXEffectInfoFacetA, SetFacetInteger, 5);
  S(IFXEffectInfoFacetB, SetFacetTriple, 5); S(IFXEffectInfoFacetB, SetFacetOption, 6);
  S(IFXParameterList, Add, 6);
  S(IFXParameterFactory, Create, 6);
  S(IFXParameter, SetName, 6); S(IFXParameter, GetIndex, 7); S(IFXParameter, SetIndex, 8);
  S(IFXParameter, CurrentValue, 11); S(IFXParameter, DefaultValue, 12);
  S(IFXNumberRange, SetStep, 5); S(IFXNumberRange, SetDisplayMinimum, 7);
  S(IFXNumberRange, SetDisplayMaximum, 9); S(IFXNumberRange, SetMinimum, 11);
  S(IFXNumberRange, SetMaximum, 13);
  S(IFXNumberValue, Get, 5); S(IFXNumberValue, Set, 6);
  S(IFXDataValue, GetSize, 5); S(IFXDataValue, GetData, 6); S(IFXDataValue, Set, 7);
  S(IFXParameterSet, GetParameter, 10);
  S(IFXImageSource, GetImage, 4);
  S(IFXImage, Width, 4); S(IFXImage, Height, 5); S(IFXImage, BytesPerRow, 7);
  S(IFXImage, Pixels, 10); S(IFXImage, LayoutCode, 13); S(IFXImage, GetFacet, 21);
  S(IFXImage, AlphaKind, 32);
  S(IFXImageFormat, IsBottomUp, 9); S(IFXImageFormat, IsPremultiplied, 10);
  S(IFXImageFormat, IsInterlaced, 11); S(IFXImageFormat, InterlaceDetail, 12);
  S(IFXImageFormat, FormatValue, 13); S(IFXImageFormat, IsBlackTransparent, 15);
  S(IFXImageFormat, SetFormatOption, 24);
  S(IFXAlphaSource, HasAlpha, 4); S(IFXAlphaSource, AlphaPlane, 5);
  S(IFXRenderContext, Mode, 10); S(IFXRenderContext, Field, 11);
  S(IFXOutputRequest, Request, 6);
  S(IFXEvent, ParameterIndex, 4); S(IFXEvent, Window, 5); S(IFXEvent, DeviceContext, 6);
  S(IFXEvent, ParameterSet, 7); S(IFXEvent, Kind, 9); S(IFXEvent, SetHandled, 10);
  S(IFXEvent, ReportChange, 12);
  S(IFXMouseEvent, Position, 4); S(IFXMouseEvent, Buttons, 11);
  S(IFXMouseButtons, Left, 5); S(IFXMouseButtons, Right, 6);
  S(IFXBase, Reserved4, 4); S(IFXBase, DefineParameters, 5); S(IFXBase, PrepareOutput, 6);
  S(IFXBase, Render, 7); S(IFXBase, Reserved8, 8);
  S(IFXCustomDrawEvent, GetControlRect, 4); S(IFXCustomDrawEvent, DrawControl, 5);
  S(IFXParameterChangeEvent, OnParameterChanged, 4);
  S(IFXCustomUserEvent, OnMouseDown, 4); S(IFXCustomUserEvent, OnMouseUp, 5);
  S(IFXCustomUserEvent, OnMouseMove, 6); S(IFXCustomUserEvent, OnOtherUserEvent, 7);
  // clang-format on
}
#undef S

}  // namespace
