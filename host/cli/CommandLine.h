#pragma once
// The options of the `mattix` commands, bound to a CLI11 parser.
//
// CLI11 handles the forms ("--name value", "--name=value", "-o value", "--"),
// refuses unknown, repeated and missing options, generates the help and runs
// the range checks given here. What it cannot express is checked after
// parsing: the output kinds must suit the input, and the outputs must be
// different files.
#include "host/cli/Project.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

namespace mattix::cli {

// mattix render INPUT -o OUTPUT [--project P] [--softness S] [--spill S]
//   [--lightness L0,L1,L2,L3] [--field 0|1] [--matte M] [--preview P]
//   [--jobs N] [--frames A-B] [--allow-gaps] [--force]
struct RenderOptions {
  std::string input;
  std::string output;
  std::optional<std::string> project;
  std::optional<std::string> matte;
  std::optional<std::string> preview;
  SettingOverrides overrides;
  int field = -1;  // -1: whole frames
  int jobs = 1;
  std::optional<std::pair<long, long>> frames;  // first and last frame number
  bool allowGaps = false;                       // a sequence may miss frames
  bool force = false;
  std::vector<std::string> extraInputs;  // words after the input, refused by the check
  bool operator==(const RenderOptions&) const = default;
};

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
  SettingOverrides overrides;
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

// mattix serve INPUT [--project P] [--output OUT [--force]] [--port N] [--host ADDR]
struct ServeOptions {
  std::string input;
  std::optional<std::string> project;
  std::optional<std::string> output;  // where Export renders
  bool force = false;
  int port = 8765;                 // 0: any free port
  std::string host = "127.0.0.1";  // the address listened on
};

// Adds --softness, --spill and --lightness to `app`, stored in `overrides`
// (which must outlive the parse).
void AddOverrideOptions(CLI::App& app, SettingOverrides& overrides);

// Adds the input and the options of `mattix render` to `app`, stored in
// `options`; --jobs defaults to the number of processors.
void AddRenderOptions(CLI::App& app, RenderOptions& options);

// The checks after parsing: one input (a shell glob gives many: a sequence is
// given by its pattern); a single picture gives .png outputs; a sequence
// or a video gives sequences or videos; every output can hold alpha; the main
// output, matte and preview are different files. Throws UsageError/CliError.
void CheckRenderOptions(const RenderOptions& options);

// Parses "A-B" (frame numbers, A <= B) or "N" (that frame alone). Throws
// CliError about the text alone.
std::pair<long, long> ParseFrameRange(std::string_view text);

// Parses and checks the arguments of `mattix render` (those after "render").
// A line not understood throws UsageError.
RenderOptions ParseRenderOptions(const std::vector<std::string>& args);

}  // namespace mattix::cli
