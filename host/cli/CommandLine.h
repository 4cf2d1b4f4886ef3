#pragma once
// The options of the `mattix` commands, bound to a CLI11 parser.
//
// CLI11 handles the forms ("--name value", "--name=value", "-o value", "--"),
// refuses unknown, repeated and missing options, generates the help and runs
// the range checks given here. What it cannot express is checked after
// parsing: the output kinds must suit the input, and the outputs must be
// different files.
#include "host/project/Project.h"
#include "host/render/RenderJob.h"
#include "host/serve/KeyerServer.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

namespace mattix::cli {

// mattix mask import PICTURE --project P [-o OUT] [--force]
// mattix mask export --project P -o PICTURE [--guide] [--force]
struct MaskOptions {
  std::string picture;  // import: the picture read
  std::string project;
  std::optional<std::string> output;
  bool force = false;
  bool guide = false;  // export: the wheel's colours with the mask over them
};

// mattix project new -o P [overrides] [--force]; mattix project show P [overrides] [--json]
struct ProjectOptions {
  std::string path;
  project::SettingOverrides overrides;
  bool force = false;
  bool json = false;  // show: the whole file rather than a summary
};

// mattix key pick --project P (--colour R,G,B | --at INPUT:X,Y)... [--frame N] [--disc]
// mattix key auto --project P INPUT [--frame N]
// mattix key clear --project P
struct KeyOptions {
  std::string project;               // updated in place, created with defaults when missing
  std::vector<std::string> colours;  // "R,G,B", 0 to 255 each
  std::vector<std::string> ats;      // "INPUT:X,Y", a pixel of a picture, sequence or video
  std::string input;                 // key auto: the frame's picture, sequence or video
  std::optional<long> frame;         // the frame of a sequence (its number) or video (from 1)
  bool disc = false;                 // marks a disc around each colour (Shift)
};

// Adds --softness, --spill and --lightness to `app`, stored in `overrides`
// (which must outlive the parse).
void AddOverrideOptions(CLI::App& app, project::SettingOverrides& overrides);

// Adds the input and the options of `mattix render` to `app`, stored in
// `options`; --jobs defaults to the number of processors. Words after the
// input go to extraInputs (refused with a usage hint by the command).
void AddRenderOptions(CLI::App& app, render::RenderOptions& options,
                      std::vector<std::string>& extraInputs);

// Parses "A-B" (frame numbers, A <= B) or "N" (that frame alone). Throws
// host::HostError about the text alone.
std::pair<long, long> ParseFrameRange(std::string_view text);

}  // namespace mattix::cli
