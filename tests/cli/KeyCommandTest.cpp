// `mattix key pick` and `mattix key clear` end to end through the built
// effect module: a picked colour is keyed by the next `mattix render` of the
// project, a far colour is not, --disc keys the picked colour's neighbours
// on the wheel too, and clearing leaves nothing keyed.
#include "host/cli/Commands.h"
#include "host/cli/KeyCommand.h"
#include "host/cli/PngFile.h"
#include "host/cli/RenderCommand.h"
#include "tests/cli/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <iterator>
#include <sstream>

namespace mattix::cli {
namespace {

// Runs `mattix LINE` with the module's commands; the exit status and stderr.
std::pair<int, std::string> Mattix(const std::string& line) {
  const testing::CommandResult r = testing::RunMattix(line, Render, KeyPick);
  return {r.status, r.err};
}

// The colours of the test frame, left to right: the key, a neighbour of it
// on the wheel (a hue 1.5 degrees away: about three wheel pixels, inside a
// disc but not the picked pixel), and a far magenta.
constexpr std::array<std::array<std::uint8_t, 3>, 3> kColours = {
    {{0, 200, 0}, {0, 200, 5}, {200, 0, 200}}};

TEST(KeyCommand, PickedColoursAreKeyedByTheNextRender) {
  testing::TempDir dir;
  BgraImage frame(int(kColours.size()), 1);
  for (std::size_t i = 0; i < kColours.size(); ++i)
    frame.pixels[i * 4 + 0] = kColours[i][2], frame.pixels[i * 4 + 1] = kColours[i][1],
                         frame.pixels[i * 4 + 2] = kColours[i][0], frame.pixels[i * 4 + 3] = 255;
  dir.Write("in.png", EncodePng(frame, ""));
  // A sequence whose frame 3 is the test frame and frame 2 is black.
  dir.Write("seq_02.png", EncodePng(BgraImage(int(kColours.size()), 1), ""));
  dir.Write("seq_03.png", EncodePng(frame, ""));
  const std::string project = dir / "key.json";  // missing: created by the first pick
  struct Step {
    std::string line;
    std::array<bool, 3> keyed;  // alpha 0 for each colour, else 255
  };
  const Step steps[] = {
      {"key pick --at " + dir / "in.png" + ":0,0", {true, false, false}},
      {"key clear", {false, false, false}},
      {"key pick --colour 0,200,0 --disc", {true, true, false}},
      {"key clear", {false, false, false}},
      {"key pick --colour 0,200,0 --at " + dir / "seq_%02d.png" + ":2,0 --frame 3",
       {true, false, true}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.line);
    ASSERT_EQ(Mattix(step.line + " --project " + project).first, 0);
    ASSERT_EQ(
        Mattix("render -f " + dir / "in.png" + " -o " + dir / "out.png" + " --project " + project)
            .first,
        0);
    const BgraImage out = ReadPng(dir / "out.png");
    for (std::size_t i = 0; i < kColours.size(); ++i)
      EXPECT_EQ(out.pixels[i * 4 + 3], step.keyed[i] ? 0 : 255) << "colour " << i;
  }
}

TEST(KeyCommand, Errors) {
  testing::TempDir dir;
  dir.Write("in.png", EncodePng(BgraImage(4, 3), ""));
  const std::string project = " --project " + dir / "key.json";
  const std::string in = dir / "in.png";
  const struct {
    std::string line;
    int status;
    std::string message;
  } cases[] = {
      {"key pick --at " + in + ":4,0" + project, 1,
       in + ": pixel 4,0 is outside the picture (4 x 3)"},
      {"key pick --colour 0,256,0" + project, 1, dir / "key.json" + ": --colour 256 is out of"},
      {"key pick" + project, 2, "--colour or --at is required"},
      {"key pick --colour 1,2,3 --frame 2" + project, 2, "give --at too"},
      {"key pick --at " + in + ":0,0 --frame 2" + project, 1, in + ": is one picture"},
  };
  for (const auto& c : cases) {
    const auto [status, err] = Mattix(c.line);
    EXPECT_EQ(status, c.status) << c.line;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace mattix::cli
