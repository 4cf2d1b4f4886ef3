#pragma once
// The project file: the effect's seven parameter values in a JSON document
// that people can read, edit and diff.
//
//   {
//     "format": "mattix-project",
//     "version": 1,
//     "softness": 10.0,              percent, 0 to 100
//     "spillSuppression": 50.0,      percent, 0 to 100
//     "keyRed": 0.0,                 0 to 255 (a picked colour; not used
//     "keyGreen": 0.0,                 when rendering)
//     "keyBlue": 0.0,
//     "lightness": [0.0, 0.0, 100.0, 100.0],   L0 <= L1 <= L2 <= L3, percent
//     "chromaMask": null,             no mask drawn, or the mask record in
//                                     base64, as an array of lines
//     "finishing": {...}              matte finishing (MatteFinishing.h),
//   }                                 written only when a step is on
//
// "format" and "version" are required; every other member may be left out
// and then has its default (shown above, except softness and spill 0.0).
// Unknown members are refused, so that a misspelt name is not silently
// ignored. "chromaMask" is null (the empty record: 144 zero bytes) or the
// base64 text of the whole record (header and compressed pixels), either as
// one string or as an array of strings that are joined; the writer uses lines
// of 76 characters. The mask record is the wheel's 241 x 209 mask
// (ValidateMaskRecord in MaskRecord.h holds the rule).
//
// Limits: a project file is at most kMaxProjectBytes bytes and holds at most
// kMaxProjectValues JSON values (a mask record in lines of 76 characters
// takes about a thousand), so that a hostile file costs little memory and
// time; reading is linear in the text.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/project/MatteFinishing.h"
#include "wheel/ChromaMaskRecord.h"

namespace mattix::project {

inline constexpr int kProjectVersion = 1;
inline constexpr const char* kProjectFormat = "mattix-project";
inline constexpr std::size_t kMaxProjectBytes = std::size_t(1) << 20;
inline constexpr std::size_t kMaxProjectValues = std::size_t(1) << 16;

struct ProjectSettings {
  double softness = 0.0;
  double spillSuppression = 0.0;
  double keyRed = 0.0;
  double keyGreen = 0.0;
  double keyBlue = 0.0;
  std::array<double, 4> lightness{0.0, 0.0, 100.0, 100.0};
  std::vector<std::uint8_t> chromaMask = std::vector<std::uint8_t>(wheel::kEmptyRecordSize, 0);
  MatteFinishing finishing;

  // True when the record is the empty one (no mask drawn).
  bool HasMask() const;
  bool operator==(const ProjectSettings&) const = default;
};

// Parses a project text; `name` starts error messages ("key.json:4:15: ...").
// Throws host::HostError.
ProjectSettings ParseProject(std::string_view text, const std::string& name);

// Reads a project file.
ProjectSettings ReadProject(const std::string& path);

// The project as JSON text (the layout above: every member, "finishing" only
// when a step is on).
std::string ProjectToJson(const ProjectSettings& settings);

// Checks the values against the parameters' ranges and the mask record
// against its rule; throws host::HostError naming `name` and the offending
// setting. Used after overrides too.
void ValidateSettings(const ProjectSettings& settings, const std::string& name);

// Setting overrides from command-line flags.
struct SettingOverrides {
  std::optional<double> softness;
  std::optional<double> spillSuppression;
  std::optional<std::array<double, 4>> lightness;
  // Matte finishing (MatteFinishing.h).
  std::optional<double> despill;
  std::optional<double> despillEdge;
  std::optional<double> unmix;
  std::optional<double> refine;
  std::optional<ScreenChannel> screen;
  std::optional<double> clipBlack;
  std::optional<double> clipWhite;
  std::optional<double> closeHoles;
  std::optional<double> shrinkGrow;
  std::optional<double> feather;
  bool operator==(const SettingOverrides&) const = default;
};

void ApplyOverrides(ProjectSettings& settings, const SettingOverrides& overrides);

// Parses a number given on the command line: the whole text must be a
// finite decimal number in [min, max]. Throws host::HostError whose message is
// about the text alone ("150 is out of range (0 to 100)"); the command line
// names the option.
double ParseNumber(std::string_view text, double min, double max);

// Parses "L0,L1,L2,L3": four numbers 0 to 100 in non-decreasing order.
std::array<double, 4> ParseLightness(std::string_view text);

}  // namespace mattix::project
