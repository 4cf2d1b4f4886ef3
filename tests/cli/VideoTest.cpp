// Video through ffmpeg. The round trips need ffmpeg and ffprobe and are
// skipped with a message when they are not installed.
#include "host/cli/CliError.h"
#include "host/cli/Subprocess.h"
#include "host/cli/Video.h"
#include "tests/cli/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace mattix::cli {
namespace {

#define REQUIRE_FFMPEG()                                                               \
  do {                                                                                 \
    if (!FindOnPath("ffmpeg") || !FindOnPath("ffprobe"))                               \
      GTEST_SKIP() << "ffmpeg is not installed (apt-get install ffmpeg); video round " \
                      "trips are not tested";                                          \
  } while (0)

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const CliError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(Video, KindsAndFormatsFromNames) {
  EXPECT_EQ(InputKindOf("a/shot_%04d.png"), MediaKind::Sequence);
  EXPECT_EQ(InputKindOf("a/shot.PNG"), MediaKind::Picture);
  EXPECT_EQ(InputKindOf("clip.mov"), MediaKind::Video);
  EXPECT_EQ(InputKindOf("clip.mp4"), MediaKind::Video);
  EXPECT_EQ(InputKindOf("png.d/clip"), MediaKind::Video);
  EXPECT_EQ(OutputFormatOf("out.mov"), OutputFormat::ProRes4444);
  EXPECT_EQ(OutputFormatOf("out.WebM"), OutputFormat::Vp9Alpha);
  EXPECT_EQ(OutputFormatOf("out.png"), OutputFormat::Png);
  EXPECT_EQ(OutputFormatOf("out_%03d.png"), OutputFormat::PngSequence);
  EXPECT_NE(ErrorOf([] { OutputFormatOf("out.mp4"); }).find("out.mp4: .mp4 output cannot keep"),
            std::string::npos);
  EXPECT_NE(ErrorOf([] { OutputFormatOf("out"); }).find("out: unknown output type"),
            std::string::npos);
  EXPECT_NE(ErrorOf([] { OutputFormatOf("out.xyz"); }).find(".mov (ProRes 4444)"),
            std::string::npos);
}

TEST(Video, MissingFfmpegSaysHowToInstallIt) {
  const FfmpegTools none{"mattix-no-such-ffmpeg", "mattix-no-such-ffprobe"};
  for (const std::string& e :
       {ErrorOf([&] { ProbeVideo("in.mov", none); }), ErrorOf([&] {
          VideoWriter w("out.mov", "/tmp/x", OutputFormat::ProRes4444, 4, 4, "25", none);
        }),
        ErrorOf([&] {
          VideoReader r("in.mov", VideoInfo{4, 4, "25", 25.0, -1, "prores", false}, none);
        })}) {
    EXPECT_NE(e.find("apt-get install ffmpeg"), std::string::npos) << e;
    EXPECT_NE(e.find(".mov"), std::string::npos) << e;
  }
}

BgraImage TestFrame(int w, int h, int t) {
  // Smooth colour ramps (codecs keep them well) and an alpha ramp with a
  // fully transparent and a fully opaque band.
  BgraImage f(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = f.Row(y) + x * 4;
      p[0] = std::uint8_t(40 + x * 2 + t * 5);
      p[1] = std::uint8_t(200 - y * 2);
      p[2] = std::uint8_t(60 + (x + y));
      p[3] = x < 8 ? 0 : x >= w - 8 ? 255 : std::uint8_t((x - 8) * 255 / (w - 16));
    }
  return f;
}

struct Difference {
  int maxColour = 0;
  int maxAlpha = 0;
  double meanColour = 0.0;
};

// Colour is compared only where alpha is not 0: invisible colour is free.
Difference Compare(const BgraImage& a, const BgraImage& b) {
  Difference d;
  long n = 0;
  for (std::size_t i = 0; i < a.pixels.size(); i += 4) {
    d.maxAlpha = std::max(d.maxAlpha, std::abs(a.pixels[i + 3] - b.pixels[i + 3]));
    if (a.pixels[i + 3] == 0) continue;
    for (int c = 0; c < 3; ++c) {
      const int e = std::abs(a.pixels[i + std::size_t(c)] - b.pixels[i + std::size_t(c)]);
      d.maxColour = std::max(d.maxColour, e);
      d.meanColour += e;
      ++n;
    }
  }
  d.meanColour /= double(n);
  return d;
}

struct RoundTripCase {
  const char* name;
  OutputFormat format;
  const char* codec;
  int maxColour;  // bound on any colour channel where alpha > 0
  double meanColour;
  int maxAlpha;
};

class VideoRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(VideoRoundTrip, FramesComeBackWithAlpha) {
  REQUIRE_FFMPEG();
  const RoundTripCase& c = GetParam();
  testing::TempDir dir;
  const int w = 64, h = 48, frames = 5;
  const std::string path = dir / c.name;
  VideoWriter writer(path, path, c.format, w, h, "25");
  std::vector<BgraImage> sent;
  for (int t = 0; t < frames; ++t) {
    sent.push_back(TestFrame(w, h, t));
    writer.WriteFrame(sent.back());
  }
  writer.Finish();
  EXPECT_EQ(writer.framesWritten(), frames);

