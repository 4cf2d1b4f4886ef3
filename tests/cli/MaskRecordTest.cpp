// Mask pictures and the record: the picture's rows are as displayed (the
// record's stream starts with the bottom row), levels of colour pictures,
// errors that name the file, and the sample's mask. The record's own layout is tested with the
// wheel's record code.
#include "host/cli/MaskRecord.h"
#include "host/cli/PngFile.h"
#include "host/cli/Project.h"
#include "host/cli/SampleScene.h"
#include "tests/cli/TestSupport.h"
#include "tests/pixmill/Rle8Check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace mattix::cli {
namespace {

GreyImage RandomMask(unsigned seed) {
  std::mt19937 rng(seed);
  GreyImage m(wheel::kWidth, wheel::kHeight);
  // Patches of constant value (runs) and noise (literals).
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x)
      m.Row(y)[x] = ((x / 16 + y / 8) % 3 == 0) ? std::uint8_t(rng()) : std::uint8_t((x / 30) * 36);
  return m;
}

TEST(MaskRecord, PicturesRoundTripWithTheBottomRowFirst) {
  GreyImage white(wheel::kWidth, wheel::kHeight);
  std::fill(white.pixels.begin(), white.pixels.end(), 255);
  for (const GreyImage& p :
       {GreyImage(wheel::kWidth, wheel::kHeight), RandomMask(2), white, SampleMaskPicture()}) {
    const std::vector<std::uint8_t> record = MaskRecordFromPicture(p, "w.png");
    const std::vector<std::uint8_t> stream(record.begin() + 144, record.end());
    const auto rows = pixmill_test::ReferenceDecode(stream, 241, 209, 244);
    ASSERT_TRUE(rows.has_value());
    for (int row = 0; row < 209; ++row)
      for (int x = 0; x < 241; ++x)
        ASSERT_EQ((*rows)[std::size_t(row * 244 + x)], p.Row(208 - row)[x]) << row << "," << x;
    EXPECT_EQ(PictureFromMaskRecord(record, "key.json").pixels, p.pixels);
  }
  for (std::size_t size : {0u, 144u}) {
    const std::vector<std::uint8_t> empty(size, 0);
    const GreyImage p = PictureFromMaskRecord(empty, "key.json");
    EXPECT_EQ(std::count(p.pixels.begin(), p.pixels.end(), 0), 241 * 209);
    EXPECT_NO_THROW(ValidateMaskRecord(empty, "key.json"));
  }
  std::vector<std::uint8_t> damaged = MaskRecordFromPicture(RandomMask(4), "w.png");
  damaged.resize(damaged.size() - 10);
  for (const std::string& e :
       {testing::ErrorOf([&] { PictureFromMaskRecord(damaged, "key.json"); }),
        testing::ErrorOf([&] { ValidateMaskRecord(damaged, "key.json"); })})
    EXPECT_EQ(e, "key.json: the chroma mask record is damaged and cannot be decoded");
}

// mean(r, g, b) * a / 255, rounded, against the exact value.
TEST(MaskRecord, LevelsFromColourPictures) {
  std::mt19937 rng(5);
  BgraImage p(500, 1);
  for (auto& v : p.pixels) v = std::uint8_t(rng());
  p.pixels[0] = p.pixels[1] = p.pixels[2] = p.pixels[3] = 255;  // white, opaque: 255
  p.pixels[7] = 0;                                              // transparent: 0
  const GreyImage g = MaskLevelsFromPicture(p);
  for (int x = 0; x < 500; ++x) {
    const std::uint8_t* q = p.Row(0) + x * 4;
    const double exact = (q[0] + q[1] + q[2]) / 3.0 * q[3] / 255.0;
    EXPECT_EQ(g.pixels[std::size_t(x)], std::lround(exact)) << x;
  }
}

TEST(SampleScene, MaskKeysGreenAndNothingElse) {
  const GreyImage mask = SampleMaskPicture();
  auto at = [&](wheel::Position p) { return mask.Row(208 - p.row)[p.column]; };
  EXPECT_EQ(at({194, 60}), 255);  // pure green (hue 1/3, saturation 1)
  EXPECT_EQ(at({104, 240}), 0);   // red
  EXPECT_EQ(at({14, 60}), 0);     // blue
  EXPECT_EQ(at({120, 120}), 0);   // where the engine reads greys
  EXPECT_EQ(at({104, 120}), 0);   // the centre: saturation 0
  // The backdrop green (hue about 0.36, saturation about 0.62) is keyed fully.
  EXPECT_EQ(at(wheel::PositionOf(0.36f, 0.62f)), 255);
  // Every pixel holds the weight of the colours falling on it, up to the
  // sampling of the hue/saturation grid (the weight changes by less than 3
  // between neighbouring samples).
  std::mt19937 rng(6);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int i = 0; i < 5000; ++i) {
    const float h = u(rng), s = u(rng);
    ASSERT_GE(at(wheel::PositionOf(h, s)) + 3, SampleKeyWeight(h, s)) << h << " " << s;
  }
}

// The shipped samples/ hold the generator's mask; how they key the picture
// is pinned by the golden renders of the host test.
TEST(SampleScene, SamplesHoldTheGeneratorsMask) {
  const std::string samples = std::string(MATTIX_SOURCE_DIR) + "/samples/";
  const ProjectSettings project = ReadProject(samples + "key.json");
  EXPECT_EQ(project.softness, 10.0);
  EXPECT_EQ(project.spillSuppression, 60.0);
  const GreyImage mask = PictureFromMaskRecord(project.chromaMask, "key.json");
  EXPECT_EQ(mask.pixels, SampleMaskPicture().pixels)
      << "samples/ is stale: run mattix_samplegen samples";
  const BgraImage maskPicture = ReadPng(samples + "green-mask.png");
  ASSERT_EQ(maskPicture.width, 241);
  for (std::size_t i = 0; i < mask.pixels.size(); ++i)
    ASSERT_EQ(maskPicture.pixels[i * 4], mask.pixels[i]);
}

}  // namespace
}  // namespace mattix::cli
