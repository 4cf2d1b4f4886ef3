#include "host/cli/Commands.h"

#include "host/base/FileBytes.h"
#include "host/base/HostError.h"
#include "host/base/OutputFile.h"
#include "host/cli/HelpFormatter.h"
#include "host/cli/KeyCommand.h"
#include "host/cli/UsageError.h"
#include "host/matte/UnmixKey.h"
#include "host/matte/UnmixedKeySettings.h"
#include "host/media/FrameReader.h"
#include "host/media/PngFile.h"
#include "host/project/MaskRecord.h"
#include "host/project/Project.h"
#include "wheel/WheelGeometry.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace mattix::cli {

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

void WriteText(const std::string& path, const std::string& text, bool force) {
  host::WriteFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end()), force);
}

}  // namespace

int MaskImport(const MaskOptions& o) {
  const bool inPlace = !o.output;
  const std::string out = o.output.value_or(o.project);
  project::ProjectSettings settings;
  if (Exists(o.project))
    settings = project::ReadProject(o.project);
  else if (!inPlace)
    throw host::HostError(o.project + ": cannot open: No such file or directory");

  host::InputFiles inputs;
  inputs.Add(o.picture);
  if (!inPlace && Exists(o.project)) inputs.Add(o.project);
  host::CheckOutputAllowed(out, inPlace || o.force, inputs);

  project::IgnoredInPicture ignored;
  const media::GreyImage levels = MaskLevelsFromPicture(media::ReadPng(o.picture), &ignored);
  if (ignored.colour)
    std::fprintf(stderr,
                 "mattix: warning: %s has colours: only each pixel's brightness (its largest "
                 "channel) is taken as the key weight, its hue is ignored\n",
                 o.picture.c_str());
  if (ignored.alpha)
    std::fprintf(stderr,
                 "mattix: warning: %s has transparent pixels: alpha is ignored, a pixel keys by "
                 "its brightness alone\n",
                 o.picture.c_str());
  settings.chromaMask = project::MaskRecordFromPicture(levels, o.picture);
  WriteText(out, project::ProjectToJson(settings), inPlace || o.force);
  std::printf("%s: chroma mask of %s (%zu bytes)\n", out.c_str(), o.picture.c_str(),
              settings.chromaMask.size());
  return 0;
}

int MaskExport(const MaskOptions& o) {
  const std::string& out = o.output.value();
  const project::ProjectSettings settings = project::ReadProject(o.project);
  host::InputFiles inputs;
  inputs.Add(o.project);
  host::CheckOutputAllowed(out, o.force, inputs);
  const media::GreyImage picture = project::PictureFromMaskRecord(settings.chromaMask, o.project);
  if (o.guide) {
    host::WriteFileAtomically(out, media::EncodePng(project::MaskGuidePicture(picture), out, 9),
                              o.force);
    std::printf("%s: the wheel's hues with the chroma mask of %s over them%s\n", out.c_str(),
                o.project.c_str(), settings.HasMask() ? "" : " (no mask drawn)");
    return 0;
  }
  host::WriteFileAtomically(out, media::EncodePngGrey(picture, out, 9), o.force);
  std::printf("%s: chroma mask of %s%s\n", out.c_str(), o.project.c_str(),
              settings.HasMask() ? "" : " (no mask drawn: all black)");
  return 0;
}

int ProjectNew(const ProjectOptions& o) {
  project::ProjectSettings settings;
  ApplyOverrides(settings, o.overrides);
  WriteText(o.path, project::ProjectToJson(settings), o.force);
  return 0;
}

