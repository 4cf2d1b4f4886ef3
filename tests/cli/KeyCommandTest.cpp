// `mattix key pick` and `mattix key clear` end to end through the built
// effect module: a picked colour is keyed by the next `mattix render` of the
// project, a far colour is not, --disc keys the picked colour's neighbours
// on the wheel too, and clearing leaves nothing keyed. Its refusals are
// among the commands' (CommandsTest).
#include "host/cli/Commands.h"
#include "host/cli/KeyCommand.h"
#include "host/cli/PngFile.h"
#include "host/cli/RenderCommand.h"
#include "tests/cli/TestSupport.h"

#include <gtest/gtest.h>

#include <array>

namespace mattix::cli {
namespace {

// Runs `mattix LINE` with the module's commands: its exit status.
int Mattix(const std::string& line) { return testing::RunMattix(line, Render, KeyPick).status; }

// The colours of the test frame, left to right: the key, a neighbour of it
// on the wheel (a hue 1.5 degrees away: about three wheel pixels, inside a
// disc but not the picked pixel), and a far magenta.
constexpr std::array<std::array<std::uint8_t, 3>, 3> kColours = {
    {{0, 200, 0}, {0, 200, 5}, {200, 0, 200}}};

TEST(KeyCommand, PickedColoursAreKeyedByTheNextRender) {
  testing::TempDir dir;
  BgraImage frame(int(kColours.size()), 1);
  for (std::size_t i = 0; i < kColours.size(); ++i)
    for (std::size_t c = 0; c < 4; ++c) frame.pixels[i * 4 + c] = c < 3 ? kColours[i][2 - c] : 255;
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
    ASSERT_EQ(Mattix(step.line + " --project " + project), 0);
    ASSERT_EQ(
        Mattix("render -f " + dir / "in.png" + " -o " + dir / "out.png" + " --project " + project),
        0);
    const BgraImage out = ReadPng(dir / "out.png");
    for (std::size_t i = 0; i < kColours.size(); ++i)
      EXPECT_EQ(out.pixels[i * 4 + 3], step.keyed[i] ? 0 : 255) << "colour " << i;
  }
}

}  // namespace
}  // namespace mattix::cli
