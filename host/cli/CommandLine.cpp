#include "host/cli/CommandLine.h"

#include "host/base/HostError.h"
#include "host/base/OutputFile.h"
#include "host/media/Image.h"
#include "host/media/JobPool.h"
#include "host/media/Video.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace mattix::cli {

namespace {

// A CLI11 check from one of the project's parsers: its host::HostError becomes the
// check's message, which CLI11 prefixes with the option's name. CLI11's own
// number conversion takes "nan", which its Range check lets through.
template <class Parse>
CLI::Validator CheckedBy(Parse parse, const std::string& description) {
  return CLI::Validator(
      [parse](std::string& text) -> std::string {
        try {
          parse(text);
          return {};
        } catch (const host::HostError& e) {
          return e.what();
        }
      },
      description);
}

CLI::Validator Percent() {
  return CheckedBy([](const std::string& text) { project::ParseNumber(text, 0.0, 100.0); },
                   "0 to 100");
}

}  // namespace

void AddOverrideOptions(CLI::App& app, project::SettingOverrides& overrides) {
  app.add_option("--softness", overrides.softness, "Softness of the key's edges, percent")
      ->check(Percent());
  app.add_option("--spill", overrides.spillSuppression, "Spill suppression, percent")
      ->check(Percent());
  app.add_option_function<std::string>(
         "--lightness",
         [&overrides](const std::string& text) {
           overrides.lightness = project::ParseLightness(text);
         },
         "Lightness window breakpoints L0,L1,L2,L3, percent, in increasing order")
      ->check(CheckedBy(project::ParseLightness, "L0,L1,L2,L3"));
  // Matte finishing, after the module has keyed each frame (off by default).
  // A number from min to max; the check's description says the range ("0 to 8").
  const auto ranged = [](double min, double max) {
    char description[64];
    std::snprintf(description, sizeof description, "%g to %g", min, max);
    return CheckedBy([min, max](const std::string& text) { project::ParseNumber(text, min, max); },
                     description);
  };
  constexpr double kRadius = project::MatteFinishing::kMaxRadius;
  app.add_option("--despill", overrides.despill,
                 "Finishing: takes this percent of the screen colour's cast off every pixel")
      ->check(Percent());
  app.add_option("--despill-edge", overrides.despillEdge,
                 "Finishing: within this many pixels of the matte's edge, --despill takes the "
                 "screen's light out of the subject's own colour further in and limits the "
                 "screen colour to that colour's balance")
      ->check(ranged(0.0, project::MatteFinishing::kMaxEdge));
  app.add_option("--unmix", overrides.unmix,
                 "Finishing: takes this percent of the clear screen's colour nearby out of the "
                 "pixels the key leaves partly transparent")
      ->check(Percent());
  app.add_option_function<std::string>(
         "--screen",
         [&overrides](const std::string& text) {
           overrides.screen =
               text == "blue" ? project::ScreenChannel::kBlue : project::ScreenChannel::kGreen;
         },
         "Finishing: the screen colour that --despill limits, green or blue")
      ->check(CLI::IsMember({"green", "blue"}));
  app.add_option("--refine", overrides.refine,
                 "Finishing: refines the matte by a guided filter of the picture over windows of "
                 "this radius, pixels")
      ->check(ranged(0.0, kRadius));
  app.add_option("--clip-black", overrides.clipBlack,
                 "Finishing: alpha at or below this percent becomes transparent")
      ->check(Percent());
  app.add_option("--clip-white", overrides.clipWhite,
                 "Finishing: alpha at or above this percent becomes opaque")
      ->check(Percent());
  app.add_option("--close-holes", overrides.closeHoles,
                 "Finishing: alpha at or above this percent beside opaque pixels and no clear "
                 "one becomes opaque, up to two pixels in")
      ->check(Percent());
  app.add_option("--shrink-grow", overrides.shrinkGrow,
                 "Finishing: shrinks (negative) or grows the matte by this many pixels")
      ->check(ranged(-kRadius, kRadius));
  app.add_option("--feather", overrides.feather,
                 "Finishing: blurs the matte's edge, pixels (a Gaussian's deviation)")
      ->check(ranged(0.0, kRadius));
}

