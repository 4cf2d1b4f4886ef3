// The sample that ships in samples/: its project keys the picture's green
// backdrop fully, leaves the subject alone and keys the glass pane partly.
// Hue and saturation are computed here with the textbook HLS formulas.
#include "host/cli/MaskRecord.h"
#include "host/cli/PngFile.h"
#include "host/cli/Project.h"
#include "host/cli/SampleScene.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace mattix::cli {
namespace {

const std::string kSamples = std::string(MATTIX_SOURCE_DIR) + "/samples/";

// HLS of 8-bit RGB: hue in turns (negative for greys), saturation 0 to 1.
void Hls(int r, int g, int b, double& hue, double& saturation) {
  const double R = r / 255.0, G = g / 255.0, B = b / 255.0;
  const double mx = std::max({R, G, B}), mn = std::min({R, G, B});
  const double l = (mx + mn) / 2.0, d = mx - mn;
  if (d == 0.0) {
    hue = -1.0;
    saturation = 0.0;
    return;
  }
  saturation = l <= 0.5 ? d / (mx + mn) : d / (2.0 - mx - mn);
  double h;
  if (mx == R)
    h = (G - B) / d;
  else if (mx == G)
    h = 2.0 + (B - R) / d;
  else
    h = 4.0 + (R - G) / d;
  hue = h / 6.0;
  if (hue < 0.0) hue += 1.0;
}

class Sample : public ::testing::Test {
 protected:
  void SetUp() override {
    project = ReadProject(kSamples + "key.json");
    mask = PictureFromMaskRecord(project.chromaMask, "key.json");
    picture = ReadPng(kSamples + "greenscreen.png");
  }
  int Weight(int x, int y) const {
    const std::uint8_t* p = picture.Row(y) + x * 4;
    double h, s;
    Hls(p[2], p[1], p[0], h, s);
    const wheel::Position at = h >= 0.0 ? wheel::PositionOf(float(h), float(s))
                                        : wheel::Position{wheel::kGreyRow, wheel::kGreyColumn};
    return mask.Row(208 - at.row)[at.column];
  }
  ProjectSettings project;
  GreyImage mask;
  BgraImage picture;
};

TEST_F(Sample, ProjectHoldsTheGeneratorsMask) {
  EXPECT_EQ(project.softness, 10.0);
  EXPECT_EQ(project.spillSuppression, 60.0);
  ASSERT_TRUE(project.HasMask());
  EXPECT_EQ(mask.pixels, SampleMaskPicture().pixels)
      << "samples/ is stale: run mattix_samplegen samples";
  const BgraImage maskPicture = ReadPng(kSamples + "green-mask.png");
  ASSERT_EQ(maskPicture.width, 241);
  for (std::size_t i = 0; i < mask.pixels.size(); ++i)
    ASSERT_EQ(maskPicture.pixels[i * 4], mask.pixels[i]);
}

TEST_F(Sample, BackdropIsKeyedSubjectIsNotGlassIsPartly) {
  ASSERT_EQ(picture.width, 480);
  ASSERT_EQ(picture.height, 320);
  const int w = picture.width, h = picture.height;
  // Backdrop: corners and the sides.
  for (auto [x, y] : {std::pair{2, 2}, {w - 3, 2}, {2, h / 2}, {w - 3, h - 3}, {w / 2 + 60, 20}})
    EXPECT_EQ(Weight(x, y), 255) << x << "," << y;
  // Face and shirt.
  EXPECT_EQ(Weight(int(0.40 * w), int(0.42 * h)), 0);
  EXPECT_EQ(Weight(int(0.40 * w), h - 10), 0);
  // Glass pane centre: keyed partly, the semi-transparent region.
  const int glass = Weight(int(0.80 * w), int(0.40 * h));
  EXPECT_GT(glass, 40);
  EXPECT_LT(glass, 215);
  // Hair strands over the green: some anti-aliased pixels are keyed partly.
  int partial = 0;
  for (int y = int(0.05 * h); y < int(0.25 * h); ++y)
    for (int x = int(0.15 * w); x < int(0.65 * w); ++x) {
      const int k = Weight(x, y);
      partial += k > 0 && k < 255;
    }
  EXPECT_GT(partial, 100);
}

}  // namespace
}  // namespace mattix::cli
