// The fill through the image object: geometry from the header, rows
// bottom-up, pixels read back through the image library.
#include <gtest/gtest.h>

#include <vector>

#include "selection/ScanConvert.h"
#include "stdfx/DIB.h"
#include "tests/pixmill/ImageTestUtil.h"

namespace {

tagVFBMINFOHEADER MaskHeader(int width, int height, DWORD layout = stdfx::kLayoutRGB) {
  return pixmill_test::MakeHeader(width, height, 8, layout);
}

// The fill through the image object writes the caller's memory bottom-up,
// padding included in the check (stride 8 for 6 pixels).
TEST(ScanConvertDib, AttachedImageWritesIntoTheCallersMemoryBottomUp) {
  tagVFBMINFOHEADER header = MaskHeader(6, 4);
  std::vector<unsigned char> bits(8 * 4, 0);
  stdfx::CDIB mask(&header, bits.data());
  const double point[] = {3, 0.5};  // the wheel's press at (3, 0): row 1 from the top
  ASSERT_TRUE(CScanConvert().FillPolygon(&mask, point, 1));
  // Row 1 from the top of a 4-row bottom-up image is memory row 2.
  for (int i = 0; i < 32; ++i) EXPECT_EQ(bits[i], i == 2 * 8 + 3 ? 255 : 0) << i;
}

// A header claiming a run-length layout: its pixel buffer holds only the
// encoded bytes, fewer than the rows need, so nothing may be written. A
// missing or empty image is not an error either.
TEST(ScanConvertDib, ImagesWithoutRowsToWriteAreLeftAlone) {
  tagVFBMINFOHEADER header = MaskHeader(16, 16, stdfx::kLayoutRLE8);
  header.biSizeImage = 8;
  std::vector<unsigned char> bits(8, 0x11);
  stdfx::CDIB mask(&header, bits.data());
  ASSERT_TRUE(mask.IsValidDIB());
  const double square[] = {-1, -1, 20, -1, 20, 20, -1, 20};
  CScanConvert converter;
  EXPECT_TRUE(converter.FillPolygon(&mask, square, 4));
  EXPECT_EQ(bits, std::vector<unsigned char>(8, 0x11));
  stdfx::CDIB empty;
  EXPECT_TRUE(converter.FillPolygon(nullptr, square, 4));
  EXPECT_TRUE(converter.FillPolygon(&empty, square, 4));
  EXPECT_TRUE(converter.FillPolygon(&empty, square, 1));
}

}  // namespace
