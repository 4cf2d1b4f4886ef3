#pragma once
// A project's settings given to an effect instance, as every host of the
// module built on the project file does (`mattix render`, the frei0r
// plug-in).
#include "host/EffectInstance.h"
#include "host/cli/Project.h"

namespace mattix::cli {

// Sets the instance's parameters (defined already) to the settings: the
// softness and spill numbers, the lightness window and the chroma mask
// record. Returns the first status that is not kOk, else kOk.
PIM::Status ApplySettings(host::CEffectInstance& instance, const ProjectSettings& settings);

}  // namespace mattix::cli
