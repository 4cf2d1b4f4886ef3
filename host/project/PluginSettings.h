#pragma once
// The settings that Mattix's plug-ins (frei0r, GStreamer) and the editors'
// panels built on them expose over a project file, one row each: the name
// every host knows the parameter by, and how a plug-in value from 0 to 1
// maps onto the setting's own range. A value that is NaN or below 0 is not
// set: the project's own value stays. Other values are clamped to 0 to 1.
//
//   softness    0 to 1: softness 0 to 100 %
//   spill       0 to 1: spill suppression 0 to 100 %
//   despill     0 to 1: finishing despill 0 to 100 %
//   clipblack   0 to 1: finishing clip black 0 to 100 %
//   clipwhite   0 to 1: finishing clip white 0 to 100 %
//   shrinkgrow  0 to 1: finishing shrink/grow -8 to 8 pixels (0.5: none)
//   feather     0 to 1: finishing feather 0 to 8 pixels
//   despilledge 0 to 1: finishing despill edge 0 to 32 pixels
//   unmix       0 to 1: finishing unmix 0 to 100 %
//   refine      0 to 1: finishing refine 0 to 8 pixels
//   closeholes  0 to 1: finishing close holes 0 to 100 %
//
// Clip white set at or below clip black is raised to half a percent above
// it (clip black to 99.5 % at most), so that the matte is a hard threshold
// there rather than a refused project.
#include "host/project/Project.h"

#include <array>
#include <cstddef>
#include <optional>

namespace mattix::project {

struct PluginSetting {
  const char* name;         // in frei0r, MLT, GStreamer and the panels
  const char* description;  // for hosts that show one
  double low;               // the setting at 0, in its own unit
  double high;              // the setting at 1
  double& (*field)(ProjectSettings&);
};

inline constexpr std::size_t kPluginSettingCount = 11;
extern const std::array<PluginSetting, kPluginSettingCount> kPluginSettings;

// Plug-in values as set, in the order of kPluginSettings; nullopt: not set.
using PluginValues = std::array<std::optional<double>, kPluginSettingCount>;

// A host's value: nullopt for NaN or below 0, else clamped to 1.
std::optional<double> PluginValue(double value);

// The project's settings with the values set applied.
ProjectSettings ApplyPluginValues(ProjectSettings settings, const PluginValues& values);

// The setting as a plug-in value: what a plug-in reads back when not set.
double PluginValueOf(const ProjectSettings& settings, const PluginSetting& setting);

}  // namespace mattix::project
