#include "stdfx/Fixedx248.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <type_traits>

#include "FixedTestUtil.h"

namespace {

using fixedtest::FromRaw;
using fixedtest::Raw;
using fixedtest::Wrap;
using stdfx::CFixedx248;

constexpr std::int32_t kMin = INT32_MIN;
constexpr std::int32_t kMax = INT32_MAX;

// The two observations of the raw value (double conversion, Int/Frac) agree,
// and FromRaw builds every raw value, so the helpers can be trusted below.
TEST(Fixedx248, RawObservationsAgreeAndIntPlusFracIsTheNumber) {
  std::mt19937 rng(248);
  std::uniform_int_distribution<std::int32_t> any(kMin, kMax);
  for (int i = 0; i < 20000; ++i) {
    const std::int32_t raw = i < 4 ? std::int32_t{kMin + i} : any(rng);
    const CFixedx248 f = FromRaw(raw);
    ASSERT_EQ(Raw(f), raw);
    ASSERT_EQ(std::int64_t{f.Int()} * 256 + f.Frac(), raw);
    ASSERT_GE(f.Frac(), 0);
    ASSERT_LE(f.Frac(), 255);
  }
}

struct RoundingCase {
  std::int32_t raw;
  int Int, ceil_, Frac, Round, Floor, Ceil;  // _floor == Int, floor() == Int
};

class RoundingTable : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(RoundingTable, EveryMemberRoundsItsOwnWay) {
  const RoundingCase& c = GetParam();
  const CFixedx248 f = FromRaw(c.raw);
  EXPECT_EQ(f.Int(), c.Int);
  EXPECT_EQ(f._floor(), c.Int);
  EXPECT_EQ(f._ceil(), c.ceil_);
  EXPECT_EQ(f.Frac(), c.Frac);
  EXPECT_EQ(f._Round(), c.Round);
  EXPECT_EQ(f._Floor(), c.Floor);
  EXPECT_EQ(f._Ceil(), c.Ceil);
  EXPECT_EQ(Raw(f.Round()), c.Round * 256);
  EXPECT_EQ(Raw(f.Floor()), c.Floor * 256);
  EXPECT_EQ(Raw(f.Ceil()), c.Ceil * 256);
  EXPECT_EQ(Raw(f.floor()), c.Int * 256);
  EXPECT_EQ(Raw(f.ceil()), c.ceil_ * 256);
  EXPECT_EQ(static_cast<int>(f), c.Round);
  EXPECT_EQ(static_cast<long>(f), c.Round);
}

// Hand-computed: Int/_floor/floor toward -inf, _ceil/ceil toward +inf,
// _Round nearest with halves up, _Floor toward zero, _Ceil away from zero.
INSTANTIATE_TEST_SUITE_P(
    Values, RoundingTable,
    ::testing::Values(RoundingCase{640, 2, 3, 128, 3, 2, 3},      // 2.5
                      RoundingCase{-640, -3, -2, 128, -2, -2, -3},  // -2.5
                      RoundingCase{-576, -3, -2, 192, -2, -2, -3},  // -2.25
                      RoundingCase{0, 0, 0, 0, 0, 0, 0},
                      RoundingCase{1, 0, 1, 1, 0, 0, 1},            // 1/256
                      RoundingCase{-1, -1, 0, 255, 0, 0, -1},       // -1/256
                      RoundingCase{128, 0, 1, 128, 1, 0, 1},        // 0.5
                      RoundingCase{-128, -1, 0, 128, 0, 0, -1},     // -0.5
                      RoundingCase{512, 2, 2, 0, 2, 2, 2},          // 2.0
                      RoundingCase{-512, -2, -2, 0, -2, -2, -2},    // -2.0
                      RoundingCase{704, 2, 3, 192, 3, 2, 3},        // 2.75
                      RoundingCase{-704, -3, -2, 64, -3, -2, -3},   // -2.75
                      RoundingCase{-129, -1, 0, 127, -1, 0, -1}));  // just below -0.5

// The same rules formulated with the C library's rounding on the exact
// double value, over random numbers away from the 32-bit wrap.
TEST(Fixedx248, RoundingAgreesWithLibraryRoundingOnRandomValues) {
  std::mt19937 rng(2);
  std::uniform_int_distribution<std::int32_t> any(kMin + 512, kMax - 512);
  std::uniform_int_distribution<std::int32_t> small(-4096, 4096);
  for (int i = 0; i < 50000; ++i) {
    const std::int32_t raw = (i & 1) ? any(rng) : small(rng);
    const double x = raw / 256.0;
    const CFixedx248 f = FromRaw(raw);
    ASSERT_EQ(f.Int(), std::floor(x));
    ASSERT_EQ(f._ceil(), std::ceil(x));
    ASSERT_EQ(f._Round(), std::floor(x + 0.5)) << raw;
    ASSERT_EQ(f._Floor(), std::trunc(x));
    ASSERT_EQ(f._Ceil(), x < 0 ? -std::ceil(-x) : std::ceil(x));
    ASSERT_EQ(static_cast<double>(f.floor()), std::floor(x));
    ASSERT_EQ(static_cast<double>(f.ceil()), std::ceil(x));
  }
}

// 32-bit wrap at the ends of the range, worked out by hand.
TEST(Fixedx248, RoundingWrapsInThirtyTwoBitsAtTheExtremes) {
  const CFixedx248 top = FromRaw(kMax);  // 8388607.996
  EXPECT_EQ(top._Round(), -8388608);     // raw + 128 wraps negative
  EXPECT_EQ(top._Ceil(), -8388608);
  EXPECT_EQ(top._ceil(), -8388608);
  EXPECT_EQ(top._Floor(), 8388607);
  EXPECT_EQ(Raw(top.ceil()), kMin);
  EXPECT_EQ(Raw(top.Floor()), 8388607 * 256);
  const CFixedx248 bottom = FromRaw(kMin);  // -8388608
  EXPECT_EQ(bottom._Round(), 8388608);      // 127 - raw wraps negative
  EXPECT_EQ(bottom._Floor(), 8388608);      // -raw wraps to raw
  EXPECT_EQ(bottom.Int(), -8388608);
  EXPECT_EQ(Raw(bottom.Round()), kMin);     // 8388608 * 256 wraps
}

struct DoubleCase {
  double v;
  std::int32_t raw;
};

class DoubleTable : public ::testing::TestWithParam<DoubleCase> {};

TEST_P(DoubleTable, ConvertsHalfAwayFromZeroThroughEveryDoubleEntry) {
  const DoubleCase& c = GetParam();
  EXPECT_EQ(Raw(CFixedx248(c.v)), c.raw);
  EXPECT_EQ(Raw(CFixedx248(static_cast<long double>(c.v))), c.raw);
  CFixedx248 f(5);
  EXPECT_EQ(&(f = c.v), &f);
  EXPECT_EQ(Raw(f), c.raw);
  f = 5;
  EXPECT_EQ(&(f = static_cast<long double>(c.v)), &f);
  EXPECT_EQ(Raw(f), c.raw);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Values, DoubleTable,
    ::testing::Values(DoubleCase{0.001998, 1},  // 0.511 + 0.5 truncated
                      DoubleCase{-0.001, 0},    // -0.256 - 0.5 truncated
                      DoubleCase{1.0 / 512, 1}, DoubleCase{-1.0 / 512, -1},  // halves
                      DoubleCase{3.0 / 512, 2}, DoubleCase{-3.0 / 512, -2},
                      DoubleCase{2.5, 640}, DoubleCase{-2.25, -576}, DoubleCase{0.0, 0},
                      DoubleCase{-0.0, 0}, DoubleCase{8388607.0, 2147483392},
                      DoubleCase{8388607.99609375, kMax},
                      DoubleCase{-8388607.99609375, -kMax},
                      DoubleCase{-8388608.0, kMin},
                      // Out of range, NaN and infinities: raw -2^31.
                      DoubleCase{8388607.998046875, kMin},  // rounds to 2^31
                      DoubleCase{-8388608.001953125, kMin}, DoubleCase{1e10, kMin},
                      DoubleCase{-1e10, kMin}, DoubleCase{1e300, kMin}, DoubleCase{kNaN, kMin},
                      DoubleCase{-kNaN, kMin}, DoubleCase{kInf, kMin}, DoubleCase{-kInf, kMin}));

TEST(Fixedx248, LongDoubleIsRoundedToDoubleFirst) {
  // Just below 1/512 in long double, exactly 1/512 once rounded to double:
  // the double twin rounds that half up to raw 1.
  const long double justBelowHalf = 1.0L / 512 - 1e-20L;
  ASSERT_LT(256 * justBelowHalf + 0.5L, 1.0L);
  EXPECT_EQ(Raw(CFixedx248(justBelowHalf)), 1);
  // Beyond any double's range: a defined out-of-range result.
  EXPECT_EQ(Raw(CFixedx248(1e400L)), kMin);
  EXPECT_EQ(Raw(CFixedx248(-1e400L)), kMin);
  EXPECT_EQ(Raw(CFixedx248(std::numeric_limits<long double>::quiet_NaN())), kMin);
}

TEST(Fixedx248, ConversionsToFloatingPoint) {
  EXPECT_EQ(static_cast<double>(FromRaw(-640)), -2.5);
  EXPECT_EQ(static_cast<long double>(FromRaw(1)), 0.00390625L);
  EXPECT_EQ(static_cast<float>(FromRaw(-640)), -2.5f);
  // float keeps 24 significant bits: raw 2^24 + 1 becomes 2^24 before
  // scaling, and 2^24 + 3 rounds to the even 2^24 + 4.
  EXPECT_EQ(static_cast<float>(FromRaw(16777217)), 65536.0f);
  EXPECT_EQ(static_cast<float>(FromRaw(16777219)), 65536.015625f);
  EXPECT_EQ(static_cast<double>(FromRaw(16777217)), 65536.00390625);
  static_assert(std::is_same_v<decltype(FromRaw(0).operator float()), float>);
}

TEST(Fixedx248, ConversionToIntegerRoundsHalvesUp) {
  EXPECT_EQ(static_cast<int>(CFixedx248(1.5)), 2);
  EXPECT_EQ(static_cast<int>(CFixedx248(-1.5)), -1);
  EXPECT_EQ(static_cast<long>(CFixedx248(1.5)), 2L);
  EXPECT_EQ(static_cast<long>(CFixedx248(-1.5)), -1L);
}

struct Assign1616Case {
  int v;
  std::int32_t raw;
};

class Assign1616Table : public ::testing::TestWithParam<Assign1616Case> {};

TEST_P(Assign1616Table, RoundsToNearestWithHalvesUp) {
  CFixedx248 f(77);
  f.Assign1616(GetParam().v);
  EXPECT_EQ(Raw(f), GetParam().raw) << GetParam().v;
}

INSTANTIATE_TEST_SUITE_P(
    Values, Assign1616Table,
    ::testing::Values(Assign1616Case{0x18000, 384},  // 1.5
                      Assign1616Case{-32768, -128},  // -0.5
                      Assign1616Case{-128, 0},       // half toward +inf
                      Assign1616Case{128, 1}, Assign1616Case{127, 0},
                      Assign1616Case{-129, -1}, Assign1616Case{-384, -1},
                      Assign1616Case{-385, -2}, Assign1616Case{0, 0},
                      // The 32-bit formulas wrap at the two ends.
                      Assign1616Case{kMax, -8388608}, Assign1616Case{kMin, 8388608}));

TEST(Fixedx248, Assign1616IsFloorOfQuarterShiftedValueOnRandomInputs) {
  std::mt19937 rng(1616);
  std::uniform_int_distribution<std::int32_t> any(kMin + 128, kMax - 128);
  for (int i = 0; i < 50000; ++i) {
    const std::int32_t v = (i & 1) ? any(rng) : any(rng) / 65536;
    CFixedx248 f;
    f.Assign1616(v);
    const std::int64_t n = std::int64_t{v} + 128;
    const std::int64_t floorDiv = n >= 0 ? n / 256 : -((-n + 255) / 256);
    ASSERT_EQ(Raw(f), floorDiv) << v;
  }
}

TEST(Fixedx248, IntegerEntriesShiftAndWrapAndLongKeepsItsLow32Bits) {
  EXPECT_EQ(Raw(CFixedx248(3)), 768);
  EXPECT_EQ(Raw(CFixedx248(-3)), -768);
  EXPECT_EQ(Raw(CFixedx248(1 << 23)), kMin);         // wraps
  EXPECT_EQ(Raw(CFixedx248((1 << 23) + 1)), kMin + 256);
  EXPECT_EQ(Raw(CFixedx248(5L)), 1280);
  EXPECT_EQ(Raw(CFixedx248(0x100000005L)), 1280);    // high bits dropped
  EXPECT_EQ(Raw(CFixedx248(-0x100000005L)), -1280);  // low 32 bits are -5
  CFixedx248 f;
  EXPECT_EQ(&(f = 0x200000002L), &f);
  EXPECT_EQ(Raw(f), 512);
  EXPECT_EQ(&(f = -2), &f);
  EXPECT_EQ(Raw(f), -512);
  const CFixedx248 g = FromRaw(12345);
  EXPECT_EQ(&(f = g), &f);
  EXPECT_EQ(Raw(f), 12345);
  EXPECT_EQ(Raw(CFixedx248(g)), 12345);
}

// Every two-operand form, for CFixedx248, int and long operands, checked
// against 64-bit wrapped arithmetic.
TEST(Fixedx248, SumsAndDifferencesWrapInThirtyTwoBits) {
  EXPECT_EQ(Raw(FromRaw(kMax) + FromRaw(1)), kMin);
  EXPECT_EQ(Raw(FromRaw(kMin) - FromRaw(1)), kMax);
  EXPECT_EQ(Raw(-FromRaw(kMin)), kMin);
  EXPECT_EQ(Raw(FromRaw(kMax) + 1), kMin + 255);
  EXPECT_EQ(Raw(FromRaw(7) + (1 << 23)), kMin + 7);

  std::mt19937 rng(7);
  std::uniform_int_distribution<std::int32_t> any(kMin, kMax);
  std::uniform_int_distribution<std::int64_t> anyLong(INT64_MIN, INT64_MAX);
  for (int i = 0; i < 20000; ++i) {
    const std::int32_t a = any(rng), b = any(rng);
    const int n = (i & 1) ? any(rng) : any(rng) / 65536;
    const long ln = static_cast<long>(anyLong(rng));
    const std::int32_t ln32 = Wrap(ln);
    const CFixedx248 fa = FromRaw(a), fb = FromRaw(b);
    ASSERT_EQ(Raw(fa + fb), Wrap(std::int64_t{a} + b));
    ASSERT_EQ(Raw(fa - fb), Wrap(std::int64_t{a} - b));
    ASSERT_EQ(Raw(-fa), Wrap(-std::int64_t{a}));
    ASSERT_EQ(Raw(fa + n), Wrap(a + std::int64_t{n} * 256));
    ASSERT_EQ(Raw(fa - n), Wrap(a - std::int64_t{n} * 256));
    ASSERT_EQ(Raw(fa + ln), Wrap(a + std::int64_t{ln32} * 256));
    ASSERT_EQ(Raw(fa - ln), Wrap(a - std::int64_t{ln32} * 256));
    CFixedx248 c = fa;
    ASSERT_EQ(&(c += fb), &c);
    ASSERT_EQ(Raw(c), Raw(fa + fb));
    c = fa;
    ASSERT_EQ(&(c -= fb), &c);
    ASSERT_EQ(Raw(c), Raw(fa - fb));
    c = fa;
    ASSERT_EQ(Raw(c += n), Raw(fa + n));
    c = fa;
    ASSERT_EQ(Raw(c -= n), Raw(fa - n));
    c = fa;
    ASSERT_EQ(Raw(c += ln), Raw(fa + ln));
    c = fa;
    ASSERT_EQ(Raw(c -= ln), Raw(fa - ln));
  }
}

struct ProductCase {
  std::int32_t a, b;
  std::int32_t product, quotient;  // raw a*b and a/b
};

class ProductTable : public ::testing::TestWithParam<ProductCase> {};

TEST_P(ProductTable, RoundsToNearestWithHalvesAwayFromZero) {
  const ProductCase& c = GetParam();
  const CFixedx248 a = FromRaw(c.a), b = FromRaw(c.b);
  EXPECT_EQ(Raw(a * b), c.product);
  EXPECT_EQ(Raw(a / b), c.quotient);
  CFixedx248 m = a;
  EXPECT_EQ(&(m *= b), &m);
  EXPECT_EQ(Raw(m), c.product);
  CFixedx248 d = a;
  EXPECT_EQ(&(d /= b), &d);
  EXPECT_EQ(Raw(d), c.quotient);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProductTable,
    ::testing::Values(ProductCase{256, 128, 128, 512},         // 1 * 0.5, 1 / 0.5
                      ProductCase{256, 768, 768, 85},          // 1 / 3 = 85.33/256
                      ProductCase{-256, 768, -768, -85},
                      ProductCase{1, 128, 1, 2},               // 0.5/256 -> 1/256
                      ProductCase{-1, 128, -1, -2},            // halves away from zero
                      ProductCase{3, 128, 2, 6}, ProductCase{-3, 128, -2, -6},
                      ProductCase{1, 127, 0, 2},               // 127/256 of 1/256
                      ProductCase{1, 512, 2, 1},               // 1/512 -> 1/256
                      ProductCase{-1, 512, -2, -1}, ProductCase{1, -512, -2, -1},
                      ProductCase{640, 640, 1600, 256},        // 2.5 * 2.5
                      ProductCase{-640, 640, -1600, -256},
                      ProductCase{1 << 24, 65536, -1, 65536},  // product 2^32: overflow
                      ProductCase{kMax, 256, kMax, kMax},      // times and over 1.0
                      ProductCase{kMin, 256, kMin, kMin},      // -2^31 fits
                      ProductCase{kMin, -256, -1, -1},         // 2^31 does not
                      ProductCase{1 << 30, 1, 4194304, -1},    // quotient 2^38
                      ProductCase{256, 0, 0, -1},              // zero divisor
                      ProductCase{0, 0, 0, -1}));

TEST(Fixedx248, IntegerOperandsMultiplyAndDivideThroughMulDiv) {
  EXPECT_EQ(Raw(FromRaw(256) / 3), 85);
  EXPECT_EQ(Raw(FromRaw(-256) / 3), -85);
  EXPECT_EQ(Raw(FromRaw(256) / 0), -1);
  EXPECT_EQ(Raw(FromRaw(256) / 0L), -1);
  EXPECT_EQ(Raw(FromRaw(640) * 3), 1920);
  EXPECT_EQ(Raw(FromRaw(1) / 2), 1);    // 0.5/256 away from zero
  EXPECT_EQ(Raw(FromRaw(-1) / 2), -1);
  // n * 256 is formed in 32 bits: 2^23 becomes -2^31, 2^24 becomes 0.
  EXPECT_EQ(Raw(FromRaw(256) * (1 << 23)), kMin);
  EXPECT_EQ(Raw(FromRaw(3) * (1 << 23)), -25165824);
  EXPECT_EQ(Raw(FromRaw(256) / (1 << 24)), -1);
  EXPECT_EQ(Raw(FromRaw(256) * 0x100000003L), 768);  // long: its low 32 bits
  EXPECT_EQ(Raw(FromRaw(768) / 0x100000003L), 256);
  CFixedx248 f = FromRaw(256);
  EXPECT_EQ(&(f *= 3), &f);
  EXPECT_EQ(Raw(f), 768);
  EXPECT_EQ(&(f /= 0), &f);
  EXPECT_EQ(Raw(f), -1);
}

// Independent formulation of the rounded quotient num/den: the integer at the
// smallest distance, ties to the larger magnitude, searched around a
// floating-point estimate; -1 for a zero divisor or a result beyond 32 bits.
__extension__ typedef __int128 Int128;

Int128 Abs(Int128 v) { return v < 0 ? -v : v; }

std::int32_t NearestOrMinusOne(Int128 num, Int128 den) {
  if (den == 0) return -1;
  const long double estimate = static_cast<long double>(num) / static_cast<long double>(den);
  const Int128 q0 = static_cast<Int128>(std::floor(estimate));
  Int128 best = q0;
  Int128 bestDistance = -1;
  for (Int128 q = q0 - 2; q <= q0 + 2; ++q) {
    const Int128 distance = Abs(q * den - num);  // |q - num/den| * |den|
    if (bestDistance < 0 || distance < bestDistance ||
        (distance == bestDistance && Abs(q) > Abs(best))) {
      best = q;
      bestDistance = distance;
    }
  }
  if (best < INT32_MIN || best > INT32_MAX) return -1;
  return static_cast<std::int32_t>(best);
}

TEST(Fixedx248, ProductsAndQuotientsAgreeWithExactRationalsOnRandomValues) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<std::int32_t> any(kMin, kMax);
  std::uniform_int_distribution<std::int32_t> medium(-(1 << 20), 1 << 20);
  std::uniform_int_distribution<std::int32_t> small(-600, 600);
  std::uniform_int_distribution<std::int64_t> anyLong(INT64_MIN, INT64_MAX);
  auto pick = [&](int k) {
    switch (k % 3) {
      case 0: return any(rng);
      case 1: return medium(rng);
      default: return small(rng);  // exact halves are frequent here
    }
  };
  for (int i = 0; i < 60000; ++i) {
    const std::int32_t a = pick(i), b = pick(i / 3);
    const int n = pick(i / 9) / 256;
    const long ln = (static_cast<long>(anyLong(rng)) & ~0xFFFFFFFFL) | static_cast<std::uint32_t>(n);
    const CFixedx248 fa = FromRaw(a), fb = FromRaw(b);
    const std::int32_t n256 = Wrap(std::int64_t{n} * 256);
    const std::int32_t product = NearestOrMinusOne(Int128{a} * b, 256);
    const std::int32_t quotient = NearestOrMinusOne(Int128{a} * 256, b);
    const std::int32_t productN = NearestOrMinusOne(Int128{a} * n256, 256);
    const std::int32_t quotientN = NearestOrMinusOne(Int128{a} * 256, n256);
    ASSERT_EQ(Raw(fa * fb), product) << a << " * " << b;
    ASSERT_EQ(Raw(fa / fb), quotient) << a << " / " << b;
    ASSERT_EQ(Raw(fa * n), productN) << a << " * int " << n;
    ASSERT_EQ(Raw(fa / n), quotientN) << a << " / int " << n;
    ASSERT_EQ(Raw(fa * ln), productN) << a << " * long " << ln;
    ASSERT_EQ(Raw(fa / ln), quotientN) << a << " / long " << ln;
    CFixedx248 c = fa;
    ASSERT_EQ(Raw(c *= fb), product);
    c = fa;
    ASSERT_EQ(Raw(c /= fb), quotient);
    c = fa;
    ASSERT_EQ(Raw(c *= ln), productN);
    c = fa;
    ASSERT_EQ(Raw(c /= ln), quotientN);
  }
}

