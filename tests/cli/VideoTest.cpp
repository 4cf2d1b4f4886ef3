// Video through ffmpeg: output kinds from names, a missing ffmpeg explained,
// and bad inputs and frames named. The round trip is in FramePipelineTest.
#include "host/cli/CliError.h"
#include "host/cli/Subprocess.h"
#include "host/cli/Video.h"
#include "tests/cli/TempDir.h"

#include <gtest/gtest.h>

namespace mattix::cli {
namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const CliError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(Video, KindsAndFormatsFromNames) {
  for (const auto& [path, kind] : {std::pair{"a/shot_%04d.png", MediaKind::Sequence},
                                   {"a/shot.PNG", MediaKind::Picture},
                                   {"clip.mp4", MediaKind::Video},
                                   {"png.d/clip", MediaKind::Video}})
    EXPECT_EQ(InputKindOf(path), kind) << path;
  for (const auto& [path, format] : {std::pair{"out.mov", OutputFormat::ProRes4444},
                                     {"out.WebM", OutputFormat::Vp9Alpha},
                                     {"out.png", OutputFormat::Png},
                                     {"out_%03d.png", OutputFormat::PngSequence}})
    EXPECT_EQ(OutputFormatOf(path), format) << path;
  for (const auto& [path, error] : {std::pair{"out.mp4", "out.mp4: .mp4 output cannot keep"},
                                    {"out", "out: unknown output type"},
                                    {"out.xyz", ".mov (ProRes 4444)"}})
    EXPECT_NE(ErrorOf([&] { OutputFormatOf(path); }).find(error), std::string::npos) << path;
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
