#pragma once
// A project's settings given to an effect instance, as every host of the
// module built on the project file does (`mattix render`, the frei0r
// plug-in).
#include "host/effect/EffectInstance.h"
#include "host/project/Project.h"

namespace mattix::host {

// Sets the instance's parameters (defined already) to the settings: the
// softness and spill numbers, the lightness window and the chroma mask
// record. Returns the first status that is not kOk, else kOk.
PIM::Status ApplySettings(host::CEffectInstance& instance,
                          const project::ProjectSettings& settings);

}  // namespace mattix::host