int ProjectShow(const ProjectOptions& o) {
  project::ProjectSettings settings = project::ReadProject(o.path);
  ApplyOverrides(settings, o.overrides);
  if (o.json) {
    const std::string text = project::ProjectToJson(settings);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  const auto& l = settings.lightness;
  std::printf(
      "%s\n  softness           %g %%\n  spill suppression  %g %%\n"
      "  lightness          %g, %g, %g, %g %%\n  chroma mask        %s\n  finishing          %s\n",
      o.path.c_str(), settings.softness, settings.spillSuppression, l[0], l[1], l[2], l[3],
      project::MaskSummary(project::PictureFromMaskRecord(settings.chromaMask, o.path)).c_str(),
      project::DescribeFinishing(settings.finishing).c_str());
  return 0;
}

int KeyClear(const KeyOptions& o) {
  project::ProjectSettings settings;
  if (Exists(o.project)) settings = project::ReadProject(o.project);
  settings.chromaMask.assign(std::begin(wheel::kEmptyRecord), std::end(wheel::kEmptyRecord));
  WriteText(o.project, project::ProjectToJson(settings), true);
  std::printf("%s: chroma mask cleared\n", o.project.c_str());
  return 0;
}

int KeyAuto(const KeyOptions& o) {
  const bool exists = Exists(o.project);
  project::ProjectSettings settings;
  if (exists) settings = project::ReadProject(o.project);
  const media::BgraImage frame = media::ReadInputFrame(o.input, o.frame);
  const std::optional<matte::UnmixedKey> found = matte::UnmixKey(frame);
  if (!found)
    throw host::HostError(o.input + ": no backdrop found (" + matte::NoBackdropReason() +
                          "); pick its colour with mattix key pick --at");
  matte::ApplyUnmixedKey(*found, settings, o.project);
  WriteText(o.project, project::ProjectToJson(settings), true);
  std::printf("%s: %s\n", o.project.c_str(), matte::DescribeUnmixedKey(*found, o.input).c_str());
  return 0;
}

int CommandMain(int argc, char** argv) {
  host::InstallInterruptCleanup();
  // Past a file-size limit (ulimit -f) a write fails with EFBIG, which is
  // reported and cleaned up as any failed write is, instead of the signal
  // ending the process with a temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  CLI::App app("Mattix: a chroma-key effect for video editors, on the command line.", "mattix");
  app.formatter(std::make_shared<HelpFormatter>());  // subcommands made below share it
  app.set_version_flag("--version", "mattix " MATTIX_VERSION);
  app.require_subcommand(1);
  // Each command's callback runs once its whole line has been parsed and checked.
  int status = 0;

  CLI::App* mask = app.add_subcommand("mask", "Imports or exports a project's chroma mask");
  mask->require_subcommand(1);
  MaskOptions maskOptions;
  const std::string wheelSize =
      std::to_string(wheel::kWidth) + " x " + std::to_string(wheel::kHeight);
  CLI::App* maskImport = mask->add_subcommand(
      "import",
      "Turns a " + wheelSize +
          " picture of the hue/saturation wheel into the chroma mask of "
          "project P, updated in place (created when missing), or written to OUT. Each "
          "pixel's brightness (its largest channel) is its key weight: black keys nothing, "
          "white or any full colour keys fully; hue and alpha are ignored, with a warning.");
  maskImport->add_option("picture", maskOptions.picture, "The picture of the mask")->required();
  CLI::App* maskExport =
      mask->add_subcommand("export", "Writes the chroma mask of project P as a " + wheelSize +
                                         " grey picture (black when no "
                                         "mask is drawn), to paint on and import again.");
  for (CLI::App* sub : {maskImport, maskExport}) {
    sub->add_option("--project", maskOptions.project, "The project P")->required();
    CLI::Option* output = sub->add_option(
        "-o,--output", maskOptions.output,
        sub == maskImport ? "The updated project, when not P" : "The picture written");
    if (sub == maskExport) output->required();
    sub->add_flag("-f,--force", maskOptions.force, "Replaces an existing output");
  }
  maskExport->add_flag("--guide", maskOptions.guide,
                       "Writes the wheel's colours with the mask over them instead, to see "
                       "which hues lie where (a guide to paint over, not a mask to import)");
  maskImport->callback([&] { status = MaskImport(maskOptions); });
  maskExport->callback([&] { status = MaskExport(maskOptions); });

  CLI::App* project = app.add_subcommand("project", "Writes or shows a project file");
  project->require_subcommand(1);
  ProjectOptions projectOptions;
  CLI::App* projectNew =
      project->add_subcommand("new", "Writes a project with default settings and the overrides.");
  projectNew->add_option("-o,--output", projectOptions.path, "The project written")->required();
  projectNew->add_flag("-f,--force", projectOptions.force, "Replaces an existing project");
  CLI::App* projectShow =
      project->add_subcommand("show",
                              "Checks a project and summarises it with the overrides applied: "
                              "its\nsettings and what its chroma mask keys.");
  projectShow->add_flag("--json", projectOptions.json,
                        "Prints the whole project file instead (the mask as base64)");
  projectShow->add_option("project", projectOptions.path, "The project read")->required();
  for (CLI::App* sub : {projectNew, projectShow})
    AddOverrideOptions(*sub, projectOptions.overrides);
  projectNew->callback([&] { status = ProjectNew(projectOptions); });
  projectShow->callback([&] { status = ProjectShow(projectOptions); });

  CLI::App* renderCommand = app.add_subcommand(
      "render",
      "Keys a picture (.png, .tif, .exr, .dpx), a sequence of them (shot_%04d.png) or a video.");
  render::RenderOptions renderOptions;
  std::vector<std::string> extraInputs;
  AddRenderOptions(*renderCommand, renderOptions, extraInputs);
  renderCommand->callback([&] {
    if (!extraInputs.empty())
      throw UsageError("render: one input only (\"" + extraInputs.front() +
                       "\" is extra; a sequence is given as name_%04d.png)");
    try {
      render::CheckRenderOptions(renderOptions);
    } catch (const render::OptionsError& e) {
      throw UsageError(e.what());
    }
    status = render::Render(renderOptions);
  });

  CLI::App* key = app.add_subcommand("key", "Marks key colours on a project's chroma mask");
  key->require_subcommand(1);
  KeyOptions keyOptions;
  CLI::App* keyPickCommand = key->add_subcommand(
      "pick",
      "Picks a key colour as a user of the wheel does: the effect marks it on the chroma "
      "mask of project P, updated in place (created when missing).");
  keyPickCommand
      ->add_option("--colour", keyOptions.colours, "The colour R,G,B (0 to 255 each); repeatable")
      ->allow_extra_args(false);
  keyPickCommand
      ->add_option("--at", keyOptions.ats,
                   "The colour of pixel X,Y (from the top left) of a picture, sequence or "
                   "video; repeatable")
      ->type_name("INPUT:X,Y")
      ->allow_extra_args(false);
  keyPickCommand->add_option("--frame", keyOptions.frame,
                             "The frame of --at's sequence (its number) or video (from 1)");
  keyPickCommand->add_flag("--disc", keyOptions.disc,
                           "Marks a disc of neighbouring hues around each colour too");
  CLI::App* keyAutoCommand = key->add_subcommand(
      "auto",
      "Finds the backdrop of a green- or blue-screen frame (its dominant saturated hue) "
      "and keys it: project P, updated in place (created when missing), weights each "
      "wheel pixel by how much of its colours is screen, and takes the lightness "
      "window and the matte finishing that suit the frame.");
  keyAutoCommand->add_option("input", keyOptions.input, "A picture, sequence or video")->required();
  keyAutoCommand->add_option("--frame", keyOptions.frame,
                             "The frame of a sequence (its number) or video (from 1)");
  keyAutoCommand->callback([&] { status = KeyAuto(keyOptions); });
  CLI::App* keyClearCommand =
      key->add_subcommand("clear", "Empties the chroma mask of project P (created when missing).");
  for (CLI::App* sub : {keyPickCommand, keyAutoCommand, keyClearCommand})
    sub->add_option("--project", keyOptions.project, "The project P")->required();
  keyPickCommand->callback([&] {
    if (keyOptions.colours.empty() && keyOptions.ats.empty())
      throw UsageError("--colour or --at is required");
    if (keyOptions.frame && keyOptions.ats.empty())
      throw UsageError("--frame chooses the frame of --at's input; give --at too");
    status = KeyPick(keyOptions);
  });
  keyClearCommand->callback([&] { status = KeyClear(keyOptions); });

  CLI::App* serveCommand = app.add_subcommand(
      "serve",
      "Keys a picture, sequence or video interactively in a web browser: starts a local "
      "web server and prints the address of its page (with the session's token). Save "
      "writes the --project file.");
  serve::ServeOptions serveOptions;
  serveCommand->add_option("input", serveOptions.input, "The picture, sequence or video")
      ->required();
  serveCommand->add_option("--project", serveOptions.project,
                           "The project read at the start (when it exists) and saved");
  serveCommand->add_option("-o,--output", serveOptions.output,
                           "Where Export renders the whole input, as mattix render -o would");
  serveCommand->add_flag("-f,--force", serveOptions.force, "Export replaces an existing output");
  serveCommand->add_option("--port", serveOptions.port, "The port (0: any free one)")
      ->capture_default_str()
      ->check(CLI::Range(0, 65535));
  serveCommand
      ->add_option("--host", serveOptions.host,
                   "The address listened on (other than a loopback name: reachable "
                   "from other machines, by whoever has the printed address)")
      ->capture_default_str();
  serveCommand->callback([&] { status = serve::Serve(serveOptions); });

  // The top level's help, then every command's (app.help() would show the
  // help of the selected subcommand: this one).
  CLI::App* help = app.add_subcommand("help", "Prints the help of every command");
  help->callback([&] {
    std::string text = app.get_formatter()->make_help(&app, "mattix", CLI::AppFormatMode::Normal);
    std::function<void(CLI::App*, const std::string&)> addCommands = [&](CLI::App* at,
                                                                         const std::string& name) {
      const std::vector<CLI::App*> subs = at->get_subcommands([](CLI::App*) { return true; });
      if (subs.empty() && at != help)
        text += "\n" + at->get_formatter()->make_help(at, name, CLI::AppFormatMode::Normal);
      for (CLI::App* sub : subs) addCommands(sub, name + " " + sub->get_name());
    };
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; }))
      addCommands(sub, "mattix " + sub->get_name());
    std::fputs(text.c_str(), stdout);
  });

  // Set last: subcommands take the footer their parent has when added.
  app.footer(
      "Softness and spill suppression are percentages (0 to 100); the lightness\n"
      "breakpoints are percentages in increasing order. An existing output is replaced\n"
      "only with --force. Exit status: 0 done, 1 failed, 2 command line not understood.\n"
      "`mattix help` shows every command's options, `mattix COMMAND --help` one's.");

  // A line not understood gets a hint naming the command it was for. A word
  // left where a subcommand was expected is named as an unknown command
  // (CLI11 would report a missing subcommand first).
  const auto usageError = [&app](std::string message) {
    std::string command = "mattix";
    CLI::App* at = &app;
    while (!at->get_subcommands().empty()) {
      at = at->get_subcommands().front();
      command += " " + at->get_name();
    }
    const bool expectsCommand = !at->get_subcommands([](CLI::App*) { return true; }).empty();
    if (const std::vector<std::string> rest = at->remaining(); expectsCommand && !rest.empty())
      message = "unknown command \"" + rest.front() + "\"";
    std::fprintf(stderr, "mattix: %s\n(%s --help shows the options)\n", message.c_str(),
                 command.c_str());
    return 2;
  };
  try {
    app.parse(argc, argv);
    return status;
  } catch (const CLI::Success& e) {  // --help, --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return usageError(e.what());
  } catch (const UsageError& e) {
    return usageError(e.what());
  } catch (const host::HostError& e) {
    std::fprintf(stderr, "mattix: %s\n", e.what());
    return 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "mattix: out of memory\n");
    return 1;
  }
}

}  // namespace mattix::cli
