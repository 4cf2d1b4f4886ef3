// CMemR2C moves exactly the pixels it names: a strip of 8 columns of an image
// with padded rows goes to 8 contiguous lines and back, whole or one column at
// a time, and every byte it should not write (padding, guards) keeps its marker.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "FilterTestUtil.h"
#include "filter/MemR2C.h"

namespace {

constexpr std::uint8_t kMarker = 0xCD;
constexpr int kGuard = 64;

struct Geometry {
  unsigned short bits;
  int count;   // rows of the strip
  int imgPad;  // bytes past the strip's 8 pixels in each image row
  int bufPad;  // bytes past the count pixels in each buffer line
};

class MemR2CTest : public ::testing::TestWithParam<Geometry> {};

TEST_P(MemR2CTest, StripMovesToLinesAndBackWholeOrByColumn) {
  const Geometry g = GetParam();
  const int bpp = g.bits / 8, imgStride = 8 * bpp + g.imgPad, bufStride = g.count * bpp + g.bufPad;
  const std::size_t imgSize = std::size_t(imgStride) * g.count,
                    bufSize = std::size_t(bufStride) * 8;
  const auto img = filtertest::RandomBytes(imgSize + 1, 1);
  // Line c, pixel r of the buffer is pixel c of image row r; padding keeps the marker.
  std::vector<std::uint8_t> want(bufSize + 2 * kGuard, kMarker);
  for (int c = 0; c < 8; ++c)
    for (int r = 0; r < g.count; ++r)
      for (int b = 0; b < bpp; ++b)
        want[kGuard + c * bufStride + r * bpp + b] = img[r * imgStride + c * bpp + b];
  std::vector<std::uint8_t> wantBack(imgSize + 2 * kGuard, kMarker);
  for (int r = 0; r < g.count; ++r)
    for (int o = 0; o < 8 * bpp; ++o) wantBack[kGuard + r * imgStride + o] = img[r * imgStride + o];

  stdfx::CMemR2C r2c;
  std::vector<std::uint8_t> buf(want.size(), kMarker), byColumn(want.size(), kMarker);
  EXPECT_TRUE(
      r2c.RowsToColumns(buf.data() + kGuard, bufStride, img.data(), imgStride, g.count, g.bits));
  for (int c = 0; c < 8; ++c)
    EXPECT_TRUE(r2c.GetColumn(byColumn.data() + kGuard + c * bufStride, img.data() + c * bpp,
                              imgStride, g.count, g.bits));
  EXPECT_EQ(buf, want);
  EXPECT_EQ(byColumn, want);

  std::vector<std::uint8_t> back(wantBack.size(), kMarker), backByColumn(wantBack.size(), kMarker);
  EXPECT_TRUE(r2c.ColumnsToRows(back.data() + kGuard, imgStride, want.data() + kGuard, bufStride,
                                g.count, g.bits));
  for (int c = 0; c < 8; ++c)
    EXPECT_TRUE(r2c.SetColumn(backByColumn.data() + kGuard + c * bpp, imgStride,
                              want.data() + kGuard + c * bufStride, g.count, g.bits));
  EXPECT_EQ(back, wantBack);
  EXPECT_EQ(backByColumn, wantBack);
}

INSTANTIATE_TEST_SUITE_P(Geometries, MemR2CTest,
                         ::testing::Values(Geometry{8, 0, 0, 0}, Geometry{8, 1, 0, 0},
                                           Geometry{8, 5, 3, 7}, Geometry{8, 209, 0, 233},
                                           Geometry{32, 0, 0, 0}, Geometry{32, 1, 4, 0},
                                           Geometry{32, 7, 0, 12}, Geometry{32, 209, 8, 4}));

TEST(MemR2CBitCountTest, OtherBitCountsMoveNothing) {
  const auto src = filtertest::RandomBytes(4096, 6);
  std::vector<std::uint8_t> dst(4096, kMarker);
  stdfx::CMemR2C r2c;
  for (unsigned short bits : {0, 1, 4, 16, 24, 64}) {
    EXPECT_FALSE(r2c.RowsToColumns(dst.data(), 64, src.data(), 64, 16, bits)) << bits;
    EXPECT_FALSE(r2c.ColumnsToRows(dst.data(), 64, src.data(), 64, 16, bits)) << bits;
    EXPECT_FALSE(r2c.GetColumn(dst.data(), src.data(), 64, 16, bits)) << bits;
    EXPECT_FALSE(r2c.SetColumn(dst.data(), 64, src.data(), 16, bits)) << bits;
  }
  EXPECT_EQ(dst, std::vector<std::uint8_t>(4096, kMarker));
}

}  // namespace
