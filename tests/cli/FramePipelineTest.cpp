// Reading, transforming and writing frames: pictures, sequences and (when
// ffmpeg is installed) video, with the failure cases a render meets.
#include "host/cli/CliError.h"
#include "host/cli/FileBytes.h"
#include "host/cli/FramePipeline.h"
#include "host/cli/PngFile.h"
#include "host/cli/Subprocess.h"
#include "tests/cli/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace mattix::cli {
namespace {

BgraImage Frame(int w, int h, int seed) {
  BgraImage f(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = f.Row(y) + x * 4;
      p[0] = std::uint8_t(x * 9 + seed * 31);
      p[1] = std::uint8_t(y * 13 + seed);
      p[2] = std::uint8_t(x * y + seed * 7);
      p[3] = 255;
    }
  return f;
}

// A stand-in for keying: alpha from the blue channel (deterministic, so
// every output byte is known from the input).
BgraImage FakeKey(const BgraImage& in, const InputFrame&) {
  BgraImage out = in;
  for (std::size_t i = 0; i < out.pixels.size(); i += 4)
    out.pixels[i + 3] = std::uint8_t(255 - out.pixels[i]);
  return out;
}

void WriteSequence(const testing::TempDir& dir, int count, int w = 24, int h = 16) {
  char name[64];
  for (int n = 1; n <= count; ++n) {
    std::snprintf(name, sizeof name, "shot_%04d.png", n);
    WriteFileAtomically(dir / name, EncodePng(Frame(w, h, n), name), true);
  }
}

struct RenderRun {
  long frames = 0;
  std::string error;
};

RenderRun Render(const std::string& input, const std::string& output, int jobs, bool force = false,
                 const std::string& matte = "", const std::string& preview = "") {
  RenderRun r;
  try {
    std::unique_ptr<FrameReader> reader = FrameReader::Open(input);
    InputFiles inputs;
    for (const std::string& f : reader->files()) inputs.Add(f);
    std::vector<long> numbers;
    for (long n = 1; n <= reader->frameCount(); ++n) numbers.push_back(n);
    FrameWriter keyed(output, reader->width(), reader->height(), reader->frameRate(), force, inputs,
                      numbers);
    std::unique_ptr<FrameWriter> matteWriter, previewWriter;
    if (!matte.empty())
      matteWriter = std::make_unique<FrameWriter>(matte, reader->width(), reader->height(),
                                                  reader->frameRate(), force, inputs, numbers);
    if (!preview.empty())
      previewWriter = std::make_unique<FrameWriter>(preview, reader->width(), reader->height(),
                                                    reader->frameRate(), force, inputs, numbers);
    r.frames =
        RunFramePipeline(*reader, {&keyed, matteWriter.get(), previewWriter.get()}, jobs, FakeKey);
  } catch (const CliError& e) {
    r.error = e.what();
  }
  return r;
}

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FramePipeline, SequenceWithOutputsMatteAndPreview) {
  testing::TempDir in, out;
  WriteSequence(in, 6);
  const RenderRun r = Render(in / "shot_%04d.png", out / "k_%03d.png", 2, false, out / "m_%03d.png",
                             out / "p_%03d.png");
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.frames, 6);
  EXPECT_EQ(Listing(out.path()).size(), 18u);
  for (int n = 1; n <= 6; ++n) {
    char k[32], m[32], p[32];
    std::snprintf(k, sizeof k, "k_%03d.png", n);
    std::snprintf(m, sizeof m, "m_%03d.png", n);
    std::snprintf(p, sizeof p, "p_%03d.png", n);
    const BgraImage expected = FakeKey(Frame(24, 16, n), InputFrame{});
    EXPECT_EQ(ReadPng(out / k).pixels, expected.pixels) << k;
    const BgraImage matte = ReadPng(out / m);
    const BgraImage preview = ReadPng(out / p);
    for (std::size_t i = 0; i < expected.pixels.size(); i += 4) {
      ASSERT_EQ(matte.pixels[i], expected.pixels[i + 3]);  // grey = alpha
      ASSERT_EQ(preview.pixels[i + 3], 255);               // the preview is opaque
    }
  }
}

TEST(FramePipeline, OneAndTwoJobsWriteIdenticalFiles) {
  testing::TempDir in, one, two;
  WriteSequence(in, 9, 40, 30);
  ASSERT_EQ(Render(in / "shot_%04d.png", one / "o_%04d.png", 1).error, "");
  ASSERT_EQ(Render(in / "shot_%04d.png", two / "o_%04d.png", 2).error, "");
  ASSERT_EQ(Listing(one.path()), Listing(two.path()));
  for (const std::string& name : Listing(one.path()))
    EXPECT_EQ(ReadFileBytes(one / name), ReadFileBytes(two / name)) << name;
}

struct BrokenCase {
  const char* label;
  int brokenFrame;
  bool wrongSize;  // else corrupt bytes
  const char* error;
};

class BrokenSequence : public ::testing::TestWithParam<std::tuple<BrokenCase, int>> {};

