// Conversions between 32-bit RGB and packed 4:2:2 YUV, and between RGB
// images of opposite row order: published colour values, round trips
// within a stated tolerance, fields, odd widths, refusals.
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

using stdfx::CDIB;

tagVFBMINFOHEADER RgbHeader(int width, int height, int bits = 32) {
  return pixmill_test::MakeHeader(width, height, bits);
}

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
      for (int k = x; k < std::min(x + 2, static_cast<int>(image.DIBWidth())); ++k)
        std::memcpy(Pixel(image, k, y), &v, 4);
    }
}

struct Published {
  const char* name;
  int r, g, b;
  int y, cb, cr;
};

// Studio-range values of the colour bars as the two recommendations give
// them (rounded to 8 bits).
TEST(YuvConverters, PublishedValues) {
  const std::vector<Published> ccir601 = {
      {"white", 255, 255, 255, 235, 128, 128}, {"black", 0, 0, 0, 16, 128, 128},
      {"red", 255, 0, 0, 81, 90, 240},         {"green", 0, 255, 0, 145, 54, 34},
      {"blue", 0, 0, 255, 41, 240, 110},       {"yellow", 255, 255, 0, 210, 16, 146},
      {"cyan", 0, 255, 255, 170, 166, 16},     {"magenta", 255, 0, 255, 106, 202, 222},
  };
  const std::vector<Published> itu709 = {
      {"white", 255, 255, 255, 235, 128, 128}, {"black", 0, 0, 0, 16, 128, 128},
      {"red", 255, 0, 0, 63, 102, 240},        {"green", 0, 255, 0, 173, 42, 26},
      {"blue", 0, 0, 255, 32, 240, 118},
  };
  for (auto [id, table] : {std::pair{0u, ccir601}, std::pair{2u, itu709}}) {
    const stdfx::CRGB2YUV toYuv(id);
    ASSERT_TRUE(toYuv.IsValid());
    for (const auto& c : table) {
      SCOPED_TRACE(::testing::Message() << "id " << id << ' ' << c.name);
      const std::uint8_t pair[8] = {std::uint8_t(c.b), std::uint8_t(c.g), std::uint8_t(c.r), 200,
                                    std::uint8_t(c.b), std::uint8_t(c.g), std::uint8_t(c.r), 100};
      std::uint8_t uyvy[4] = {};
      std::uint8_t alpha[2] = {};
      toYuv.ConvertRow(pair, 2, uyvy, alpha);
      EXPECT_EQ(uyvy[0], c.cb);
      EXPECT_EQ(uyvy[1], c.y);
      EXPECT_EQ(uyvy[2], c.cr);
      EXPECT_EQ(uyvy[3], c.y);
      EXPECT_EQ(alpha[0], 200);
      EXPECT_EQ(alpha[1], 100);
    }
  }
}

