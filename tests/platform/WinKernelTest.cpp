#include "win/Windows.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Independent formulation of MulDiv: exact rational arithmetic in 128 bits,
// rounding |n/d| to nearest with halves away from zero.
__extension__ typedef __int128 Int128;

int MulDivReference(int a, int b, int c) {
  if (c == 0) return -1;
  const Int128 n = static_cast<Int128>(a) * b, an = n < 0 ? -n : n;
  const Int128 ac = c < 0 ? -static_cast<Int128>(c) : c;
  Int128 q = (2 * an + ac) / (2 * ac);
  if ((n < 0) != (c < 0)) q = -q;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int>(q);
}

// Hand-picked triples (halves away from zero whatever the signs, a zero
// divisor, a 64-bit product, 2^31 overflowing, a tiny negative quotient),
// then random ones mixing full-range and small values so that overflowing
// and in-range quotients, and exact halves, are well represented.
TEST(MulDiv, AgreesWithWideReference) {
  const int picked[][3] = {{5, 1, 2},          {-5, 1, 2},
                           {5, 1, -2},         {-9, 1, 4},
                           {123, 456, 0},      {INT32_MAX, 2, 2},
                           {INT32_MIN, -1, 1}, {INT32_MIN, INT32_MIN, INT32_MIN},
                           {1, 1, INT32_MIN},  {-1073741824, 1, INT32_MIN}};
  for (const auto& [a, b, c] : picked)
    EXPECT_EQ(MulDiv(a, b, c), MulDivReference(a, b, c)) << a << "*" << b << "/" << c;
  std::mt19937_64 rng(20261205);
  std::uniform_int_distribution<int> any(INT32_MIN, INT32_MAX), small(-70000, 70000);
  for (int i = 0; i < 100000; ++i) {
    const int a = (i & 1) ? any(rng) : small(rng), b = (i & 2) ? any(rng) : small(rng);
    int c = (i & 4) ? any(rng) : small(rng) / 64;
    if (i % 97 == 0) c = 2 * (small(rng) | 1);  // even divisors give exact halves
    ASSERT_EQ(MulDiv(a, b, c), MulDivReference(a, b, c)) << a << "*" << b << "/" << c;
  }
}

}  // namespace
