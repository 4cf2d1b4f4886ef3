// The mattix command line, run in-process as `mattix` runs it: the project
// and mask commands end to end, exit statuses and messages, and the render
// options with the checks that are Mattix's own.
#include "host/cli/CliError.h"
#include "host/cli/Commands.h"
#include "host/cli/FileBytes.h"
#include "host/cli/MaskRecord.h"
#include "host/cli/OutputFile.h"
#include "host/cli/PngFile.h"
#include "host/cli/Project.h"
#include "tests/cli/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <filesystem>

namespace mattix::cli {
namespace {

struct Result {
  int status;
  std::string out, err;
};

// Runs `mattix ARGS` with standard output and error captured in files.
Result Mattix(std::vector<std::string> args, const testing::TempDir& dir) {
  args.insert(args.begin(), "mattix");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  std::fflush(stdout);
  std::fflush(stderr);
  const int saved[] = {::dup(1), ::dup(2)};
  for (int fd : {1, 2}) {
    const int file =
        ::open((dir / (".std" + std::to_string(fd))).c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    ::dup2(file, fd);
    ::close(file);
  }
  Result r{CommandMain(int(argv.size()), argv.data()), "", ""};
  std::fflush(stdout);
  std::fflush(stderr);
  for (int fd : {1, 2}) {
    ::dup2(saved[fd - 1], fd);
    ::close(saved[fd - 1]);
  }
  r.out = ReadFileText(dir / ".std1");
  r.err = ReadFileText(dir / ".std2");
  return r;
}

TEST(Commands, ProjectNewShowAndMaskRoundTrip) {
  testing::TempDir dir;
  ASSERT_EQ(Mattix({"project", "new", "-o", dir / "k.json", "--softness", "12.5", "--lightness",
                    "1,2,3,4"},
                   dir)
                .status,
            0);
  Result r = Mattix({"project", "show", dir / "k.json", "--spill", "40"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const ProjectSettings shown = ParseProject(r.out, "stdout");
  EXPECT_EQ(shown.softness, 12.5);
  EXPECT_EQ(shown.spillSuppression, 40.0);
  EXPECT_EQ(shown.lightness, (std::array<double, 4>{1, 2, 3, 4}));
  EXPECT_EQ(ReadProject(dir / "k.json").spillSuppression, 0.0);  // show changes nothing

  // Export of a project without mask: black. Import updates the project in
  // place (keeping its settings) or creates a missing one.
  r = Mattix({"mask", "export", "--project", dir / "k.json", "-o", dir / "black.png"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("no mask drawn"), std::string::npos);
  EXPECT_EQ(ReadPng(dir / "black.png").width, 241);
  GreyImage painted(241, 209);
  for (int y = 0; y < 80; ++y)
    for (int x = 41; x < 100; ++x) painted.Row(y)[x] = std::uint8_t(200 + (x * 7 + y) % 56);
  WriteFileAtomically(dir / "paint.png", EncodePngGrey(painted, ""), false);
  for (const char* project : {"k.json", "new.json"})
    ASSERT_EQ(Mattix({"mask", "import", dir / "paint.png", "--project", dir / project}, dir).status,
              0);
  EXPECT_EQ(ReadProject(dir / "k.json").softness, 12.5);
  EXPECT_EQ(ReadProject(dir / "new.json").chromaMask, ReadProject(dir / "k.json").chromaMask);
  ASSERT_EQ(
      Mattix({"mask", "export", "--project", dir / "k.json", "-o", dir / "back.png"}, dir).status,
      0);
  const BgraImage back = ReadPng(dir / "back.png");
  for (std::size_t i = 0; i < painted.pixels.size(); ++i)
    ASSERT_EQ(back.pixels[i * 4], painted.pixels[i]) << i;
  // A colour picture: a red mark (mean 85) on black keys by a third.
  BgraImage colour(241, 209);
  for (std::size_t i = 3; i < colour.pixels.size(); i += 4) colour.pixels[i] = 255;
  colour.Row(10)[20 * 4 + 2] = 255;
  WriteFileAtomically(dir / "colour.png", EncodePng(colour, ""), false);
  ASSERT_EQ(Mattix({"mask", "import", dir / "colour.png", "--project", dir / "k.json", "-o",
                    dir / "k2.json"},
                   dir)
                .status,
            0);
  const GreyImage mark = PictureFromMaskRecord(ReadProject(dir / "k2.json").chromaMask, "");
  EXPECT_EQ(mark.Row(10)[20], 85);
  EXPECT_EQ(std::count(mark.pixels.begin(), mark.pixels.end(), 0), 241 * 209 - 1);
}

TEST(Commands, StatusAndMessages) {
  testing::TempDir dir;
  ASSERT_EQ(Mattix({"project", "new", "-o", dir / "k.json"}, dir).status, 0);
  const std::string before = ReadFileText(dir / "k.json");
  WriteFileAtomically(dir / "small.png", EncodePngGrey(GreyImage(100, 100), ""), false);
  dir.Write("broken.png", std::string("\x89PNG\r\n\x1a\nbroken"));
  dir.Write("bad.json",
            std::string("{\"format\": \"mattix-project\", \"version\": 1, \"softness\": 200}"));
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;  // the start of standard error, after "mattix: "
  } cases[] = {
      {{"project", "new", "-o", dir / "k.json"}, 1, dir / "k.json: already exists (use --force"},
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
      {{"project", "show", dir / "k.json", "--softness", "nan"}, 2, "--softness: \"nan\" is not a"},
      {{"render", "a.png", "-o", "b.png"}, 1, "render: this build has no renderer"},
      {{"render", "a.png", "-o", "b.mov"}, 2, "b.mov: the input is one picture"},
      {{"mask", "import", dir / "small.png"}, 2, "--project is required"},
      {{"mask"}, 2, "A subcommand is required"},
      {{}, 2, "A subcommand is required"},
  };
  for (const auto& c : cases) {
    const Result r = Mattix(c.args, dir);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.err.rfind("mattix: " + c.err, 0), 0u) << r.err;
  }
  EXPECT_EQ(ReadFileText(dir / "k.json"), before);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));

  EXPECT_EQ(Mattix({"--version"}, dir).out, "mattix " MATTIX_VERSION "\n");
  const Result help = Mattix({"help"}, dir);
  EXPECT_EQ(help.status, 0);
  for (const char* c : {"mattix mask import", "mattix mask export", "mattix project new",
                        "mattix project show", "mattix render"})
    EXPECT_NE(help.out.find(c), std::string::npos) << c;
  const Result renderHelp = Mattix({"render", "--help"}, dir);
  EXPECT_EQ(renderHelp.status, 0);
  EXPECT_NE(renderHelp.out.find("--jobs"), std::string::npos);
}

TEST(Commands, RenderOptions) {
  RenderOptions o = ParseRenderOptions({"shot_%04d.png", "-o", "keyed_%04d.png", "--project",
                                        "key.json", "--softness", "10", "--spill=50", "--lightness",
                                        "0,5,95,100", "--field", "1", "--matte", "matte.mov",
                                        "--preview", "prev.webm", "-j", "3", "--force"});
  EXPECT_EQ(o.input, "shot_%04d.png");
  EXPECT_EQ(o.output, "keyed_%04d.png");
  EXPECT_EQ(o.project, "key.json");
  EXPECT_EQ(o.overrides.softness, 10.0);
  EXPECT_EQ(o.overrides.spillSuppression, 50.0);
  EXPECT_EQ(o.overrides.lightness, (std::array<double, 4>{0, 5, 95, 100}));
  EXPECT_EQ(o.field, 1);
  EXPECT_EQ(o.matte, "matte.mov");
  EXPECT_EQ(o.preview, "prev.webm");
  EXPECT_EQ(o.jobs, 3);
  EXPECT_TRUE(o.force);
  o = ParseRenderOptions({"in.png", "-o", "out.png", "--jobs", "256"});
  EXPECT_EQ(o.field, -1);
  EXPECT_EQ(o.jobs, 256);
  EXPECT_FALSE(o.force || o.project || o.overrides.softness || o.overrides.lightness);

  const struct {
    std::vector<std::string> args;
    bool usage;  // a UsageError (exit status 2) rather than a CliError
    const char* start;
  } refused[] = {
      {{"-o", "out.png"}, true, "render: input is required"},
      {{"in.png"}, true, "render: --output is required"},
      {{"in.png", "-o", "o.png", "--matte", "m_%02d.png"}, true, "m_%02d.png: the input is one"},
      {{"clip.mov", "-o", "out.png"}, true, "out.png: the input has many frames"},
      {{"s_%04d.png", "-o", "out.mp4"}, false, "out.mp4: .mp4 output cannot keep the keyed alpha"},
      {{"in.png", "-o", "o.png", "--preview", "./o.png"},
       false,
       "./o.png: the output and --preview"},
      {{"in.png", "-o", "x/../o.png", "--matte", "o.png"}, false, "o.png: the output and --matte"},
      {{"in.png", "-o", "o.png", "--spill", "100.5"},
       true,
       "render: --spill: 100.5 is out of range"},
      {{"in.png", "-o", "o.png", "--softness", "-0.1"}, true, "render: --softness: -0.1 is out of"},
      {{"in.png", "-o", "o.png", "--field", "2"}, true, "render: --field"},
      {{"in.png", "-o", "o.png", "--jobs", "0"}, true, "render: --jobs"},
      {{"in.png", "-o", "o.png", "--jobs", "257"}, true, "render: --jobs"},
      {{"in.png", "-o", "o.png", "--lightness", "1,2,3"}, true, "render: --lightness: expected"},
      {{"in.png", "-o", "o.png", "--lightness", "1,5,3,9"}, true, "render: --lightness: lightness"},
  };
  for (const auto& c : refused) {
    std::string error = "(no error)";
    bool usage = false;
    try {
      ParseRenderOptions(c.args);
    } catch (const UsageError& e) {
      error = e.what(), usage = true;
    } catch (const CliError& e) {
      error = e.what();
    }
    EXPECT_EQ(error.rfind(c.start, 0), 0u) << error;
    EXPECT_EQ(usage, c.usage) << error;
  }
}

}  // namespace
}  // namespace mattix::cli
