#include "host/cli/CommandLine.h"

#include "host/cli/CliError.h"
#include "host/cli/JobPool.h"
#include "host/cli/OutputFile.h"
#include "host/cli/Video.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <filesystem>

namespace mattix::cli {

namespace {

// A CLI11 check from one of the project's parsers: its CliError becomes the
// check's message, which CLI11 prefixes with the option's name. CLI11's own
// number conversion takes "nan", which its Range check lets through.
template <class Parse>
CLI::Validator CheckedBy(Parse parse, const std::string& description) {
  return CLI::Validator(
      [parse](std::string& text) -> std::string {
        try {
          parse(text);
          return {};
        } catch (const CliError& e) {
          return e.what();
        }
      },
      description);
}

CLI::Validator Percent() {
  return CheckedBy([](const std::string& text) { ParseNumber(text, 0.0, 100.0); }, "0 to 100");
}

}  // namespace

void AddOverrideOptions(CLI::App& app, SettingOverrides& overrides) {
  app.add_option("--softness", overrides.softness, "Softness of the key's edges, percent")
      ->check(Percent());
  app.add_option("--spill", overrides.spillSuppression, "Spill suppression, percent")
      ->check(Percent());
  app.add_option_function<std::string>(
         "--lightness",
         [&overrides](const std::string& text) { overrides.lightness = ParseLightness(text); },
         "Lightness window breakpoints L0,L1,L2,L3, percent, in increasing order")
      ->check(CheckedBy(ParseLightness, "L0,L1,L2,L3"));
}

void AddRenderOptions(CLI::App& app, RenderOptions& options) {
  app.add_option("input", options.input, "A PNG picture, a PNG sequence (shot_%04d.png) or a video")
      ->required();
  app.add_option("extra", options.extraInputs)->group("");  // hidden; refused by the check
  app.add_option("-o,--output", options.output,
                 "The keyed result: a .png for a picture, else a sequence, .mov or .webm")
      ->required();
  app.add_option("--project", options.project, "The project file holding the key's settings");
  AddOverrideOptions(app, options.overrides);
  app.add_option("--field", options.field, "Keys only this field of interlaced frames")
      ->check(CLI::IsMember({0, 1}));
  app.add_option("--matte", options.matte, "Also writes the matte (the alpha as grey) here");
  app.add_option("--preview", options.preview,
                 "Also writes the result over a checkerboard here (any video format: .mp4...)");
  options.jobs = DefaultJobCount();
  app.add_option("-j,--jobs", options.jobs, "Frames keyed at once (default: the processors)")
      ->check(CLI::Range(1, kMaxJobs, "1 to " + std::to_string(kMaxJobs)));
  app.add_option_function<std::string>(
         "--frames",
         [&options](const std::string& text) { options.frames = ParseFrameRange(text); },
         "Keys only frames A to B of a sequence (its numbers) or video (from 1);\n"
         "outputs keep the frames' numbers, so chunks of a shot render apart")
      ->type_name("A-B")
      ->check(CheckedBy(ParseFrameRange, ""));
  app.add_flag("--allow-gaps", options.allowGaps,
               "Keys the frames a numbered sequence has when some are missing, with a\n"
               "warning naming them (without it a gap is an error)");
  app.add_flag("-f,--force", options.force, "Replaces existing outputs");
  app.footer(
      "Frames may be up to 16384 pixels a side and 8192 x 8192 (67108864) pixels in all,\n"
      "8K (8192 x 4320) included; larger ones are refused. Each job keeps up to two\n"
      "frames in flight, each taking up to 32 bytes a pixel (2 GiB at the largest size);\n"
      "--jobs is lowered, with a warning, so that they stay within half of the memory.\n"
      "A numbered sequence must have no gap (a missing frame is an error) unless\n"
      "--allow-gaps is given.");
}

void CheckRenderOptions(const RenderOptions& o) {
  if (!o.extraInputs.empty())
    throw UsageError("render: one input only (\"" + o.extraInputs.front() +
                     "\" is extra; a sequence is given as name_%04d.png)");
  if (std::error_code ec; std::filesystem::is_directory(o.input, ec))
    throw CliError(o.input +
                   ": is a folder; give a picture (.png), a numbered sequence "
                   "(folder/name_%04d.png) or a video");
  const bool single = InputKindOf(o.input) == MediaKind::Picture;
  std::vector<std::pair<std::string, std::string>> outputs = {{"the output", o.output}};
  if (o.matte) outputs.emplace_back("--matte", *o.matte);
  if (o.preview) outputs.emplace_back("--preview", *o.preview);
  for (const auto& [what, path] : outputs) {
    const OutputFormat format = what == "--preview" ? PreviewFormatOf(path) : OutputFormatOf(path);
    if (single && format != OutputFormat::Png)
      throw UsageError(path + ": the input is one picture, so " + what + " must be a .png");
    if (!single && format == OutputFormat::Png)
      throw UsageError(path + ": the input has many frames, so " + what +
                       " must be a sequence (name_%04d.png) or a video (.mov, .webm" +
                       std::string(what == "--preview" ? ", .mp4..." : "") + ")");
  }
  CheckDistinctOutputs(outputs);
}

std::pair<long, long> ParseFrameRange(std::string_view text) {
  // A dash after the first character separates the two numbers.
  const std::size_t dash = text.find('-', 1);
  constexpr double kMax = 999999999;  // the largest frame number of a sequence
  const double first = ParseNumber(text.substr(0, dash), 0, kMax);
  const double last =
      dash == std::string_view::npos ? first : ParseNumber(text.substr(dash + 1), 0, kMax);
  if (first != std::floor(first) || last != std::floor(last) || last < first)
    throw CliError("\"" + std::string(text) +
                   "\" is not a range of frames A-B (whole numbers, A not above B)");
  return {long(first), long(last)};
}

RenderOptions ParseRenderOptions(const std::vector<std::string>& args) {
  RenderOptions options;
  CLI::App app("Keys a picture, a sequence or a video", "render");
  AddRenderOptions(app, options);
  try {
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    throw UsageError(std::string("render: ") + e.what());
  }
  CheckRenderOptions(options);
  return options;
}

}  // namespace mattix::cli
