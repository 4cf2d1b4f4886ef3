#pragma once
// Parsing of the command's arguments.
//
// Options are "--name value" or "--name=value" ("-o value" for the output);
// switches ("--force") take no value; "--" ends the options. An option may
// be given once. Unknown options, missing values and stray arguments are
// UsageErrors naming the command.
#include "host/cli/Project.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mattix::cli {

struct OptionSpec {
  const char* name;   // "--softness", "-o"
  const char* alias;  // another spelling ("--output" for "-o"), or nullptr
  bool takesValue;
};

class ParsedArgs {
 public:
  std::vector<std::string> positional;

  // The value of an option (by its main name), if given.
  std::optional<std::string> Value(const std::string& name) const;
  bool Has(const std::string& name) const;

  void Set(const std::string& name, std::string value) {
    options_.emplace_back(name, std::move(value));
  }

 private:
  std::vector<std::pair<std::string, std::string>> options_;
};

// `command` ("render") starts error messages.
ParsedArgs ParseArgs(const std::vector<std::string>& args, std::initializer_list<OptionSpec> specs,
                     const std::string& command);

// The setting overrides of --softness, --spill and --lightness.
SettingOverrides OverridesFrom(const ParsedArgs& parsed);

// mattix render INPUT -o OUTPUT [--project P] [--softness S] [--spill S]
//   [--lightness L0,L1,L2,L3] [--field 0|1] [--matte M] [--preview P]
//   [--jobs N] [--force]
struct RenderOptions {
  std::string input;
  std::string output;
  std::optional<std::string> project;
  std::optional<std::string> matte;
  std::optional<std::string> preview;
  SettingOverrides overrides;
  int field = -1;  // -1: whole frames
  int jobs = 1;
  bool force = false;
};

// Parses and checks the render arguments: the output kinds must suit the
// input (a single picture gives .png outputs; a sequence or a video gives
// sequences or videos), outputs must be able to hold alpha, and the main
// output, matte and preview must be different files.
RenderOptions ParseRenderOptions(const std::vector<std::string>& args);

}  // namespace mattix::cli
