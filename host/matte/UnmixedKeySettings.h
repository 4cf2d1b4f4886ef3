#pragma once
// What an unmixed key (UnmixKey.h) sets in a project: the one rule that
// `mattix key auto` and the keyer page's Auto key button both follow.
#include "host/matte/UnmixKey.h"
#include "host/project/Project.h"

#include <string>

namespace mattix::matte {

// Sets the key's mask and the settings that suit it: softness 0 and spill
// suppression 0 (the mask's weights are graded already: a blur would undo
// that, and spill suppression would grey every colour the key holds partly;
// the screen's cast is taken off by despill after the key instead), the
// key's lightness window, and the finishing the frame needs: screen,
// refine, unmix, despill and its edge, clip black and clip white.
// Everything else (key colours, shrink/grow, feather, shapes) is kept. `name` names the
// project in errors; throws host::HostError.
void ApplyUnmixedKey(const UnmixedKey& key, project::ProjectSettings& settings,
                     const std::string& name);

// What the key chose, as one line: "green screen of SOURCE keyed by its
// share in each colour: hue 129 degrees (126 to 132), ..., lightness 21,
// 33, 60, 71%; finishing: " and its finishing as `project show` says it
// (without " of SOURCE" when source is empty).
std::string DescribeUnmixedKey(const UnmixedKey& key, const std::string& source);

}  // namespace mattix::matte
