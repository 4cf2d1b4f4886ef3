// The 24.8 fixed-point number against independent formulations: 64-bit
// wrapped arithmetic on raw values, and exact rational products and
// quotients in 128 bits.
#include "stdfx/Fixedx248.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <tuple>
#include <type_traits>

#include "FixedTestUtil.h"
#include "tests/platform/RoundedQuotient.h"

namespace {

using fixedtest::FromRaw, fixedtest::Raw, fixedtest::Wrap, stdfx::CFixedx248, win_test::Int128,
    win_test::RoundedQuotient;

constexpr std::int32_t kMin = INT32_MIN, kMax = INT32_MAX;

// The six comparisons as bits.
template <typename A, typename B>
int Compare(const A& a, const B& b) {
  return (a < b) + 2 * (a > b) + 4 * (a <= b) + 8 * (a >= b) + 16 * (a == b) + 32 * (a != b);
}

// Sums, differences and comparisons for every operand type against 64-bit
// wrapped arithmetic on the raw values; integer operands count as n * 256
// formed in 32 bits.
TEST(Fixedx248, SumsDifferencesAndComparisonsFollowThirtyTwoBitRawValues) {
  static_assert(std::is_same_v<decltype(CFixedx248() < CFixedx248()), int>);
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::int32_t> any(kMin, kMax), tiny(-1, 1);
  std::uniform_int_distribution<std::int64_t> anyLong(INT64_MIN, INT64_MAX);
  for (int i = 0; i < 20000; ++i) {
    const std::int32_t a = (i % 7 == 0) ? kMin + (i % 3) : any(rng);
    const std::int32_t b = (i % 3 == 0) ? Wrap(std::int64_t{a} + tiny(rng)) : any(rng);
    const int n = (i & 1) ? any(rng) : any(rng) / 65536;
    const long ln = static_cast<long>(anyLong(rng));
    const CFixedx248 fa = FromRaw(a), fb = FromRaw(b);
    ASSERT_EQ(
        std::tuple(Raw(fa + fb), Raw(fa - fb), Raw(-fa)),
        std::tuple(Wrap(std::int64_t{a} + b), Wrap(std::int64_t{a} - b), Wrap(-std::int64_t{a})));
    ASSERT_EQ(Raw(fa + n), Wrap(std::int64_t{a} + Wrap(std::int64_t{n} * 256)));
    ASSERT_EQ(Raw(fa - ln), Wrap(std::int64_t{a} - Wrap(std::int64_t{Wrap(ln)} * 256)));
    CFixedx248 c = fa;
    const std::array<std::int32_t, 6> steps = {Raw(c += fb), Raw(c -= fb), Raw(c += n),
                                               Raw(c -= n),  Raw(c += ln), Raw(c -= ln)};
    ASSERT_EQ(steps, (std::array{Raw(fa + fb), a, Raw(fa + n), a, Raw(fa + ln), a}));
    const int m = (i % 5 == 0) ? (a >> 8) : n;
    ASSERT_EQ(std::pair(Compare(fa, fb), Compare(fa, m)),
              std::pair(Compare(a, b), Compare(a, Wrap(std::int64_t{m} * 256))));
  }
  // Integers shift by 8 and a long keeps its low 32 bits; doubles round half
  // away from zero, and out of range give -2^31.
  EXPECT_EQ((std::array{Raw(CFixedx248(-3)), Raw(CFixedx248(0x100000005L)),
                        Raw(CFixedx248(-3.0 / 512)), Raw(CFixedx248(1e10))}),
            (std::array{-768, 1280, -2, kMin}));
}

// (Rounding, overflow and a zero divisor at their edges are MulDiv's test.)
TEST(Fixedx248, ProductsAndQuotientsAgreeWithExactRationals) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<std::int32_t> any(kMin, kMax), medium(-(1 << 20), 1 << 20),
      small(-600, 600);  // exact halves are frequent among small values
  auto pick = [&](int k) { return k % 3 == 0 ? any(rng) : k % 3 == 1 ? medium(rng) : small(rng); };
  for (int i = 0; i < 30000; ++i) {
    const std::int32_t a = pick(i), b = pick(i / 3);
    const int n = pick(i / 9) / 256;  // an integer operand counts as n * 256 in 32 bits
    const long ln = static_cast<long>(std::uint64_t{rng()} << 32 | std::uint32_t(n));
    const std::int32_t n256 = Wrap(std::int64_t{n} * 256);
    const CFixedx248 fa = FromRaw(a), fb = FromRaw(b);
    const std::int32_t product = RoundedQuotient(Int128{a} * b, 256);
    const std::int32_t quotient = RoundedQuotient(Int128{a} * 256, b);
    const std::int32_t productN = RoundedQuotient(Int128{a} * n256, 256);
    const std::int32_t quotientN = RoundedQuotient(Int128{a} * 256, n256);
    CFixedx248 c = fa;
    ASSERT_EQ(std::tuple(Raw(fa * fb), Raw(c *= fb), Raw(fa / fb)),
              std::tuple(product, product, quotient))
        << a << ", " << b;
    ASSERT_EQ(std::tuple(Raw(fa * n), Raw(fa * ln), Raw(fa / ln), Raw((c = fa) /= n)),
              std::tuple(productN, productN, quotientN, quotientN))
        << a << ", " << n;
  }
}

}  // namespace
