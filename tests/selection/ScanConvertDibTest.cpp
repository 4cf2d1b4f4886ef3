// The fill through the image object: geometry from the header, rows
// bottom-up, pixels read back through the image library.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestMask.h"
#include "selection/ScanConvert.h"
#include "stdfx/DIB.h"

namespace {

using scan_test::TestMask;

tagVFBMINFOHEADER MaskHeader(int width, int height) {
  tagVFBMINFOHEADER h;
  std::memset(&h, 0, sizeof h);
  h.biSize = stdfx::kHeaderSizeVfbmi;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = 8;
  h.biCompression = stdfx::kLayoutRGB;
  return h;
}

// The wheel's mask size: 241 bytes a row, padded to a stride of 244.
TEST(ScanConvertDib, FillsTheImageAsTheRasterFillDoes) {
  stdfx::CDIB mask(MaskHeader(241, 209));
  ASSERT_TRUE(mask.IsValidDIB());
  ASSERT_EQ(mask.DIBBytesPerLine(), 244);
  const double lasso[] = {10, 3.5, 230, 40.5, 120, 205.5, -5, 120.5, 60, 60.5, 250, 210};
  CScanConvert converter;
  ASSERT_TRUE(converter.FillPolygon(&mask, lasso, 6));

  TestMask expected(241, 209);
  CScanConvert other;
  ASSERT_TRUE(other.FillRaster(expected.Raster(), lasso, 6));
  int set = 0;
  for (int y = 0; y < 209; ++y)
    for (int x = 0; x < 241; ++x) {
      ASSERT_EQ(mask.GetDIBByte(x, y), expected.At(x, y)) << x << "," << y;
      set += expected.At(x, y) == 255;
    }
  EXPECT_GT(set, 1000);
  // Padding bytes at the end of each row stay 0.
  for (int row = 0; row < 209; ++row)
    for (int x = 241; x < 244; ++x) EXPECT_EQ(mask.GetBytes()[row * 244 + x], 0);
}

TEST(ScanConvertDib, OnePixelLandsOnTheRowCountedFromTheTop) {
  stdfx::CDIB mask(MaskHeader(5, 4));
  const double point[] = {3, 0.5};  // the wheel's press at (3, 0): row 1
  CScanConvert converter;
  ASSERT_TRUE(converter.FillPolygon(&mask, point, 1));
  EXPECT_EQ(mask.GetDIBByte(3, 1), 255);
  // Row 1 from the top of a 4-row bottom-up image is memory row 2.
  EXPECT_EQ(mask.GetBytes()[2 * mask.DIBBytesPerLine() + 3], 255);
}

TEST(ScanConvertDib, AttachedImageWritesIntoTheCallersMemory) {
  tagVFBMINFOHEADER header = MaskHeader(6, 3);
  std::vector<unsigned char> bits(8 * 3, 0);
  stdfx::CDIB mask(&header, bits.data());
  ASSERT_TRUE(mask.IsAttached());
  const double all[] = {-1, -1, 9, -1, 9, 9, -1, 9};
  CScanConvert converter;
  ASSERT_TRUE(converter.FillPolygon(&mask, all, 4));
  for (int row = 0; row < 3; ++row)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(bits[row * 8 + x], x < 6 ? 255 : 0) << row << "," << x;
}

TEST(ScanConvertDib, MissingOrEmptyImageIsNotAnError) {
  const double square[] = {2, 2.5, 6, 2.5, 6, 6.5, 2, 6.5};
  CScanConvert converter;
  EXPECT_TRUE(converter.FillPolygon(nullptr, square, 4));
  stdfx::CDIB empty;
  EXPECT_TRUE(converter.FillPolygon(&empty, square, 4));
  EXPECT_TRUE(converter.FillPolygon(&empty, square, 1));
}

// A header claiming a run-length layout: its pixel buffer holds only the
// encoded bytes, fewer than the rows need, so nothing may be written.
TEST(ScanConvertDib, BufferTooSmallForTheRowsIsLeftAlone) {
  tagVFBMINFOHEADER header = MaskHeader(16, 16);
  header.biCompression = stdfx::kLayoutRLE8;
  header.biSizeImage = 8;
  std::vector<unsigned char> bits(8, 0x11);
  stdfx::CDIB mask(&header, bits.data());
  ASSERT_TRUE(mask.IsValidDIB());
  ASSERT_LT(mask.DIBSize(), 16u * 16u);
  const double square[] = {-1, -1, 20, -1, 20, 20, -1, 20};
  CScanConvert converter;
  EXPECT_TRUE(converter.FillPolygon(&mask, square, 4));
  EXPECT_EQ(bits, std::vector<unsigned char>(8, 0x11));
}

}  // namespace
