// The mask and project commands, run in-process as `mattix` runs them.
#include "host/cli/Commands.h"
#include "host/cli/FileBytes.h"
#include "host/cli/MaskRecord.h"
#include "host/cli/OutputFile.h"
#include "host/cli/PngFile.h"
#include "host/cli/Project.h"
#include "host/cli/SampleScene.h"
#include "tests/cli/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <random>

namespace mattix::cli {
namespace {

struct Result {
  int status;
  std::string out;
  std::string err;
};

// Runs `mattix ARGS` with standard output and error captured in files.
Result Mattix(std::vector<std::string> args, const testing::TempDir& dir) {
  args.insert(args.begin(), "mattix");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  std::fflush(stdout);
  std::fflush(stderr);
  const int savedOut = ::dup(1), savedErr = ::dup(2);
  const int out = ::open((dir / ".stdout").c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  const int err = ::open((dir / ".stderr").c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  ::dup2(out, 1);
  ::dup2(err, 2);
  Result r;
  r.status = CommandMain(int(argv.size()), argv.data());
  std::fflush(stdout);
  std::fflush(stderr);
  ::dup2(savedOut, 1);
  ::dup2(savedErr, 2);
  for (int fd : {savedOut, savedErr, out, err}) ::close(fd);
  r.out = ReadFileText(dir / ".stdout");
  r.err = ReadFileText(dir / ".stderr");
  ::unlink((dir / ".stdout").c_str());
  ::unlink((dir / ".stderr").c_str());
  return r;
}

GreyImage Painted() {
  std::mt19937 rng(8);
  GreyImage g(241, 209);
  for (int y = 0; y < 209; ++y)
    for (int x = 0; x < 241; ++x)
      g.Row(y)[x] = (x > 40 && x < 100 && y < 80) ? std::uint8_t(200 + rng() % 56) : 0;
  return g;
}

TEST(Commands, ProjectNewAndShow) {
  testing::TempDir dir;
  Result r = Mattix(
      {"project", "new", "-o", dir / "k.json", "--softness", "12.5", "--lightness", "1,2,3,4"},
      dir);
  ASSERT_EQ(r.status, 0) << r.err;
  ProjectSettings s = ReadProject(dir / "k.json");
  EXPECT_EQ(s.softness, 12.5);
  EXPECT_EQ(s.lightness, (std::array<double, 4>{1, 2, 3, 4}));
  EXPECT_FALSE(s.HasMask());

  r = Mattix({"project", "show", dir / "k.json", "--spill", "40"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  ProjectSettings shown = ParseProject(r.out, "stdout");
  EXPECT_EQ(shown.softness, 12.5);
  EXPECT_EQ(shown.spillSuppression, 40.0);
  // show changes nothing on disk.
  EXPECT_EQ(ReadProject(dir / "k.json").spillSuppression, 0.0);

  r = Mattix({"project", "new", "-o", dir / "k.json"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("already exists (use --force"), std::string::npos) << r.err;
}

TEST(Commands, MaskImportThenExportGivesThePictureBack) {
  testing::TempDir dir;
  const GreyImage painted = Painted();
  WriteFileAtomically(dir / "paint.png", EncodePngGrey(painted, "paint.png"), false);
  ASSERT_EQ(Mattix({"project", "new", "-o", dir / "k.json", "--softness", "7"}, dir).status, 0);

  // Import updates the project in place and keeps its other settings.
  Result r = Mattix({"mask", "import", dir / "paint.png", "--project", dir / "k.json"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const ProjectSettings s = ReadProject(dir / "k.json");
  EXPECT_EQ(s.softness, 7.0);
  ASSERT_TRUE(s.HasMask());
  EXPECT_EQ(PictureFromMaskRecord(s.chromaMask, "k.json").pixels, painted.pixels);

  r = Mattix({"mask", "export", "--project", dir / "k.json", "-o", dir / "back.png"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const BgraImage back = ReadPng(dir / "back.png");
  ASSERT_EQ(back.width, 241);
  ASSERT_EQ(back.height, 209);
  for (std::size_t i = 0; i < painted.pixels.size(); ++i)
    ASSERT_EQ(back.pixels[i * 4], painted.pixels[i]) << i;

  // A colour picture: a red mark (mean 85) on black keys by a third.
  BgraImage colour(241, 209);
  for (std::size_t i = 3; i < colour.pixels.size(); i += 4) colour.pixels[i] = 255;
  colour.Row(10)[20 * 4 + 2] = 255;
  WriteFileAtomically(dir / "colour.png", EncodePng(colour, "colour.png"), false);
  r = Mattix(
      {"mask", "import", dir / "colour.png", "--project", dir / "k.json", "-o", dir / "k2.json"},
      dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const GreyImage mark = PictureFromMaskRecord(ReadProject(dir / "k2.json").chromaMask, "k2.json");
  EXPECT_EQ(mark.Row(10)[20], 85);
  EXPECT_EQ(std::count(mark.pixels.begin(), mark.pixels.end(), 0), 241 * 209 - 1);
}

TEST(Commands, MaskImportCreatesAMissingProject) {
  testing::TempDir dir;
  WriteFileAtomically(dir / "paint.png", EncodePngGrey(Painted(), "paint.png"), false);
  Result r = Mattix({"mask", "import", dir / "paint.png", "--project", dir / "new.json"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ReadProject(dir / "new.json").HasMask());
}

TEST(Commands, ExportOfAProjectWithoutMaskIsBlack) {
  testing::TempDir dir;
  ASSERT_EQ(Mattix({"project", "new", "-o", dir / "k.json"}, dir).status, 0);
  Result r = Mattix({"mask", "export", "--project", dir / "k.json", "-o", dir / "m.png"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("no mask drawn"), std::string::npos);
  const BgraImage m = ReadPng(dir / "m.png");
  EXPECT_EQ(m.width, 241);
  for (std::size_t i = 0; i < m.pixels.size(); i += 4) ASSERT_EQ(m.pixels[i], 0);
}

TEST(Commands, FailuresNameTheFileAndChangeNothing) {
  testing::TempDir dir;
  ASSERT_EQ(Mattix({"project", "new", "-o", dir / "k.json"}, dir).status, 0);
  const std::string before = ReadFileText(dir / "k.json");
  WriteFileAtomically(dir / "small.png", EncodePngGrey(GreyImage(100, 100), "small.png"), false);
  dir.Write("broken.png", std::string("\x89PNG\r\n\x1a\nbroken"));
  dir.Write("bad.json",
            std::string("{\"format\": \"mattix-project\", \"version\": 1, \"softness\": 200}"));
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
  } cases[] = {
      {{"mask", "import", dir / "small.png", "--project", dir / "k.json"},
       1,
       dir / "small.png: a chroma mask picture must be 241 x 209 pixels, not 100 x 100"},
      {{"mask", "import", dir / "broken.png", "--project", dir / "k.json"},
       1,
       dir / "broken.png: corrupt or unreadable PNG"},
      {{"mask", "import", dir / "none.png", "--project", dir / "k.json"},
       1,
       dir / "none.png: cannot open"},
      {{"mask", "export", "--project", dir / "bad.json", "-o", dir / "x.png"},
       1,
       dir / "bad.json:1:56: \"softness\" must be 0 to 100"},
      {{"mask", "export", "--project", dir / "k.json", "-o", dir / "k.json", "--force"},
       1,
       dir / "k.json: the output is one of the inputs"},
      {{"mask", "import", dir / "small.png"}, 2, "--project is required"},
      {{"mask", "paint"}, 2, "A subcommand is required"},
      {{"render", "a.png", "-o", "b.png"}, 1, "render: this build has no renderer"},
      {{}, 2, "A subcommand is required"},
  };
  for (const auto& c : cases) {
    const Result r = Mattix(c.args, dir);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.err.rfind("mattix: " + c.err, 0), 0u) << r.err;
  }
  EXPECT_EQ(ReadFileText(dir / "k.json"), before);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
}

TEST(Commands, HelpListsEveryCommand) {
  testing::TempDir dir;
  const Result r = Mattix({"help"}, dir);
  EXPECT_EQ(r.status, 0);
  for (const char* c : {"mask import", "mask export", "project new", "project show", "render"})
    EXPECT_NE(r.out.find(std::string("mattix ") + c), std::string::npos) << c;
}

}  // namespace
}  // namespace mattix::cli
