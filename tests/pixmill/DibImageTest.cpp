// The image object: copies, pixels and alpha conversions.
// Memory errors (a freed attachment, a copy that shares storage) are caught
// by the sanitizer build.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "ImageTestUtil.h"
#include "stdfx/DIB.h"
#include "stdfx/DibFunctions.h"

namespace {

using pixmill_test::MakeHeader, pixmill_test::MakeYUVHeader, pixmill_test::PixelBytes, stdfx::CDIB;
using Bytes = std::vector<unsigned char>;

void FillPattern(CDIB& image, unsigned seed) {
  std::mt19937 rng(seed);
  for (DWORD i = 0; i < image.DIBSize(); ++i) image.GetBytes()[i] = std::uint8_t(rng());
}

// A copy by constructor, CopyDIB or assignment (way 0, 1, 2) of src.
CDIB CopyOf(const CDIB& src, int way) {
  if (way == 0) return CDIB(src);
  CDIB d(MakeHeader(1, 1, 8));
  EXPECT_TRUE(way != 1 || d.CopyDIB(src));
  if (way == 2) d = src;
  return d;
}

TEST(Copies, CopyIsIndependentAndKeepsAHostPitch) {
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    CDIB src(MakeHeader(7, -3, 32));
    FillPattern(src, 7);
    src.ncbwSetAlphaPremultiplied();
    CDIB copy = CopyOf(src, way);
    ASSERT_TRUE(copy.IsCreated());
    ASSERT_NE(copy.GetBytes(), src.GetBytes());
    EXPECT_EQ(0, std::memcmp(copy.GetVfBmiHeader(), src.GetVfBmiHeader(), 144));
    const Bytes before = PixelBytes(src);
    EXPECT_EQ(PixelBytes(copy), before);
    src.ClearDIB(-1, 0x11223344);
    src.ncbwSetAlphaStraight();
    src.FreeDIB();
    EXPECT_EQ(PixelBytes(copy), before);
    EXPECT_TRUE(copy.DIBAlphaIsPremultiplied());
    tagVFBMINFOHEADER h = MakeHeader(3, 2, 32);
    h.vfRowPitch = 16;
    unsigned char frame[32];
    for (int i = 0; i < 32; ++i) frame[i] = std::uint8_t(i);
    const CDIB host = CopyOf(CDIB(&h, frame), way);
    EXPECT_EQ(host.DIBBytesPerLine(), 16);
    EXPECT_EQ(std::memcmp(host.GetBytes(), frame, 32), 0);
  }
}

TEST(Copies, SelfViewsAndEncodedLayouts) {
  CDIB image(MakeHeader(4, 4, 8));
  FillPattern(image, 3);
  unsigned char* bits = image.GetBytes();
  const Bytes before = PixelBytes(image);
  EXPECT_TRUE(image.CopyDIB(image));
  CDIB& self = image;  // a plain `image = image` draws a compiler warning
  image = self;
  EXPECT_EQ(image.GetBytes(), bits);
  const CDIB view(image.GetVfBmiHeader(), image.GetBytes());
  ASSERT_TRUE(image.CopyDIB(view));  // the view's memory is released after copying
  EXPECT_EQ(PixelBytes(image), before);
  // Encoded layouts copy their encoded bytes; masks and encoded layouts
  // ignore whatever their alpha-plane fields hold (records come from outside).
  for (const DWORD layout : {stdfx::kLayoutRGB, stdfx::kLayoutRLE8}) {
    tagVFBMINFOHEADER h = MakeHeader(16, 4, 8, layout);
    unsigned char data[64] = {16, 9, 0, 0, 0, 1};
    if (layout == stdfx::kLayoutRLE8) h.biSizeImage = 6;
    h.vfAlphaBytesPerLine = 4096;
    h.vfAlphaBytes = reinterpret_cast<unsigned char*>(std::uintptr_t{0x10});  // wild
    const CDIB record(&h, data), copy(record);
    ASSERT_TRUE(copy.IsValidDIB()) << layout;
    EXPECT_EQ(copy.DIBSize(), layout == stdfx::kLayoutRLE8 ? 6u : 64u) << layout;
    EXPECT_EQ(std::memcmp(copy.GetBytes(), data, 6), 0) << layout;
    EXPECT_EQ(copy.DIBAlphaBytes(), nullptr) << layout;
  }
}

