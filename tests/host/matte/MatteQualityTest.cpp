// The keyed matte against the true alpha the sample generator knows: the
// shipped demo (samples/key.json on samples/greenscreen.png) and
// `mattix key auto` on the same scene before a green and a blue screen.
// Each fails when a change makes the matte worse than the bound written
// beside it, which is a little above what was measured when it was set.
#include "host/matte/BackdropKey.h"
#include "host/media/PngFile.h"
#include "host/samples/SampleScene.h"
#include "tests/host/TestSupport.h"
#include "tests/host/cli/CommandRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace mattix::matte {
namespace {

struct MatteError {
  long sum = 0;            // sum of absolute differences, 0 to 255 a pixel
  double mean = 0;         // per pixel
  double bandMean = 0;     // per pixel of the edge band
  int surfaceMisses = 0;   // pure backdrop or subject pixels not keyed exactly
  std::size_t paneLevels;  // the levels inside the glass pane (1: not banded)
};

// The edge band: pixels within two of one whose true alpha differs from its
// neighbour's (the subject's outline, the hair, the glass pane's border).
MatteError Compare(const media::BgraImage& matte, const media::GreyImage& truth) {
  const int w = truth.width, h = truth.height;
  MatteError e;
  long band = 0, bandSum = 0;
  std::set<int> pane;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int m = matte.Row(y)[x * 4], t = truth.Row(y)[x], d = std::abs(m - t);
      e.sum += d;
      int lo = 255, hi = 0;
      for (int v = std::max(0, y - 2); v <= std::min(h - 1, y + 2); ++v)
        for (int u = std::max(0, x - 2); u <= std::min(w - 1, x + 2); ++u)
          lo = std::min<int>(lo, truth.Row(v)[u]), hi = std::max<int>(hi, truth.Row(v)[u]);
      if (lo != hi) ++band, bandSum += d;
      e.surfaceMisses += (t == 0 || t == 255) && d != 0;
      if (lo == hi && t == 128) pane.insert(m);
    }
  e.mean = double(e.sum) / double(w * h);
  e.bandMean = double(bandSum) / double(std::max(1L, band));
  e.paneLevels = pane.size();
  return e;
}

// The shipped sample with its project, and `key auto` on the scene before a
// green and a blue screen. Measured by this test when the bounds were set:
// shipped mean 0.65, band 4.82, 4 misses (where the chin's spilled outline
// meets the shoulders in a colour that skin-over-backdrop edges share);
// green mean 2.63, band 16.72; blue mean 2.80, band 14.36. The glass pane is
// keyed at one level, without bands.
TEST(MatteQuality, AgainstTheTrueAlpha) {
  const struct {
    samples::Backdrop backdrop;
    bool shipped;  // else made by key auto
    double mean, bandMean;
    int surfaceMisses;
  } cases[] = {{samples::Backdrop::Green, true, 0.7, 5.1, 4},
               {samples::Backdrop::Green, false, 2.75, 17.2, 0},
               {samples::Backdrop::Blue, false, 2.95, 14.8, 0}};
  for (const auto& c : cases) {
    test::TempDir dir;
    const samples::SampleFrame scene = ScreenScene(480, 320, c.backdrop);
    std::string picture = MATTIX_SOURCE_DIR "/samples/greenscreen.png",
                project = MATTIX_SOURCE_DIR "/samples/key.json";
    if (c.shipped) {
      ASSERT_EQ(media::ReadPng(picture).pixels, scene.picture.pixels)
          << "the sample is not the scene";
    } else {
      picture = dir / "in.png", project = dir / "key.json";
      dir.Write("in.png", media::EncodePng(scene.picture, ""));
      const test::CommandResult r =
          test::RunMattix("key auto " + picture + " --project " + project);
      ASSERT_EQ(r.status, 0) << r.err;
    }
    const test::CommandResult r =
        test::RunMattix("render -f " + picture + " -o " + dir / "keyed.png" + " --matte " +
                        dir / "matte.png" + " --project " + project);
    ASSERT_EQ(r.status, 0) << r.err;
    const MatteError e = Compare(media::ReadPng(dir / "matte.png"), scene.alpha);
    std::printf("%s with %s: sum of differences %ld, mean %.2f, edge band mean %.2f\n",
                picture.c_str(), project.c_str(), e.sum, e.mean, e.bandMean);
    EXPECT_LE(e.mean, c.mean);
    EXPECT_LE(e.bandMean, c.bandMean);
    EXPECT_LE(e.surfaceMisses, c.surfaceMisses);
    EXPECT_EQ(e.paneLevels, 1u);
  }
}

}  // namespace
}  // namespace mattix::matte
