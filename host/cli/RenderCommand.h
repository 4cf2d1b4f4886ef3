#pragma once
// `mattix render`: keys pictures, sequences and videos through the effect
// module, loaded with dlopen and driven through the host API exactly as a
// video editor drives it.
//
// The module is looked for, in this order:
//   1. the path in the environment variable MATTIX_MODULE, when set;
//   2. libmattix.so next to the mattix executable;
//   3. the module of the build tree the executable was built in (its path
//      is compiled in), so that a freshly built tree runs without set-up.
#include "host/EffectInstance.h"
#include "host/HostModule.h"
#include "host/cli/CommandLine.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mattix::cli {

// The module `mattix render` would load (see above); throws CliError when
// none of the places holds one.
std::string FindEffectModule();

// Loads that module and registers its effect; throws CliError naming the
// module when it cannot be loaded or registers nothing.
std::shared_ptr<host::CHostModule> LoadEffectModule();

// Has a new instance define its parameters and sets them to the project's
// settings; throws CliError naming modulePath when the effect refuses.
void ConfigureInstance(host::CEffectInstance& instance, const std::string& modulePath,
                       const ProjectSettings& settings);

// The render command's handler for CommandMain: keys with checked options.
// Returns the exit status; throws CliError naming the file (and frame).
int Render(const RenderOptions& options);
// The same, telling onProgress the frames done and the total (-1: unknown)
// after each frame.
int RenderWithProgress(const RenderOptions& options,
                       const std::function<void(long, long)>& onProgress);

// The render command run on its own arguments (those after "render").
int RenderCommand(const std::vector<std::string>& args);

}  // namespace mattix::cli
