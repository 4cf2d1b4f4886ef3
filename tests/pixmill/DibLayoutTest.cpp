// Strides, sizes and limits of image headers, and CopyBack. Expected strides
// use the Windows formula ((w * bits + 31) / 32) * 4, independently of the
// library's arithmetic. (Field layouts are walked by the conversions and the
// renders through the module.)
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "ImageTestUtil.h"
#include "stdfx/DIB.h"
#include "stdfx/DibFunctions.h"

namespace {

using pixmill_test::MakeHeader;
using pixmill_test::MakeYUVHeader;
using stdfx::CDIB;

int WindowsStride(int width, int bits) { return (width * bits + 31) / 32 * 4; }

constexpr DWORD RGB = stdfx::kLayoutRGB, YUV = stdfx::kLayoutYUV;

TEST(Strides, StrideAndSize) {
  const struct {
    int width, height, bits;
    DWORD layout, hsub, rowPitch;  // hsub: YUV only; rowPitch: byte 128
    bool twoFields;
    int wantBytesPerPixel, wantStride;
    DWORD wantSize;
  } cases[] = {
      // Windows rows: padded to 4 bytes.
      {1, 3, 8, RGB, 0, 0, false, 1, WindowsStride(1, 8), 3u * WindowsStride(1, 8)},
      {241, 209, 8, RGB, 0, 0, false, 1, WindowsStride(241, 8), 209u * WindowsStride(241, 8)},
      {241, 209, 32, RGB, 0, 0, false, 4, 964, 209u * 964},
      {3, -4, 24, RGB, 0, 0, false, 3, WindowsStride(3, 24), 4u * WindowsStride(3, 24)},
      {33, 1, 1, RGB, 0, 0, false, 0, WindowsStride(33, 1), 8},
      {3, 1, 16, RGB, 0, 0, false, 2, WindowsStride(3, 16), 8},
      // A host pitch at least the row payload is the row distance, padded or
      // not; one below the payload is ignored.
      {720, 576, 32, RGB, 0, 3000, false, 4, 3000, 576u * 3000},
      {3, 2, 24, RGB, 0, 9, false, 3, 9, 18},
      {720, 576, 32, RGB, 0, 2000, false, 4, 2880, 576u * 2880},
      // Two fields: the line pitch is half the buffer row pitch, the size the same.
      {720, 576, 32, RGB, 0, 0, true, 4, 1440, 576u * 2880},
      {241, 5, 8, RGB, 0, 0, true, 1, 122, 5u * 244},
      {720, 576, 32, RGB, 0, 3000, true, 4, 1500, 576u * 3000},
      {720, 576, 32, RGB, 0, 3001, true, 4, 1440, 576u * 2880},
      // Packed 4:2:2: four bytes per pair of pixels, whatever biBitCount says.
      {720, 576, 24, YUV, 512, 0, false, 2, 1440, 576u * 1440},
      {7, 1, 24, YUV, 512, 0, false, 2, 16, 16},
      {720, 1, 24, YUV, 16, 0, false, 3, 2160, 2160},
      {5, 1, 32, stdfx::kLayoutYUVAZ, 512, 0, false, 4, 20, 20},
      // The largest sides.
      {16384, -16384, 8, RGB, 0, 0, false, 1, 16384, 16384u * 16384},
      {16384, -16384, 32, RGB, 0, 0, false, 4, 65536, 65536u * 16384}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << "x" << c.bits << " pitch "
                                      << c.rowPitch << (c.twoFields ? " fields" : ""));
    tagYUVBMINFOHEADER y = MakeYUVHeader(c.width, c.height, c.bits, c.hsub);
    y.vf.biCompression = c.layout;
    if (c.layout != stdfx::kLayoutYUV && c.layout != stdfx::kLayoutYUVAZ) y.vf.biSize = 144;
    y.vf.vfRowPitch = c.rowPitch;
    y.vf.vfFormatFlag = c.twoFields ? stdfx::kFormatTwoFields : 0;
    EXPECT_TRUE(stdfx::IsDIBHeaderSane(&y.vf));
    EXPECT_EQ(std::tuple(stdfx::DIBBytesPerPixel(&y.vf), stdfx::DIBBytesPerLine(&y.vf),
                         stdfx::DIBSize(&y.vf)),
              std::tuple(c.wantBytesPerPixel, c.wantStride, c.wantSize));
  }
}

TEST(Strides, CompressedLayoutsMeasureTheEncodedSize) {
  tagVFBMINFOHEADER h = MakeHeader(241, 209, 8, stdfx::kLayoutRLE8);
  h.biSizeImage = 1234;
  h.vfRowPitch = 5000;  // ignored: the stride is that of the decoded image
  EXPECT_TRUE(stdfx::DIBSize(&h) == 1234u && stdfx::DIBBytesPerLine(&h) == WindowsStride(241, 8));
}

