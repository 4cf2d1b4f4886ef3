// The exported classes fix the order of their tables of virtual operations.
// Under the Itanium C++ ABI (GCC and Clang on Linux) a pointer to a virtual
// member function holds 1 + the byte offset of its slot, so the slot of each
// declared operation can be read back and compared with the required order.
#include <gtest/gtest.h>

#include <cstddef>
#include <type_traits>

#include "stdfx/Fixedx248.h"
#include "stdfx/Pointx248.h"
#include "stdfx/Rect.h"
#include "stdfx/Rectx248.h"
#include "tests/host/effect/VtableProbe.h"

namespace {

using mattix::test::SlotOf;
using F = stdfx::CFixedx248;
using P = stdfx::CPointx248;
using R = stdfx::CRectx248;

template <class... Slots>
void ExpectConsecutiveSlots(Slots... slots) {
  const std::ptrdiff_t got[] = {slots...};
  for (std::size_t i = 0; i < sizeof...(slots); ++i)
    EXPECT_EQ(got[i], static_cast<std::ptrdiff_t>(i)) << "operation #" << i + 1;
}

// Slots of a named member, of an operator of the given signature, and of
// the overload families (long, int, number) and (int, number).
#define M(name) SlotOf(&F::name)
#define OP(ret, op, sig) SlotOf(static_cast<ret(F::*) sig>(&F::operator op))
#define ARITH(op) OP(F, op, (long) const), OP(F, op, (int) const), OP(F, op, (const F&) const)
#define COMPOUND(op) OP(F&, op, (long)), OP(F&, op, (int)), OP(F&, op, (const F&))
#define CMP(op) OP(int, op, (int) const), OP(int, op, (const F&) const)

TEST(VirtualTable, OperationsSitInTheExportedOrder) {
  ExpectConsecutiveSlots(
      M(Assign1616), OP(F&, =, (long double)), OP(F&, =, (double)), OP(F&, =, (long)),
      OP(F&, =, (int)), OP(F&, =, (const F&)), M(_Round), M(_Floor), M(_Ceil), M(Round), M(Floor),
      M(Ceil), M(floor), M(ceil), M(operator int), M(operator long), M(operator float),
      M(operator double), M(operator long double), ARITH(-), OP(F, -, () const), ARITH(+), ARITH(*),
      ARITH(/), COMPOUND(+=), COMPOUND(-=), COMPOUND(*=), COMPOUND(/=), CMP(<), CMP(>), CMP(<=),
      CMP(>=), CMP(==), CMP(!=), M(TraceInt), M(TraceFrac), M(TraceSign));
  for (const std::ptrdiff_t slot : {M(Int), M(Frac), M(_floor), M(_ceil)}) EXPECT_EQ(slot, -1);
  ExpectConsecutiveSlots(SlotOf(static_cast<P& (P::*)(const P&)>(&P::operator=)),
                         SlotOf(static_cast<void (P::*)(const F&, const F&)>(&P::Assign)),
                         SlotOf(static_cast<void (P::*)(int, int)>(&P::Assign)));
  ExpectConsecutiveSlots(SlotOf(static_cast<R& (R::*)(const RECT&)>(&R::operator=)),
                         SlotOf(static_cast<R& (R::*)(const R&)>(&R::operator=)),
                         SlotOf(&R::CeilRect), SlotOf(&R::IntersectRect));
  EXPECT_EQ(SlotOf(static_cast<R& (R::*)(const stdfx::CRect&)>(&R::operator=)), -1);
  EXPECT_EQ(SlotOf(&R::IsRectEmpty), -1);
  // Polymorphic values without a virtual destructor: one table pointer and
  // the raw value; points and rectangles embed whole numbers.
  static_assert(std::is_polymorphic_v<F> && !std::has_virtual_destructor_v<F> &&
                std::is_polymorphic_v<P> && !std::has_virtual_destructor_v<P> &&
                std::is_polymorphic_v<R> && !std::has_virtual_destructor_v<R>);
  static_assert(sizeof(F) == sizeof(void*) + 8 && sizeof(P) == sizeof(void*) + 2 * sizeof(F) &&
                sizeof(R) == sizeof(void*) + 4 * sizeof(F));
}

}  // namespace
