#include "stdfx/C3dMatrix3x3.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

using stdfx::C3dMatrix3x3;

// A matrix whose elements tell their position: 10 * row + column.
C3dMatrix3x3 Numbered() {
  C3dMatrix3x3 m;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m(r, c) = 10.0 * r + c;
  return m;
}

TEST(C3dMatrix3x3, ElementsAreNineDoublesInRowMajorOrder) {
  static_assert(std::is_polymorphic_v<C3dMatrix3x3>);
  static_assert(!std::has_virtual_destructor_v<C3dMatrix3x3>);
  static_assert(sizeof(C3dMatrix3x3) == sizeof(void*) + 9 * sizeof(double));
  C3dMatrix3x3 m = Numbered();
  const C3dMatrix3x3& cm = m;
  const double* first = &cm(0, 0);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(&m(r, c), first + (r * 3 + c));
      EXPECT_EQ(&cm(r, c), first + (r * 3 + c));
      EXPECT_EQ(first[r * 3 + c], 10.0 * r + c);
    }
  C3dMatrix3x3 assigned;  // copy and assignment take all nine elements
  EXPECT_EQ(&(assigned = m), &assigned);
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ((&assigned(0, 0))[k], first[k]);
    EXPECT_EQ((&C3dMatrix3x3(m)(0, 0))[k], first[k]);
  }
}

}  // namespace
