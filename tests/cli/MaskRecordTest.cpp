// Mask pictures and the record: the picture's rows are as displayed (the
// record's stream starts with the bottom row), levels of colour pictures,
// errors that name the file, and the sample's mask. The record's own layout is tested with the
// wheel's record code.
#include "host/cli/BackdropKey.h"
#include "host/cli/MaskRecord.h"
#include "host/cli/PngFile.h"
#include "host/cli/Project.h"
#include "host/cli/SampleScene.h"
#include "tests/cli/TestSupport.h"
#include "tests/pixmill/Rle8Check.h"

#include <gtest/gtest.h>

#include <array>
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
    const auto rows =
        pixmill_test::ReferenceDecode({record.begin() + 144, record.end()}, 241, 209, 244);
    ASSERT_TRUE(rows.has_value());
    for (int row = 0; row < 209; ++row)
      ASSERT_TRUE(std::equal(p.Row(208 - row), p.Row(208 - row) + 241, rows->begin() + row * 244))
          << row;
    EXPECT_EQ(PictureFromMaskRecord(record, "key.json").pixels, p.pixels);
  }
  // Empty records (none, or the zero header) are valid and key nothing; a cut one is damaged.
  for (std::size_t size : {0u, 144u}) {
    EXPECT_EQ(PictureFromMaskRecord(std::vector<std::uint8_t>(size), "key.json").pixels,
              std::vector<std::uint8_t>(241 * 209));
    EXPECT_NO_THROW(ValidateMaskRecord(std::vector<std::uint8_t>(size), "key.json"));
  }
  std::vector<std::uint8_t> damaged = MaskRecordFromPicture(RandomMask(4), "w.png");
  damaged.resize(damaged.size() - 10);
  for (const std::string& e :
       {testing::ErrorOf([&] { PictureFromMaskRecord(damaged, "key.json"); }),
        testing::ErrorOf([&] { ValidateMaskRecord(damaged, "key.json"); })})
    EXPECT_EQ(e, "key.json: the chroma mask record is damaged and cannot be decoded");
}

// A painted pixel's brightness is its key weight, whatever its hue and alpha;
// what was ignored is reported.
TEST(MaskRecord, LevelsFromColourPictures) {
  const struct {
    std::array<std::uint8_t, 4> bgra;
    std::uint8_t level;
    bool colour, alpha;
  } cases[] = {
      {{0, 255, 0, 255}, 255, true, false},  // full green keys fully
      {{90, 90, 90, 255}, 90, false, false}, {{10, 0, 200, 255}, 200, true, false},
      {{70, 70, 70, 0}, 70, false, true},  // transparent: alpha ignored
      {{0, 0, 0, 255}, 0, false, false},
  };
  for (const auto& c : cases) {
    BgraImage p(1, 1);
    std::copy(c.bgra.begin(), c.bgra.end(), p.pixels.begin());
    IgnoredInPicture ignored;
    EXPECT_EQ(MaskLevelsFromPicture(p, &ignored).pixels[0], c.level);
    EXPECT_EQ(ignored.colour, c.colour);
    EXPECT_EQ(ignored.alpha, c.alpha);
  }
}

// The guide shows the wheel's hue where the mask keys nothing, the same hue
// lifted towards white where it keys fully, and black outside the hexagon.
TEST(MaskRecord, GuideShowsHuesUnderTheMask) {
  GreyImage mask(wheel::kWidth, wheel::kHeight);
  const wheel::Position green = wheel::PositionOf(1.0f / 3, 0.9f);
  const wheel::Position blue = wheel::PositionOf(2.0f / 3, 0.9f);
  mask.Row(208 - blue.row)[blue.column] = 255;
  const BgraImage guide = MaskGuidePicture(mask);
  const auto at = [&](wheel::Position p) { return guide.Row(208 - p.row) + p.column * 4; };
  const std::uint8_t* g = at(green);  // B, G, R
  EXPECT_TRUE(g[1] >= 100 && g[1] <= 128 && g[0] < 40 && g[2] < 40)
      << int(g[0]) << " " << int(g[1]) << " " << int(g[2]);
  const std::uint8_t* b = at(blue);
  EXPECT_TRUE(b[0] > b[1] && b[0] > b[2] && b[1] >= 191 && b[2] >= 191)
      << int(b[0]) << " " << int(b[1]) << " " << int(b[2]);
  EXPECT_EQ(guide.Row(0)[0] + guide.Row(0)[1] + guide.Row(0)[2], 0);
}

// Arcs of keyed hue, named by colour; an arc through red is one arc.
TEST(MaskRecord, SummaryNamesTheKeyedHues) {
  const auto arcs = [](std::vector<float> centres) {
    return WheelMaskPicture([centres](float h, float s) {
      for (float c : centres)
        if (s > 0.5f && std::fabs(h - c - std::round(h - c)) < 0.03f) return 255;
      return 0;
    });
  };
  const struct {
    GreyImage mask;
    std::vector<std::string> names;  // in the summary, one arc each
  } cases[] = {
      {GreyImage(wheel::kWidth, wheel::kHeight), {}},
      {arcs({1.0f / 3}), {"(green)"}},
      {arcs({0.0f}), {"(red)"}},
      {arcs({0.0f, 2.0f / 3}), {"(red)", "(blue)"}},
  };
  for (const auto& c : cases) {
    const std::string text = MaskSummary(c.mask);
    std::size_t arcsSeen = 0;
    for (std::size_t at = text.find(" degrees"); at != std::string::npos;
         at = text.find(" degrees", at + 1))
      ++arcsSeen;
    EXPECT_EQ(arcsSeen, c.names.size()) << text;
    for (const std::string& name : c.names) EXPECT_TRUE(testing::Holds(text, name));
    EXPECT_EQ(c.names.empty(), text == "nothing keyed") << text;
  }
}

// The shipped samples/ hold the generator's mask; how they key the picture
// is pinned by the golden renders of the host test.
TEST(SampleScene, SamplesHoldTheGeneratorsMask) {
  const std::string samples = std::string(MATTIX_SOURCE_DIR) + "/samples/";
  const ProjectSettings project = ReadProject(samples + "key.json");
  EXPECT_EQ(project.softness, 0.0);
  EXPECT_EQ(project.spillSuppression, 100.0);
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
