// `mattix render` through the built module: settings from a project file,
// sequences with a corrupt frame, job counts, and video.
#include "host/HostModule.h"
#include "host/Image.h"
#include "host/cli/CliError.h"
#include "host/cli/PngFile.h"
#include "host/cli/Project.h"
#include "host/cli/RenderCommand.h"
#include "host/cli/Subprocess.h"
#include "host/cli/Video.h"
#include "tests/cli/TempDir.h"
#include "tests/host/ModulePath.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace mattix::cli {
namespace {

namespace fs = std::filesystem;

// A small green-screen frame: a green ground, a skin-coloured disc that moves
// with t, a half-transparent grey square and a green-tinted edge.
BgraImage TestFrame(int w, int h, int t) {
  BgraImage image(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = image.Row(y) + std::size_t(x) * 4;
      const int dx = x - (w / 3 + t), dy = y - h / 2;
      std::uint8_t b = 40, g = 170, r = 50, a = 255;
      if (dx * dx + dy * dy < (h / 3) * (h / 3))
        b = 140, g = 170, r = 225;
      else if (dx * dx + dy * dy < (h / 3 + 2) * (h / 3 + 2))
        b = 100, g = 190, r = 150;
      if (x > 3 * w / 4 && y < h / 3) a = 128, b = 150, g = 150, r = 150;
      p[0] = b, p[1] = g, p[2] = r, p[3] = a;
    }
  }
  return image;
}

void WritePng(const std::string& path, const BgraImage& image) {
  const std::vector<std::uint8_t> bytes = EncodePng(image, path);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// The shipped sample project with other softness and spill: a drawn mask.
ProjectSettings SampleSettings() {
  ProjectSettings s = ReadProject(std::string(MATTIX_SOURCE_DIR) + "/samples/key.json");
  s.softness = 12.5;
  s.spillSuppression = 60.0;
  s.lightness = {2.0, 10.0, 90.0, 99.0};
  return s;
}

// The error of a render, or "" when it succeeded.
std::string RunRender(const std::vector<std::string>& args) {
  try {
    RenderCommand(args);
    return "";
  } catch (const CliError& e) {
    return e.what();
  }
}

std::vector<std::uint8_t> Bytes(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(std::uint8_t(c));
    std::fclose(f);
  }
  return bytes;
}

// Keys a frame with the host API directly, settings set on the instance.
BgraImage KeyDirectly(const BgraImage& input, const ProjectSettings& s) {
  auto module = host::CHostModule::Load(test::ModulePath());
  module->RegisterEffects();
  auto instance = module->CreateInstance();
  EXPECT_EQ(instance->DefineParameters(), 0);
  instance->SetNumber(0, s.softness);
  instance->SetNumber(1, s.spillSuppression);
  instance->SetData(5, s.lightness.data(), 32);
  instance->SetData(6, s.chromaMask.data(), std::uint32_t(s.chromaMask.size()));
  BgraImage in = input, out(input.width, input.height);
  auto inImage =
      host::CImage::WrapBgra(in.pixels.data(), in.width, in.height, int(in.Stride()), false);
  auto outImage =
      host::CImage::WrapBgra(out.pixels.data(), out.width, out.height, int(out.Stride()), false);
  EXPECT_EQ(instance->Render(*outImage, *inImage), 0);
  return out;
}

TEST(RenderCommand, ProjectFileCarriesTheSettings) {
  testing::TempDir dir;
  const ProjectSettings settings = SampleSettings();
  dir.Write("p.json", ProjectToJson(settings));
  const BgraImage input = TestFrame(40, 30, 0);
  WritePng(dir / "in.png", input);
  ASSERT_EQ(RunRender({dir / "in.png", "-o", dir / "out.png", "--project", dir / "p.json"}), "");
  const BgraImage keyed = ReadPng(dir / "out.png");
  EXPECT_EQ(keyed.pixels, KeyDirectly(input, settings).pixels);
  // The mask really keys: the green ground has lost its alpha.
  EXPECT_LT(keyed.Row(1)[3], 64);
  // Flags override the project.
  ASSERT_EQ(RunRender({dir / "in.png", "-o", dir / "soft.png", "--project", dir / "p.json",
                       "--softness", "40"}),
            "");
  ProjectSettings softer = settings;
  softer.softness = 40.0;
  EXPECT_EQ(ReadPng(dir / "soft.png").pixels, KeyDirectly(input, softer).pixels);
}

