// The shared clamp tables: every entry over every documented index range,
// one instance across threads, and copies; the processor's features. (That
// the blur's output stays inside the 8-bit table is checked with the blur.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
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

TEST(CTables, OneInstanceAcrossThreadsSharedByCopies) {
  std::vector<const std::int32_t*> tables(16, nullptr);
  std::vector<std::thread> threads;
  for (auto& t : tables)
    threads.emplace_back([&t] { t = CTables::GetInstance().GetMinMaxN256P512Table0(); });
  for (auto& th : threads) th.join();
  const CTables& t = CTables::GetInstance();
  for (const auto* seen : tables) EXPECT_EQ(seen, t.GetMinMaxN256P512Table0());
  auto copy = std::make_unique<CTables>(t);
  *copy = t;
  EXPECT_EQ(copy->GetMinMax10bitCCCIRTable0(), t.GetMinMax10bitCCCIRTable0());
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