TEST_P(BrokenSequence, FramesBeforeTheBadOneAreWrittenAndTheErrorNamesIt) {
  const auto& [c, jobs] = GetParam();
  testing::TempDir in, out;
  WriteSequence(in, 7);
  char name[32];
  std::snprintf(name, sizeof name, "shot_%04d.png", c.brokenFrame);
  if (c.wrongSize) {
    WriteFileAtomically(in / name, EncodePng(Frame(25, 16, 0), name), true);
  } else {
    std::vector<std::uint8_t> bytes = ReadFileBytes(in / name);
    bytes.resize(bytes.size() / 2);
    in.Write(name, bytes);
  }
  const RenderRun r = Render(in / "shot_%04d.png", out / "k_%04d.png", jobs);
  EXPECT_EQ(
      r.error.rfind(in / name + ": frame " + std::to_string(c.brokenFrame) + ": " + c.error, 0), 0u)
      << r.error;
  std::vector<std::string> expected;
  for (int n = 1; n < c.brokenFrame; ++n) {
    std::snprintf(name, sizeof name, "k_%04d.png", n);
    expected.push_back(name);
  }
  EXPECT_EQ(Listing(out.path()), expected) << "no half-written or later frame";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenSequence,
    ::testing::Combine(
        ::testing::Values(BrokenCase{"corrupt", 3, false, "corrupt or unreadable PNG"},
                          BrokenCase{"size", 4, true,
                                     "size 25 x 16 differs from the first frame's 24 x 16"},
                          BrokenCase{"first corrupt", 1, false, "corrupt or unreadable PNG"}),
        ::testing::Values(1, 3)),
    [](const auto& p) {
      std::string s =
          std::string(std::get<0>(p.param).label) + "_jobs" + std::to_string(std::get<1>(p.param));
      for (char& ch : s)
        if (ch == ' ') ch = '_';
      return s;
    });

TEST(FramePipeline, ExistingOutputsAndInputsAreRefusedBeforeWriting) {
  testing::TempDir in, out;
  WriteSequence(in, 3);
  out.Write("k_0002.png", std::string("keep me"));
  RenderRun r = Render(in / "shot_%04d.png", out / "k_%04d.png", 2);
  EXPECT_NE(r.error.find("k_0002.png: already exists (use --force"), std::string::npos) << r.error;
  EXPECT_EQ(Listing(out.path()), std::vector<std::string>{"k_0002.png"});
  EXPECT_EQ(ReadFileText(out / "k_0002.png"), "keep me");

  r = Render(in / "shot_%04d.png", in / "shot_%04d.png", 2, true);
  EXPECT_NE(r.error.find("shot_0001.png: the output is one of the inputs"), std::string::npos)
      << r.error;
  r = Render(in / "shot_0001.png", in / "shot_0001.png", 1, true);
  EXPECT_NE(r.error.find("the output is one of the inputs"), std::string::npos) << r.error;

  r = Render(in / "shot_0001.png", out / "single.png", 1, false, out / "single_matte.png");
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(ReadPng(out / "single.png").pixels, FakeKey(Frame(24, 16, 1), InputFrame{}).pixels);
}

TEST(FramePipeline, VideoRoundTripThroughASequence) {
  if (!FindOnPath("ffmpeg") || !FindOnPath("ffprobe"))
    GTEST_SKIP()
        << "ffmpeg is not installed (apt-get install ffmpeg); video round trips are not tested";
  testing::TempDir in, out;
  WriteSequence(in, 4, 32, 24);
  // Sequence -> ProRes 4444 with a matte video, then the video -> a sequence.
  RenderRun r = Render(in / "shot_%04d.png", out / "k.mov", 2, false, out / "m.mov");
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.frames, 4);
  EXPECT_EQ(Listing(out.path()), (std::vector<std::string>{"k.mov", "m.mov"}));
  std::unique_ptr<FrameReader> video = FrameReader::Open(out / "k.mov");
  EXPECT_EQ(video->width(), 32);
  EXPECT_EQ(video->height(), 24);
  EXPECT_EQ(video->frameRate(), "25/1");
  long frames = 0;
  while (std::optional<InputFrame> f = video->Next()) {
    const BgraImage pixels = video->Load(*f);
    const BgraImage expected = FakeKey(Frame(32, 24, int(f->number)), *f);
    int worstAlpha = 0;
    for (std::size_t i = 3; i < pixels.pixels.size(); i += 4)
      worstAlpha = std::max(worstAlpha, std::abs(pixels.pixels[i] - expected.pixels[i]));
    EXPECT_LE(worstAlpha, 1) << f->label;
    ++frames;
  }
  EXPECT_EQ(frames, 4);

  r = Render(out / "k.mov", out / "back_%02d.png", 1);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.frames, 4);
  EXPECT_TRUE(std::filesystem::exists(out / "back_04.png"));
}

TEST(FramePipeline, FailedVideoLeavesNoFile) {
  if (!FindOnPath("ffmpeg") || !FindOnPath("ffprobe"))
    GTEST_SKIP()
        << "ffmpeg is not installed (apt-get install ffmpeg); video round trips are not tested";
  testing::TempDir in, out;
  WriteSequence(in, 5, 32, 24);
  std::vector<std::uint8_t> bytes = ReadFileBytes(in / "shot_0004.png");
  bytes.resize(30);
  in.Write("shot_0004.png", bytes);
  const RenderRun r = Render(in / "shot_%04d.png", out / "k.webm", 2);
  EXPECT_NE(r.error.find("shot_0004.png: frame 4: "), std::string::npos) << r.error;
  EXPECT_TRUE(Listing(out.path()).empty()) << "no video and no temporary file";
}

}  // namespace
}  // namespace mattix::cli
