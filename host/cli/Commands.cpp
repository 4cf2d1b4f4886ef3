#include "host/cli/Commands.h"

#include "host/cli/CliError.h"
#include "host/cli/CommandLine.h"
#include "host/cli/FileBytes.h"
#include "host/cli/MaskRecord.h"
#include "host/cli/OutputFile.h"
#include "host/cli/PngFile.h"
#include "host/cli/Project.h"

#include <sys/stat.h>
#include <cstdio>

namespace mattix::cli {

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

void WriteText(const std::string& path, const std::string& text, bool force) {
  WriteFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end()), force);
}

ProjectSettings ReadCheckedProject(const std::string& path) {
  ProjectSettings settings = ReadProject(path);
  ValidateMaskRecord(settings.chromaMask, path);
  return settings;
}

}  // namespace

std::string UsageText() {
  return "usage:\n"
         "  mattix mask import PICTURE --project P [-o OUT] [--force]\n"
         "      Turns a 241 x 209 picture of the hue/saturation wheel (grey levels: white\n"
         "      keys fully, black not at all) into the chroma mask of project P, updated\n"
         "      in place (created when missing), or written to OUT.\n"
         "  mattix mask export --project P -o PICTURE [--force]\n"
         "      Writes the chroma mask of project P as a 241 x 209 grey picture (black\n"
         "      when no mask is drawn), to paint on and import again.\n"
         "  mattix project new -o P [--softness S] [--spill S] [--lightness L0,L1,L2,L3] "
         "[--force]\n"
         "      Writes a project with default settings and the given overrides.\n"
         "  mattix project show P [--softness S] [--spill S] [--lightness L0,L1,L2,L3]\n"
         "      Checks project P and prints it with the overrides applied.\n"
         "  mattix render INPUT -o OUTPUT [--project P] [--softness S] [--spill S]\n"
         "         [--lightness L0,L1,L2,L3] [--field 0|1] [--matte M] [--preview V]\n"
         "         [--jobs N] [--force]\n"
         "      Keys a PNG picture, a PNG sequence (shot_%04d.png) or a video.\n"
         "  mattix help\n"
         "Softness and spill suppression are percentages (0 to 100); the lightness\n"
         "breakpoints are percentages in increasing order. An existing output is replaced\n"
         "only with --force.\n";
}

int MaskImport(const std::vector<std::string>& args) {
  const std::string command = "mask import";
  const ParsedArgs parsed = ParseArgs(
      args, {{"--project", nullptr, true}, {"-o", "--output", true}, {"--force", "-f", false}},
      command);
  if (parsed.positional.size() != 1)
    throw UsageError(command + ": give one picture (mattix mask import PICTURE --project P)");
  const std::optional<std::string> project = parsed.Value("--project");
  if (!project) throw UsageError(command + ": no project given (--project P)");
  const std::string& picturePath = parsed.positional.front();
  const std::string out = parsed.Value("-o").value_or(*project);
  const bool inPlace = !parsed.Has("-o");

  ProjectSettings settings;
  if (Exists(*project))
    settings = ReadProject(*project);
  else if (!inPlace)
    throw CliError(*project + ": cannot open: No such file or directory");

  InputFiles inputs;
  inputs.Add(picturePath);
  if (!inPlace && Exists(*project)) inputs.Add(*project);
  CheckOutputAllowed(out, inPlace || parsed.Has("--force"), inputs);

  const GreyImage levels = MaskLevelsFromPicture(ReadPng(picturePath));
  settings.chromaMask = MaskRecordFromPicture(levels, picturePath);
  WriteText(out, ProjectToJson(settings), inPlace || parsed.Has("--force"));
  std::printf("%s: chroma mask of %s (%zu bytes)\n", out.c_str(), picturePath.c_str(),
              settings.chromaMask.size());
  return 0;
}

