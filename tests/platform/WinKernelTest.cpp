#include "win/Windows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

namespace {

// Independent formulation of MulDiv: exact rational arithmetic in 128 bits,
// rounding |n/d| to nearest with halves away from zero.
__extension__ typedef __int128 Int128;

int MulDivReference(int a, int b, int c) {
  if (c == 0) return -1;
  const Int128 n = static_cast<Int128>(a) * b;
  const Int128 an = n < 0 ? -n : n;
  const Int128 ac = c < 0 ? -static_cast<Int128>(c) : c;
  Int128 q = (2 * an + ac) / (2 * ac);
  if ((n < 0) != (c < 0)) q = -q;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int>(q);
}

struct MulDivCase {
  int a, b, c, expected;
};

class MulDivTable : public ::testing::TestWithParam<MulDivCase> {};

TEST_P(MulDivTable, MatchesDocumentedRule) {
  const auto& p = GetParam();
  EXPECT_EQ(MulDiv(p.a, p.b, p.c), p.expected) << p.a << "*" << p.b << "/" << p.c;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MulDivTable,
    ::testing::Values(MulDivCase{5, 1, 2, 3},                  // 2.5 -> 3
                      MulDivCase{-5, 1, 2, -3},                // -2.5 -> -3
                      MulDivCase{5, 1, -2, -3},                // sign from the divisor
                      MulDivCase{-9, 1, 4, -2},                // -2.25 -> -2
                      MulDivCase{123, 456, 0, -1},             // zero divisor
                      MulDivCase{INT32_MAX, 2, 2, INT32_MAX},  // 64-bit product
                      MulDivCase{INT32_MIN, -1, 1, -1},        // 2^31 overflows
                      MulDivCase{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN},
                      MulDivCase{1, 1, INT32_MIN, 0},              // tiny negative quotient
                      MulDivCase{-1073741824, 1, INT32_MIN, 1}));  // exactly +0.5

TEST(MulDiv, AgreesWithWideReferenceOnRandomTriples) {
  std::mt19937_64 rng(20261205);
  std::uniform_int_distribution<int> any(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int> small(-70000, 70000);
  for (int i = 0; i < 100000; ++i) {
    // Mix full-range values with small ones so both overflow and in-range
    // quotients, and exact halves, are well represented.
    const int a = (i & 1) ? any(rng) : small(rng);
    const int b = (i & 2) ? any(rng) : small(rng);
    int c = (i & 4) ? any(rng) : small(rng) / 64;
    if (i % 97 == 0) c = 2 * (small(rng) | 1);  // even divisors give exact halves
    ASSERT_EQ(MulDiv(a, b, c), MulDivReference(a, b, c)) << a << "*" << b << "/" << c;
  }
}

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);  // the owner may enter again
  std::atomic<int> otherGot{-1};
  std::thread([&] { otherGot = TryEnterCriticalSection(&cs); }).join();
  EXPECT_EQ(otherGot, FALSE);
  LeaveCriticalSection(&cs);
  std::thread([&] { otherGot = TryEnterCriticalSection(&cs); }).join();
  EXPECT_EQ(otherGot, FALSE) << "still held once";
  LeaveCriticalSection(&cs);

  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        EnterCriticalSection(&cs);
        ++counter;
        LeaveCriticalSection(&cs);
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(counter, 20000);
  DeleteCriticalSection(&cs);
}

}  // namespace
