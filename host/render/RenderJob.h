#pragma once
// A render job: keys a picture, a sequence or a video into its outputs
// through the effect module, loaded with dlopen and driven as a video editor
// drives it (host/effect/KeyingEffect.h, which also says where the module is
// found). `mattix render` and the keyer page's Export run it.
#include "host/base/HostError.h"
#include "host/project/Project.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mattix::render {

// What to key and where (the options of `mattix render`).
struct RenderOptions {
  std::string input;  // a picture (.png, .tif, .exr, .dpx), a sequence of them or a video
  std::string output;
  std::optional<std::string> project;
  // Settings to key with instead of the project file's (which is then only
  // named in messages): the keyer's export, keyed as it was at the click.
  std::optional<project::ProjectSettings> settings;
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
// single picture gives picture outputs; a sequence or a video gives
// sequences or videos, or pictures when `frames` (the frames it gives, once
// opened: -1 when a video does not say) is 1; every output can hold alpha;
// the main output, matte and preview are different files (OptionsError).
// Messages name the file.
void CheckRenderOptions(const RenderOptions& options, std::optional<long> frames = std::nullopt);

// Keys with checked options.
// Returns the exit status; throws host::HostError naming the file (and frame).
int Render(const RenderOptions& options);
// The same, telling onProgress the frames done and the total (-1: unknown)
// after each frame.
int RenderWithProgress(const RenderOptions& options,
                       const std::function<void(long, long)>& onProgress);

}  // namespace mattix::render
