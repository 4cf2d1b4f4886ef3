// The image object: strides, sizes and limits of its headers, attaching to
// the caller's header, CopyBack, copies, pixels and alpha conversions.
// Memory errors (a freed attachment, a copy that shares storage) are caught
// by the sanitizer build.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <tuple>
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

constexpr DWORD RGB = stdfx::kLayoutRGB, YUV = stdfx::kLayoutYUV, RLE = stdfx::kLayoutRLE8;

// Expected strides are worked out by hand from the Windows rule (rows of
// w x bits rounded up to 4 bytes), the host's pitch, half the pitch per line
// for two fields, 4 bytes per pixel pair for packed 4:2:2; a header the
// library cannot address has none and is not attached (an empty one is
// kept). Attaching never touches pixel memory.
TEST(Headers, StridesSizesLimitsAndAttaching) {
  const struct {
    int width, height, bits;
    DWORD layout, hsub, pitch, sizeImage;  // hsub: YUV only
    bool fields;
    int bpp, stride;  // stride 0: refused
    DWORD size;
  } cases[] = {{1, 3, 8, RGB, 0, 0, 0, false, 1, 4, 12},
               {3, -4, 24, RGB, 0, 0, 0, false, 3, 12, 48},
               {241, 209, 8, RGB, 0, 0, 0, false, 1, 244, 209u * 244},
               {33, 1, 1, RGB, 0, 0, 0, false, 0, 8, 8},
               {3, 1, 16, RGB, 0, 0, 0, false, 2, 8, 8},
               // A host pitch at least the row payload is the row distance.
               {720, 576, 32, RGB, 0, 3000, 0, false, 4, 3000, 576u * 3000},
               {3, 2, 24, RGB, 0, 9, 0, false, 3, 9, 18},
               {720, 576, 32, RGB, 0, 2000, 0, false, 4, 2880, 576u * 2880},
               // Two fields: lines half the buffer row apart (an odd host pitch is ignored).
               {720, 576, 32, RGB, 0, 0, 0, true, 4, 1440, 576u * 2880},
               {720, 576, 32, RGB, 0, 3000, 0, true, 4, 1500, 576u * 3000},
               {720, 576, 32, RGB, 0, 3001, 0, true, 4, 1440, 576u * 2880},
               // Packed 4:2:2 whatever biBitCount says; 4:4:4 by its bits.
               {720, 576, 24, YUV, 512, 0, 0, false, 2, 1440, 576u * 1440},
               {7, 1, 24, YUV, 512, 0, 0, false, 2, 16, 16},
               {720, 1, 24, YUV, 16, 0, 0, false, 3, 2160, 2160},
               {5, 1, 32, stdfx::kLayoutYUVAZ, 512, 0, 0, false, 4, 20, 20},
               // Encoded: the encoded size, the decoded stride (a host pitch ignored).
               {16, 4, 8, RLE, 0, 0, 6, false, 1, 16, 6},
               {241, 209, 8, RLE, 0, 5000, 1234, false, 1, 244, 1234},
               // The largest sides.
               {16384, -16384, 8, RGB, 0, 0, 0, false, 1, 16384, 16384u * 16384},
               {16384, 16384, 32, RGB, 0, 0, 0, false, 4, 65536, 65536u * 16384},
               // Refused: sides, depths, sizes past a signed 32-bit count, an absurd encoded size.
               {16385, 2, 32, RGB, 0, 0, 0, false, 0, 0, 0},
               {2, -16385, 8, RGB, 0, 0, 0, false, 0, 0, 0},
               {1, INT_MIN, 8, RGB, 0, 0, 0, false, 0, 0, 0},
               {-1, 2, 32, RGB, 0, 0, 0, false, 0, 0, 0},
               {INT_MAX, 1, 32, RGB, 0, 0, 0, false, 0, 0, 0},
               {4, 4, 7, RGB, 0, 0, 0, false, 0, 0, 0},
               {16384, 16384, 32, RGB, 0, 0x20000, 0, false, 0, 0, 0},
               {1, 2, 8, RGB, 0, 0xFFFFFFFF, 0, false, 0, 0, 0},
               {16, 4, 8, RLE, 0, 0, 0x7FFFFFFF, false, 0, 0, 0},
               // Empty: refused as a format but attached.
               {0, INT_MAX, 32, RGB, 0, 0, 0, false, 0, 0, 0}};
  unsigned char bits[1] = {};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << "x" << c.bits << " pitch "
                                      << c.pitch << (c.fields ? " fields" : ""));
    tagYUVBMINFOHEADER y = pixmill_test::MakeYUVHeader(c.width, c.height, c.bits, c.hsub);
    tagVFBMINFOHEADER& h = y.vf;
    h.biCompression = c.layout;
    if (c.layout != YUV && c.layout != stdfx::kLayoutYUVAZ) h.biSize = 144;
    h.vfRowPitch = c.pitch;
    h.biSizeImage = c.sizeImage;
    h.vfFormatFlag = c.fields ? stdfx::kFormatTwoFields : 0;
    const bool empty = c.width == 0 || c.height == 0 || c.bits == 0;
    EXPECT_EQ(stdfx::IsDIBHeaderSane(&h), c.stride != 0);
    EXPECT_EQ(
        std::tuple(stdfx::DIBBytesPerPixel(&h), stdfx::DIBBytesPerLine(&h), stdfx::DIBSize(&h)),
        std::tuple(c.bpp, c.stride, c.size));
    const CDIB image(&h, bits);
    ASSERT_EQ(image.IsAttached(), c.stride != 0 || empty);
    if (c.stride != 0) {
      EXPECT_EQ(image.GetVfBmiHeader(), &h);
      EXPECT_EQ(std::tuple(image.DIBBytesPerLine(), image.DIBSize()), std::tuple(c.stride, c.size));
    } else if (empty) {
      EXPECT_EQ(image.GetVfBmiHeader(), &h);
    } else {
      EXPECT_EQ(image.GetVfBmiHeader(), nullptr);
      EXPECT_EQ(image.GetBytes(), nullptr);
      EXPECT_EQ(stdfx::DIBFieldOffsetL(&h, -1), -1);
      CDIB held(MakeHeader(4, 4, 8));  // a refused Create releases what the image held
      EXPECT_FALSE(held.Create(h));
      EXPECT_FALSE(held.IsValidDIB());
    }
  }
  EXPECT_FALSE(stdfx::IsDIBHeaderSane(nullptr));
  // Size, bytes per line and per pixel, first field's offset and line.
  EXPECT_EQ(std::tuple(stdfx::DIBSize(nullptr), stdfx::DIBBytesPerLine(nullptr),
                       stdfx::DIBBytesPerPixel(nullptr), stdfx::DIBFieldOffset1(nullptr, 0),
                       stdfx::DIBField1stLine(nullptr, 0)),
            std::tuple(0u, 0, 0, 0, -1));
}