TEST(YuvConverters, OtherColourSpacesAreRefused) {
  for (unsigned id : {1u, 3u, 4u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(stdfx::CRGB2YUV(id).IsValid());
    EXPECT_FALSE(stdfx::CYUV2RGB(id).IsValid());
    std::uint8_t out[4] = {7, 7, 7, 7};
    const std::uint8_t in[4] = {1, 2, 3, 4};
    stdfx::CRGB2YUV(id).ConvertRow(in, 1, out, nullptr);
    EXPECT_EQ(out[0], 7);
  }
}

TEST(YuvConverters, ExtremeYuvClampsAndCopiesShareTheTable) {
  const stdfx::CYUV2RGB conv(2);
  const stdfx::CYUV2RGB copy(conv);
  EXPECT_EQ(copy.GetMinMaxN256P512Table0(), conv.GetMinMaxN256P512Table0());
  // Every byte combination stays inside the table (the sanitizer checks).
  std::uint8_t px[8];
  for (int y : {0, 255})
    for (int cb = 0; cb < 256; cb += 15)
      for (int cr = 0; cr < 256; cr += 15) {
        const std::uint8_t uyvy[4] = {std::uint8_t(cb), std::uint8_t(y), std::uint8_t(cr),
                                      std::uint8_t(y)};
        copy.ConvertRow(uyvy, nullptr, 2, px);
        ASSERT_EQ(px[3], 255);
      }
  const std::uint8_t blueMax[4] = {255, 255, 128, 255};
  copy.ConvertRow(blueMax, nullptr, 1, px);
  EXPECT_EQ(px[0], 255);
  const std::uint8_t blueMin[4] = {0, 0, 128, 0};
  copy.ConvertRow(blueMin, nullptr, 1, px);
  EXPECT_EQ(px[0], 0);
}

// The largest channel error of RGB -> YUV -> RGB on pair-constant colours:
// luma has 219 levels and chroma 224 for 256, so a channel may move by up to
// about 0.6 from luma and 0.6 x 1.86 from chroma before rounding.
constexpr int kRoundTripTolerance = 2;

struct RoundTrip {
  int width;
  int height;
  int yuvBits;       // 24 or 32
  DWORD colorSpace;  // 0 or 2
  bool rgbTopDown;
  bool yuvTopDown;
};

class YuvRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(YuvRoundTrip, WithinTolerance) {
  const RoundTrip& p = GetParam();
  CDIB rgb(RgbHeader(p.width, p.rgbTopDown ? -p.height : p.height));
  ASSERT_TRUE(rgb.IsValidDIB());
  FillPairs(rgb, static_cast<unsigned>(p.width * 131 + p.height));
  tagYUVBMINFOHEADER yh =
      YuvHeader(p.width, p.yuvTopDown ? -p.height : p.height, p.yuvBits, p.colorSpace);
  CDIB yuv;
  ASSERT_TRUE(yuv.CreateAndConvert(yh.vf, rgb, -1));
  EXPECT_TRUE(yuv.IsYUV422UYVY());
  EXPECT_EQ(yuv.YUVColorSpaceID(), p.colorSpace);
  EXPECT_EQ(yuv.DIBAlphaBytes() != nullptr, p.yuvBits == 32);

  CDIB back;
  ASSERT_TRUE(back.CreateAndConvert(*rgb.GetVfBmiHeader(), yuv, -1));
  int worst = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const std::uint8_t* a = Pixel(rgb, x, y);
      const std::uint8_t* b = Pixel(back, x, y);
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a[c] - b[c]));
      ASSERT_EQ(b[3], p.yuvBits == 32 ? a[3] : 255) << x << ' ' << y;
    }
  EXPECT_LE(worst, kRoundTripTolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, YuvRoundTrip,
    ::testing::Values(RoundTrip{64, 9, 32, 0, false, false}, RoundTrip{64, 9, 24, 2, false, false},
                      RoundTrip{37, 5, 32, 2, false, false}, RoundTrip{1, 3, 24, 0, true, false},
                      RoundTrip{20, 7, 32, 2, false, true}, RoundTrip{21, 6, 24, 0, true, true}));

// Every colour of a coarse lattice, both coefficient sets: the tolerance
// holds over the whole cube, not only for random samples.
TEST(YuvRoundTripLattice, WholeCubeWithinTolerance) {
  for (unsigned id : {0u, 2u}) {
    const stdfx::CRGB2YUV toYuv(id);
    const stdfx::CYUV2RGB toRgb(id);
    int worst = 0;
    for (int r = 0; r < 256; r += 3)
      for (int g = 0; g < 256; g += 3)
        for (int b = 0; b < 256; b += 3) {
          const std::uint8_t px[4] = {std::uint8_t(b), std::uint8_t(g), std::uint8_t(r), 0};
          std::uint8_t uyvy[4];
          std::uint8_t out[4];
          toYuv.ConvertRow(px, 1, uyvy, nullptr);
          toRgb.ConvertRow(uyvy, nullptr, 1, out);
          worst =
              std::max({worst, std::abs(out[0] - b), std::abs(out[1] - g), std::abs(out[2] - r)});
        }
    EXPECT_LE(worst, kRoundTripTolerance) << "id " << id;
  }
}

// The chroma of a pair is that of its mean colour: a black-and-white pair
// gives the chroma of grey.
TEST(YuvConverters, PairChromaIsTheMean) {
  const stdfx::CRGB2YUV toYuv(0);
  const std::uint8_t bw[8] = {0, 0, 0, 255, 255, 255, 255, 255};
  std::uint8_t uyvy[4];
  toYuv.ConvertRow(bw, 2, uyvy, nullptr);
  EXPECT_EQ(uyvy[0], 128);
  EXPECT_EQ(uyvy[1], 16);
  EXPECT_EQ(uyvy[2], 128);
  EXPECT_EQ(uyvy[3], 235);
  // Red then blue: (81, 90, 240) and (41, 240, 110) average to 165 and 175.
  const std::uint8_t rb[8] = {0, 0, 255, 255, 255, 0, 0, 255};
  toYuv.ConvertRow(rb, 2, uyvy, nullptr);
  EXPECT_EQ(uyvy[0], 165);
  EXPECT_EQ(uyvy[1], 81);
  EXPECT_EQ(uyvy[2], 175);
  EXPECT_EQ(uyvy[3], 41);
}

