// The shared clamp tables: every entry over every documented index range,
// one instance across threads, copies, and the claim that the blur's output
// stays inside the 8-bit table (recomputed here from the recursive
// Gaussian's published coefficients).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <numbers>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "stdfx/Cpu.h"
#include "stdfx/Tables.h"

namespace {

using stdfx::CTables;

struct TableCase {
  const char* name;
  const std::int32_t* (CTables::*table0)() const;
  const std::int32_t* (CTables::*start)() const;
  int lowest;   // lowest index, relative to Table0
  int highest;  // highest index
  int lo, hi;   // clamp bounds
};

class ClampTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(ClampTable, EveryIndexClamps) {
  const TableCase& c = GetParam();
  const CTables& t = CTables::GetInstance();
  const std::int32_t* zero = (t.*c.table0)();
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(zero + c.lowest, (t.*c.start)());
  for (long v = c.lowest; v <= c.highest; ++v) {
    const long want = v < c.lo ? c.lo : (v > c.hi ? c.hi : v);
    ASSERT_EQ(zero[v], want) << "index " << v;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ClampTable,
    ::testing::Values(TableCase{"N256P512", &CTables::GetMinMaxN256P512Table0,
                                &CTables::GetMinMaxN256P512Table, -512, 1023, 0, 255},
                      TableCase{"L16H235", &CTables::GetMinMaxL16H235Table0,
                                &CTables::GetMinMaxL16H235Table, -512, 1023, 16, 235},
                      TableCase{"L16H240", &CTables::GetMinMaxL16H240Table0,
                                &CTables::GetMinMaxL16H240Table, -512, 1023, 16, 240},
                      TableCase{"TenBit", &CTables::GetMinMax10bitTable0,
                                &CTables::GetMinMax10bitTable, -2048, 2559, 0, 1023},
                      TableCase{"TenBitYCCIR", &CTables::GetMinMax10bitYCCIRTable0,
                                &CTables::GetMinMax10bitYCCIRTable, -2048, 2559, 64, 940},
                      TableCase{"TenBitCCCIR", &CTables::GetMinMax10bitCCCIRTable0,
                                &CTables::GetMinMax10bitCCCIRTable, -2048, 2559, 64, 960}));

TEST(CTables, OneInstanceAcrossThreads) {
  constexpr int kThreads = 16;
  std::vector<const CTables*> seen(kThreads, nullptr);
  std::vector<const std::int32_t*> tables(kThreads, nullptr);
  {
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
      threads.emplace_back([&seen, &tables, i] {
        const CTables& t = CTables::GetInstance();
        seen[i] = &t;
        tables[i] = t.GetMinMaxN256P512Table0();
      });
    for (auto& th : threads) th.join();
  }
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(seen[i], &CTables::GetInstance());
    EXPECT_EQ(tables[i], tables[0]);
  }
}

TEST(CTables, CopiesShareTheInstanceTables) {
  const CTables& t = CTables::GetInstance();
  auto copy = std::make_unique<CTables>(t);
  *copy = t;
  EXPECT_EQ(copy->GetMinMaxN256P512Table0(), t.GetMinMaxN256P512Table0());
  EXPECT_EQ(copy->GetMinMax10bitCCCIRTable0(), t.GetMinMax10bitCCCIRTable0());
}

// The recursive Gaussian (Deriche 1993, fourth order, with the edge
// coefficients that continue a line with its end samples) is linear, so the
// extremes of its output over inputs 0..255 are 255 times the sums of the
// positive and of the negative weights of each output sample. Radii and line
// lengths cover the small filters (where the approximation is roughest) and
// the mask's sides.
struct Deriche {
  double n[5], m[5], d[5], e[5], f[5];
};

Deriche Coefficients(double radius) {
  double x = std::clamp(radius, 1.0, 100.0) + 1;
  const double sigma = std::sqrt(x * x / (2 * std::log(255.0)));
  const double k = std::sqrt(2 * std::numbers::pi) * sigma;
  const double a0 = 1.68 / k, a1 = 3.735 / k, c0 = -0.6803 / k, c1 = -0.2598 / k;
  const double e0 = std::exp(-1.783 / sigma), e1 = std::exp(-1.723 / sigma);
  const double w0 = 0.6318 / sigma, w1 = 1.997 / sigma;
  Deriche c{};
  c.n[0] = a0 + c0;
  c.n[1] = e1 * (c1 * std::sin(w1) - (c0 + 2 * a0) * std::cos(w1)) +
           e0 * (a1 * std::sin(w0) - (2 * c0 + a0) * std::cos(w0));
  c.n[2] = 2 * e0 * e1 *
               ((a0 + c0) * std::cos(w1) * std::cos(w0) - a1 * std::cos(w1) * std::sin(w0) -
                c1 * std::cos(w0) * std::sin(w1)) +
           c0 * e0 * e0 + a0 * e1 * e1;
  c.n[3] = e1 * e0 * e0 * (c1 * std::sin(w1) - c0 * std::cos(w1)) +
           e0 * e1 * e1 * (a1 * std::sin(w0) - a0 * std::cos(w0));
  c.d[1] = -2 * e1 * std::cos(w1) - 2 * e0 * std::cos(w0);
  c.d[2] = 4 * std::cos(w1) * std::cos(w0) * e0 * e1 + e1 * e1 + e0 * e0;
  c.d[3] = -2 * std::cos(w0) * e0 * e1 * e1 - 2 * std::cos(w1) * e1 * e0 * e0;
  c.d[4] = e0 * e0 * e1 * e1;
  double sumD = 1, sumN = 0, sumM = 0;
  for (int i = 1; i < 5; ++i) c.m[i] = c.n[i] - c.n[0] * c.d[i];
  for (int i = 0; i < 5; ++i) sumD += c.d[i], sumN += c.n[i], sumM += c.m[i];
  for (int i = 0; i < 5; ++i) c.e[i] = c.d[i] * sumN / sumD, c.f[i] = c.d[i] * sumM / sumD;
  return c;
}

std::vector<double> Filter(const Deriche& c, const std::vector<double>& x) {
  const int len = static_cast<int>(x.size());
  std::vector<double> p(x.size()), q(x.size()), y(x.size());
  for (int k = 0; k < len; ++k)
    for (int i = 0; i < 5; ++i)
      p[k] += k - i < 0 ? (c.n[i] - c.e[i]) * x[0] : c.n[i] * x[k - i] - c.d[i] * p[k - i];
  for (int k = len - 1; k >= 0; --k)
    for (int i = 0; i < 5; ++i)
      q[k] +=
          k + i > len - 1 ? (c.m[i] - c.f[i]) * x[len - 1] : c.m[i] * x[k + i] - c.d[i] * q[k + i];
  for (int k = 0; k < len; ++k) y[k] = p[k] + q[k];
  return y;
}

TEST(CTables, BlurOutputStaysInsideTheClampTable) {
  double lowest = 0, highest = 0;
  for (double radius : {1.0, 1.5, 2.0, 3.0, 6.25, 31.640625, 100.0})
    for (int len : {1, 2, 5, 17, 40, 97, 209, 241}) {
      const Deriche c = Coefficients(radius);
      std::vector<double> pos(len, 0.0), neg(len, 0.0);
      for (int j = 0; j < len; ++j) {
        std::vector<double> impulse(len, 0.0);
        impulse[j] = 1.0;
        const std::vector<double> y = Filter(c, impulse);
        for (int k = 0; k < len; ++k) (y[k] > 0 ? pos[k] : neg[k]) += y[k];
      }
      lowest = std::min(lowest, 255 * *std::min_element(neg.begin(), neg.end()));
      highest = std::max(highest, 255 * *std::max_element(pos.begin(), pos.end()));
    }
  // The documented bound, and its indices trunc(v + 0.5) well inside the table.
  EXPECT_GT(lowest, -0.05);
  EXPECT_LT(highest, 255.37);
  EXPECT_LE(-CTables::k8bitBefore, std::trunc(lowest + 0.5));
  EXPECT_GE(CTables::k8bitEntries - CTables::k8bitBefore - 1, std::trunc(highest + 0.5));
}

// The processor's report, compared with the kernel's reading of it.
TEST(Cpu, MatchesTheKernelsReport) {
  std::ifstream info("/proc/cpuinfo");
  std::string line;
  std::set<std::string> flags;
  while (std::getline(info, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    const std::size_t colon = line.find(':');
    std::size_t at = colon == std::string::npos ? line.size() : colon + 1;
    while (at < line.size()) {
      const std::size_t end = std::min(line.find(' ', at), line.size());
      if (end > at) flags.insert(line.substr(at, end - at));
      at = end + 1;
    }
    break;
  }
  if (flags.empty()) GTEST_SKIP() << "no flags line in /proc/cpuinfo";
  EXPECT_EQ(stdfx::IsMMXCPU(), flags.count("mmx") == 1);
  EXPECT_EQ(stdfx::IsSSECPU(), flags.count("sse") == 1);
  EXPECT_EQ(stdfx::IsSSE2CPU(), flags.count("sse2") == 1);
#if defined(__x86_64__)
  EXPECT_TRUE(stdfx::IsMMXCPU() && stdfx::IsSSECPU() && stdfx::IsSSE2CPU());
#endif
}

}  // namespace
