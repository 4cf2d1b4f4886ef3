// The image object: strides, sizes and limits of its headers, attaching to
// the caller's header, CopyBack, copies, pixels and alpha conversions;
// conversions between 32-bit RGB and packed 4:2:2 YUV, and between RGB
// images of other depths, row orders and field layouts (published colour
// values, round trips within a stated tolerance, fields, refusals); images
// from module resources and drawing to the desktop surface. Memory errors
// (a freed attachment, a copy that shares storage) are caught by the
// sanitizer build.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "ImageTestUtil.h"
#include "stdfx/DIB.h"
#include "stdfx/DibFunctions.h"
#include "stdfx/RGB2YUV.h"
#include "stdfx/YUV2RGB.h"
#include "win/WinDesktop.h"
#include "win/WinResource.h"

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

// A shifted copy, from another image, from itself or from a view of its
// memory (rows top-down and bottom-up): pixel (x, y) is the source's
// (x - dx, y - dy), 0 where that lies outside.
TEST(PixelAccess, CopyOffsetFromAnotherImageItselfOrAView) {
  for (const int height : {5, -5})
    for (const auto& [dx, dy] : {std::pair{2, 1}, {-3, -2}, {0, 0}, {9, 0}, {INT_MIN, 3}}) {
      CDIB source(MakeHeader(9, height, 8));
      FillPattern(source, 4);
      CDIB other, self(source), viewed(source);
      const CDIB view(viewed.GetVfBmiHeader(), viewed.GetBytes());
      ASSERT_TRUE(other.CopyDIBOffset(source, dx, dy) && self.CopyDIBOffset(self, dx, dy) &&
                  viewed.CopyDIBOffset(view, dx, dy));
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x) {
          const std::int64_t sx = std::int64_t(x) - dx, sy = std::int64_t(y) - dy;
          const int want =
              sx < 0 || sx >= 9 || sy < 0 || sy >= 5 ? 0 : source.GetDIBByte(int(sx), int(sy));
          for (const CDIB* image : {&other, &self, &viewed})
            ASSERT_EQ(image->GetDIBByte(x, y), want) << x << "," << y << " by " << dx << "," << dy;
        }
    }
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
    const bool empty = c.width == 0 || c.height == 0 || c.bits == 0, attached = c.stride || empty;
    EXPECT_EQ(stdfx::IsDIBHeaderSane(&h), c.stride != 0);
    EXPECT_EQ(
        std::tuple(stdfx::DIBBytesPerPixel(&h), stdfx::DIBBytesPerLine(&h), stdfx::DIBSize(&h)),
        std::tuple(c.bpp, c.stride, c.size));
    const CDIB image(&h, bits);
    ASSERT_EQ(image.IsAttached(), attached);
    EXPECT_EQ(image.GetVfBmiHeader(), attached ? &h : nullptr);
    if (c.stride != 0) {
      EXPECT_EQ(std::tuple(image.DIBBytesPerLine(), image.DIBSize()), std::tuple(c.stride, c.size));
    } else if (!empty) {
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

// ---- Conversions ----

tagYUVBMINFOHEADER YuvHeader(int width, int height, int bits, DWORD colorSpace,
                             DWORD hsub = stdfx::kSub422UYVY) {
  tagYUVBMINFOHEADER h = pixmill_test::MakeYUVHeader(width, height, bits, hsub);
  h.yuvColorSpaceID = colorSpace;
  return h;
}

// Pixel (x, y) as displayed (y = 0 the top line) of a 32-bit RGB image.
std::uint8_t* Pixel(const CDIB& image, int x, int y) {
  const int line = image.IsDIBBottomUp() ? image.DIBHeight() - 1 - y : y;
  return image.GetBytes() + line * image.DIBBytesPerLine() + 4 * x;
}

// Random colours, the same for both pixels of each pair (the last pixel of
// an odd row alone), so 4:2:2 sub-sampling loses nothing.
void FillPairs(CDIB& image, unsigned seed) {
  std::mt19937 rng(seed);
  for (int y = 0; y < image.DIBHeight(); ++y)
    for (int x = 0; x < image.DIBWidth(); x += 2) {
      const std::uint32_t v = rng();
      for (int k = x; k < std::min(x + 2, int(image.DIBWidth())); ++k)
        std::memcpy(Pixel(image, k, y), &v, 4);
    }
}

// Studio-range values of the colour bars as the two recommendations give
// them (rounded to 8 bits); a pair's chroma is that of its mean colour.
TEST(YuvConverters, PublishedValuesAndPairMeans) {
  const struct {
    unsigned id;
    int r, g, b, y, cb, cr;
  } cases[] = {{0, 255, 255, 255, 235, 128, 128}, {0, 0, 0, 0, 16, 128, 128},
               {0, 255, 0, 0, 81, 90, 240},       {0, 0, 255, 0, 145, 54, 34},
               {0, 0, 0, 255, 41, 240, 110},      {0, 255, 255, 0, 210, 16, 146},
               {0, 0, 255, 255, 170, 166, 16},    {0, 255, 0, 255, 106, 202, 222},
               {2, 255, 255, 255, 235, 128, 128}, {2, 0, 0, 0, 16, 128, 128},
               {2, 255, 0, 0, 63, 102, 240},      {2, 0, 255, 0, 173, 42, 26},
               {2, 0, 0, 255, 32, 240, 118}};
  for (const auto& c : cases) {
    const std::uint8_t pair[8] = {std::uint8_t(c.b), std::uint8_t(c.g), std::uint8_t(c.r), 200,
                                  std::uint8_t(c.b), std::uint8_t(c.g), std::uint8_t(c.r), 100};
    std::uint8_t uyvy[4] = {}, alpha[2] = {};
    stdfx::CRGB2YUV conv(1);  // refused, then assigned a valid one
    conv = stdfx::CRGB2YUV(c.id);
    conv.ConvertRow(pair, 2, uyvy, alpha);
    EXPECT_EQ(Bytes(uyvy, uyvy + 4),
              (Bytes{std::uint8_t(c.cb), std::uint8_t(c.y), std::uint8_t(c.cr), std::uint8_t(c.y)}))
        << c.id << ": " << c.r << " " << c.g << " " << c.b;
    EXPECT_EQ(Bytes(alpha, alpha + 2), (Bytes{200, 100}));
  }
  // Red then blue: (81, 90, 240) and (41, 240, 110) average to 165 and 175.
  const std::uint8_t rb[8] = {0, 0, 255, 255, 255, 0, 0, 255};
  std::uint8_t uyvy[4];
  stdfx::CRGB2YUV(0).ConvertRow(rb, 2, uyvy, nullptr);
  EXPECT_EQ(Bytes(uyvy, uyvy + 4), (Bytes{165, 81, 175, 41}));
}

// Other colour spaces are refused and write nothing; byte combinations stay
// inside the clamp table (the sanitizer sees a read outside), and the
// extremes of blue clamp to 0 and 255.
TEST(YuvConverters, OtherColourSpacesAreRefusedAndExtremesClamp) {
  for (unsigned id : {1u, 3u, 4u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(stdfx::CRGB2YUV(id).IsValid());
    EXPECT_FALSE(stdfx::CYUV2RGB(id).IsValid());
    std::uint8_t out[4] = {7, 7, 7, 7};
    const std::uint8_t in[4] = {1, 2, 3, 4};
    stdfx::CRGB2YUV(id).ConvertRow(in, 1, out, nullptr);
    EXPECT_EQ(out[0], 7);
  }
  const stdfx::CYUV2RGB original(2), copy(original);
  stdfx::CYUV2RGB conv(0);
  conv = copy;  // copies and assignments convert as the original
  std::uint8_t px[8], want[8];
  for (int y : {0, 128, 255})
    for (int cb = 0; cb < 256; cb += 15)
      for (int cr = 8; cr < 256; cr += 15) {
        const std::uint8_t uyvy[4] = {std::uint8_t(cb), std::uint8_t(y), std::uint8_t(cr),
                                      std::uint8_t(y)};
        conv.ConvertRow(uyvy, nullptr, 2, px);
        original.ConvertRow(uyvy, nullptr, 2, want);
        ASSERT_EQ(px[3], 255) << cb << " " << cr;
        ASSERT_EQ(std::memcmp(px, want, 8), 0) << cb << " " << cr;
        ASSERT_TRUE(cr != 128 || cb != y || y == 128 || px[0] == y);  // blue clamps
      }
}

// The largest channel error of RGB -> YUV -> RGB on pair-constant colours:
// luma has 219 levels and chroma 224 for 256, so a channel may move by up to
// about 0.6 from luma and 0.6 x 1.86 from chroma before rounding.
constexpr int kRoundTripTolerance = 2;

// Whole images of random pair colours, both row orders, depths and colour
// spaces, there and back (alpha kept by the 32-bit plane, opaque without it).
TEST(YuvRoundTrip, WithinToleranceThroughImages) {
  const struct {
    int width, height, yuvBits;
    DWORD colorSpace;
    bool rgbTopDown, yuvTopDown;
  } cases[] = {{37, 5, 24, 2, false, false},
               {1, 3, 24, 0, true, false},
               {20, 7, 32, 2, false, true},
               {21, 6, 24, 0, true, true}};
  for (const auto& p : cases) {
    CDIB rgb(MakeHeader(p.width, p.rgbTopDown ? -p.height : p.height, 32));
    FillPairs(rgb, unsigned(p.width * 131 + p.height));
    const auto yh =
        YuvHeader(p.width, p.yuvTopDown ? -p.height : p.height, p.yuvBits, p.colorSpace);
    CDIB yuv, back;
    ASSERT_TRUE(yuv.CreateAndConvert(yh.vf, rgb, -1));
    EXPECT_TRUE(yuv.IsYUV422UYVY());
    EXPECT_EQ(yuv.YUVColorSpaceID(), p.colorSpace);
    EXPECT_EQ(yuv.DIBAlphaBytes() != nullptr, p.yuvBits == 32);
    ASSERT_TRUE(back.CreateAndConvert(*rgb.GetVfBmiHeader(), yuv, -1));
    int worst = 0;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) {
        const std::uint8_t *a = Pixel(rgb, x, y), *b = Pixel(back, x, y);
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a[c] - b[c]));
        ASSERT_EQ(b[3], p.yuvBits == 32 ? a[3] : 255) << x << ' ' << y;
      }
    EXPECT_LE(worst, kRoundTripTolerance) << p.width << "x" << p.height;
  }
}

