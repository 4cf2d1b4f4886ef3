// The render command line: values reach the options, and the checks that
// are Mattix's own (output kinds, distinct outputs, number ranges) refuse.
#include "host/cli/CliError.h"
#include "host/cli/CommandLine.h"

#include <gtest/gtest.h>

namespace mattix::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, RenderOptions) {
  RenderOptions o = ParseRenderOptions({"shot_%04d.png", "-o", "keyed_%04d.png", "--project",
                                        "key.json", "--softness", "10", "--spill=50", "--lightness",
                                        "0,5,95,100", "--field", "1", "--matte", "matte.mov",
                                        "--preview", "prev.webm", "--jobs", "3", "--force"});
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

  o = ParseRenderOptions({"in.png", "-o", "out.png"});
  EXPECT_EQ(o.field, -1);
  EXPECT_GE(o.jobs, 1);
  EXPECT_FALSE(o.force || o.project || o.overrides.softness || o.overrides.lightness);
}

TEST(CommandLine, RenderOptionsRefused) {
  const struct {
    Args args;
    bool usage;  // a UsageError (exit status 2) rather than a CliError
    const char* start;
  } cases[] = {
      {{"-o", "out.png"}, true, "render: input is required"},
      {{"in.png"}, true, "render: --output is required"},
      {{"in.png", "-o", "out.mov"}, true, "out.mov: the input is one picture"},
      {{"in.png", "-o", "out.png", "--matte", "m_%02d.png"}, true, "m_%02d.png: the input is one"},
      {{"clip.mov", "-o", "out.png"}, true, "out.png: the input has many frames"},
      {{"s_%04d.png", "-o", "out.mp4"}, false, "out.mp4: .mp4 output cannot keep the keyed alpha"},
      {{"in.png", "-o", "out.png", "--preview", "./out.png"},
       false,
       "./out.png: the output and --preview would be"},
      {{"in.png", "-o", "o.png", "--softness", "nan"},
       true,
       "render: --softness: \"nan\" is not a"},
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
  for (const auto& c : cases) {
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
  EXPECT_EQ(ParseRenderOptions({"in.png", "-o", "o.png", "--jobs", "256"}).jobs, 256);
}

}  // namespace
}  // namespace mattix::cli
