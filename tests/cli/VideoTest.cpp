// Video through ffmpeg: a missing ffmpeg explained, bad inputs and frames
// named. The round trip is in FramePipelineTest; output kinds from names in
// CommandsTest.
#include "host/cli/Subprocess.h"
#include "host/cli/Video.h"
#include "tests/cli/TempDir.h"
#include "tests/cli/TestSupport.h"

#include <gtest/gtest.h>

namespace mattix::cli {
namespace {

using testing::ErrorOf;

TEST(Video, MissingFfmpegSaysHowToInstallIt) {
  const FfmpegTools none{"mattix-no-such-ffmpeg", "mattix-no-such-ffprobe"};
  const VideoInfo info{4, 4, "25", 25.0, -1, "prores", false};
  for (const std::string& e : {ErrorOf([&] { ProbeVideo("in.mov", none); }), ErrorOf([&] {
                                 VideoWriter("out.mov", "/tmp/x", OutputFormat::ProRes4444, 4, 4,
                                             "25", none);
                               }),
                               ErrorOf([&] { VideoReader("in.mov", info, none); })}) {
    EXPECT_NE(e.find("apt-get install ffmpeg"), std::string::npos) << e;
    EXPECT_NE(e.find(".mov"), std::string::npos) << e;
  }
}

TEST(Video, BadInputsAndFramesAreNamed) {
  if (!FindOnPath("ffmpeg") || !FindOnPath("ffprobe"))
    GTEST_SKIP() << "ffmpeg is not installed (apt-get install ffmpeg): video is not tested";
  testing::TempDir dir;
  dir.Write("notes.mov", std::string("this is not a video"));
  const std::string e = ErrorOf([&] { ProbeVideo(dir / "notes.mov"); });
  EXPECT_EQ(e.rfind(dir / "notes.mov: cannot read as video", 0), 0u) << e;
  const std::string missing = ErrorOf([&] { ProbeVideo(dir / "absent.mov"); });
  EXPECT_EQ(missing.rfind(dir / "absent.mov: ", 0), 0u) << missing;
  VideoWriter writer(dir / "c.mov", dir / "c.mov", OutputFormat::ProRes4444, 16, 16, "25");
  writer.WriteFrame(BgraImage(16, 16));
  const std::string size = ErrorOf([&] { writer.WriteFrame(BgraImage(18, 16)); });
  EXPECT_NE(size.find("c.mov: frame 2: size 18 x 16 differs"), std::string::npos) << size;
}

}  // namespace
}  // namespace mattix::cli