// Converting one field writes exactly that field's lines of the target (RGB
// or YUV with its alpha plane), as the whole conversion does, and leaves the
// other lines alone; a two-field buffer holds every line at its place.
TEST(ConvertFields, OneFieldAndTwoFieldBuffers) {
  for (const bool yuvTarget : {false, true})
    for (const int field : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << yuvTarget << " field " << field);
      const int height = 8 - field;
      CDIB src(MakeHeader(6, height, 32));  // bottom-up; the targets top-down
      FillPairs(src, 77);
      const tagYUVBMINFOHEADER yh = YuvHeader(6, -height, 32, 0);
      const tagVFBMINFOHEADER rh = MakeHeader(6, -height, 32);
      CDIB dst(yuvTarget ? yh.vf : rh), whole(yuvTarget ? yh.vf : rh);
      std::memset(dst.GetBytes(), 0xA5, dst.DIBSize());
      const int alphaPitch = int(dst.DIBAlphaBytesPerLine());
      if (yuvTarget) std::memset(dst.DIBAlphaBytes(), 0xA5, std::size_t(alphaPitch * height));
      ASSERT_TRUE(whole.Convert(src, -1, 1));
      ASSERT_TRUE(dst.Convert(src, field, 1));
      const int stride = dst.DIBBytesPerLine(), rowBytes = yuvTarget ? 12 : 24;
      for (int line = 0; line < height; ++line) {
        const bool in = (line & 1) == field;
        for (int i = 0; i < rowBytes; ++i)
          ASSERT_EQ(dst.GetBytes()[line * stride + i],
                    in ? whole.GetBytes()[line * stride + i] : 0xA5)
              << line;
        for (int x = 0; yuvTarget && x < 6; ++x)
          ASSERT_EQ(dst.DIBAlphaBytes()[line * alphaPitch + x],
                    in ? whole.DIBAlphaBytes()[line * alphaPitch + x] : 0xA5);
      }
    }
  CDIB src(MakeHeader(4, 7, 32)), fields, back;
  FillPairs(src, 12);
  tagVFBMINFOHEADER fh = MakeHeader(4, -7, 32);
  fh.vfFormatFlag = stdfx::kFormatTwoFields;
  ASSERT_TRUE(fields.CreateAndConvert(fh, src, -1));
  for (int y = 0; y < 7; ++y)  // line y: field y & 1, row y >> 1 of that field
    ASSERT_EQ(0,
              std::memcmp(fields.GetBytes() + ((y & 1) * 4 + (y >> 1)) * 16, Pixel(src, 0, y), 16))
        << y;
  ASSERT_TRUE(back.CreateAndConvert(*src.GetVfBmiHeader(), fields, -1));
  EXPECT_EQ(std::memcmp(back.GetBytes(), src.GetBytes(), src.DIBSize()), 0);
}

