#include "host/project/PluginSettings.h"

#include <algorithm>
#include <cmath>

namespace mattix::project {

// The descriptions below state these limits in words (they are C strings
// that plug-in hosts keep): a change of a limit must change them too.
static_assert(MatteFinishing::kMaxRadius == 8.0 && MatteFinishing::kMaxEdge == 32.0);

const std::array<PluginSetting, kPluginSettingCount> kPluginSettings{{
    {"softness",
     "Softness, 0 to 1 for 0 to 100 %: feathers the key (NaN or below 0: the project's)", 0.0,
     100.0, [](ProjectSettings& s) -> double& { return s.softness; }},
    {"spill",
     "Spill suppression, 0 to 1 for 0 to 100 %: greys the key colour on edges (NaN or below "
     "0: the project's)",
     0.0, 100.0, [](ProjectSettings& s) -> double& { return s.spillSuppression; }},
    {"despill",
     "Despill, 0 to 1 for 0 to 100 %: limits the screen channel on every pixel (NaN or "
     "below 0: the project's)",
     0.0, 100.0, [](ProjectSettings& s) -> double& { return s.finishing.despill; }},
    {"clipblack",
     "Clip black, 0 to 1 for 0 to 100 % of alpha: levels at or below become clear (NaN or "
     "below 0: the project's)",
     0.0, 100.0, [](ProjectSettings& s) -> double& { return s.finishing.clipBlack; }},
    {"clipwhite",
     "Clip white, 0 to 1 for 0 to 100 % of alpha: levels at or above become opaque (NaN or "
     "below 0: the project's)",
     0.0, 100.0, [](ProjectSettings& s) -> double& { return s.finishing.clipWhite; }},
    {"shrinkgrow",
     "Shrink/grow, 0 to 1 for -8 to 8 pixels (0.5: none): shrinks or grows the matte (NaN "
     "or below 0: the project's)",
     -MatteFinishing::kMaxRadius, MatteFinishing::kMaxRadius,
     [](ProjectSettings& s) -> double& { return s.finishing.shrinkGrow; }},
    {"feather",
     "Feather, 0 to 1 for 0 to 8 pixels: blurs the matte's edge (NaN or below 0: the "
     "project's)",
     0.0, MatteFinishing::kMaxRadius,
     [](ProjectSettings& s) -> double& { return s.finishing.feather; }},
    {"despilledge",
     "Despill edge, 0 to 1 for 0 to 32 pixels: within this distance of the matte's edge, despill "
     "takes the screen's light out of the rim, back to the subject's own colour further in (NaN "
     "or below 0: the project's)",
     0.0, MatteFinishing::kMaxEdge,
     [](ProjectSettings& s) -> double& { return s.finishing.despillEdge; }},
    {"unmix",
     "Unmix, 0 to 1 for 0 to 100 %: takes the clear screen's colour nearby out of the pixels "
     "the key leaves partly transparent (NaN or below 0: the project's)",
     0.0, 100.0, [](ProjectSettings& s) -> double& { return s.finishing.unmix; }},
    {"refine",
     "Refine, 0 to 1 for 0 to 8 pixels: refines the matte by a guided filter of the picture "
     "over windows of this radius (NaN or below 0: the project's)",
     0.0, MatteFinishing::kMaxRadius,
     [](ProjectSettings& s) -> double& { return s.finishing.refine; }},
    {"closeholes",
     "Close holes, 0 to 1 for 0 to 100 % of alpha: levels at or above become opaque beside "
     "opaque pixels and no clear one, up to two pixels in (NaN or below 0: the project's)",
     0.0, 100.0, [](ProjectSettings& s) -> double& { return s.finishing.closeHoles; }},
}};

std::optional<double> PluginValue(double value) {
  if (std::isnan(value) || value < 0.0) return std::nullopt;
  return std::min(value, 1.0);
}

ProjectSettings ApplyPluginValues(ProjectSettings settings, const PluginValues& values) {
  for (std::size_t i = 0; i < kPluginSettingCount; ++i)
    if (const std::optional<double> v = values[i]) {
      const PluginSetting& s = kPluginSettings[i];
      s.field(settings) = s.low + std::clamp(*v, 0.0, 1.0) * (s.high - s.low);
    }
  MatteFinishing& f = settings.finishing;
  if (!(f.clipBlack < f.clipWhite)) {
    f.clipBlack = std::min(f.clipBlack, 99.5);
    f.clipWhite = f.clipBlack + 0.5;
  }
  return settings;
}

double PluginValueOf(const ProjectSettings& settings, const PluginSetting& setting) {
  // field only forms a reference; nothing is written through it.
  const double value = setting.field(const_cast<ProjectSettings&>(settings));
  return std::clamp((value - setting.low) / (setting.high - setting.low), 0.0, 1.0);
}

}  // namespace mattix::project