void AddRenderOptions(CLI::App& app, render::RenderOptions& options,
                      std::vector<std::string>& extraInputs) {
  app.add_option("input", options.input,
                 "A picture (.png, .tif, .exr, .dpx), a sequence of them (shot_%04d.png) "
                 "or a video")
      ->required();
  app.add_option("extra", extraInputs)->group("");  // hidden; refused by the check
  app.add_option("-o,--output", options.output,
                 "The keyed result: a picture (.png, .tif, .exr, .dpx) for a picture or one "
                 "frame (--frames N-N), else a sequence of them, .mov or .webm")
      ->required();
  app.add_option("--project", options.project, "The project file holding the key's settings");
  AddOverrideOptions(app, options.overrides);
  app.add_option("--field", options.field, "Keys only this field of interlaced frames")
      ->check(CLI::IsMember({0, 1}));
  app.add_option("--matte", options.matte, "Also writes the matte (the alpha as grey) here");
  app.add_option("--preview", options.preview,
                 "Also writes the result over a checkerboard here (any video format: .mp4...)");
  options.jobs = media::DefaultJobCount();
  app.add_option("-j,--jobs", options.jobs, "Frames keyed at once (default: the processors)")
      ->check(CLI::Range(1, media::kMaxJobs, "1 to " + std::to_string(media::kMaxJobs)));
  app.add_option_function<std::string>(
         "--frames",
         [&options](const std::string& text) { options.frames = ParseFrameRange(text); },
         "Keys only frames A to B of a sequence (its numbers) or video (from 1); "
         "outputs keep the frames' numbers, so chunks of a shot render apart")
      ->type_name("A-B")
      ->check(CheckedBy(ParseFrameRange, ""));
  app.add_flag("--allow-gaps", options.allowGaps,
               "Keys the frames a numbered sequence has when some are missing, with a "
               "warning naming them (without it a gap is an error)");
  app.add_flag("--allow-short", options.allowShort,
               "Keys the frames a video has when it ends before the frames its container "
               "declares (a truncated file), with a warning (without it that is an error)");
  app.add_flag("-f,--force", options.force, "Replaces existing outputs");
  const auto mib = [](std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; };
  app.footer("Frames may be up to " + media::FrameLimitText() +
             ",\n8K (8192 x 4320) included; larger ones are refused. Each job holds up to " +
             std::to_string(media::kBytesPerPixelPerJob) + "\nbytes a pixel of frames in flight (" +
             std::to_string(media::kBytesPerPixelPerJob + media::kDeepBytesPerPixelPerJob) +
             " for inputs of more than 8 bits) and " + mib(media::kBytesPerJob) +
             "\nfor the effect's mask, and the process " + mib(media::kSharedBytes) +
             " for the tables its jobs share;\n--jobs is lowered, with a warning, so that "
             "they stay within half of the memory.\n"
             "A numbered sequence must have no gap (a missing frame is an error) unless\n"
             "--allow-gaps is given.");
}

std::pair<long, long> ParseFrameRange(std::string_view text) {
  // A dash after the first character separates the two numbers.
  const std::size_t dash = text.find('-', 1);
  constexpr double kMax = 999999999;  // the largest frame number of a sequence
  const double first = project::ParseNumber(text.substr(0, dash), 0, kMax);
  const double last =
      dash == std::string_view::npos ? first : project::ParseNumber(text.substr(dash + 1), 0, kMax);
  if (first != std::floor(first) || last != std::floor(last) || last < first)
    throw host::HostError("\"" + std::string(text) +
                          "\" is not a range of frames A-B (whole numbers, A not above B)");
  return {long(first), long(last)};
}

}  // namespace mattix::cli