// Masks (plain or encoded) become grey, 24-bit RGB opaque 32-bit.
TEST(ConvertRgb, OtherDepthsAndEncodedMasks) {
  CDIB mask(MakeHeader(9, 4, 8));
  for (int i = 0; i < int(mask.DIBSize()); ++i) mask.GetBytes()[i] = std::uint8_t(i * 13);
  CDIB grey, fromEncoded;
  ASSERT_TRUE(grey.CreateAndConvert(MakeHeader(9, 4, 32), mask, -1));
  ASSERT_TRUE(mask.CompressRLE());
  ASSERT_TRUE(fromEncoded.CreateAndConvert(MakeHeader(9, 4, 32), mask, -1));
  for (int line = 0; line < 4; ++line)  // both bottom-up: the same buffer lines
    for (int x = 0; x < 9; ++x) {
      const std::uint8_t v = std::uint8_t((line * 12 + x) * 13), want[4] = {v, v, v, 255};
      for (const CDIB* image : {&grey, &fromEncoded})
        ASSERT_EQ(std::memcmp(image->GetBytes() + line * 36 + 4 * x, want, 4), 0) << line << x;
    }
  CDIB rgb24(MakeHeader(3, 2, 24)), rgb32;
  for (int i = 0; i < int(rgb24.DIBSize()); ++i) rgb24.GetBytes()[i] = std::uint8_t(i + 1);
  ASSERT_TRUE(rgb32.CreateAndConvert(MakeHeader(3, 2, 32), rgb24, -1));
  EXPECT_EQ(Bytes(rgb32.GetBytes(), rgb32.GetBytes() + 8), (Bytes{1, 2, 3, 255, 4, 5, 6, 255}));
  // Flags 1 keep the target's alpha flag, 0 take the source's.
  CDIB premultiplied(MakeHeader(2, 2, 32)), keep(premultiplied), follow(premultiplied);
  premultiplied.ncbwSetAlphaPremultiplied();
  ASSERT_TRUE(keep.Convert(premultiplied, -1, 1));
  ASSERT_TRUE(follow.Convert(premultiplied, -1, 0));
  EXPECT_TRUE(keep.DIBAlphaIsStraight());
  EXPECT_TRUE(follow.DIBAlphaIsPremultiplied());
}

