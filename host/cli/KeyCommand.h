#pragma once
// `mattix key pick`: marks a key colour on a project's chroma mask through
// the effect module, as a video editor's user does: the module is loaded
// (host/effect/KeyingEffect.h), an instance takes the project's settings, the
// colour is picked on its wheel control (with Shift for a disc) and the
// chroma mask the effect then holds is written back to the project.
#include "host/cli/CommandLine.h"

namespace mattix::cli {

// `mattix key pick`; returns the exit status.
int KeyPick(const KeyOptions& options);

}  // namespace mattix::cli
