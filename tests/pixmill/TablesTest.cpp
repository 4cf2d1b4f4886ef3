// The shared clamp tables: every entry over every documented index range.
// (That the blur's output stays inside the 8-bit table is checked with the
// blur.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "stdfx/Tables.h"

namespace {

using stdfx::CTables;

// Every entry over every documented index range (lowest..highest relative
// to Table0) is the index clamped to lo..hi.
TEST(CTables, EveryIndexClamps) {
  using Get = const std::int32_t* (CTables::*)() const;
  const struct {
    Get table0, start;
    int lowest, highest, lo, hi;
  } cases[] = {
      {&CTables::GetMinMaxN256P512Table0, &CTables::GetMinMaxN256P512Table, -512, 1023, 0, 255},
      {&CTables::GetMinMaxL16H235Table0, &CTables::GetMinMaxL16H235Table, -512, 1023, 16, 235},
      {&CTables::GetMinMaxL16H240Table0, &CTables::GetMinMaxL16H240Table, -512, 1023, 16, 240},
      {&CTables::GetMinMax10bitTable0, &CTables::GetMinMax10bitTable, -2048, 2559, 0, 1023},
      {&CTables::GetMinMax10bitYCCIRTable0, &CTables::GetMinMax10bitYCCIRTable, -2048, 2559, 64,
       940},
      {&CTables::GetMinMax10bitCCCIRTable0, &CTables::GetMinMax10bitCCCIRTable, -2048, 2559, 64,
       960}};
  const CTables& t = CTables::GetInstance();
  for (const auto& c : cases) {
    const std::int32_t* zero = (t.*c.table0)();
    ASSERT_NE(zero, nullptr);
    ASSERT_EQ(zero + c.lowest, (t.*c.start)());
    for (long v = c.lowest; v <= c.highest; ++v)
      ASSERT_EQ(zero[v], std::clamp<long>(v, c.lo, c.hi)) << "index " << v << " of " << c.hi;
  }
}

}  // namespace