TEST(ConvertRgb, RefusalsLeaveTheTargetAsItWas) {
  CDIB src(MakeHeader(8, 4, 32));
  FillPairs(src, 1);
  tagYUVBMINFOHEADER targets[] = {{},
                                  {},
                                  YuvHeader(8, 4, 32, 1),  // normalised colour space
                                  YuvHeader(8, 4, 32, 0, stdfx::kSub444),
                                  YuvHeader(8, 4, 32, 0)};
  targets[0].vf = MakeHeader(9, 4, 32);
  targets[1].vf = MakeHeader(8, 4, 8);
  targets[4].vf.biCompression = stdfx::kLayoutYUVAZ;
  for (const auto& t : targets) {
    const tagVFBMINFOHEADER& target = t.vf;  // with the YUV fields behind it
    CDIB dst(target);
    ASSERT_TRUE(dst.IsValidDIB());
    std::memset(dst.GetBytes(), 0x5C, dst.DIBSize());
    unsigned char* bits = dst.GetBytes();
    EXPECT_FALSE(dst.Convert(src, -1, 1));
    EXPECT_FALSE(dst.CreateAndConvert(target, src, -1));
    EXPECT_EQ(dst.GetBytes(), bits);  // keeps the image it had
    EXPECT_EQ(Bytes(dst.GetBytes(), dst.GetBytes() + dst.DIBSize()), Bytes(dst.DIBSize(), 0x5C));
  }
  CDIB invalid, dst(MakeHeader(8, 4, 32));
  EXPECT_FALSE(dst.Convert(invalid, -1, 1));
  EXPECT_FALSE(invalid.Convert(src, -1, 1));
}

// ---- Resources and the desktop ----

