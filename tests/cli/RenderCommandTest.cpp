// `mattix render`'s conventions end to end through the built module: a
// 16-bit input is keyed at 8 bits with a warning, a preview may be any video
// format, a shot rendered in chunks (--frames) equals one run, and a sequence
// with a gap renders with --allow-gaps.
#include "host/cli/FileBytes.h"
#include "host/cli/PngFile.h"
#include "host/cli/RenderCommand.h"
#include "host/cli/Subprocess.h"
#include "host/cli/Video.h"
#include "tests/cli/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include <zlib.h>

namespace mattix::cli {
namespace {

testing::CommandResult Mattix(const std::string& line) { return testing::RunMattix(line, Render); }

// A 16-bit RGB PNG of one pixel, samples given as 16-bit values.
std::vector<std::uint8_t> Png16(std::uint16_t r, std::uint16_t g, std::uint16_t b) {
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  const auto chunk = [&png](const char* type, std::vector<std::uint8_t> data) {
    const std::uint32_t n = std::uint32_t(data.size());
    for (int i = 3; i >= 0; --i) png.push_back(std::uint8_t(n >> (8 * i)));
    data.insert(data.begin(), type, type + 4);
    const uLong crc = crc32(0, data.data(), uInt(data.size()));
    png.insert(png.end(), data.begin(), data.end());
    for (int i = 3; i >= 0; --i) png.push_back(std::uint8_t(crc >> (8 * i)));
  };
  chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 16, 2, 0, 0, 0});  // 1 x 1, 16 bits, RGB
  const std::uint8_t row[7] = {0,
                               std::uint8_t(r >> 8),
                               std::uint8_t(r),
                               std::uint8_t(g >> 8),
                               std::uint8_t(g),
                               std::uint8_t(b >> 8),
                               std::uint8_t(b)};
  std::vector<std::uint8_t> packed(compressBound(sizeof row));
  uLongf size = uLongf(packed.size());
  compress(packed.data(), &size, row, sizeof row);
  packed.resize(size);
  chunk("IDAT", packed);
  chunk("IEND", {});
  return png;
}

TEST(RenderCommand, SixteenBitInputIsKeyedAtEightBitsWithAWarning) {
  testing::TempDir dir;
  dir.Write("deep.png", Png16(0x1234, 0xc8c8, 0x0101));
  const testing::CommandResult r = Mattix("render " + dir / "deep.png" + " -o " + dir / "o.png");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("deep.png has 16-bit samples: it is keyed at 8 bits"), std::string::npos)
      << r.err;
  const BgraImage out = ReadPng(dir / "o.png");  // unkeyed: the input at 8 bits
  EXPECT_EQ(out.pixels, (std::vector<std::uint8_t>{1, 200, 18, 255}));
  dir.Write("flat.png", EncodePng(BgraImage(1, 1), ""));
  EXPECT_EQ(Mattix("render " + dir / "flat.png" + " -o " + dir / "p.png").err.find("-bit samples"),
            std::string::npos);
}

TEST(RenderCommand, PreviewInAVideoFormatWithoutAlpha) {
  if (!FindOnPath("ffmpeg") || !FindOnPath("ffprobe"))
    GTEST_SKIP() << "ffmpeg is not installed (apt-get install ffmpeg): video is not tested";
  testing::TempDir dir;
  for (const char* name : {"f_1.png", "f_2.png"}) dir.Write(name, EncodePng(BgraImage(6, 4), ""));
  const testing::CommandResult r = Mattix("render " + dir / "f_%d.png" + " -o " + dir / "k_%d.png" +
                                          " --preview " + dir / "p.mp4");
  ASSERT_EQ(r.status, 0) << r.err;
  const VideoInfo info = ProbeVideo(dir / "p.mp4");
  EXPECT_EQ(info.width, 6);
  EXPECT_EQ(info.frameCount, 2);
  // The keyed output itself must keep its alpha.
  EXPECT_NE(Mattix("render " + dir / "f_%d.png" + " -o " + dir / "k.mp4")
                .err.find("k.mp4: .mp4 output cannot keep the keyed alpha"),
            std::string::npos);
}

// Frames 3 to 9 of noise (every colour, keyed or not, with the sample's soft
// edges and spill), named f_03.png...
void WriteNoiseSequence(const testing::TempDir& dir, const std::vector<long>& numbers) {
  std::mt19937 rng(7);
  for (long n : numbers) {
    BgraImage frame(12, 8);
    for (std::uint8_t& v : frame.pixels) v = std::uint8_t(rng());
    char name[16];
    std::snprintf(name, sizeof name, "f_%02ld.png", n);
    dir.Write(name, EncodePng(frame, ""));
  }
}

TEST(RenderCommand, ChunksOfAShotEqualOneRun) {
  testing::TempDir dir;
  WriteNoiseSequence(dir, {3, 4, 5, 6, 7, 8, 9});
  const std::string common = " --project " MATTIX_SOURCE_DIR "/samples/key.json";
  const std::string in = dir / "f_%02d.png";
  ASSERT_EQ(Mattix("render " + in + " -o " + dir / "one_%02d.png" + common).status, 0);
  for (const char* chunk : {"3-4", "5-7", "8-9"}) {
    const testing::CommandResult r =
        Mattix("render " + in + " -o " + dir / "part_%02d.png --frames " + chunk + common);
    ASSERT_EQ(r.status, 0) << r.err;
  }
  for (int n = 3; n <= 9; ++n) {
    const std::string suffix = "_0" + std::to_string(n) + ".png";
    EXPECT_EQ(ReadFileText(dir / ("part" + suffix)), ReadFileText(dir / ("one" + suffix))) << n;
  }
  EXPECT_EQ(testing::Listing(dir.path()).size(), 7u * 3);
  const struct {
    std::string frames;
    int status;
    std::string message;
  } refused[] = {{"10-12", 1, "--frames 10-12 holds none of its frames (3 to 9)"},
                 {"5-4", 2, "is not a range of frames"},
                 {"x", 2, "--frames"}};
  for (const auto& c : refused) {
    const testing::CommandResult r =
        Mattix("render " + in + " -o " + dir / "x_%02d.png --frames " + c.frames);
    EXPECT_EQ(r.status, c.status) << c.frames;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

TEST(RenderCommand, GapsAllowedWithAWarning) {
  testing::TempDir dir;
  WriteNoiseSequence(dir, {1, 2, 4});
  const std::string line = "render " + dir / "f_%02d.png" + " -o " + dir / "o_%02d.png";
  EXPECT_NE(Mattix(line).err.find("f_03.png is missing"), std::string::npos);
  const testing::CommandResult r = Mattix(line + " --allow-gaps");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning: " + dir / "f_%02d.png" + ": the sequence has a gap: frame " +
                       dir / "f_03.png is missing"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(testing::Listing(dir.path()),
            (std::vector<std::string>{"f_01.png", "f_02.png", "f_04.png", "o_01.png", "o_02.png",
                                      "o_04.png"}));
}

}  // namespace
}  // namespace mattix::cli
