// Out-of-memory behaviour of the fill. The array allocation functions of this
// program are replaced so that chosen requests fail and live arrays can be
// counted.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "TestMask.h"
#include "selection/ScanConvert.h"

namespace {

int g_requests = 0;                  // nothrow array requests so far
int g_failFrom = -1;                 // requests from this number on fail; -1: none
std::size_t g_sizeLimit = SIZE_MAX;  // larger requests fail
std::size_t g_sizes[16];             // sizes of the first requests
long g_live = 0;                     // array blocks not yet released

void* Allocate(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p != nullptr) ++g_live;
  return p;
}

}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  const int request = g_requests++;
  if (request < 16) g_sizes[request] = size;
  if ((g_failFrom >= 0 && request >= g_failFrom) || size > g_sizeLimit) return nullptr;
  return Allocate(size);
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

using scan_test::TestMask;

class ScanConvertMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    g_requests = 0;
    g_failFrom = -1;
    g_sizeLimit = SIZE_MAX;
    m_liveBefore = g_live;
  }
  void TearDown() override {
    g_failFrom = -1;
    g_sizeLimit = SIZE_MAX;
    EXPECT_EQ(g_live, m_liveBefore) << "arrays left behind";
  }
  long m_liveBefore = 0;
};

const double kSquare[] = {2, 2.5, 6, 2.5, 6, 6.5, 2, 6.5};

// The first or the second array request fails: the fill returns false,
// releases all and leaves the mask. Nothing is kept between fills: the same
// converter fills once memory is back. A point or a flat polygon needs no
// arrays.
TEST_F(ScanConvertMemory, FailedAllocationReturnsFalseReleasesAllAndLeavesTheMask) {
  for (const int failFrom : {0, 1}) {
    SCOPED_TRACE(failFrom);
    g_requests = 0;
    g_failFrom = failFrom;
    TestMask mask(8, 8, 9);
    const auto before = mask.Bytes();
    CScanConvert converter;
    EXPECT_FALSE(converter.FillRaster(mask.Raster(), kSquare, 4));
    EXPECT_EQ(mask.Bytes(), before);
    EXPECT_EQ(g_live, m_liveBefore);
    const double flat[] = {1, 3, 5, 3, 2, 3};
    EXPECT_TRUE(converter.FillRaster(mask.Raster(), flat, 3));
    EXPECT_EQ(mask.At(2, 3), 255);
    g_failFrom = -1;
    EXPECT_TRUE(converter.FillRaster(mask.Raster(), kSquare, 4));
    EXPECT_EQ(mask.At(2, 2), 255);
  }
}

// The count is believed: the arrays are sized from it before any vertex past
// the first two is read. Here the request for INT_MAX entries cannot be met
// (as on any machine without tens of gigabytes); the sizes asked for must be
// exact, with no overflow or truncation on the way.
TEST_F(ScanConvertMemory, HugeVertexCountAsksForExactSizesAndFailsCleanly) {
  g_sizeLimit = std::size_t(1) << 30;
  TestMask mask(8, 8);
  const double twoRows[] = {1, 1.5, 4, 5.5};
  CScanConvert converter;
  EXPECT_FALSE(converter.FillRaster(mask.Raster(), twoRows, INT_MAX));
  ASSERT_GE(g_requests, 1);
  EXPECT_EQ(g_sizes[0], std::size_t(INT_MAX) * sizeof(std::int32_t));
  if (g_requests > 1) {
    EXPECT_EQ(g_sizes[1], std::size_t(INT_MAX) * sizeof(CScanConvert::ActiveEdge));
  }
  EXPECT_EQ(mask.Picture().find('#'), std::string::npos);
}

}  // namespace