// Source 5 pixels wide, destination 3: three pixels and alpha bytes of each
// line arrive, nothing beyond the destination; mismatched heights and
// encoded images are refused and leave the destination alone.
TEST(CopyBack, CopiesTheSmallerRowAndTheAlphaPlanesAndRefusesMismatches) {
  tagVFBMINFOHEADER sh = MakeHeader(5, 2, 32), dh = MakeHeader(3, 2, 32);
  unsigned char srcAlpha[2 * 8], dstAlpha[2 * 4 + 1] = {};
  for (int i = 0; i < 16; ++i) srcAlpha[i] = std::uint8_t(100 + i);
  sh.vfAlphaBytes = srcAlpha;
  sh.vfAlphaBytesPerLine = 8;
  dh.vfAlphaBytes = dstAlpha;
  dh.vfAlphaBytesPerLine = 4;
  std::vector<unsigned char> sb(2 * 20), db(2 * 12 + 4, 0);
  for (std::size_t i = 0; i < sb.size(); ++i) sb[i] = std::uint8_t(i + 1);
  ASSERT_TRUE(stdfx::CopyBack(&dh, db.data(), &sh, sb.data(), -1));
  for (int i = 0; i < 28; ++i)  // byte i % 12 of line i / 12; nothing after the last line
    EXPECT_EQ(db[std::size_t(i)], i < 24 ? sb[std::size_t(i / 12 * 20 + i % 12)] : 0) << i;
  for (int i = 0; i < 9; ++i)
    EXPECT_EQ(dstAlpha[i], i % 4 < 3 && i < 8 ? srcAlpha[i / 4 * 8 + i % 4] : 0) << i;
  unsigned char a[64] = {}, b[64];
  std::memset(b, 0x77, sizeof b);
  const tagVFBMINFOHEADER h3 = MakeHeader(4, 3, 8), h4 = MakeHeader(4, 4, 8);
  tagVFBMINFOHEADER rle = MakeHeader(4, 3, 8, RLE);
  rle.biSizeImage = 10;
  EXPECT_FALSE(stdfx::CopyBack(&h3, b, &h4, a, -1));
  EXPECT_FALSE(stdfx::CopyBack(&rle, b, &h3, a, -1));
  EXPECT_FALSE(stdfx::CopyBack(&h3, b, &rle, a, -1));
  EXPECT_FALSE(stdfx::CopyBack(&h3, nullptr, &h3, a, -1));
  EXPECT_FALSE(stdfx::CopyBack(nullptr, b, &h3, a, -1));
  EXPECT_EQ(std::vector<unsigned char>(b, b + 64), std::vector<unsigned char>(64, 0x77));
}

}  // namespace
