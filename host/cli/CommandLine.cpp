#include "host/cli/CommandLine.h"

#include "host/cli/CliError.h"
#include "host/cli/JobPool.h"
#include "host/cli/OutputFile.h"
#include "host/cli/Video.h"

namespace mattix::cli {

std::optional<std::string> ParsedArgs::Value(const std::string& name) const {
  for (const auto& [key, value] : options_)
    if (key == name) return value;
  return std::nullopt;
}

bool ParsedArgs::Has(const std::string& name) const { return Value(name).has_value(); }

ParsedArgs ParseArgs(const std::vector<std::string>& args, std::initializer_list<OptionSpec> specs,
                     const std::string& command) {
  ParsedArgs parsed;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t eq = arg.find('=');
    const std::string name = arg.substr(0, eq);
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& s : specs)
      if (name == s.name || (s.alias && name == s.alias)) spec = &s;
    if (!spec) throw UsageError(command + ": unknown option " + name);
    if (parsed.Has(spec->name)) throw UsageError(command + ": " + name + " is given twice");
    if (!spec->takesValue) {
      if (eq != std::string::npos) throw UsageError(command + ": " + name + " takes no value");
      parsed.Set(spec->name, "");
      continue;
    }
    if (eq != std::string::npos) {
      parsed.Set(spec->name, arg.substr(eq + 1));
    } else {
      if (i + 1 >= args.size()) throw UsageError(command + ": " + name + " needs a value");
      parsed.Set(spec->name, args[++i]);
    }
  }
  return parsed;
}

SettingOverrides OverridesFrom(const ParsedArgs& parsed) {
  SettingOverrides o;
  if (auto v = parsed.Value("--softness"))
    o.softness = ParseNumberFlag("--softness", *v, 0.0, 100.0);
  if (auto v = parsed.Value("--spill"))
    o.spillSuppression = ParseNumberFlag("--spill", *v, 0.0, 100.0);
  if (auto v = parsed.Value("--lightness")) o.lightness = ParseLightnessFlag(*v);
  return o;
}

RenderOptions ParseRenderOptions(const std::vector<std::string>& args) {
  const std::string command = "render";
  const ParsedArgs parsed = ParseArgs(args,
                                      {{"-o", "--output", true},
                                       {"--project", nullptr, true},
                                       {"--softness", nullptr, true},
                                       {"--spill", nullptr, true},
                                       {"--lightness", nullptr, true},
                                       {"--field", nullptr, true},
                                       {"--matte", nullptr, true},
                                       {"--preview", nullptr, true},
                                       {"--jobs", "-j", true},
                                       {"--force", "-f", false}},
                                      command);
  if (parsed.positional.empty()) throw UsageError(command + ": no input given");
  if (parsed.positional.size() > 1)
    throw UsageError(command + ": one input only (\"" + parsed.positional[1] +
                     "\" is extra; a sequence is given as name_%04d.png)");
  RenderOptions o;
  o.input = parsed.positional.front();
  const std::optional<std::string> output = parsed.Value("-o");
  if (!output) throw UsageError(command + ": no output given (-o OUTPUT)");
  o.output = *output;
  o.project = parsed.Value("--project");
  o.matte = parsed.Value("--matte");
  o.preview = parsed.Value("--preview");
  o.overrides = OverridesFrom(parsed);
  if (auto v = parsed.Value("--field")) o.field = ParseFieldFlag(*v);
  o.jobs = parsed.Value("--jobs") ? ParseJobsFlag(*parsed.Value("--jobs")) : DefaultJobCount();
  o.force = parsed.Has("--force");

  const bool single = InputKindOf(o.input) == MediaKind::Picture;
  std::vector<std::pair<std::string, std::string>> outputs = {{"the output", o.output}};
  if (o.matte) outputs.emplace_back("--matte", *o.matte);
  if (o.preview) outputs.emplace_back("--preview", *o.preview);
  for (const auto& [what, path] : outputs) {
    const OutputFormat format = OutputFormatOf(path);
    if (single && format != OutputFormat::Png)
      throw UsageError(path + ": the input is one picture, so " + what + " must be a .png");
    if (!single && format == OutputFormat::Png)
      throw UsageError(path + ": the input has many frames, so " + what +
                       " must be a sequence (name_%04d.png) or a video (.mov, .webm)");
  }
  CheckDistinctOutputs(outputs);
  return o;
}

}  // namespace mattix::cli
