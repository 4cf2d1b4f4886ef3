// Out-of-memory behaviour of the fill. The array allocation functions of this
// program are replaced so that chosen requests fail and live arrays can be
// counted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "TestMask.h"
#include "selection/ScanConvert.h"

namespace {

int g_requests = 0;   // nothrow array requests so far
int g_failFrom = -1;  // requests from this number on fail; -1: none
long g_live = 0;      // array blocks not yet released

void* Allocate(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p != nullptr) ++g_live;
  return p;
}

}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  const int request = g_requests++;
  return g_failFrom >= 0 && request >= g_failFrom ? nullptr : Allocate(size);
}

void* operator new[](std::size_t size) {
  void* p = Allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void operator delete[](void* p) noexcept {
  if (p == nullptr) return;
  --g_live;
  std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept { operator delete[](p); }

namespace {

// The first or the second array request fails: the fill returns false,
// releases all and leaves the mask. Nothing is kept between fills: the same
// converter fills once memory is back. A flat polygon needs no arrays.
TEST(ScanConvertMemory, FailedAllocationReturnsFalseReleasesAllAndLeavesTheMask) {
  const double square[] = {2, 2.5, 6, 2.5, 6, 6.5, 2, 6.5}, flat[] = {1, 3, 5, 3, 2, 3};
  const long liveBefore = g_live;
  for (const int failFrom : {0, 1}) {
    SCOPED_TRACE(failFrom);
    g_requests = 0;
    g_failFrom = failFrom;
    scan_test::TestMask mask(8, 8, 9);
    const auto before = mask.Bytes();
    CScanConvert converter;
    EXPECT_FALSE(converter.FillRaster(mask.Raster(), square, 4));
    EXPECT_EQ(mask.Bytes(), before);
    EXPECT_EQ(g_live, liveBefore);
    EXPECT_TRUE(converter.FillRaster(mask.Raster(), flat, 3));
    EXPECT_EQ(mask.At(2, 3), 255);
    g_failFrom = -1;
    EXPECT_TRUE(converter.FillRaster(mask.Raster(), square, 4));
    EXPECT_EQ(mask.At(2, 2), 255);
  }
  EXPECT_EQ(g_live, liveBefore) << "arrays left behind";
}

}  // namespace
