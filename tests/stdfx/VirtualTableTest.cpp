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

namespace {

using stdfx::CFixedx248;
using stdfx::CPointx248;
using stdfx::CRectx248;

// Slot index of a pointer to member function, or -1 when it is not virtual.
template <class Pmf>
std::ptrdiff_t Slot(Pmf pmf) {
  static_assert(sizeof(Pmf) == 2 * sizeof(std::ptrdiff_t));
  std::ptrdiff_t words[2];
  std::memcpy(words, &pmf, sizeof words);
  if ((words[0] & 1) == 0) return -1;
  return (words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

void ExpectConsecutiveSlots(const std::vector<std::ptrdiff_t>& slots) {
  for (std::size_t i = 0; i < slots.size(); ++i)
    EXPECT_EQ(slots[i], static_cast<std::ptrdiff_t>(i)) << "operation #" << i + 1;
}

using F = CFixedx248;
// Slots of a named member, of an operator of the given signature, and of
// the overload families (long, int, number) and (int, number).
#define M(name) Slot(&F::name)
#define OP(ret, op, sig) Slot(static_cast<ret(F::*) sig>(&F::operator op))
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
      {Slot(static_cast<P& (P::*)(const P&)>(&P::operator=)),
       Slot(static_cast<void (P::*)(const CFixedx248&, const CFixedx248&)>(&P::Assign)),
       Slot(static_cast<void (P::*)(int, int)>(&P::Assign))});
  using R = CRectx248;
  ExpectConsecutiveSlots({Slot(static_cast<R& (R::*)(const RECT&)>(&R::operator=)),
                          Slot(static_cast<R& (R::*)(const R&)>(&R::operator=)), Slot(&R::CeilRect),
                          Slot(&R::IntersectRect)});
  EXPECT_EQ(Slot(static_cast<R& (R::*)(const stdfx::CRect&)>(&R::operator=)), -1);
  EXPECT_EQ(Slot(&R::IsRectEmpty), -1);
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
  const std::ptrdiff_t virtuals[] = {Slot(&D::GetRefs),
                                     Slot(&D::IsLocked),
                                     Slot(ResById(&D::CreateFromResource)),
                                     Slot(&D::DIBSizeAllocated),
                                     Slot(&D::DIBField1stLine),
                                     Slot(&D::DIBFieldLstLine),
                                     Slot(&D::DIBFieldOffset),
                                     Slot(&D::DIBFieldOffset1),
                                     Slot(&D::DIBFieldOffsetL),
                                     Slot(&D::DIBAlphaFieldOffset),
                                     Slot(&D::DIBAlphaFieldOffset1),
                                     Slot(&D::DIBAlphaFieldOffsetL),
                                     Slot(&D::IsDIBEmpty),
                                     Slot(&D::IsDIBBottomUp),
                                     Slot(&D::IsDIBTopDown),
                                     Slot(&D::GetVfBmiSize),
                                     Slot(VfCopy(&D::GetVfBmiHeader)),
                                     Slot(YuvCopy(&D::GetVfBmiHeader)),
                                     Slot(BihCopy(&D::GetBitmapInfoHeader)),
                                     Slot(&D::SetDIBCompression),
                                     Slot(&D::DIBImageFlag),
                                     Slot(&D::DIBImageIsBlackTransparent),
                                     Slot(&D::FreeDIB),
                                     Slot(&D::CopyDIB),
                                     Slot(&D::ConvertAlphaToStraight),
                                     Slot(CreateH(&D::Create))};
  for (std::size_t i = 0; i < std::size(virtuals); ++i) EXPECT_GE(virtuals[i], 0) << "#" << i;
  EXPECT_EQ(Slot(&D::CompressRLE), -1);
  EXPECT_EQ(Slot(&D::DecompressRLE), -1);
  EXPECT_EQ(Slot(&D::IsValidDIB), -1);
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
