#pragma once
// `mattix key pick`: marks a key colour on a project's chroma mask through
// the effect module, as a video editor's user does: the module is loaded (as
// `mattix render` finds it), an instance takes the project's settings, the
// colour is picked on its wheel control (with Shift for a disc) and the
// chroma mask the effect then holds is written back to the project.
#include "host/cli/CommandLine.h"

#include <array>
#include <string>

namespace mattix::cli {

// The colour that `options` names: --colour "R,G,B" or the pixel of
// --at "INPUT:X,Y" (the last ':' ends the file name). Throws CliError naming
// the project for a colour not understood, and the picture for a pixel
// outside it or a picture that cannot be read.
std::array<double, 3> KeyColour(const KeyOptions& options);

// The handler of `mattix key pick` for CommandMain; returns the exit status.
int KeyPick(const KeyOptions& options);

}  // namespace mattix::cli