int MaskExport(const std::vector<std::string>& args) {
  const std::string command = "mask export";
  const ParsedArgs parsed = ParseArgs(
      args, {{"--project", nullptr, true}, {"-o", "--output", true}, {"--force", "-f", false}},
      command);
  if (!parsed.positional.empty())
    throw UsageError(command + ": unexpected \"" + parsed.positional.front() +
                     "\" (mattix mask export --project P -o PICTURE)");
  const std::optional<std::string> project = parsed.Value("--project");
  const std::optional<std::string> out = parsed.Value("-o");
  if (!project) throw UsageError(command + ": no project given (--project P)");
  if (!out) throw UsageError(command + ": no picture given (-o PICTURE)");

  const ProjectSettings settings = ReadCheckedProject(*project);
  InputFiles inputs;
  inputs.Add(*project);
  CheckOutputAllowed(*out, parsed.Has("--force"), inputs);
  const GreyImage picture = PictureFromMaskRecord(settings.chromaMask, *project);
  WriteFileAtomically(*out, EncodePngGrey(picture, *out, 9), parsed.Has("--force"));
  std::printf("%s: chroma mask of %s%s\n", out->c_str(), project->c_str(),
              settings.HasMask() ? "" : " (no mask drawn: all black)");
  return 0;
}

int ProjectNew(const std::vector<std::string>& args) {
  const std::string command = "project new";
  const ParsedArgs parsed = ParseArgs(args,
                                      {{"-o", "--output", true},
                                       {"--softness", nullptr, true},
                                       {"--spill", nullptr, true},
                                       {"--lightness", nullptr, true},
                                       {"--force", "-f", false}},
                                      command);
  if (!parsed.positional.empty())
    throw UsageError(command + ": unexpected \"" + parsed.positional.front() + "\" (use -o P)");
  const std::optional<std::string> out = parsed.Value("-o");
  if (!out) throw UsageError(command + ": no project given (-o P)");
  ProjectSettings settings;
  ApplyOverrides(settings, OverridesFrom(parsed));
  WriteText(*out, ProjectToJson(settings), parsed.Has("--force"));
  return 0;
}

int ProjectShow(const std::vector<std::string>& args) {
  const std::string command = "project show";
  const ParsedArgs parsed = ParseArgs(
      args,
      {{"--softness", nullptr, true}, {"--spill", nullptr, true}, {"--lightness", nullptr, true}},
      command);
  if (parsed.positional.size() != 1) throw UsageError(command + ": give one project file");
  ProjectSettings settings = ReadCheckedProject(parsed.positional.front());
  ApplyOverrides(settings, OverridesFrom(parsed));
  const std::string text = ProjectToJson(settings);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

int CommandMain(int argc, char** argv, const CommandHandler& render) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  InstallInterruptCleanup();
  try {
    if (args.empty()) throw UsageError("no command given");
    const std::string command = args.front();
    if (command == "help" || command == "--help" || command == "-h") {
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    }
    const std::string sub = args.size() > 1 ? args[1] : "";
    const std::vector<std::string> rest(args.begin() + std::min<std::size_t>(2, args.size()),
                                        args.end());
    if (command == "mask" && sub == "import") return MaskImport(rest);
    if (command == "mask" && sub == "export") return MaskExport(rest);
    if (command == "project" && sub == "new") return ProjectNew(rest);
    if (command == "project" && sub == "show") return ProjectShow(rest);
    if (command == "mask" || command == "project")
      throw UsageError(command + ": unknown action \"" + sub + "\"");
    if (command == "render") {
      if (!render)
        throw CliError(
            "render: this build has no renderer (the effect module "
            "is not linked into this program)");
      return render(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    throw UsageError("unknown command \"" + command + "\"");
  } catch (const UsageError& e) {
    std::fprintf(stderr, "mattix: %s\n(mattix help shows the commands)\n", e.what());
    return 2;
  } catch (const CliError& e) {
    std::fprintf(stderr, "mattix: %s\n", e.what());
    return 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "mattix: out of memory\n");
    return 1;
  }
}

}  // namespace mattix::cli