TEST(RenderCommand, CorruptFrameStopsTheSequenceThere) {
  testing::TempDir dir;
  dir.Write("p.json", ProjectToJson(SampleSettings()));
  for (int n = 1; n <= 3; ++n)
    WritePng(dir / ("in_000" + std::to_string(n) + ".png"), TestFrame(16, 12, n));
  dir.Write("in_0002.png", std::string("\x89PNG\r\n\x1a\n truncated", 18));
  const std::string error = RunRender({dir / "in_%04d.png", "-o", dir / "out_%04d.png", "--project",
                                       dir / "p.json", "--jobs", "2"});
  EXPECT_NE(error.find("in_0002.png"), std::string::npos) << error;
  EXPECT_NE(error.find("frame 2"), std::string::npos) << error;
  EXPECT_TRUE(fs::exists(dir / "out_0001.png"));
  EXPECT_FALSE(fs::exists(dir / "out_0002.png"));
  EXPECT_FALSE(fs::exists(dir / "out_0003.png"));
}

TEST(RenderCommand, OneJobAndTwoJobsWriteTheSameFiles) {
  testing::TempDir dir;
  dir.Write("p.json", ProjectToJson(SampleSettings()));
  constexpr int kFrames = 6;
  for (int n = 1; n <= kFrames; ++n)
    WritePng(dir / ("in_000" + std::to_string(n) + ".png"), TestFrame(48, 32, n));
  for (const char* jobs : {"1", "2"}) {
    const std::string tag = std::string("j") + jobs;
    ASSERT_EQ(RunRender({dir / "in_%04d.png", "-o", dir / (tag + "_%04d.png"), "--project",
                         dir / "p.json", "--matte", dir / (tag + "m_%04d.png"), "--jobs", jobs}),
              "");
  }
  for (int n = 1; n <= kFrames; ++n) {
    for (const std::string kind : {"", "m"}) {
      const std::string one = dir / ("j1" + kind + "_000" + std::to_string(n) + ".png");
      const std::string two = dir / ("j2" + kind + "_000" + std::to_string(n) + ".png");
      ASSERT_FALSE(Bytes(one).empty()) << one;
      EXPECT_EQ(Bytes(one), Bytes(two)) << one;
    }
  }
}

TEST(RenderCommand, VideoRoundTrip) {
  if (!FindOnPath("ffmpeg") || !FindOnPath("ffprobe"))
    GTEST_SKIP()
        << "ffmpeg is not installed (apt-get install ffmpeg); the video round trip is not tested";
  testing::TempDir dir;
  dir.Write("p.json", ProjectToJson(SampleSettings()));
  constexpr int kFrames = 4;
  for (int n = 1; n <= kFrames; ++n)
    WritePng(dir / ("in_000" + std::to_string(n) + ".png"), TestFrame(32, 24, n));
  ASSERT_EQ(RunRender({dir / "in_%04d.png", "-o", dir / "k.mov", "--project", dir / "p.json"}), "");
  ASSERT_EQ(RunRender({dir / "k.mov", "-o", dir / "back_%04d.png"}), "");
  // Without a mask the second render copies: the frames come back as the
  // first render keyed them, within ProRes 4444's rounding.
  for (int n = 1; n <= kFrames; ++n) {
    const BgraImage expected = KeyDirectly(TestFrame(32, 24, n), SampleSettings());
    const BgraImage back = ReadPng(dir / ("back_000" + std::to_string(n) + ".png"));
    ASSERT_EQ(back.pixels.size(), expected.pixels.size());
    for (std::size_t i = 0; i < back.pixels.size(); i += 4) {
      EXPECT_NEAR(back.pixels[i + 3], expected.pixels[i + 3], 1) << "frame " << n << " byte " << i;
      if (expected.pixels[i + 3] == 0) continue;
      for (std::size_t c = 0; c < 3; ++c)
        EXPECT_NEAR(back.pixels[i + c], expected.pixels[i + c], 2)
            << "frame " << n << " byte " << i + c;
    }
  }
}

}  // namespace
}  // namespace mattix::cli
