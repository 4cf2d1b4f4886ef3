// DescribeImage judged by what the image library makes of its header: the
// library must see the host's pixels where the host put them, and each
// answer of the format facet must change its own flag and nothing else.
// 32-bit frames in both row orders, rows padded, are covered by the renders
// through the module.
#include "host/Image.h"
#include "plugin/DescribeImage.h"
#include "stdfx/DIB.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

namespace h = mattix::host;

h::ImageDescription Frame(std::int32_t layout, std::int32_t width, std::int32_t height,
                          std::int32_t bottomUp, std::vector<std::uint8_t>& pixels) {
  h::ImageDescription d;
  d.width = width;
  d.height = height;
  d.bytesPerRow = 4 * width + 12;  // padded rows
  pixels.assign(std::size_t(d.bytesPerRow * height), 0);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = std::uint8_t(i * 7 + i / 251);
  d.pixels = pixels.data();
  d.layoutCode = layout;
  d.format.bottomUp = bottomUp;
  return d;
}

// Packed 4:2:2 frames (layout codes with bit 0 or 1 set): two bytes a pixel,
// an even width, and the alpha plane when the source yields one.
TEST(DescribeImage, LibrarySeesYuvPixelsAndTheAlphaPlane) {
  for (const std::int32_t layout : {1, 2, 3}) {
    std::vector<std::uint8_t> pixels, alpha(64);
    const h::ImageDescription d = Frame(layout, 7, 3, layout == 2, pixels);
    auto frame = h::Make<h::CImage>(d);
    h::ImageDescription plane;
    plane.bytesPerRow = 20;
    plane.pixels = alpha.data();
    const bool withPlane = layout != 3;
    if (withPlane) frame->SetAlphaSource(true, h::Make<h::CImage>(plane));
    tagYUVBMINFOHEADER header;
    ASSERT_TRUE(DescribeImage(header, frame.Get()));
    const stdfx::CDIB dib(&header, pixels.data());
    ASSERT_TRUE(dib.IsValidDIB()) << layout;
    EXPECT_EQ(dib.DIBWidth(), 6);
    // The first byte of each pixel, at its picture row.
    for (int y = 0; y < 3; ++y) {
      const int line = d.format.bottomUp != 0 ? 2 - y : y;
      for (int x = 0; x < 6; ++x)
        EXPECT_EQ(dib.GetDIBByte(x, y), pixels[line * d.bytesPerRow + 2 * x]) << x << "," << y;
    }
    EXPECT_EQ(dib.DIBAlphaBytes(), withPlane ? alpha.data() : nullptr);
    EXPECT_EQ(dib.DIBAlphaBytesPerLine(), withPlane ? 20u : 0u);
    EXPECT_EQ(dib.DIBBitCount(), withPlane ? 32 : 24);
  }
}

struct FlagCase {
  const char* name;
  h::ImageFormat format;  // bottomUp, premultiplied, interlaced, detail, value, blackTransparent
  std::int32_t alphaKind;
  std::array<DWORD, 4> flags;  // expected alpha, format, interlaced and image flags
};

TEST(DescribeImage, EachFormatAnswerSetsItsOwnFlag) {
  // Straight and premultiplied alpha, host-interlaced, progressive content,
  // black transparent.
  const DWORD kS = stdfx::kAlphaStraight, kP = stdfx::kAlphaPremultiplied;
  const DWORD kHI = stdfx::kFormatHostInterlaced, kPR = stdfx::kContentProgressive;
  const DWORD kBT = stdfx::kImageFlagBlackTransparent;
  const FlagCase cases[] = {{"Plain", {1, 0, 0, 0, 0.f, 0}, 0, {kS, 0, kPR, 0}},
                            {"Premultiplied", {1, 1, 0, 0, 0.f, 0}, 0, {kP, 0, kPR, 0}},
                            {"InterlacedDetail1", {1, 0, 1, 1, 0.f, 0}, 0, {kS, kHI, 0, 0}},
                            {"InterlacedDetail2", {1, 0, 1, 2, 0.f, 0}, 0, {kS, 0, 0, 0}},
                            {"BlackTransparentKind3", {1, 0, 0, 0, 0.f, 1}, 3, {kS, 0, kPR, kBT}},
                            {"BlackTransparentKind2", {1, 0, 0, 0, 0.f, 1}, 2, {kS, 0, kPR, 0}},
                            {"FormatValue", {1, 0, 0, 0, 2.5f, 0}, 0, {kS, 0, kPR, 0}}};
  std::vector<std::uint8_t> pixels;
  tagYUVBMINFOHEADER plain;
  for (const FlagCase& c : cases) {
    SCOPED_TRACE(c.name);
    h::ImageDescription d = Frame(4, 4, 2, 1, pixels);
    d.format = c.format;
    d.alphaKind = c.alphaKind;
    tagYUVBMINFOHEADER header;
    ASSERT_TRUE(DescribeImage(header, h::Make<h::CImage>(d).Get()));
    tagVFBMINFOHEADER& vf = header.vf;
    EXPECT_EQ((std::array{vf.vfAlphaFlag, vf.vfFormatFlag, vf.vfInterlacedFlag, vf.vfImageFlag}),
              c.flags);
    EXPECT_EQ(vf.vfFormatValue, c.format.value);
    if (&c == &cases[0]) plain = header;
    // Every other byte is as for the plain frame.
    vf.vfAlphaFlag = plain.vf.vfAlphaFlag;
    vf.vfFormatFlag = plain.vf.vfFormatFlag;
    vf.vfInterlacedFlag = plain.vf.vfInterlacedFlag;
    vf.vfImageFlag = plain.vf.vfImageFlag;
    vf.vfFormatValue = plain.vf.vfFormatValue;
    EXPECT_EQ(std::memcmp(&header, &plain, sizeof(tagVFBMINFOHEADER)), 0);
  }
}

TEST(DescribeImage, RefusesFramesItCannotDescribe) {
  std::vector<std::uint8_t> pixels;
  const auto refused = [&](h::ImageDescription d, bool alphaWithoutPlane = false) {
    auto frame = h::Make<h::CImage>(d);
    if (alphaWithoutPlane) frame->SetAlphaSource(true, nullptr);
    tagYUVBMINFOHEADER header;
    return !DescribeImage(header, frame.Get());
  };
  EXPECT_TRUE(refused(Frame(8, 4, 3, 1, pixels)));        // another layout
  EXPECT_TRUE(refused(Frame(0, 4, 3, 1, pixels)));        // another layout
  EXPECT_TRUE(refused(Frame(1, 4, 3, 1, pixels), true));  // alpha without a plane
  h::ImageDescription d = Frame(4, 4, 3, 1, pixels);
  d.height = -3;
  EXPECT_TRUE(refused(d));
  d.height = 3;
  d.offerFormat = false;  // cannot say its row order
  EXPECT_TRUE(refused(d));
  d.offerFormat = true;
  EXPECT_FALSE(refused(d));
}

}  // namespace
