#pragma once
// The subcommands of `mattix` that need no effect module, and the entry
// point that parses the command line and dispatches to them and to the
// rooms below: `render` (render::Render), `serve` (serve::Serve) and `key
// pick` (KeyCommand.h). `mattix --help` lists every command, `mattix COMMAND
// --help` its options.
#include "host/cli/CommandLine.h"

namespace mattix::cli {

// Each returns the exit status; errors are thrown as host::HostError or UsageError.
int MaskImport(const MaskOptions& options);
int MaskExport(const MaskOptions& options);
int ProjectNew(const ProjectOptions& options);
int ProjectShow(const ProjectOptions& options);
// Stores the empty chroma mask record in the project (created when missing).
int KeyClear(const KeyOptions& options);
// Finds the backdrop of a frame of options.input and stores a chroma mask
// that keys it in the project; a project created here also gets softness,
// spill suppression and a lightness window suited to a screen.
int KeyAuto(const KeyOptions& options);

// Runs the command line; returns the exit status: 0 done (help and --version
// included), 1 failed (the message, naming the file, on stderr), 2 a command
// line not understood.
int CommandMain(int argc, char** argv);

}  // namespace mattix::cli
