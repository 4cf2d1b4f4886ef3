#include "stdfx/C3dMatrix3x3.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

using stdfx::C3dMatrix3x3;

// Elements 10 * row + column are nine doubles in row-major order behind the
// table pointer; copy and assignment take all nine.
TEST(C3dMatrix3x3, ElementsAreNineDoublesInRowMajorOrder) {
  static_assert(std::is_polymorphic_v<C3dMatrix3x3> &&
                !std::has_virtual_destructor_v<C3dMatrix3x3>);
  static_assert(sizeof(C3dMatrix3x3) == sizeof(void*) + 9 * sizeof(double));
  C3dMatrix3x3 m, assigned;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m(r, c) = 10.0 * r + c;
  const C3dMatrix3x3& cm = m;
  const double* first = &cm(0, 0);
  EXPECT_EQ(&(assigned = m), &assigned);
  for (int k = 0; k < 9; ++k) {
    EXPECT_TRUE(&m(k / 3, k % 3) == first + k && &cm(k / 3, k % 3) == first + k);
    EXPECT_EQ(first[k], 10.0 * (k / 3) + k % 3);
    EXPECT_TRUE((&assigned(0, 0))[k] == first[k] && (&C3dMatrix3x3(m)(0, 0))[k] == first[k]);
  }
}

}  // namespace
