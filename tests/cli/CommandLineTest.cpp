#include "host/cli/CliError.h"
#include "host/cli/CommandLine.h"

#include <gtest/gtest.h>

namespace mattix::cli {
namespace {

using Args = std::vector<std::string>;

std::string UsageErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const UsageError& e) {
    return std::string("usage: ") + e.what();
  } catch (const CliError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(CommandLine, OptionForms) {
  const auto parse = [](const Args& a) {
    return ParseArgs(
        a, {{"-o", "--output", true}, {"--softness", nullptr, true}, {"--force", "-f", false}},
        "test");
  };
  ParsedArgs p = parse({"in.png", "--softness=5", "-o", "out.png", "-f"});
  EXPECT_EQ(p.positional, Args{"in.png"});
  EXPECT_EQ(p.Value("--softness"), "5");
  EXPECT_EQ(p.Value("-o"), "out.png");
  EXPECT_TRUE(p.Has("--force"));
  p = parse({"--output=a=b.png", "--", "-weird.png", "-"});
  EXPECT_EQ(p.Value("-o"), "a=b.png");
  EXPECT_EQ(p.positional, (Args{"-weird.png", "-"}));
  EXPECT_FALSE(p.Has("--softness"));

  const struct {
    Args args;
    const char* error;
  } bad[] = {{{"--soft", "1"}, "usage: test: unknown option --soft"},
             {{"--softness"}, "usage: test: --softness needs a value"},
             {{"--force=1"}, "usage: test: --force takes no value"},
             {{"-o", "a", "--output", "b"}, "usage: test: --output is given twice"}};
  for (const auto& c : bad) EXPECT_EQ(UsageErrorOf([&] { parse(c.args); }), c.error);
}

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
  EXPECT_FALSE(o.force);
  EXPECT_FALSE(o.project);
}

TEST(CommandLine, RenderOptionsRefused) {
  const struct {
    Args args;
    const char* start;
  } cases[] = {
      {{"-o", "out.png"}, "usage: render: no input given"},
      {{"a.png", "b.png", "-o", "out.png"}, "usage: render: one input only"},
      {{"in.png"}, "usage: render: no output given"},
      {{"in.png", "-o", "out.mov"}, "usage: out.mov: the input is one picture"},
      {{"in.png", "-o", "out.png", "--matte", "m_%02d.png"},
       "usage: m_%02d.png: the input is one picture"},
      {{"clip.mov", "-o", "out.png"}, "usage: out.png: the input has many frames"},
      {{"s_%04d.png", "-o", "out.mp4"}, "out.mp4: .mp4 output cannot keep the keyed alpha"},
      {{"in.png", "-o", "out.png", "--preview", "./out.png"},
       "./out.png: the output and --preview would be"},
      {{"in.png", "-o", "out.png", "--softness", "nan"},
       "--softness: \"nan\" is not a finite number"},
      {{"in.png", "-o", "out.png", "--spill", "101"}, "--spill: 101 is out of range"},
      {{"in.png", "-o", "out.png", "--field", "2"}, "--field: \"2\" is not a field"},
      {{"in.png", "-o", "out.png", "--jobs", "0"}, "--jobs: \"0\" is not a number of jobs"},
      {{"in.png", "-o", "out.png", "--lightness", "1,2,3"}, "--lightness: expected four numbers"},
  };
  for (const auto& c : cases) {
    const std::string e = UsageErrorOf([&] { ParseRenderOptions(c.args); });
    EXPECT_EQ(e.rfind(c.start, 0), 0u) << e;
  }
}

}  // namespace
}  // namespace mattix::cli
