// The mattix command line, run in-process as `mattix` runs it: the project
// and mask commands end to end, exit statuses and messages (of the key
// commands too), and the render command's refusals that are Mattix's own.
// Mask pictures and the record: the picture's rows are as displayed (the
// record's stream starts with the bottom row), levels of colour pictures,
// errors that name the file, and the sample's mask; the record's own layout
// is tested with the wheel's record code.
#include "host/base/FileBytes.h"
#include "host/base/OutputFile.h"
#include "host/media/PngFile.h"
#include "host/project/MaskRecord.h"
#include "host/project/Project.h"
#include "host/samples/SampleScene.h"
#include "tests/host/TestSupport.h"
#include "tests/host/cli/CommandRunner.h"
#include "tests/pixmill/Rle8Check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <random>
#include <sstream>
#include <tuple>

namespace mattix::cli {
namespace {

constexpr auto Ok = &test::RunMattixOk;  // `mattix LINE`, which must succeed

TEST(Commands, ProjectNewShowMaskRoundTripStatusAndMessages) {
  test::TempDir dir;
  const std::string k = dir / "k.json";
  Ok("project new -o " + k + " --softness 12.5 --lightness 1,2,3,4");
  const project::ProjectSettings shown =
      project::ParseProject(Ok("project show --json " + k + " --spill 40").out, "stdout");
  EXPECT_EQ(std::tuple(shown.softness, shown.spillSuppression, shown.lightness),
            std::tuple(12.5, 40.0, std::array<double, 4>{1, 2, 3, 4}));
  EXPECT_EQ(project::ReadProject(k).spillSuppression, 0.0);  // show changes nothing

  // Export of a project without mask: black. Import updates the project in
  // place (keeping its settings) or creates a missing one.
  const test::CommandResult black = Ok("mask export --project " + k + " -o " + dir / "b.png");
  EXPECT_TRUE(test::Holds(black.out, "no mask drawn"));
  EXPECT_EQ(media::ReadPng(dir / "b.png").width, 241);
  media::GreyImage painted(241, 209);
  for (int y = 0; y < 80; ++y)
    for (int x = 41; x < 100; ++x) painted.Row(y)[x] = std::uint8_t(200 + (x * 7 + y) % 56);
  host::WriteFileAtomically(dir / "paint.png", media::EncodePngGrey(painted, ""), false);
  for (const char* project : {"k.json", "new.json"})
    EXPECT_TRUE(
        test::Holds(Ok("mask import " + dir / "paint.png" + " --project " + dir / project).out,
                    dir / project + ": chroma mask of " + dir / "paint.png"));
  EXPECT_EQ(project::ReadProject(k).softness, 12.5);
  EXPECT_EQ(project::ReadProject(dir / "new.json").chromaMask, project::ReadProject(k).chromaMask);
  Ok("mask export --project " + k + " -o " + dir / "back.png");
  const media::BgraImage back = media::ReadPng(dir / "back.png");
  for (std::size_t i = 0; i < painted.pixels.size(); ++i)
    ASSERT_EQ(back.pixels[i * 4], painted.pixels[i]) << i;
  // The guide is a colour picture: importing it warns that hue is ignored.
  Ok("mask export --guide --project " + k + " -o " + dir / "guide.png");
  // Where nothing is keyed it shows the wheel's hue at half brightness.
  const wheel::Position blue = wheel::PositionOf(2.0f / 3, 0.9f);
  const media::BgraImage guide = media::ReadPng(dir / "guide.png");
  const std::uint8_t* b = guide.Row(208 - blue.row) + blue.column * 4;
  EXPECT_TRUE(b[0] >= 100 && b[1] < 40 && b[2] < 40)
      << int(b[0]) << " " << int(b[1]) << " " << int(b[2]);
  EXPECT_TRUE(
      test::Holds(Ok("mask import " + dir / "guide.png" + " --project " + dir / "g.json").err,
                  "has colours: only each pixel's brightness"));

  // Refusals: exit statuses and messages, and the project left as it was.
  const std::string small = dir / "small.png", none = dir / "none.png";
  const std::string before = host::ReadFileText(k);
  host::WriteFileAtomically(small, media::EncodePngGrey(media::GreyImage(240, 209), ""), false);
  const std::string in = dir / "in.png", project = " --project " + k;
  dir.Write("in.png", media::EncodePng(media::BgraImage(4, 3), ""));
  media::BgraImage few(20, 1);  // one green pixel in grey: too little for a backdrop
  std::fill(few.pixels.begin(), few.pixels.end(), 128);
  few.pixels[0] = few.pixels[2] = 0;
  dir.Write("few.png", media::EncodePng(few, ""));
  test::ExpectRefusals(
      {{"key pick --at " + in + ":4,0" + project, 1,
        in + ": pixel 4,0 is outside the picture (4 x 3)"},
       {"key pick --colour 0,256,0" + project, 1, k + ": --colour 256 is out of"},
       {"key pick" + project, 2, "--colour or --at is required"},
       {"key auto " + dir / "few.png" + project, 1, "few.png: no backdrop found"},
       {"key pick --at " + in + ":0,0 --frame 2" + project, 1, in + ": is one picture"},
       {"project new -o " + k, 1, "/k.json: already exists (use --force"},
       {"mask import " + small + project, 1,
        "small.png: a chroma mask picture must be 241 x 209 pixels, not 240 x 209"},
       {"mask import " + none + project, 1, "none.png: cannot open"},
       {"mask export -o " + k + " -f" + project, 1, "k.json: the output is one of the in"},
       {"render a_1.png a_2.png -o o.png", 2, "render: one input only (\"a_2.png\" is extra"},
       {"render a.png -o b.mov", 2,
        "b.mov: the input is one picture, so the output must be a picture (.png"},
       {"render s_%04d.png -o o.mp4", 1, "o.mp4: .mp4 output cannot keep"},
       {"render s_%04d.jpg -o o_%04d.png", 1, "s_%04d.jpg: a sequence of .jpg pictures cannot"},
       {"render a.png -o o.png --preview ./o.png", 1, "./o.png: the output and --preview would"},
       {"render a.png -o o.png --spill 100.5", 2, "--spill: 100.5 is out of range (0 to 100)"},
       {"render a.png -o o.png -j 0", 2, "--jobs"},
       {"render a.png", 2, "--output is required"},
       {"project show p --lightness 1,5,3,9", 2, "--lightness: lightness breakpoints must be in"},
       {"bogus -o x", 2, "unknown command \"bogus\"\n(mattix --help"},
       {"", 2, "A subcommand is required"}});
  EXPECT_EQ(host::ReadFileText(k), before);
  EXPECT_FALSE(std::filesystem::exists(none));

  EXPECT_EQ(test::RunMattix("--version").out, "mattix " MATTIX_VERSION "\n");
  // Every help text is flowed within 100 columns, to its last word.
  const std::string help = test::RunMattix("help").out;
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 100u) << line;
  EXPECT_TRUE(test::Holds(help, "limits the screen colour to that colour's balance\n"));
  EXPECT_TRUE(test::Holds(help, "\n  --unmix FLOAT:0 to 100      Finishing: takes"));
}

// The colours of the test frame, left to right: the key, a neighbour of it
// on the wheel (a hue 1.5 degrees away: about three wheel pixels, inside a
// disc but not the picked pixel), and a far magenta.
constexpr std::array<std::array<std::uint8_t, 3>, 3> kColours = {
    {{0, 200, 0}, {0, 200, 5}, {200, 0, 200}}};

// `mattix key pick` and `mattix key clear` end to end through the built
// effect module: a picked colour is keyed by the next `mattix render` of the
// project, a far colour is not, --disc keys the picked colour's neighbours
// on the wheel too, and clearing leaves nothing keyed.
TEST(KeyCommand, PickedColoursAreKeyedByTheNextRender) {
  test::TempDir dir;
  media::BgraImage frame(int(kColours.size()), 1);
  for (std::size_t i = 0; i < kColours.size(); ++i)
    for (std::size_t c = 0; c < 4; ++c) frame.pixels[i * 4 + c] = c < 3 ? kColours[i][2 - c] : 255;
  dir.Write("in.png", media::EncodePng(frame, ""));
  // A sequence whose frame 3 is the test frame and frame 2 is black.
  dir.Write("seq_02.png", media::EncodePng(media::BgraImage(int(kColours.size()), 1), ""));
  dir.Write("seq_03.png", EncodePng(frame, ""));
  const std::string project = dir / "key.json";  // missing: created by the first pick
  struct Step {
    std::string line;
    std::array<bool, 3> keyed;  // alpha 0 for each colour, else 255
    std::string said;           // a line of what the command says
  };
  const Step steps[] = {
      {"key pick --at " + dir / "in.png" + ":0,0", {true, false, false}, "0,200,0 marked\n"},
      {"key clear", {false, false, false}, ""},
      {"key pick --colour 0,200,0 --disc", {true, true, false}, "marked with a disc around it"},
      {"key clear", {false, false, false}, ""},
      {"key pick --colour 0,200,0 --at " + dir / "seq_%02d.png" + ":2,0 --frame 3",
       {true, false, true},
       "key.json: key colour 200,0,200 marked"}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.line);
    EXPECT_TRUE(test::Holds(Ok(step.line + " --project " + project).out, step.said));
    Ok("render -f " + dir / "in.png" + " -o " + dir / "out.png" + " --project " + project);
    const media::BgraImage out = media::ReadPng(dir / "out.png");
    for (std::size_t i = 0; i < kColours.size(); ++i)
      EXPECT_EQ(out.pixels[i * 4 + 3], step.keyed[i] ? 0 : 255) << "colour " << i;
  }
  // The project records the last colour picked: the picture's third.
  const project::ProjectSettings last = project::ReadProject(project);
  EXPECT_EQ(std::tuple(last.keyRed, last.keyGreen, last.keyBlue), std::tuple(200.0, 0.0, 200.0));
}

