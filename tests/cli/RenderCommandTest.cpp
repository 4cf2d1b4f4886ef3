// `mattix render`'s conventions end to end through the built module: a shot
// rendered in chunks (--frames) equals one run (and its preview may be any
// video format), and a sequence with a gap renders with --allow-gaps.
#include "host/cli/FileBytes.h"
#include "host/cli/FrameReader.h"
#include "host/cli/PngFile.h"
#include "host/cli/RenderCommand.h"
#include "host/cli/Subprocess.h"
#include "host/cli/Video.h"
#include "tests/cli/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace mattix::cli {
namespace {

testing::CommandResult Mattix(const std::string& line) { return testing::RunMattix(line, Render); }

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

// A shot rendered in chunks equals one run: the sequence, and a video of the
// same frames (numbered from 1, two a second, so the last chunk seeks past
// the 2 seconds it decodes before its first frame) whose chunks start
// between keyframes (MPEG-4, a keyframe every third frame, B-frames). A frame
// picked from the video is that frame of the whole video.
TEST(RenderCommand, ChunksOfAShotEqualOneRun) {
  testing::TempDir dir;
  WriteNoiseSequence(dir, {3, 4, 5, 6, 7, 8, 9});
  const std::string common = " --project " MATTIX_SOURCE_DIR "/samples/key.json";
  const bool video = FindOnPath("ffmpeg") && FindOnPath("ffprobe");
  if (video) {
    Subprocess encode({"sh", "-c",
                       "cd '" + dir.path() +
                           "' && ffmpeg -v error -nostdin -framerate 2 -start_number 3 -i "
                           "f_%02d.png -c:v mpeg4 -g 3 -bf 2 -q:v 2 -pix_fmt yuv420p v.mp4"},
                      {}, "sh missing");
    ASSERT_EQ(encode.Wait(), 0);
  }
  const struct {
    std::string input, name;  // outputs name_NN.png
    std::vector<const char*> chunks;
    int first, last;
  } shots[] = {{dir / "f_%02d.png", "seq", {"3-4", "5-7", "8-9"}, 3, 9},
               {dir / "v.mp4", "video", {"1-2", "3-5", "6-7"}, 1, 7}};
  for (const auto& shot : shots) {
    if (shot.name == "video" && !video) continue;
    // The whole run also writes a preview, which may be a video without alpha.
    const std::string one = dir / (shot.name + "_one_%02d.png");
    const std::string preview = video ? " --preview " + dir / (shot.name + ".mp4") : "";
    ASSERT_EQ(Mattix("render " + shot.input + " -o " + one + preview + common).status, 0);
    for (const char* chunk : shot.chunks) {
      const testing::CommandResult r =
          Mattix("render " + shot.input + " -o " + dir / (shot.name + "_part_%02d.png") +
                 " --frames " + chunk + common);
      ASSERT_EQ(r.status, 0) << r.err;
    }
    for (int n = shot.first; n <= shot.last; ++n) {
      const std::string suffix = "_0" + std::to_string(n) + ".png";
      EXPECT_TRUE(ReadFileText(dir / (shot.name + "_part" + suffix)) ==
                  ReadFileText(dir / (shot.name + "_one" + suffix)))
          << shot.name << " frame " << n;
    }
  }
  if (video) {
    EXPECT_EQ(ProbeVideo(dir / "seq.mp4").frameCount, 7);
    const VideoInfo info = ProbeVideo(dir / "v.mp4");
    VideoReader whole(dir / "v.mp4", info);
    BgraImage frame;
    for (int n = 1; n <= 5; ++n) ASSERT_TRUE(whole.ReadFrame(frame));
    EXPECT_EQ(ReadInputFrame(dir / "v.mp4", 5).pixels, frame.pixels);
    EXPECT_TRUE(testing::Holds(testing::ErrorOf([&] { ReadInputFrame(dir / "v.mp4", 9); }),
                               "(its frames are 1 to 7)"));
  }
  EXPECT_EQ(testing::Listing(dir.path()).size(), video ? 7u * 3 + 3 + 7 * 2 : 7u * 3);
  const std::string render = "render " + shots[0].input + " -o " + dir / "x_%02d.png";
  testing::ExpectRefusals(
      {{render + " --frames 10-12", 1, "--frames 10-12 holds none of its frames (3 to 9)"},
       {render + " --frames 5-4", 2, "is not a range of frames"},
       {render + " --frames x", 2, "--frames"},
       {"render " + shots[0].input + " -o " + dir / "k.mp4", 1,
        "k.mp4: .mp4 output cannot keep the keyed alpha"}},
      Render);
  if (!video)
    GTEST_SKIP() << "ffmpeg is not installed (apt-get install ffmpeg): chunks of a video "
                    "are not tested";
}

TEST(RenderCommand, GapsAllowedWithAWarning) {
  testing::TempDir dir;
  WriteNoiseSequence(dir, {1, 2, 4});
  const std::string line = "render " + dir / "f_%02d.png" + " -o " + dir / "o_%02d.png";
  const testing::CommandResult r = Mattix(line + " --allow-gaps");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(testing::Holds(r.err, "warning: " + dir / "f_%02d.png" +
                                        ": the sequence has a gap: frame " +
                                        dir / "f_03.png is missing"));
  EXPECT_EQ(testing::Listing(dir.path()),
            (std::vector<std::string>{"f_01.png", "f_02.png", "f_04.png", "o_01.png", "o_02.png",
                                      "o_04.png"}));
}

}  // namespace
}  // namespace mattix::cli
