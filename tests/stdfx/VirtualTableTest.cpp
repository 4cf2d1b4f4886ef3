// The exported classes fix the order of their tables of virtual operations.
// Under the Itanium C++ ABI (GCC and Clang on Linux) a pointer to a virtual
// member function holds 1 + the byte offset of its slot, so the slot of each
// declared operation can be read back and compared with the required order.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

#include "stdfx/DIB.h"
#include "stdfx/Fixedx248.h"
#include "stdfx/Pointx248.h"
#include "stdfx/Rect.h"
#include "stdfx/Rectx248.h"
#include "tests/host/VtableProbe.h"

namespace {

using stdfx::CFixedx248;
using stdfx::CPointx248;
using stdfx::CRectx248;

using mattix::test::SlotOf;

void ExpectConsecutiveSlots(const std::vector<std::ptrdiff_t>& slots) {
  for (std::size_t i = 0; i < slots.size(); ++i)
    EXPECT_EQ(slots[i], static_cast<std::ptrdiff_t>(i)) << "operation #" << i + 1;
}

using F = CFixedx248;
// Slots of a named member, of an operator of the given signature, and of
// the overload families (long, int, number) and (int, number).
#define M(name) SlotOf(&F::name)
#define OP(ret, op, sig) SlotOf(static_cast<ret(F::*) sig>(&F::operator op))
#define ARITH(op) OP(F, op, (long) const), OP(F, op, (int) const), OP(F, op, (const F&) const)
#define COMPOUND(op) OP(F&, op, (long)), OP(F&, op, (int)), OP(F&, op, (const F&))
#define CMP(op) OP(int, op, (int) const), OP(int, op, (const F&) const)

TEST(VirtualTable, FixedNumberOperationsSitInTheExportedOrder) {
  ExpectConsecutiveSlots({M(Assign1616),
                          OP(F&, =, (long double)),
                          OP(F&, =, (double)),
                          OP(F&, =, (long)),
                          OP(F&, =, (int)),
                          OP(F&, =, (const F&)),
                          M(_Round),
                          M(_Floor),
                          M(_Ceil),
                          M(Round),
                          M(Floor),
                          M(Ceil),
                          M(floor),
                          M(ceil),
                          M(operator int),
                          M(operator long),
                          M(operator float),
                          M(operator double),
                          M(operator long double),
                          ARITH(-),
                          OP(F, -, () const),
                          ARITH(+),
                          ARITH(*),
                          ARITH(/),
                          COMPOUND(+=),
                          COMPOUND(-=),
                          COMPOUND(*=),
                          COMPOUND(/=),
                          CMP(<),
                          CMP(>),
                          CMP(<=),
                          CMP(>=),
                          CMP(==),
                          CMP(!=),
                          M(TraceInt),
                          M(TraceFrac),
                          M(TraceSign)});
  // The integer parts are plain members.
  EXPECT_EQ(M(Int), -1);
  EXPECT_EQ(M(Frac), -1);
  EXPECT_EQ(M(_floor), -1);
  EXPECT_EQ(M(_ceil), -1);
}

TEST(VirtualTable, PointAndRectangleOperationsSitInTheExportedOrder) {
  using P = CPointx248;
  ExpectConsecutiveSlots(
      {SlotOf(static_cast<P& (P::*)(const P&)>(&P::operator=)),
       SlotOf(static_cast<void (P::*)(const CFixedx248&, const CFixedx248&)>(&P::Assign)),
       SlotOf(static_cast<void (P::*)(int, int)>(&P::Assign))});
  using R = CRectx248;
  ExpectConsecutiveSlots({SlotOf(static_cast<R& (R::*)(const RECT&)>(&R::operator=)),
                          SlotOf(static_cast<R& (R::*)(const R&)>(&R::operator=)),
                          SlotOf(&R::CeilRect), SlotOf(&R::IntersectRect)});
  EXPECT_EQ(SlotOf(static_cast<R& (R::*)(const stdfx::CRect&)>(&R::operator=)), -1);
  EXPECT_EQ(SlotOf(&R::IsRectEmpty), -1);
}

// The image object's members that the exported table holds, and members
// implemented in separate sources of the library, kept out of it.
TEST(VirtualTable, ImageMembersListedAreVirtual) {
  using D = stdfx::CDIB;
  using VfCopy = void (D::*)(tagVFBMINFOHEADER&) const;
  using YuvCopy = void (D::*)(tagYUVBMINFOHEADER&) const;
  using ResById = bool (D::*)(unsigned int, HINSTANCE);
  using BihCopy = void (D::*)(BITMAPINFOHEADER&) const;
  using CreateH = bool (D::*)(const tagVFBMINFOHEADER&);
  const std::ptrdiff_t virtuals[] = {SlotOf(&D::GetRefs),
                                     SlotOf(&D::IsLocked),
                                     SlotOf(ResById(&D::CreateFromResource)),
                                     SlotOf(&D::DIBSizeAllocated),
                                     SlotOf(&D::DIBField1stLine),
                                     SlotOf(&D::DIBFieldLstLine),
                                     SlotOf(&D::DIBFieldOffset),
                                     SlotOf(&D::DIBFieldOffset1),
                                     SlotOf(&D::DIBFieldOffsetL),
                                     SlotOf(&D::DIBAlphaFieldOffset),
                                     SlotOf(&D::DIBAlphaFieldOffset1),
                                     SlotOf(&D::DIBAlphaFieldOffsetL),
                                     SlotOf(&D::IsDIBEmpty),
                                     SlotOf(&D::IsDIBBottomUp),
                                     SlotOf(&D::IsDIBTopDown),
                                     SlotOf(&D::GetVfBmiSize),
                                     SlotOf(VfCopy(&D::GetVfBmiHeader)),
                                     SlotOf(YuvCopy(&D::GetVfBmiHeader)),
                                     SlotOf(BihCopy(&D::GetBitmapInfoHeader)),
                                     SlotOf(&D::SetDIBCompression),
                                     SlotOf(&D::DIBImageFlag),
                                     SlotOf(&D::DIBImageIsBlackTransparent),
                                     SlotOf(&D::FreeDIB),
                                     SlotOf(&D::CopyDIB),
                                     SlotOf(&D::ConvertAlphaToStraight),
                                     SlotOf(CreateH(&D::Create))};
  for (std::size_t i = 0; i < std::size(virtuals); ++i) EXPECT_GE(virtuals[i], 0) << "#" << i;
  EXPECT_EQ(SlotOf(&D::CompressRLE), -1);
  EXPECT_EQ(SlotOf(&D::DecompressRLE), -1);
  EXPECT_EQ(SlotOf(&D::IsValidDIB), -1);
}

TEST(VirtualTable, PolymorphicTypesHaveNoVirtualDestructor) {
  static_assert(std::is_polymorphic_v<CFixedx248> && !std::has_virtual_destructor_v<CFixedx248>);
  static_assert(std::is_polymorphic_v<CPointx248> && !std::has_virtual_destructor_v<CPointx248>);
  static_assert(std::is_polymorphic_v<CRectx248> && !std::has_virtual_destructor_v<CRectx248>);
  // One table pointer and the raw value; points and rectangles embed whole
  // numbers, each with its own table pointer.
  EXPECT_EQ(sizeof(CFixedx248), sizeof(void*) + 8);
  EXPECT_EQ(sizeof(CPointx248), sizeof(void*) + 2 * sizeof(CFixedx248));
  EXPECT_EQ(sizeof(CRectx248), sizeof(void*) + 4 * sizeof(CFixedx248));
}

}  // namespace