media::GreyImage RandomMask(unsigned seed) {
  std::mt19937 rng(seed);
  media::GreyImage m(wheel::kWidth, wheel::kHeight);
  // Patches of constant value (runs) and noise (literals).
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x)
      m.Row(y)[x] = ((x / 16 + y / 8) % 3 == 0) ? std::uint8_t(rng()) : std::uint8_t((x / 30) * 36);
  return m;
}

TEST(MaskRecord, PicturesRoundTripWithTheBottomRowFirstAndColourGivesLevels) {
  media::GreyImage white(wheel::kWidth, wheel::kHeight);
  std::fill(white.pixels.begin(), white.pixels.end(), 255);
  for (const media::GreyImage& p : {media::GreyImage(wheel::kWidth, wheel::kHeight), RandomMask(2),
                                    white, samples::SampleMaskPicture()}) {
    const std::vector<std::uint8_t> record = project::MaskRecordFromPicture(p, "w.png");
    const auto rows =
        pixmill_test::ReferenceDecode({record.begin() + 144, record.end()}, 241, 209, 244);
    ASSERT_TRUE(rows.has_value());
    for (int row = 0; row < 209; ++row)
      ASSERT_TRUE(std::equal(p.Row(208 - row), p.Row(208 - row) + 241, rows->begin() + row * 244))
          << row;
    EXPECT_EQ(project::PictureFromMaskRecord(record, "key.json").pixels, p.pixels);
  }
  // The empty record (the zero header) is valid and keys nothing; a cut one is damaged.
  EXPECT_EQ(project::PictureFromMaskRecord(std::vector<std::uint8_t>(144), "key.json").pixels,
            std::vector<std::uint8_t>(241 * 209));
  std::vector<std::uint8_t> damaged = project::MaskRecordFromPicture(RandomMask(4), "w.png");
  damaged.resize(damaged.size() - 10);
  for (const std::string& e :
       {test::ErrorOf([&] { project::PictureFromMaskRecord(damaged, "key.json"); }),
        test::ErrorOf([&] { project::ValidateMaskRecord(damaged, "key.json"); })})
    EXPECT_EQ(e,
              "key.json: \"chromaMask\" is damaged: it is not a chroma mask record that can "
              "be decoded");
  // A painted pixel's brightness is its key weight, whatever its hue and
  // alpha; what was ignored is reported.
  const struct {
    std::array<std::uint8_t, 4> bgra;
    std::uint8_t level;
    bool colour, alpha;
  } cases[] = {{{0, 255, 0, 255}, 255, true, false},  // full green keys fully
               {{90, 90, 90, 255}, 90, false, false},
               {{10, 0, 200, 255}, 200, true, false},
               {{200, 10, 0, 255}, 200, true, false},
               {{70, 70, 70, 0}, 70, false, true},  // transparent: alpha ignored
               {{0, 0, 0, 255}, 0, false, false}};
  for (const auto& c : cases) {
    media::BgraImage p(1, 1);
    std::copy(c.bgra.begin(), c.bgra.end(), p.pixels.begin());
    project::IgnoredInPicture ignored;
    const std::uint8_t level = project::MaskLevelsFromPicture(p, &ignored).pixels[0];
    EXPECT_EQ(std::tuple(level, ignored.colour, ignored.alpha),
              std::tuple(c.level, c.colour, c.alpha));
  }
}

