// The exported classes fix the order of their tables of virtual operations.
// Under the Itanium C++ ABI (GCC and Clang on Linux) a pointer to a virtual
// member function holds 1 + the byte offset of its slot, so the slot of each
// declared operation can be read back and compared with the required order.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

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

TEST(VirtualTable, FixedNumberOperationsSitInTheExportedOrder) {
  ExpectConsecutiveSlots({
      Slot(&F::Assign1616),
      Slot(static_cast<F& (F::*)(long double)>(&F::operator=)),
      Slot(static_cast<F& (F::*)(double)>(&F::operator=)),
      Slot(static_cast<F& (F::*)(long)>(&F::operator=)),
      Slot(static_cast<F& (F::*)(int)>(&F::operator=)),
      Slot(static_cast<F& (F::*)(const F&)>(&F::operator=)),
      Slot(&F::_Round),
      Slot(&F::_Floor),
      Slot(&F::_Ceil),
      Slot(&F::Round),
      Slot(&F::Floor),
      Slot(&F::Ceil),
      Slot(&F::floor),
      Slot(&F::ceil),
      Slot(&F::operator int),
      Slot(&F::operator long),
      Slot(&F::operator float),
      Slot(&F::operator double),
      Slot(&F::operator long double),
      Slot(static_cast<F (F::*)(long) const>(&F::operator-)),
      Slot(static_cast<F (F::*)(int) const>(&F::operator-)),
      Slot(static_cast<F (F::*)(const F&) const>(&F::operator-)),
      Slot(static_cast<F (F::*)() const>(&F::operator-)),
      Slot(static_cast<F (F::*)(long) const>(&F::operator+)),
      Slot(static_cast<F (F::*)(int) const>(&F::operator+)),
      Slot(static_cast<F (F::*)(const F&) const>(&F::operator+)),
      Slot(static_cast<F (F::*)(long) const>(&F::operator*)),
      Slot(static_cast<F (F::*)(int) const>(&F::operator*)),
      Slot(static_cast<F (F::*)(const F&) const>(&F::operator*)),
      Slot(static_cast<F (F::*)(long) const>(&F::operator/)),
      Slot(static_cast<F (F::*)(int) const>(&F::operator/)),
      Slot(static_cast<F (F::*)(const F&) const>(&F::operator/)),
      Slot(static_cast<F& (F::*)(long)>(&F::operator+=)),
      Slot(static_cast<F& (F::*)(int)>(&F::operator+=)),
      Slot(static_cast<F& (F::*)(const F&)>(&F::operator+=)),
      Slot(static_cast<F& (F::*)(long)>(&F::operator-=)),
      Slot(static_cast<F& (F::*)(int)>(&F::operator-=)),
      Slot(static_cast<F& (F::*)(const F&)>(&F::operator-=)),
      Slot(static_cast<F& (F::*)(long)>(&F::operator*=)),
      Slot(static_cast<F& (F::*)(int)>(&F::operator*=)),
      Slot(static_cast<F& (F::*)(const F&)>(&F::operator*=)),
      Slot(static_cast<F& (F::*)(long)>(&F::operator/=)),
      Slot(static_cast<F& (F::*)(int)>(&F::operator/=)),
      Slot(static_cast<F& (F::*)(const F&)>(&F::operator/=)),
      Slot(static_cast<int (F::*)(int) const>(&F::operator<)),
      Slot(static_cast<int (F::*)(const F&) const>(&F::operator<)),
      Slot(static_cast<int (F::*)(int) const>(&F::operator>)),
      Slot(static_cast<int (F::*)(const F&) const>(&F::operator>)),
      Slot(static_cast<int (F::*)(int) const>(&F::operator<=)),
      Slot(static_cast<int (F::*)(const F&) const>(&F::operator<=)),
      Slot(static_cast<int (F::*)(int) const>(&F::operator>=)),
      Slot(static_cast<int (F::*)(const F&) const>(&F::operator>=)),
      Slot(static_cast<int (F::*)(int) const>(&F::operator==)),
      Slot(static_cast<int (F::*)(const F&) const>(&F::operator==)),
      Slot(static_cast<int (F::*)(int) const>(&F::operator!=)),
      Slot(static_cast<int (F::*)(const F&) const>(&F::operator!=)),
      Slot(&F::TraceInt),
      Slot(&F::TraceFrac),
      Slot(&F::TraceSign),
  });
  // The integer parts are plain members.
  EXPECT_EQ(Slot(&F::Int), -1);
  EXPECT_EQ(Slot(&F::Frac), -1);
  EXPECT_EQ(Slot(&F::_floor), -1);
  EXPECT_EQ(Slot(&F::_ceil), -1);
}

TEST(VirtualTable, PointAndRectangleOperationsSitInTheExportedOrder) {
  using P = CPointx248;
  ExpectConsecutiveSlots({
      Slot(static_cast<P& (P::*)(const P&)>(&P::operator=)),
      Slot(static_cast<void (P::*)(const CFixedx248&, const CFixedx248&)>(&P::Assign)),
      Slot(static_cast<void (P::*)(int, int)>(&P::Assign)),
  });
  using R = CRectx248;
  ExpectConsecutiveSlots({
      Slot(static_cast<R& (R::*)(const RECT&)>(&R::operator=)),
      Slot(static_cast<R& (R::*)(const R&)>(&R::operator=)),
      Slot(&R::CeilRect),
      Slot(&R::IntersectRect),
  });
  EXPECT_EQ(Slot(static_cast<R& (R::*)(const stdfx::CRect&)>(&R::operator=)), -1);
  EXPECT_EQ(Slot(&R::IsRectEmpty), -1);
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