// Little-endian fields of the given byte counts, one after another from `at`.
void Put(std::vector<std::uint8_t>& v, std::size_t at,
         std::initializer_list<std::pair<std::uint64_t, int>> fields) {
  for (const auto& [value, bytes] : fields)
    for (int i = 0; i < bytes; ++i) v[at++] = std::uint8_t(value >> (8 * i));
}

// A bitmap file (with `fileHeader`) or packed bitmap of w x h pixels whose
// stored row r, byte k holds r * 37 + k.
std::vector<std::uint8_t> MakeBitmap(int w, int h, int bits, bool fileHeader,
                                     std::uint32_t infoSize = 40) {
  const std::size_t stride = std::size_t((w * bits + 31) / 32 * 4), rows = std::size_t(std::abs(h));
  const std::size_t pre = fileHeader ? 14 : 0, offBits = pre + infoSize + (bits == 8 ? 1024 : 0);
  std::vector<std::uint8_t> v(offBits + stride * rows, 0);
  // "BM", the file's size, 4 reserved bytes, where the pixels start.
  if (fileHeader) Put(v, 0, {{'B', 1}, {'M', 1}, {v.size(), 4}, {0, 4}, {offBits, 4}});
  // The info header's size, width, height, planes and bits per pixel.
  Put(v, pre, {{infoSize, 4}, {unsigned(w), 4}, {unsigned(h), 4}, {1, 2}, {unsigned(bits), 2}});
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t k = 0; k < stride; ++k) v[offBits + r * stride + k] = std::uint8_t(r * 37 + k);
  return v;
}

// A fake module handle: any distinct address identifies a module.
HINSTANCE Module(int n) {
  static char modules[8];
  return reinterpret_cast<HINSTANCE>(&modules[n]);
}

class Resources : public ::testing::Test {
 protected:
  // Registers `file` as resource 1030 of module 1 and loads it into image.
  bool Load(const std::vector<std::uint8_t>& file, CDIB& image, unsigned type = 8000) {
    table_ = {{type, 1030, file.data(), DWORD(file.size())}};
    EXPECT_TRUE(RegisterModuleResources(Module(1), table_.data(), 1));
    return image.CreateFromResource(1030, Module(1));
  }
  void TearDown() override { UnregisterModuleResources(Module(1)); }
  std::vector<RESOURCE_ENTRY> table_;
};

// Files with and without the file header, palettes, top-down rows and a
// 124-byte info header: pixels and geometry as stored.
TEST_F(Resources, LoadsPixelsAndGeometry) {
  const struct {
    int w, h, bits;
    bool fileHeader;
    std::uint32_t infoSize;
  } cases[] = {
      {5, -3, 24, true, 40}, {7, 4, 8, true, 40}, {3, 2, 32, true, 124}, {6, -2, 8, false, 40}};
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> file = MakeBitmap(c.w, c.h, c.bits, c.fileHeader, c.infoSize);
    CDIB image;
    ASSERT_TRUE(Load(file, image, c.fileHeader ? 8000u : 2u)) << c.w;
    // Created, RGB, straight alpha, not interlaced.
    EXPECT_EQ(std::tuple(image.IsCreated(), image.DIBColorSpaceRGB(), image.DIBAlphaIsStraight(),
                         image.DIBContentIsNonInterlaced()),
              std::tuple(true, true, true, true));
    // Planes, header size, width, signed height, bits per pixel.
    EXPECT_EQ(std::tuple(image.DIBPlanes(), image.GetVfBmiSize(), image.DIBWidth(),
                         image.GetVfBmiHeader()->biHeight, image.DIBBitCount()),
              std::tuple(1, 144u, c.w, c.h, c.bits));
    const std::size_t offBits = file.size() - image.DIBSize();
    EXPECT_EQ(0, std::memcmp(image.GetBytes(), file.data() + offBits, image.DIBSize()));
  }
}