// The shipped samples/ hold the generator's picture and mask.
TEST(SampleScene, SamplesHoldTheGeneratorsPictureAndMask) {
  const std::string samples = std::string(MATTIX_SOURCE_DIR) + "/samples/";
  const project::ProjectSettings project = project::ReadProject(samples + "key.json");
  // Shown with the keyed hues named and the finishing that is on.
  const std::string shown = test::RunMattix("project show " + samples + "key.json").out;
  for (const char* part :
       {"(green)", "finishing          despill 100 %, despill edge 12 px, green screen"})
    EXPECT_TRUE(test::Holds(shown, part));
  EXPECT_EQ(std::pair(project.softness, project.spillSuppression), std::pair(0.0, 100.0));
  const media::GreyImage mask = project::PictureFromMaskRecord(project.chromaMask, "key.json");
  EXPECT_EQ(mask.pixels, samples::SampleMaskPicture().pixels)
      << "samples/ is stale: run mattix_samplegen samples";
  const media::BgraImage maskPicture = media::ReadPng(samples + "green-mask.png");
  ASSERT_EQ(maskPicture.width, 241);
  for (std::size_t i = 0; i < mask.pixels.size(); ++i)
    ASSERT_EQ(maskPicture.pixels[i * 4], mask.pixels[i]);
  EXPECT_TRUE(media::ReadPng(samples + "greenscreen.png").pixels ==
              samples::GreenScreenPicture(480, 320).pixels)
      << "samples/ is stale: run mattix_samplegen samples";
}

}  // namespace
}  // namespace mattix::cli
