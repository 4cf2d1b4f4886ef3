#pragma once
// `mattix key pick`: marks a key colour on a project's chroma mask through
// the effect module, as a video editor's user does: the module is loaded (as
// `mattix render` finds it), an instance takes the project's settings, the
// colour is picked on its wheel control (with Shift for a disc) and the
// chroma mask the effect then holds is written back to the project.
#include "host/cli/CommandLine.h"

#include <array>
#include <string>
#include <vector>

namespace mattix::cli {

// The colours that `options` names: each --colour "R,G,B", then the pixel of
// each --at "INPUT:X,Y" (the last ':' ends the file name) in the frame
// --frame of its input. Throws host::HostError naming the project for a colour not
// understood, and the input for a pixel outside it or a frame that cannot be
// read.
std::vector<std::array<double, 3>> KeyColours(const KeyOptions& options);

// The handler of `mattix key pick` for CommandMain; returns the exit status.
int KeyPick(const KeyOptions& options);

}  // namespace mattix::cli