  const VideoInfo info = ProbeVideo(path);
  EXPECT_EQ(info.width, w);
  EXPECT_EQ(info.height, h);
  EXPECT_EQ(info.frameRate, "25/1");
  EXPECT_EQ(info.codec, c.codec);
  VideoReader reader(path, info);
  BgraImage frame;
  int t = 0;
  while (reader.ReadFrame(frame)) {
    ASSERT_LT(t, frames);
    const Difference d = Compare(sent[std::size_t(t)], frame);
    EXPECT_LE(d.maxColour, c.maxColour) << "frame " << t;
    EXPECT_LE(d.meanColour, c.meanColour) << "frame " << t;
    EXPECT_LE(d.maxAlpha, c.maxAlpha) << "frame " << t;
    ++t;
  }
  EXPECT_EQ(t, frames);
  EXPECT_FALSE(reader.ReadFrame(frame)) << "stays at the end";
}

// ProRes 4444 keeps 10-bit 4:4:4 colour and 16-bit alpha: near lossless (ffmpeg
// 5.1 gives errors of at most 1).
// VP9 is lossy and halves the chroma resolution (at most 8, mean 1.6 there).
INSTANTIATE_TEST_SUITE_P(
    Formats, VideoRoundTrip,
    ::testing::Values(RoundTripCase{"clip.mov", OutputFormat::ProRes4444, "prores", 2, 0.5, 1},
                      RoundTripCase{"clip.webm", OutputFormat::Vp9Alpha, "vp9", 14, 2.5, 3}),
    [](const auto& p) { return std::string(p.param.codec); });

TEST(Video, NotAVideoIsNamed) {
  REQUIRE_FFMPEG();
  testing::TempDir dir;
  dir.Write("notes.mov", std::string("this is not a video"));
  const std::string e = ErrorOf([&] { ProbeVideo(dir / "notes.mov"); });
  EXPECT_EQ(e.rfind(dir / "notes.mov: cannot read as video", 0), 0u) << e;
  const std::string missing = ErrorOf([&] { ProbeVideo(dir / "absent.mov"); });
  EXPECT_EQ(missing.rfind(dir / "absent.mov: ", 0), 0u) << missing;
}

TEST(Video, FrameOfTheWrongSizeIsRefusedWithItsNumber) {
  REQUIRE_FFMPEG();
  testing::TempDir dir;
  VideoWriter writer(dir / "c.mov", dir / "c.mov", OutputFormat::ProRes4444, 16, 16, "25");
  writer.WriteFrame(TestFrame(16, 16, 0));
  const std::string e = ErrorOf([&] { writer.WriteFrame(TestFrame(18, 16, 1)); });
  EXPECT_NE(e.find("c.mov: frame 2: size 18 x 16 differs"), std::string::npos) << e;
}

}  // namespace
}  // namespace mattix::cli
