#pragma once
// The subcommands of `mattix` that need no effect module, and the entry
// point that dispatches to them.
//
//   mattix mask import PICTURE --project P [-o OUT] [--force]
//   mattix mask export --project P -o PICTURE [--force]
//   mattix project new -o P [--softness S] [--spill S] [--lightness L0,L1,L2,L3] [--force]
//   mattix project show P [--softness S] [--spill S] [--lightness L0,L1,L2,L3]
//   mattix help
#include <functional>
#include <string>
#include <vector>

namespace mattix::cli {

// Each returns the exit status; errors are thrown as CliError or UsageError.
int MaskImport(const std::vector<std::string>& args);
int MaskExport(const std::vector<std::string>& args);
int ProjectNew(const std::vector<std::string>& args);
int ProjectShow(const std::vector<std::string>& args);

// The text of `mattix help`.
std::string UsageText();

// A command that the host adds (the render command, which needs the module).
using CommandHandler = std::function<int(const std::vector<std::string>& args)>;

// Runs the command line; returns the exit status: 0 done, 1 failed (the
// message, naming the file, on stderr), 2 a command line not understood.
// `render` handles "mattix render" when given.
int CommandMain(int argc, char** argv, const CommandHandler& render = nullptr);

}  // namespace mattix::cli
