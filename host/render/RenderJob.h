#pragma once
// A render job: keys a picture, a sequence or a video into its outputs
// through the effect module, loaded with dlopen and driven through the host
// API exactly as a video editor drives it. `mattix render` and the keyer
// page's Export run it.
//
// The module is looked for, in this order:
//   1. the path in the environment variable MATTIX_MODULE, when set;
//   2. libmattix.so next to the mattix executable;
//   3. the module of the build tree the executable was built in (its path
//      is compiled in), so that a freshly built tree runs without set-up.
#include "host/base/HostError.h"
#include "host/effect/EffectInstance.h"
#include "host/effect/HostModule.h"
#include "host/project/Project.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mattix::render {

// What to key and where (the options of `mattix render`).
struct RenderOptions {
  std::string input;  // a PNG picture, a sequence (shot_%04d.png) or a video
  std::string output;
  std::optional<std::string> project;
  std::optional<std::string> matte;
  std::optional<std::string> preview;
  project::SettingOverrides overrides;
  int field = -1;  // -1: whole frames
  int jobs = 1;
  std::optional<std::pair<long, long>> frames;  // first and last frame number
  bool allowGaps = false;                       // a sequence may miss frames
  bool allowShort = false;                      // a video may end before its declared frames
  bool force = false;
  bool operator==(const RenderOptions&) const = default;
};

// Outputs that do not suit the input or each other (the command reports it
// as a usage error).
class OptionsError : public host::HostError {
 public:
  explicit OptionsError(const std::string& message) : host::HostError(message) {}
};

// The checks before any work: the input is not a folder (host::HostError); a
// single picture gives .png outputs; a sequence or a video gives sequences or
// videos; every output can hold alpha; the main output, matte and preview
// are different files (OptionsError). Messages name the file.
void CheckRenderOptions(const RenderOptions& options);

// The module `mattix render` would load (see above); throws host::HostError when
// none of the places holds one.
std::string FindEffectModule();

// Loads that module and registers its effect; throws host::HostError naming the
// module when it cannot be loaded or registers nothing.
std::shared_ptr<host::CHostModule> LoadEffectModule();

// Has a new instance define its parameters and sets them to the project's
// settings; throws host::HostError naming modulePath when the effect refuses.
void ConfigureInstance(host::CEffectInstance& instance, const std::string& modulePath,
                       const project::ProjectSettings& settings);

// Keys with checked options.
// Returns the exit status; throws host::HostError naming the file (and frame).
int Render(const RenderOptions& options);
// The same, telling onProgress the frames done and the total (-1: unknown)
// after each frame.
int RenderWithProgress(const RenderOptions& options,
                       const std::function<void(long, long)>& onProgress);

}  // namespace mattix::render
