// `mattix key auto` end to end on the sample scene before a green and a blue
// screen, whose true alpha the generator knows: the project it writes, and
// the facts any right key must hold on the render: backdrop away from the
// subject keyed away, subject away from its edges kept, the glass pane's
// colours keyed partly. How close the key comes is the benchmark's work
// (bench/matte_vs_ffmpeg.sh).
#include "host/media/PngFile.h"
#include "host/project/Project.h"
#include "host/samples/SampleScene.h"
#include "tests/host/TestSupport.h"
#include "tests/host/cli/CommandRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace mattix::matte {
namespace {

TEST(KeyAuto, KeysTheScreenKeepsTheSubjectAndGradesThePane) {
  for (const samples::Backdrop backdrop : {samples::Backdrop::Green, samples::Backdrop::Blue}) {
    test::TempDir dir;
    const samples::SampleFrame scene = ScreenScene(480, 320, backdrop);
    dir.Write("in.png", media::EncodePng(scene.picture, ""));
    const std::string project = " --project " + dir / "key.json";
    for (const std::string& line :
         {"key auto " + dir / "in.png" + project,
          "render " + dir / "in.png" + " -o " + dir / "k.png --matte " + dir / "m.png" + project})
      test::RunMattixOk(line);
    const project::ProjectSettings s = project::ReadProject(dir / "key.json");
    // The window it chooses is judged by the render below.
    EXPECT_EQ(std::tuple(s.softness, s.spillSuppression), std::tuple(0.0, 0.0));
    EXPECT_EQ(s.finishing.screen, backdrop == samples::Backdrop::Green
                                      ? project::ScreenChannel::kGreen
                                      : project::ScreenChannel::kBlue);
    EXPECT_GT(s.finishing.despill, 0.0);
    const media::BgraImage matte = media::ReadPng(dir / "m.png");
    const media::GreyImage& truth = scene.alpha;
    // Pixels whose 13 x 13 neighbourhood is all backdrop, all subject, or
    // all of one partial level (the pane's inside): the window's least and
    // greatest true alpha, row by row.
    const int w = truth.width, h = truth.height;
    int wrongBackdrop = 0, wrongSubject = 0, pane = 0, paneKeyedPartly = 0;
    for (int y = 6; y < h - 6; ++y)
      for (int x = 6; x < w - 6; ++x) {
        int lo = 255, hi = 0;
        for (int v = y - 6; v <= y + 6; ++v) {
          const auto [low, high] = std::minmax_element(truth.Row(v) + x - 6, truth.Row(v) + x + 7);
          lo = std::min<int>(lo, *low);
          hi = std::max<int>(hi, *high);
        }
        const int a = matte.Row(y)[x * 4];
        if (lo != hi) continue;
        if (lo == 0) wrongBackdrop += a != 0;
        if (lo == 255) wrongSubject += a != 255;
        if (lo > 0 && lo < 255) {
          ++pane;
          paneKeyedPartly += a > 0 && a < 255;
        }
      }
    EXPECT_EQ(std::tuple(wrongBackdrop, wrongSubject, paneKeyedPartly), std::tuple(0, 0, pane));
    EXPECT_GT(pane, 1000);
  }
}

}  // namespace
}  // namespace mattix::matte