struct CompareCase {
  std::int32_t a;
  int n;  // compared as n * 256 formed in 32 bits
  int lt, gt, le, ge, eq, ne;
};

class CompareTable : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareTable, IntegerOperandsCompareAsShiftedRawValues) {
  const CompareCase& c = GetParam();
  const CFixedx248 a = FromRaw(c.a);
  EXPECT_EQ(a < c.n, c.lt);
  EXPECT_EQ(a > c.n, c.gt);
  EXPECT_EQ(a <= c.n, c.le);
  EXPECT_EQ(a >= c.n, c.ge);
  EXPECT_EQ(a == c.n, c.eq);
  EXPECT_EQ(a != c.n, c.ne);
}

INSTANTIATE_TEST_SUITE_P(Values, CompareTable,
                         ::testing::Values(CompareCase{128, 1, 1, 0, 1, 0, 0, 1},   // 0.5 vs 1
                                           CompareCase{256, 1, 0, 0, 1, 1, 1, 0},   // 1.0 vs 1
                                           CompareCase{257, 1, 0, 1, 0, 1, 0, 1},
                                           CompareCase{-1, 0, 1, 0, 1, 0, 0, 1},
                                           CompareCase{-512, -2, 0, 0, 1, 1, 1, 0},
                                           // 2^23 * 256 wraps to -2^31
                                           CompareCase{0, 1 << 23, 0, 1, 0, 1, 0, 1},
                                           CompareCase{kMin, 1 << 23, 0, 0, 1, 1, 1, 0}));