TEST(Limits, AbsurdHeadersAreRefusedEverywhere) {
  const struct {
    int width, height, bits;
    DWORD layout, sizeImage, rowPitch;
  } cases[] = {{-1, 4, 8, RGB, 0, 0},
               {16385, 1, 8, RGB, 0, 0},
               {1, -16385, 8, RGB, 0, 0},
               {1, INT_MIN, 8, RGB, 0, 0},
               {INT_MAX, 1, 32, RGB, 0, 0},
               {4, 4, 7, RGB, 0, 0},
               // 16384 lines of 131072 bytes: 2^31, beyond a signed count.
               {16, 16384, 8, RGB, 0, 131072},
               {16, 2, 8, RGB, 0, 0xFFFFFFFF},
               {4, 4, 8, stdfx::kLayoutRLE8, 0xFFFFFFFF, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << "x" << c.bits);
    tagVFBMINFOHEADER h = MakeHeader(c.width, c.height, c.bits, c.layout);
    h.biSizeImage = c.sizeImage;
    h.vfRowPitch = c.rowPitch;
    EXPECT_FALSE(stdfx::IsDIBHeaderSane(&h));
    EXPECT_TRUE(stdfx::DIBSize(&h) == 0u && stdfx::DIBBytesPerLine(&h) == 0 &&
                stdfx::DIBFieldOffsetL(&h, -1) == -1);
    // A refused Create also releases what the image held.
    CDIB held(MakeHeader(4, 4, 8));
    EXPECT_FALSE(held.Create(h) || held.IsValidDIB());
  }
  EXPECT_FALSE(stdfx::IsDIBHeaderSane(nullptr));
  EXPECT_TRUE(stdfx::DIBSize(nullptr) == 0 && stdfx::DIBBytesPerLine(nullptr) == 0 &&
              stdfx::DIBBytesPerPixel(nullptr) == 0 && stdfx::DIBFieldOffset1(nullptr, 0) == 0);
  EXPECT_TRUE(stdfx::DIBField1stLine(nullptr, 0) == -1 && stdfx::DIBFieldLstLine(nullptr, 0) == -1);
}

TEST(CopyBack, CopiesTheSmallerRowAndTheAlphaPlanes) {
  // Source 5 pixels wide, destination 3: three pixels of each line arrive.
  tagVFBMINFOHEADER sh = MakeHeader(5, 2, 32);
  tagVFBMINFOHEADER dh = MakeHeader(3, 2, 32);
  unsigned char srcAlpha[2 * 8], dstAlpha[2 * 4 + 1];
  for (int i = 0; i < 16; ++i) srcAlpha[i] = std::uint8_t(100 + i);
  std::memset(dstAlpha, 0, sizeof dstAlpha);
  sh.vfAlphaBytes = srcAlpha;
  sh.vfAlphaBytesPerLine = 8;
  dh.vfAlphaBytes = dstAlpha;
  dh.vfAlphaBytesPerLine = 4;
  std::vector<unsigned char> sb(2 * 20), db(2 * 12 + 4, 0);
  for (std::size_t i = 0; i < sb.size(); ++i) sb[i] = std::uint8_t(i + 1);
  ASSERT_TRUE(stdfx::CopyBack(&dh, db.data(), &sh, sb.data(), -1));
  for (int y = 0; y < 2; ++y) {
    for (int i = 0; i < 12; ++i)
      EXPECT_EQ(db[std::size_t(y * 12 + i)], sb[std::size_t(y * 20 + i)]);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(dstAlpha[y * 4 + x], srcAlpha[y * 8 + x]);
    EXPECT_EQ(dstAlpha[y * 4 + 3], 0);
  }
  EXPECT_EQ(db[24], 0);  // nothing beyond the destination's buffer
}

TEST(CopyBack, RefusesMismatchedOrCompressedImages) {
  unsigned char a[64] = {}, b[64];
  std::memset(b, 0x77, sizeof b);
  const tagVFBMINFOHEADER h3 = MakeHeader(4, 3, 8), h4 = MakeHeader(4, 4, 8);
  tagVFBMINFOHEADER rle = MakeHeader(4, 3, 8, stdfx::kLayoutRLE8);
  rle.biSizeImage = 10;
  EXPECT_FALSE(stdfx::CopyBack(&h3, b, &h4, a, -1));
  EXPECT_FALSE(stdfx::CopyBack(&rle, b, &h3, a, -1));
  EXPECT_FALSE(stdfx::CopyBack(&h3, b, &rle, a, -1));
  EXPECT_FALSE(stdfx::CopyBack(&h3, nullptr, &h3, a, -1));
  EXPECT_FALSE(stdfx::CopyBack(nullptr, b, &h3, a, -1));
  for (unsigned char v : b) EXPECT_EQ(v, 0x77);
}

}  // namespace
