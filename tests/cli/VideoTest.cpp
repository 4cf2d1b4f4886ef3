// Child processes and video through ffmpeg: pipes, exit statuses and the
// error tail, a missing program explained, a child that stops reading, bad
// inputs and frames named. The video round trip is in FramePipelineTest.
#include "host/cli/Subprocess.h"
#include "host/cli/Video.h"
#include "tests/cli/TestSupport.h"

#include <gtest/gtest.h>

namespace mattix::cli {
namespace {

using testing::ErrorOf;

// Pipes both ways are the video round trip's (FramePipelineTest).
TEST(Subprocess, StatusesErrorTailAndAChildThatLeft) {
  const std::tuple<const char*, int, std::string> cases[] = {
      {"echo first >&2; echo ' oops ' >&2; exit 3", 3, "first\n oops"},
      {"kill -TERM $$", 128 + 15, ""},
      // Long output keeps at most 2000 bytes: whole lines, the last ones.
      {"i=0; while [ $i -lt 3000 ]; do echo line $i >&2; i=$((i+1)); done", 0, "line 2999"}};
  for (const auto& [script, status, tail] : cases) {
    Subprocess sh({"sh", "-c", script}, {}, "sh missing");
    EXPECT_EQ(sh.Wait(), status) << script;
    const std::string got = sh.ErrorTail();
    EXPECT_LE(got.size(), 2000u);
    EXPECT_EQ(got.rfind(got.size() > 100 ? "line " : tail, 0), 0u) << got;
    EXPECT_EQ(got.substr(got.size() - tail.size()), tail) << script;
  }
  EXPECT_EQ(ErrorOf([] { Subprocess({"mattix-no-such-program-x"}, {}, "install x"); }),
            "install x");
  // The child exits without reading: the write fails with EPIPE, not SIGPIPE.
  Subprocess t({"true"}, {true, false}, "true missing");
  const std::string big(1 << 20, 'x');
  bool ok = true;
  for (int i = 0; i < 8 && ok; ++i) ok = t.WriteAll(big.data(), big.size());
  EXPECT_FALSE(ok);
  EXPECT_EQ(t.Wait(), 0);
}

TEST(Video, MissingFfmpegSaysHowToInstallIt) {
  const FfmpegTools none{"mattix-no-such-ffmpeg", "mattix-no-such-ffprobe"};
  const VideoInfo info{4, 4, "25", 25.0, -1, "prores", false};
  const auto write = [&] {
    VideoWriter("o.mov", "/tmp/x", OutputFormat::ProRes4444, 4, 4, "25", none);
  };
  for (const std::string& e : {ErrorOf([&] { ProbeVideo("in.mov", none); }), ErrorOf(write),
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