TEST(Fixedx248, NumbersCompareAsSignedRawValuesAndAnswerOneOrZero) {
  static_assert(std::is_same_v<decltype(CFixedx248() < CFixedx248()), int>);
  static_assert(std::is_same_v<decltype(CFixedx248() == 1), int>);
  std::mt19937 rng(99);
  std::uniform_int_distribution<std::int32_t> any(kMin, kMax);
  std::uniform_int_distribution<std::int32_t> small(-3, 3);
  for (int i = 0; i < 20000; ++i) {
    const std::int32_t a = any(rng);
    const std::int32_t b = (i & 1) ? any(rng) : Wrap(std::int64_t{a} + small(rng) / 2);  // often equal
    const CFixedx248 fa = FromRaw(a), fb = FromRaw(b);
    ASSERT_EQ(fa < fb, a < b ? 1 : 0);
    ASSERT_EQ(fa > fb, a > b ? 1 : 0);
    ASSERT_EQ(fa <= fb, a <= b ? 1 : 0);
    ASSERT_EQ(fa >= fb, a >= b ? 1 : 0);
    ASSERT_EQ(fa == fb, a == b ? 1 : 0);
    ASSERT_EQ(fa != fb, a != b ? 1 : 0);
  }
}

struct TraceCase {
  std::int32_t raw;
  wchar_t sign;
  int integer, fraction;
};