struct FieldCase {
  int field;
  bool yuvTarget;
  int height;
};

class ConvertField : public ::testing::TestWithParam<FieldCase> {};

// Converting one field writes exactly that field's lines of the target
// (buffer lines field, field + 2, ...), each from the source line that shows
// the same row of the picture, and leaves the other lines alone.
TEST_P(ConvertField, TouchesOnlyItsField) {
  const FieldCase& c = GetParam();
  CDIB src(RgbHeader(6, c.height));  // bottom-up
  FillPairs(src, 77);
  tagYUVBMINFOHEADER yh = YuvHeader(6, -c.height, 32, 0);
  tagVFBMINFOHEADER rh = RgbHeader(6, -c.height);  // top-down: orders differ
  CDIB dst(c.yuvTarget ? yh.vf : rh);
  ASSERT_TRUE(dst.IsValidDIB());
  const int stride = dst.DIBBytesPerLine();
  std::memset(dst.GetBytes(), 0xA5, dst.DIBSize());
  if (dst.DIBAlphaBytes())
    std::memset(dst.DIBAlphaBytes(), 0xA5, dst.DIBAlphaBytesPerLine() * c.height);
  // What a whole-frame conversion makes of each line.
  CDIB whole(c.yuvTarget ? yh.vf : rh);
  ASSERT_TRUE(whole.Convert(src, -1, 1));

  ASSERT_TRUE(dst.Convert(src, c.field, 1));
  for (int line = 0; line < c.height; ++line) {
    const bool inField = (line & 1) == c.field;
    const std::uint8_t* got = dst.GetBytes() + line * stride;
    const std::uint8_t* want = whole.GetBytes() + line * stride;
    const int rowBytes = c.yuvTarget ? 12 : 24;
    for (int i = 0; i < rowBytes; ++i) {
      if (inField)
        ASSERT_EQ(got[i], want[i]) << "line " << line;
      else
        ASSERT_EQ(got[i], 0xA5) << "line " << line;
    }
    if (dst.DIBAlphaBytes()) {
      const std::uint8_t* a = dst.DIBAlphaBytes() + line * dst.DIBAlphaBytesPerLine();
      const std::uint8_t* wa = whole.DIBAlphaBytes() + line * whole.DIBAlphaBytesPerLine();
      for (int x = 0; x < 6; ++x) ASSERT_EQ(a[x], inField ? wa[x] : 0xA5) << "alpha line " << line;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fields, ConvertField,
                         ::testing::Values(FieldCase{0, false, 8}, FieldCase{1, false, 7},
                                           FieldCase{0, true, 8}, FieldCase{1, true, 7}));

// Two-field buffers: every line of the picture reaches its place.
TEST(ConvertRgb, TwoFieldBufferRoundTrip) {
  CDIB src(RgbHeader(4, 7));
  FillPairs(src, 12);
  tagVFBMINFOHEADER fh = RgbHeader(4, -7);
  fh.vfFormatFlag = stdfx::kFormatTwoFields;
  CDIB fields;
  ASSERT_TRUE(fields.CreateAndConvert(fh, src, -1));
  // Line y of the two-field buffer: field y & 1, row y >> 1 of that field.
  for (int y = 0; y < 7; ++y) {
    const std::uint8_t* line = fields.GetBytes() + ((y & 1) * 4 + (y >> 1)) * 16;
    ASSERT_EQ(std::memcmp(line, Pixel(src, 0, y), 16), 0) << y;
  }
  CDIB back;
  ASSERT_TRUE(back.CreateAndConvert(*src.GetVfBmiHeader(), fields, -1));
  EXPECT_EQ(std::memcmp(back.GetBytes(), src.GetBytes(), src.DIBSize()), 0);
}

TEST(ConvertRgb, SourcesOfOtherDepthsAndEncodedMasks) {
  tagVFBMINFOHEADER mh = RgbHeader(9, 4, 8);
  CDIB mask(mh);
  for (int i = 0; i < static_cast<int>(mask.DIBSize()); ++i)
    mask.GetBytes()[i] = static_cast<std::uint8_t>(i * 13);
  CDIB grey;
  ASSERT_TRUE(grey.CreateAndConvert(RgbHeader(9, 4), mask, -1));
  ASSERT_TRUE(mask.CompressRLE());
  CDIB fromEncoded;
  ASSERT_TRUE(fromEncoded.CreateAndConvert(RgbHeader(9, 4), mask, -1));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x) {
      // Both images are bottom-up: display row y is buffer line 3 - y of each.
      const int line = 3 - y;
      const std::uint8_t v = static_cast<std::uint8_t>((line * 12 + x) * 13);  // stride 12
      const std::uint8_t want[4] = {v, v, v, 255};
      ASSERT_EQ(std::memcmp(grey.GetBytes() + line * 36 + 4 * x, want, 4), 0);
      ASSERT_EQ(std::memcmp(fromEncoded.GetBytes() + line * 36 + 4 * x, want, 4), 0);
    }
  // 24-bit RGB to 32-bit: opaque.
  CDIB rgb24(RgbHeader(3, 2, 24));
  for (int i = 0; i < static_cast<int>(rgb24.DIBSize()); ++i)
    rgb24.GetBytes()[i] = std::uint8_t(i + 1);
  CDIB rgb32;
  ASSERT_TRUE(rgb32.CreateAndConvert(RgbHeader(3, 2), rgb24, -1));
  const std::uint8_t first[4] = {1, 2, 3, 255};
  EXPECT_EQ(std::memcmp(rgb32.GetBytes(), first, 4), 0);
}

// A source sharing the target's memory is read before it is overwritten.
TEST(ConvertRgb, InPlaceOverTheSameMemory) {
  CDIB image(RgbHeader(3, 5));
  FillPairs(image, 8);
  const std::vector<std::uint8_t> before(image.GetBytes(), image.GetBytes() + image.DIBSize());
  tagVFBMINFOHEADER flipped = *image.GetVfBmiHeader();
  flipped.biHeight = -5;
  CDIB view(&flipped, image.GetBytes());  // the same pixels read top-down
  ASSERT_TRUE(image.Convert(view, -1, 1));
  for (int line = 0; line < 5; ++line)
    ASSERT_EQ(std::memcmp(image.GetBytes() + line * 12, before.data() + (4 - line) * 12, 12), 0);
}

TEST(ConvertRgb, RefusalsLeaveTheTargetAsItWas) {
  CDIB src(RgbHeader(8, 4));
  FillPairs(src, 1);
  struct Case {
    const char* name;
    tagYUVBMINFOHEADER target;
  };
  auto rgb = [](int w, int h, int bits) {
    tagYUVBMINFOHEADER y{};
    y.vf = RgbHeader(w, h, bits);
    return y;
  };
  const std::vector<Case> cases = {
      {"other width", rgb(9, 4, 32)},
      {"8-bit target", rgb(8, 4, 8)},
      {"normalised colour space", YuvHeader(8, 4, 32, 1)},
      {"4:4:4", YuvHeader(8, 4, 32, 0, stdfx::kSub444)},
      {"YUVz",
       [] {
         auto y = YuvHeader(8, 4, 32, 0);
         y.vf.biCompression = stdfx::kLayoutYUVAZ;
         return y;
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CDIB dst(c.target.vf);
    ASSERT_TRUE(dst.IsValidDIB());
    std::memset(dst.GetBytes(), 0x5C, dst.DIBSize());
    const std::vector<std::uint8_t> before(dst.GetBytes(), dst.GetBytes() + dst.DIBSize());
    EXPECT_FALSE(dst.Convert(src, -1, 1));
    EXPECT_EQ(std::vector<std::uint8_t>(dst.GetBytes(), dst.GetBytes() + dst.DIBSize()), before);
    // CreateAndConvert keeps the image it had.
    unsigned char* bits = dst.GetBytes();
    EXPECT_FALSE(dst.CreateAndConvert(c.target.vf, src, -1));
    EXPECT_EQ(dst.GetBytes(), bits);
  }
  CDIB invalid;
  CDIB dst(RgbHeader(8, 4));
  EXPECT_FALSE(dst.Convert(invalid, -1, 1));
  EXPECT_FALSE(invalid.Convert(src, -1, 1));
}

TEST(ConvertRgb, FlagsChooseWhetherTheAlphaFlagFollows) {
  CDIB src(RgbHeader(2, 2));
  src.ncbwSetAlphaPremultiplied();
  CDIB keep(RgbHeader(2, 2));
  ASSERT_TRUE(keep.Convert(src, -1, 1));
  EXPECT_TRUE(keep.DIBAlphaIsStraight());
  CDIB follow(RgbHeader(2, 2));
  ASSERT_TRUE(follow.Convert(src, -1, 0));
  EXPECT_TRUE(follow.DIBAlphaIsPremultiplied());
}

}  // namespace