TEST(PixelAccess, OutsideTheImageAndClear) {
  CDIB mask(MakeHeader(5, 3, 8));
  ASSERT_TRUE(mask.ClearDIB(-1, 0x1FF));  // the value's low byte; padding left alone
  EXPECT_EQ(mask.GetBytes()[4], 0xFF);
  EXPECT_EQ(mask.GetBytes()[5], 0);
  int r = 7, g = 7, b = 7;
  for (const auto& [x, y] : {std::pair{-1, 0}, {5, 0}, {0, 3}, {INT_MIN, INT_MIN}, {260, 259}}) {
    EXPECT_EQ(mask.GetDIBByte(x, y), 0) << x;
    EXPECT_FALSE(mask.GetDIBColor(x, y, r, g, b)) << x;
    EXPECT_EQ(r, 7) << x;
  }
  CDIB empty;
  const CDIB yuv(MakeYUVHeader(4, 2, 24, stdfx::kSub422UYVY).vf);  // no colour in a YUV image
  EXPECT_EQ(empty.GetDIBByte(0, 0), 0);
  EXPECT_FALSE(empty.GetDIBColor(0, 0, r, g, b));
  EXPECT_FALSE(yuv.GetDIBColor(0, 0, r, g, b));
  EXPECT_FALSE(empty.ClearDIB(-1, 0));
  CDIB image(MakeHeader(3, 5, 32));  // a field's lines get the value's bytes
  ASSERT_TRUE(image.ClearDIB(-1, 0x44332211));
  ASSERT_TRUE(image.ClearDIB(1, 0));
  const unsigned char want[4] = {0x11, 0x22, 0x33, 0x44};
  for (int line = 0; line < 5; ++line)
    for (int k = 0; k < 12; ++k)
      EXPECT_EQ(image.GetBytes()[line * 12 + k], line % 2 ? 0 : want[k % 4]) << line;
}

// Every colour value (in all three channels) at every alpha, one row per
// alpha, against real arithmetic: premultiplied c * a / 255 and straight
// p * 255 / a (capped at 255, 0 for a = 0), both rounded half up.
TEST(Alpha, PremultiplyAndStraightenEveryValueAgainstRealArithmetic) {
  CDIB image(MakeHeader(256, 256, 32));
  std::uint32_t* px = reinterpret_cast<std::uint32_t*>(image.GetBytes());
  for (std::uint32_t a = 0; a < 256; ++a)
    for (std::uint32_t c = 0; c < 256; ++c) px[a * 256 + c] = a << 24 | c * 0x010101u;
  ASSERT_TRUE(image.ConvertAlphaToPremultiplied(-1));
  ASSERT_TRUE(image.DIBAlphaIsPremultiplied());
  for (int pass = 0; pass < 2; ++pass) {
    for (int a = 0; a < 256; ++a)
      for (int c = 0; c < 256; ++c) {
        const int p = int(std::floor(c * a / 255.0 + 0.5));
        const int s = a == 0 ? 0 : std::min(255, int(std::floor(p * 255.0 / a + 0.5)));
        ASSERT_EQ(px[a * 256 + c], std::uint32_t(a) << 24 | std::uint32_t(pass ? s : p) * 0x010101u)
            << "c " << c << " a " << a << " pass " << pass;
      }
    if (pass) break;
    ASSERT_TRUE(image.ConvertAlphaToStraight(-1));
    ASSERT_TRUE(image.DIBAlphaIsStraight());
  }
}

}  // namespace