class TraceTable : public ::testing::TestWithParam<TraceCase> {};

TEST_P(TraceTable, GivesSignAndMagnitude) {
  const CFixedx248 f = FromRaw(GetParam().raw);
  EXPECT_EQ(f.TraceSign(), GetParam().sign);
  EXPECT_EQ(f.TraceInt(), GetParam().integer);
  EXPECT_EQ(f.TraceFrac(), GetParam().fraction);
  static_assert(std::is_same_v<decltype(f.TraceSign()), wchar_t>);
}

INSTANTIATE_TEST_SUITE_P(Values, TraceTable,
                         ::testing::Values(TraceCase{0, L' ', 0, 0}, TraceCase{-1, L'-', 0, 1},
                                           TraceCase{-384, L'-', 1, 128},  // -1.5
                                           TraceCase{384, L' ', 1, 128},
                                           TraceCase{kMax, L' ', 8388607, 255},
                                           TraceCase{kMin, L'-', 8388608, 0}));

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// Overrides the integer roundings with marker values.
class MarkedRounding : public CFixedx248 {
 public:
  int _Round() const override { return 7; }
  int _Floor() const override { return -5; }
  int _Ceil() const override { return 11; }
};
#pragma GCC diagnostic pop

TEST(Fixedx248, RoundingAndIntegerConversionsCallTheVirtualIntegerRoundings) {
  const MarkedRounding marked;
  const CFixedx248& f = marked;
  EXPECT_EQ(Raw(f.Round()), 7 * 256);
  EXPECT_EQ(Raw(f.Floor()), -5 * 256);
  EXPECT_EQ(Raw(f.Ceil()), 11 * 256);
  EXPECT_EQ(static_cast<int>(f), 7);
  EXPECT_EQ(static_cast<long>(f), 7L);
  // The other roundings work on the raw value (zero here).
  EXPECT_EQ(Raw(f.floor()), 0);
  EXPECT_EQ(f._ceil(), 0);
}

}  // namespace
