// Conversions between 32-bit RGB and packed 4:2:2 YUV, and between RGB
// images of other depths, row orders and field layouts: published colour
// values, round trips within a stated tolerance, fields, refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "ImageTestUtil.h"
#include "stdfx/DIB.h"
#include "stdfx/RGB2YUV.h"
#include "stdfx/YUV2RGB.h"

namespace {

using pixmill_test::MakeHeader, stdfx::CDIB;
using Bytes = std::vector<std::uint8_t>;

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

}  // namespace
