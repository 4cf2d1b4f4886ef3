// The plug-in inside the frei0r hosts people use, when they are installed:
// ffmpeg's frei0r filter and MLT's melt key the sample like `mattix render`,
// and a softness keyframed in an MLT project changes the matte between
// frames. FFmpeg decodes the sample as RGBA and converts it to the plug-in's
// BGRA and back (a reordering of bytes, exact); MLT swaps the bytes itself.
#include "host/cli/PngFile.h"
#include "host/cli/Subprocess.h"
#include "tests/cli/TempDir.h"
#include "tests/frei0r/Frei0rPlugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace mattix::test {
namespace {

// Skips the test unless `program` can run the plug-in.
#define SKIP_WITHOUT_HOST(program)                                                    \
  do {                                                                                \
    if (kSanitized) GTEST_SKIP() << program " cannot load a plug-in built with ASan"; \
    if (!cli::FindOnPath(program))                                                    \
      GTEST_SKIP() << program " is not installed (Debian package " program ")";       \
  } while (false)

#ifdef MATTIX_SANITIZE
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Runs a host with FREI0R_PATH at the built plug-in; its error output on
// failure.
std::string RunHost(const std::vector<std::string>& argv) {
  setenv("FREI0R_PATH", std::filesystem::path(MATTIX_FREI0R_PLUGIN).parent_path().c_str(), 1);
  cli::Subprocess host(argv, {}, argv[0] + " is missing");
  const int code = host.Wait();
  return code == 0 ? ""
                   : argv[0] + " exited with " + std::to_string(code) + ": " + host.ErrorTail();
}

bool SamePixels(const cli::BgraImage& a, const cli::BgraImage& b) {
  return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

TEST(Frei0rInFfmpeg, KeysTheSampleLikeTheRenderCommand) {
  SKIP_WITHOUT_HOST("ffmpeg");
  cli::testing::TempDir dir;
  ASSERT_EQ(RunHost({"ffmpeg", "-nostdin", "-v", "error", "-i", kSample, "-vf",
                     "frei0r=mattix:" + kProject + "|0.5", dir / "keyed.png"}),
            "");
  EXPECT_TRUE(SamePixels(cli::ReadPng(dir / "keyed.png"),
                         RenderWithCommand(kSample, {"--softness", "50"})));
}

// An MLT project of the sample over two frames, with the plug-in's
// properties.
std::string MltProject(const std::string& properties) {
  return R"(<mlt><profile width="480" height="320" progressive="1" sample_aspect_num="1"
    sample_aspect_den="1" display_aspect_num="3" display_aspect_den="2" frame_rate_num="25"
    frame_rate_den="1"/><producer in="0" out="1"><property name="resource">)" +
         kSample + R"(</property><filter><property name="mlt_service">frei0r.mattix</property>
    <property name="project">)" +
         kProject + "</property>" + properties + "</filter></producer></mlt>";
}

std::string RunMelt(const cli::testing::TempDir& dir, const std::string& properties) {
  dir.Write("project.mlt", MltProject(properties));
  return RunHost({"melt", "-quiet", dir / "project.mlt", "-consumer",
                  "avformat:" + dir / "frame_%d.png", "vcodec=png", "pix_fmt=rgba"});
}

TEST(Frei0rInMelt, KeysTheSampleToAPictureWithAlpha) {
  SKIP_WITHOUT_HOST("melt");
  cli::testing::TempDir dir;
  ASSERT_EQ(RunMelt(dir, ""), "");
  const cli::BgraImage keyed = cli::ReadPng(dir / "frame_1.png");
  EXPECT_TRUE(SamePixels(keyed, RenderWithCommand(kSample, {})));
  bool transparent = false;
  for (std::size_t i = 3; i < keyed.pixels.size(); i += 4) transparent |= keyed.pixels[i] == 0;
  EXPECT_TRUE(transparent);
}

TEST(Frei0rInMelt, KeyframedSoftnessChangesTheMatteBetweenFrames) {
  SKIP_WITHOUT_HOST("melt");
  cli::testing::TempDir dir;
  ASSERT_EQ(RunMelt(dir, R"(<property name="softness">0=0;1=1</property>
    <property name="matte">1</property>)"),
            "");
  const cli::BgraImage first = cli::ReadPng(dir / "frame_1.png");
  const cli::BgraImage second = cli::ReadPng(dir / "frame_2.png");
  EXPECT_FALSE(SamePixels(first, second));
  EXPECT_TRUE(SamePixels(first, RenderWithCommand(kSample, {"--softness", "0"}, true)));
  EXPECT_TRUE(SamePixels(second, RenderWithCommand(kSample, {"--softness", "100"}, true)));
}

}  // namespace
}  // namespace mattix::test