// Another id or module, no module, a string name, BI_RLE8, 1 bit per pixel,
// no "BM", masks other than the standard ones: nothing is loaded and the
// image stays as it was. The standard masks load.
TEST_F(Resources, MissingForeignOrRefusedFormatsLeaveTheImage) {
  std::vector<std::uint8_t> file = MakeBitmap(4, 4, 32, true, 124);
  CDIB image(MakeHeader(2, 2, 8)), loaded;
  unsigned char* before = image.GetBytes();
  ASSERT_TRUE(Load(file, loaded));  // found as itself only
  EXPECT_FALSE(image.CreateFromResource(1031, Module(1)));
  EXPECT_FALSE(image.CreateFromResource(1030, Module(2)));
  EXPECT_FALSE(image.CreateFromResource(1030, nullptr));
  EXPECT_FALSE(image.CreateFromResource(L"WHEEL", Module(1)));
  const struct {
    std::size_t at;
    std::uint32_t value;
    int bytes;
  } edits[] = {{30, 1, 4}, {28, 1, 2}, {0, 'X', 1}, {30, BI_BITFIELDS, 4}};
  for (const auto& e : edits) {
    std::vector<std::uint8_t> bad = file;
    Put(bad, e.at, {{e.value, e.bytes}});
    if (e.value == BI_BITFIELDS) Put(bad, 54, {{0x000000FF, 4}});  // red in the low byte
    EXPECT_FALSE(Load(bad, image)) << e.at;
  }
  EXPECT_EQ(image.GetBytes(), before);
  EXPECT_EQ(image.DIBWidth(), 2);
  Put(file, 30, {{BI_BITFIELDS, 4}});
  Put(file, 54, {{0xFF0000, 4}, {0xFF00, 4}, {0xFF, 4}});  // red, green and blue masks
  EXPECT_TRUE(Load(file, image));
}

// Masks show as grey, the alpha plane as grey, packed YUV as its RGB
// conversion; drawing clips to the surface.
TEST(Desktop, DrawsMasksAlphaAndYuvAndClips) {
  // The `n` pixels from (x, y) on.
  auto at = [](int x, int y, int n = 1) {
    std::vector<std::uint32_t> v(std::size_t(n), 0xDEADBEEF);
    EXPECT_TRUE(WinDesktopRead(x, y, n, 1, v.data(), 4 * n));
    return v;
  };
  using Pixels = std::vector<std::uint32_t>;
  WinDesktopClear(0xFFFFFFFF);
  ASSERT_TRUE(WinDesktopResize(64, 48));  // a new surface, cleared
  EXPECT_EQ(at(63, 47), Pixels{0});
  CDIB mask(MakeHeader(2, -1, 8));
  mask.GetBytes()[0] = 0x10;
  mask.GetBytes()[1] = 0xF0;
  ASSERT_TRUE(mask.DrawToDesktop(0, 0, 0, 0));
  EXPECT_EQ(at(0, 0, 2), (Pixels{0xFF101010u, 0xFFF0F0F0u}));
  CDIB image(MakeHeader(2, -1, 32));
  image.ClearDIB(-1, 0x7F123456);
  ASSERT_TRUE(image.DrawDIBsAlphaToDesktop(10, 10, 0, 0));
  EXPECT_EQ(at(10, 10, 2), Pixels(2, 0xFF7F7F7Fu));
  CDIB yuv(pixmill_test::MakeYUVHeader(4, -2, 24, stdfx::kSub422UYVY).vf), rgb;
  for (DWORD i = 0; i < yuv.DIBSize(); ++i) yuv.GetBytes()[i] = std::uint8_t(40 + 13 * i);
  ASSERT_TRUE(rgb.CreateAndConvert(MakeHeader(4, -2, 32), yuv, -1));
  ASSERT_TRUE(yuv.DrawToDesktop(0, 0, 0, 0));
  const auto* converted = reinterpret_cast<const std::uint32_t*>(rgb.GetBytes());
  for (int y = 0; y < 2; ++y)  // rgb is top-down and opaque: its rows as they are
    EXPECT_EQ(at(0, y, 4), Pixels(converted + 4 * y, converted + 4 * y + 4)) << y;
  WinDesktopClear(0x00000000);
  CDIB square(MakeHeader(10, 10, 32));
  square.ClearDIB(-1, 0xFF0000FF);
  ASSERT_TRUE(square.DrawToDesktop(60, 45, 0, 0));
  ASSERT_TRUE(square.DrawToDesktop(-8, -8, 0, 0));
  EXPECT_EQ(at(63, 47), Pixels{0xFF0000FFu});
  EXPECT_EQ(at(0, 0), Pixels{0xFF0000FFu});
  EXPECT_EQ(at(2, 2), Pixels{0});
  const CDIB empty;
  EXPECT_FALSE(empty.DrawToDesktop(0, 0, 0, 0));
  EXPECT_FALSE(empty.DrawDIBsAlphaToDesktop(0, 0, 0, 0));
}

}  // namespace
