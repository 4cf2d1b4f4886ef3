// `mattix render` refuses a video whose frames are larger than the largest
// frame it keys, from what ffprobe reports, before any frame is decoded: exit
// status 1, a message naming the file, its size and the limit, and nothing in
// the output folder. The videos are YUV4MPEG2 files written here: one whole
// frame 16400 pixels wide, and a header claiming 8200 x 8200 (more pixels in
// all than the limit, each side within it) without its frame data.
#include "host/cli/Commands.h"
#include "host/cli/RenderCommand.h"
#include "host/cli/Subprocess.h"
#include "tests/cli/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace mattix::cli {
namespace {

TEST(RenderCommand, VideoLargerThanTheLargestFrameIsRefused) {
  if (!FindOnPath("ffmpeg") || !FindOnPath("ffprobe"))
    GTEST_SKIP()
        << "ffmpeg is not installed (apt-get install ffmpeg): the video limit is not tested";
  testing::TempDir dir;
  std::filesystem::create_directories(dir / "out");
  // 4:2:0: a full-size luma plane, then two quarter-size chroma planes.
  dir.Write("wide.y4m", "YUV4MPEG2 W16400 H2 F25:1 Ip A1:1 C420jpeg\nFRAME\n" +
                            std::string(16400 * 2 + 2 * 8200, '\x80'));
  dir.Write("many.y4m", std::string("YUV4MPEG2 W8200 H8200 F25:1 Ip A1:1 C420jpeg\nFRAME\n"));
  const struct {
    const char* name;
    const char* size;
  } cases[] = {{"wide.y4m", "16400 x 2"}, {"many.y4m", "8200 x 8200"}};
  for (const auto& c : cases) {
    const testing::CommandResult r =
        testing::RunMattix("render " + (dir / c.name) + " -o " + (dir / "out/k.mov"), Render);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(dir / c.name + ": the video's frame is " + c.size +
                         " pixels; Mattix keys frames up to 16384 pixels a side and 8192 x 8192"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir / "out")) << c.name;
  }
}

}  // namespace
}  // namespace mattix::cli
