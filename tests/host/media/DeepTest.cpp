// Deep pictures and the colours of video. A 16-bit PNG, a 16-bit TIFF and
// float and half OpenEXRs made here from known samples are keyed by a
// stand-in (alpha from the 8-bit view's blue; red raised by 10 levels on
// every third pixel, as spill suppression changes colour) and read back:
// alpha is the 8-bit matte, colour keeps every bit where the key left it
// and moves by the key's 10 levels where it changed it. Flat frames of known
// Y'CbCr are read as the matrix formulas say (BT.709 for untagged HD,
// BT.601 for SD, the tag when there is one, full range when tagged so).
#include "host/base/FileBytes.h"
#include "host/media/DeepKey.h"
#include "host/media/FramePipeline.h"
#include "host/media/FrameReader.h"
#include "host/media/FrameWriter.h"
#include "host/media/PictureFile.h"
#include "host/media/Subprocess.h"
#include "tests/host/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <tuple>

namespace mattix::media {
namespace {

// sRGB's curve, written out here (IEC 61966-2-1).
double Encode(double linear) {
  return linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}
double Decode(double coded) {
  return coded <= 0.04045 ? coded / 12.92 : std::pow((coded + 0.055) / 1.055, 2.4);
}

BgraImage StandInKey(const BgraImage& in, const InputFrame&) {
  BgraImage out = in;
  for (std::size_t i = 0; i < out.pixels.size(); i += 4) {
    out.pixels[i + 3] = std::uint8_t(255 - out.pixels[i]);
    if (i / 4 % 3 == 0) out.pixels[i + 2] = std::uint8_t(std::min(255, out.pixels[i + 2] + 10));
  }
  return out;
}

// The full-precision samples of the first frame of a picture, sequence or
// video; none when it has no frame or only 8 bits.
std::optional<DeepImage> FirstDeepFrame(const std::string& path) {
  std::unique_ptr<FrameReader> reader = FrameReader::Open(path);
  std::optional<InputFrame> frame = reader->Next();
  std::optional<DeepImage> deep;
  if (frame) reader->Load(*frame, &deep);
  return deep;
}

TEST(DeepPictures, KeyedAtFullPrecisionWithTheEightBitMatte) {
  for (const auto& [name, bits, floating] : {std::tuple{"in.png", 16, false},
                                             {"in.tif", 16, false},
                                             {"in.dpx", 16, false},
                                             {"in.exr", 32, true},
                                             {"half.exr", 16, true}}) {
    SCOPED_TRACE(name);
    test::TempDir dir;
    // Samples between the 8-bit levels; blue 0 on even rows (left unkeyed).
    DeepImage in(12, 4);
    in.sampleBits = bits;
    in.floating = in.linear = floating;
    for (std::size_t i = 0; i < in.samples.size(); ++i) {
      const std::size_t pixel = i / 4, row = pixel / 12;
      const double v = floating ? double((pixel * 37 + i % 4 * 11) % 512) / 640.0
                                : double((pixel * 7919 + i % 4 * 1237) % 65536) / 65535.0;
      in.samples[i] = i % 4 == 3 ? 1.0f : i % 4 == 2 && row % 2 == 0 ? 0.0f : float(v);
    }
    const std::string ext = std::string(name).substr(std::string(name).find('.'));
    dir.Write(name, EncodePicture(*PictureTypeOf(name), BgraImage(), &in, name, 1));
    std::unique_ptr<FrameReader> reader = FrameReader::Open(dir / name);
    EXPECT_EQ(reader->sampleBits(), bits);
    FrameWriter writer(dir / ("out" + ext), 12, 4, "25", false, host::InputFiles{}, {1});
    ASSERT_EQ(RunFramePipeline(*reader, {&writer}, 1, StandInKey), 1);
    const std::optional<DeepImage> out = FirstDeepFrame(dir / ("out" + ext));
    ASSERT_TRUE(out);
    for (std::size_t i = 0; i < in.samples.size(); i += 4) {
      // The 8-bit view's blue and the matte from it.
      const double blue = floating ? Encode(in.samples[i + 2]) : in.samples[i + 2];
      const int matte = 255 - int(std::lround(std::clamp(blue, 0.0, 1.0) * 255));
      const double alpha = matte / 255.0, step = bits == 16 && floating ? 1.0 / 2048 : 1e-6;
      EXPECT_NEAR(out->samples[i + 3], alpha, step) << i / 4;
      for (int k = 0; k < 3; ++k) {
        const double was = in.samples[i + std::size_t(k)];
        double want = was;
        if (k == 0 && i / 4 % 3 == 0) {
          const int level = int(std::lround((floating ? Encode(was) : was) * 255));
          const double coded =
              (floating ? Encode(was) : was) + (std::min(255, level + 10) - level) / 255.0;
          want = floating ? Decode(coded) : std::min(coded, 1.0);
        }
        const float got = out->samples[i + std::size_t(k)];
        if (want == was && matte == 255 && !(floating && bits == 16))
          EXPECT_EQ(got, float(was)) << "pixel " << i / 4 << " channel " << k;
        else
          EXPECT_NEAR(got, want, floating ? std::max(step, 1e-3 * want) : 1.5 / 65535)
              << "pixel " << i / 4 << " channel " << k;
      }
    }
  }
}

// A value's byte in the 8-bit view against the formulas: linear values by
// tables against sRGB's formula, coded ones against lround. A sweep of the
// floats up to past 1, each step where the sRGB byte changes narrowed to
// its exact float with its neighbours, and the values outside the curve.
TEST(DeepPictures, EightBitViewIsTheFormulas) {
  const auto same = [](std::uint32_t bits) {
    const float v = std::bit_cast<float>(bits);
    ASSERT_EQ(internal::SrgbByte(v), internal::SrgbByte_ref(v)) << v;
    const float pixel[4] = {v, v, v, v};
    std::uint8_t coded[4];
    internal::EightBitRow(pixel, coded, 1, false);
    const long rounded = v > 0.0f ? std::lround(std::min(v, 1.0f) * 255.0f) : 0;
    ASSERT_EQ(coded[0], rounded) << v;
    ASSERT_EQ(coded[3], rounded) << v;
  };
  const auto byte = [](std::uint32_t bits) {
    return internal::SrgbByte_ref(std::bit_cast<float>(bits));
  };
  constexpr std::uint32_t kStep = 97, kEnd = 0x3F800100;  // a little past 1.0f
  for (std::uint32_t bits = 0; bits < kEnd; bits += kStep) {
    same(bits);
    if (byte(bits) == byte(bits + kStep)) continue;
    std::uint32_t lo = bits, hi = bits + kStep;
    while (hi - lo > 1) {
      const std::uint32_t mid = lo + (hi - lo) / 2;
      (byte(mid) == byte(lo) ? lo : hi) = mid;
    }
    for (std::uint32_t b = hi - 4; b <= hi + 4; ++b) same(b);
  }
  for (const float v : {-0.0f, -1e-30f, -0.5f, -std::numeric_limits<float>::infinity(),
                        std::numeric_limits<float>::quiet_NaN(), 1.0f, 2.5f,
                        std::numeric_limits<float>::infinity()})
    same(std::bit_cast<std::uint32_t>(v));
}

// An 8-bit DPX reads back as written, with no deep copy; a cut one is an
// error naming it. A 10-bit DPX made by ffmpeg from known planar samples is
// read at 10 bits: each sample is its code over 1023 (within the 16-bit step
// the reader's widening to 16 bits may add).
TEST(DpxPictures, EightBitRoundTripCutFileAndTenBitSamples) {
  BgraImage in(7, 3);
  for (std::size_t i = 0; i < in.pixels.size(); ++i) in.pixels[i] = std::uint8_t(i * 53 + 7);
  const std::vector<std::uint8_t> file = EncodePicture(PictureType::Dpx, in, nullptr, "a.dpx", 1);
  const Picture back = DecodePicture(file.data(), file.size(), "a.dpx");
  EXPECT_FALSE(back.deep);
  EXPECT_EQ(std::tuple(back.image.width, back.image.height, back.image.pixels),
            std::tuple(7, 3, in.pixels));
  for (std::size_t cut : {file.size() - 1, std::size_t(100), std::size_t(4)})
    EXPECT_TRUE(test::Throws([&] { DecodePicture(file.data(), cut, "cut.dpx"); }, "cut.dpx"))
        << cut;
  if (!FindOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is missing: 10-bit DPX is not tested";
  test::TempDir dir;
  const int width = 16, height = 2;
  const auto code = [](int plane, int pixel) { return (pixel * 67 + plane * 331) % 1024; };
  std::string raw;
  for (int plane = 0; plane < 3; ++plane)  // gbrp10le: green, blue, red planes
    for (int pixel = 0; pixel < width * height; ++pixel)
      raw += {char(code(plane, pixel) & 255), char(code(plane, pixel) >> 8)};
  dir.Write("in.raw", raw);
  ASSERT_TRUE(test::Ffmpeg("-f rawvideo -pix_fmt gbrp10le -s 16x2 -i '" + dir / "in.raw" +
                           "' -pix_fmt gbrp10le '" + dir / "in.dpx" + "'"));
  const std::optional<DeepImage> deep = FirstDeepFrame(dir / "in.dpx");
  ASSERT_TRUE(deep);
  ASSERT_EQ(deep->sampleBits, 10);
  const int planeOf[3] = {2, 0, 1};  // red, green, blue samples come from these planes
  for (int pixel = 0; pixel < width * height; ++pixel) {
    for (int k = 0; k < 3; ++k)
      EXPECT_NEAR(deep->samples[std::size_t(pixel) * 4 + std::size_t(k)],
                  code(planeOf[k], pixel) / 1023.0, 1.0 / 65535)
          << "pixel " << pixel << " channel " << k;
    EXPECT_EQ(deep->samples[std::size_t(pixel) * 4 + 3], 1.0f);
  }
}

// A flat frame of Y'CbCr (100, 90, 170) in an FFV1 clip, tagged as given.
TEST(VideoColour, FramesAreConvertedWithTheStreamsMatrixAndRange) {
  if (!FindOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is missing";
  const struct {
    int width, height;
    const char* tags;
    double kr, kb;  // the matrix's luma weights of red and blue
    bool full;
  } cases[] = {{1280, 720, "", 0.2126, 0.0722, false},  // untagged HD: BT.709
               {64, 48, "", 0.299, 0.114, false},       // untagged SD: BT.601
               {64, 48, "-colorspace bt709", 0.2126, 0.0722, false},
               {64, 48, "-colorspace bt709 -color_range pc", 0.2126, 0.0722, true}};
  const int y = 100, cb = 90, cr = 170;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " " + c.tags);
    test::TempDir dir;
    const std::size_t luma = std::size_t(c.width) * std::size_t(c.height);
    dir.Write("flat.yuv", std::string(luma, char(y)) + std::string(luma / 4, char(cb)) +
                              std::string(luma / 4, char(cr)));
    ASSERT_TRUE(test::Ffmpeg("-f rawvideo -pix_fmt yuv420p -s " + std::to_string(c.width) + "x" +
                             std::to_string(c.height) + " -i '" + dir / "flat.yuv" +
                             "' -c:v ffv1 " + c.tags + " '" + dir / "flat.mkv" + "'"));
    const BgraImage frame = ReadInputFrame(dir / "flat.mkv", 1);
    // E'y, E'pb, E'pr from the code values, then R'G'B' by the matrix.
    const double ey = c.full ? y / 255.0 : (y - 16) / 219.0;
    const double pb = c.full ? (cb - 128) / 255.0 : (cb - 128) / 224.0;
    const double pr = c.full ? (cr - 128) / 255.0 : (cr - 128) / 224.0;
    const double r = ey + 2 * (1 - c.kr) * pr, b = ey + 2 * (1 - c.kb) * pb;
    const double g = (ey - c.kr * r - c.kb * b) / (1 - c.kr - c.kb);
    const double bgr[3] = {b, g, r};
    for (int k = 0; k < 3; ++k)  // the conversion rounds in fixed point: within one level
      EXPECT_NEAR(frame.pixels[std::size_t(frame.width * 20 + 20) * 4 + std::size_t(k)],
                  std::lround(std::clamp(bgr[k], 0.0, 1.0) * 255), 1)
          << "channel " << k;
  }
  // A 10-bit frame keeps its precision: its samples are ffmpeg's own 16-bit
  // RGB of it, within a 16-bit step (Y' 401 lies between two 8-bit levels).
  test::TempDir dir;
  std::string flat;
  for (const int code : {401, 512, 512})  // 4:4:4, little-endian 16-bit words
    for (int i = 0; i < 64 * 48; ++i) flat += {char(code & 255), char(code >> 8)};
  dir.Write("flat10.yuv", flat);
  ASSERT_TRUE(test::Ffmpeg("-f rawvideo -pix_fmt yuv444p10le -s 64x48 -i '" + dir / "flat10.yuv" +
                           "' -c:v ffv1 '" + dir / "flat10.mkv'"));
  ASSERT_TRUE(test::Ffmpeg("-i '" + dir / "flat10.mkv" + "' -pix_fmt rgb48le -f rawvideo '" +
                           dir / "rgb48.raw'"));
  const std::vector<std::uint8_t> rgb48 = host::ReadFileBytes(dir / "rgb48.raw");
  const std::optional<DeepImage> deep = FirstDeepFrame(dir / "flat10.mkv");
  ASSERT_TRUE(deep);
  for (std::size_t k = 0; k < 3; ++k)
    EXPECT_NEAR(deep->samples[k] * 65535.0, rgb48[2 * k] | rgb48[2 * k + 1] << 8, 1.0) << k;
}

}  // namespace
}  // namespace mattix::media
