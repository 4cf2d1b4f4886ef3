// DescribeImage: every field of both header forms, from host frames.
#include "host/Image.h"
#include "plugin/DescribeImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

namespace h = mattix::host;

struct DescribeCase {
  std::string name;
  h::ImageDescription frame;
  int alphaPlane;  // 0 no alpha source, 1 with a plane, 2 reports alpha without a plane
  bool described;
  // Expected fields.
  std::uint32_t size, bits, compression;
  std::int32_t width, height;
  std::uint32_t alphaFlag, formatFlag, interlacedFlag, imageFlag;
};

void PrintTo(const DescribeCase& c, std::ostream* os) { *os << c.name; }

h::ImageDescription Frame(std::int32_t layout, std::int32_t width, std::int32_t height,
                          h::ImageFormat format, std::int32_t alphaKind = 0) {
  h::ImageDescription d;
  d.width = width;
  d.height = height;
  d.bytesPerRow = 4 * width + 12;
  d.layoutCode = layout;
  d.alphaKind = alphaKind;
  d.format = format;
  return d;
}

constexpr std::uint32_t kYUV = 0x56555940;  // "@YUV"

class Describe : public ::testing::TestWithParam<DescribeCase> {};

TEST_P(Describe, FillsEveryField) {
  const DescribeCase& c = GetParam();
  std::vector<std::uint8_t> pixels(64), plane(64);
  h::ImageDescription d = c.frame;
  d.pixels = pixels.data();
  auto frame = h::Make<h::CImage>(d);
  if (c.alphaPlane != 0) {
    h::ImageDescription p;
    p.width = d.width;
    p.height = d.height;
    p.bytesPerRow = 20;
    p.pixels = plane.data();
    frame->SetAlphaSource(true, c.alphaPlane == 1 ? h::Make<h::CImage>(p) : nullptr);
  }
  tagYUVBMINFOHEADER header;
  std::memset(&header, 0xEE, sizeof header);
  ASSERT_EQ(DescribeImage(header, frame.Get()), c.described);
  if (!c.described) return;

  // Build the expected header from zero, field by field.
  tagYUVBMINFOHEADER want;
  std::memset(&want, 0, sizeof want);
  want.vf.biSize = c.size;
  want.vf.biWidth = c.width;
  want.vf.biHeight = c.height;
  want.vf.biPlanes = 1;
  want.vf.biBitCount = WORD(c.bits);
  want.vf.biCompression = c.compression;
  want.vf.vfImageFlag = c.imageFlag;
  want.vf.vfAlphaFlag = c.alphaFlag;
  want.vf.vfFormatFlag = c.formatFlag;
  want.vf.vfInterlacedFlag = c.interlacedFlag;
  want.vf.vfFormatValue = d.format.value;
  want.vf.vfReserved104 = -1;
  want.vf.vfRowPitch = DWORD(d.bytesPerRow);
  if (c.size == 160) {
    const bool planeRead = c.alphaPlane == 1 && d.alphaKind != 2;
    want.vf.vfAlphaBytes = planeRead ? plane.data() : nullptr;
    want.vf.vfAlphaBytesPerLine = planeRead ? 20 : 0;
    want.yuvHSubSampling = 512;
  }
  const std::size_t compared = c.size == 160 ? 160 : 144;
  EXPECT_EQ(std::memcmp(&header, &want, compared), 0);
  EXPECT_EQ(header.vf.biWidth, want.vf.biWidth);
  EXPECT_EQ(header.vf.biHeight, want.vf.biHeight);
  EXPECT_EQ(header.vf.vfAlphaFlag, want.vf.vfAlphaFlag);
  EXPECT_EQ(header.vf.vfFormatFlag, want.vf.vfFormatFlag);
  EXPECT_EQ(header.vf.vfInterlacedFlag, want.vf.vfInterlacedFlag);
  EXPECT_EQ(header.vf.vfImageFlag, want.vf.vfImageFlag);
}

// format: bottomUp, premultiplied, interlaced, interlaceDetail, value, blackTransparent
INSTANTIATE_TEST_SUITE_P(
    Frames, Describe,
    ::
        testing::
            Values(DescribeCase{"BgraBottomUp", Frame(4, 5, 3, {1, 0, 0, 0, 1.5f, 0}), 0, true, 144,
                                32, 0, 5, 3, 0, 0, 1, 0},
                   DescribeCase{"BgraTopDownPremultiplied", Frame(4, 5, 3, {0, 1, 0, 0, 0.f, 0}), 0,
                                true, 144, 32, 0, 5, -3, 2, 0, 1, 0},
                   DescribeCase{"BgraInterlacedDetail", Frame(4, 2, 4, {7, 0, 1, 1, 2.f, 0}), 0,
                                true, 144, 32, 0, 2, 4, 0, 0x20, 0, 0},
                   DescribeCase{
                       "BgraInterlacedOtherDetail",
                       Frame(4, 2, 4, {1, 0, 1, 2, 0.f, 0}), 0, true, 144, 32, 0, 2, 4, 0, 0, 0, 0},
                   DescribeCase{
                       "BgraBlackTransparentKind3",
                       Frame(4, 2, 2, {1, 0, 0, 0, 0.f, 1}, 3), 0, true, 144, 32, 0, 2, 2, 0, 0, 1,
                       8},
                   DescribeCase{
                       "BgraBlackTransparentOtherKind",
                       Frame(4, 2, 2, {1, 0, 0, 0, 0.f, 1}, 2), 0, true, 144, 32, 0, 2, 2, 0, 0, 1,
                       0},
                   DescribeCase{
                       "YuvOddWidthMadeEven",
                       Frame(1, 7, 3, {1, 0, 0, 0, 0.f, 0}), 0, true, 160, 24, kYUV, 6, 3, 0, 0, 1,
                       0},
                   DescribeCase{
                       "YuvWithAlphaPlane", Frame(2, 4, 3, {0, 0, 0, 0, 0.f, 1}, 3), 1,
                       true, 160, 32, kYUV, 4, -3, 0, 0, 1, 8},
                   DescribeCase{
                       "YuvAlphaKind2IgnoresThePlane",
                       Frame(3, 4, 3, {1, 0, 0, 0, 0.f, 0}, 2), 1, true, 160, 24, kYUV, 4, 3, 0, 0,
                       1,
                       0},
                   DescribeCase{
                       "YuvAlphaWithoutPlaneRefused",
                       Frame(1, 4, 3, {1, 0, 0, 0, 0.f, 0}), 2, false, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                   DescribeCase{
                       "NoFormatFacetRefused",
                       [] {
                         auto d = Frame(4, 4, 3, {1, 0, 0, 0, 0.f, 0});
                         d.offerFormat = false;
                         return d;
                       }(),
                       0, false, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                   DescribeCase{"NegativeHeightRefused", Frame(4, 4, -3, {1, 0, 0, 0, 0.f, 0}), 0,
                                false, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                   DescribeCase{"OtherLayoutRefused", Frame(8, 4, 3, {1, 0, 0, 0, 0.f, 0}), 0,
                                false, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
    [](const auto& p) { return p.param.name; });

}  // namespace
