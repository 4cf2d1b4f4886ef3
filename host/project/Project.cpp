#include "host/project/Project.h"

#include "host/base/Base64.h"
#include "host/base/FileBytes.h"
#include "host/base/HostError.h"
#include "host/base/Json.h"
#include "host/project/MaskRecord.h"
#include "host/project/internal/JsonFields.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace mattix::project {

namespace {

// Line length of the mask's base64 text in written projects (as in MIME).
constexpr std::size_t kBase64LineLength = 76;

using internal::Num;
using internal::NumberRange;
using internal::ReadNumber;
using internal::Where;

constexpr NumberRange kSoftness{"softness", 0.0, 100.0};
constexpr NumberRange kSpill{"spillSuppression", 0.0, 100.0};
constexpr NumberRange kKeyRed{"keyRed", 0.0, 255.0};
constexpr NumberRange kKeyGreen{"keyGreen", 0.0, 255.0};
constexpr NumberRange kKeyBlue{"keyBlue", 0.0, 255.0};

void CheckLightness(const std::array<double, 4>& l, const std::string& where) {
  for (int i = 0; i < 4; ++i)
    if (!(l[i] >= 0.0 && l[i] <= 100.0))
      throw host::HostError(where + "lightness L" + std::to_string(i) + " must be 0 to 100, not " +
                            Num(l[i]));
  for (int i = 0; i < 3; ++i)
    if (l[i] > l[i + 1])
      throw host::HostError(where +
                            "lightness breakpoints must be in order L0 <= L1 <= L2 <= L3, "
                            "but L" +
                            std::to_string(i) + " = " + Num(l[i]) + " > L" + std::to_string(i + 1) +
                            " = " + Num(l[i + 1]));
}

std::array<double, 4> ReadLightness(const host::JsonValue& v, const std::string& name) {
  if (v.kind() != host::JsonValue::Kind::Array || v.Elements().size() != 4)
    throw host::HostError(Where(name, v) + "\"lightness\" must be an array of four numbers");
  std::array<double, 4> l{};
  for (std::size_t i = 0; i < 4; ++i) {
    const host::JsonValue& e = v.Elements()[i];
    if (e.kind() != host::JsonValue::Kind::Number)
      throw host::HostError(Where(name, e) + "\"lightness\" must hold numbers, not " +
                            host::JsonKindName(e.kind()));
    l[i] = e.AsNumber();
  }
  CheckLightness(l, Where(name, v));
  return l;
}

std::vector<std::uint8_t> ReadMask(const host::JsonValue& v, const std::string& name) {
  if (v.IsNull()) return std::vector<std::uint8_t>(wheel::kEmptyRecordSize, 0);
  std::string text;
  if (v.kind() == host::JsonValue::Kind::String) {
    text = v.AsString();
  } else if (v.kind() == host::JsonValue::Kind::Array) {
    for (const host::JsonValue& e : v.Elements()) {
      if (e.kind() != host::JsonValue::Kind::String)
        throw host::HostError(Where(name, e) + "\"chromaMask\" lines must be strings, not " +
                              JsonKindName(e.kind()));
      text += e.AsString();
    }
  } else {
    throw host::HostError(
        Where(name, v) +
        "\"chromaMask\" must be null, a base64 string or an array of base64 lines");
  }
  std::string error;
  std::optional<std::vector<std::uint8_t>> bytes = host::Base64Decode(text, &error);
  if (!bytes)
    throw host::HostError(Where(name, v) + "\"chromaMask\" is not valid base64: " + error);
  std::string where = Where(name, v);
  where.resize(where.size() - 2);  // ValidateMaskRecord adds ": "
  ValidateMaskRecord(*bytes, where);
  return *bytes;
}

}  // namespace

bool ProjectSettings::HasMask() const { return chromaMask.size() > wheel::kEmptyRecordSize; }

ProjectSettings ParseProject(std::string_view text, const std::string& name) {
  if (text.size() > kMaxProjectBytes)
    throw host::HostError(name + ": " + std::to_string(text.size()) +
                          " bytes is more than a project holds (at most " +
                          std::to_string(kMaxProjectBytes) + ")");
  const host::JsonValue root = host::JsonValue::Parse(text, name, kMaxProjectValues);
  if (root.kind() != host::JsonValue::Kind::Object)
    throw host::HostError(Where(name, root) + "a project must be a JSON object");
  const host::JsonValue* format = root.Find("format");
  if (!format || format->kind() != host::JsonValue::Kind::String ||
      format->AsString() != kProjectFormat)
    throw host::HostError(name + ": not a Mattix project (\"format\": \"" + kProjectFormat +
                          "\" is missing)");
  const host::JsonValue* version = root.Find("version");
  if (!version || version->kind() != host::JsonValue::Kind::Number)
    throw host::HostError(name + ": the project has no \"version\" number");
  if (version->AsNumber() != kProjectVersion)
    throw host::HostError(
        Where(name, *version) + "project version " + Num(version->AsNumber()) +
        " is not supported (this mattix reads version " + std::to_string(kProjectVersion) +
        (version->AsNumber() > kProjectVersion ? "; it was written by a newer mattix)" : ")"));
  ProjectSettings s;
  for (const host::JsonValue::Member& m : root.Members()) {
    const std::string& key = m.first;
    const host::JsonValue& v = m.second;
    if (key == "format" || key == "version") continue;
    if (key == kSoftness.key)
      s.softness = ReadNumber(v, kSoftness, name);
    else if (key == kSpill.key)
      s.spillSuppression = ReadNumber(v, kSpill, name);
    else if (key == kKeyRed.key)
      s.keyRed = ReadNumber(v, kKeyRed, name);
    else if (key == kKeyGreen.key)
      s.keyGreen = ReadNumber(v, kKeyGreen, name);
    else if (key == kKeyBlue.key)
      s.keyBlue = ReadNumber(v, kKeyBlue, name);
    else if (key == "lightness")
      s.lightness = ReadLightness(v, name);
    else if (key == "chromaMask")
      s.chromaMask = ReadMask(v, name);
    else if (key == "finishing")
      s.finishing = ReadFinishing(v, name);
    else
      throw host::HostError(Where(name, v) + "unknown setting \"" + key +
                            "\" (known: softness, spillSuppression, keyRed, keyGreen, keyBlue, "
                            "lightness, chromaMask, finishing)");
  }
  return s;
}

ProjectSettings ReadProject(const std::string& path) {
  return ParseProject(host::ReadFileText(path, kMaxProjectBytes), path);
}

std::string ProjectToJson(const ProjectSettings& s) {
  ValidateSettings(s, "project");
  host::JsonValue root = host::JsonValue::Object();
  root.Add("format", host::JsonValue::String(kProjectFormat));
  root.Add("version", host::JsonValue::Number(kProjectVersion));
  root.Add(kSoftness.key, host::JsonValue::Number(s.softness));
  root.Add(kSpill.key, host::JsonValue::Number(s.spillSuppression));
  root.Add(kKeyRed.key, host::JsonValue::Number(s.keyRed));
  root.Add(kKeyGreen.key, host::JsonValue::Number(s.keyGreen));
  root.Add(kKeyBlue.key, host::JsonValue::Number(s.keyBlue));
  host::JsonValue lightness = host::JsonValue::Array();
  for (double l : s.lightness) lightness.Append(host::JsonValue::Number(l));
  root.Add("lightness", std::move(lightness));
  const bool empty =
      s.chromaMask.size() == wheel::kEmptyRecordSize &&
      std::all_of(s.chromaMask.begin(), s.chromaMask.end(), [](std::uint8_t b) { return b == 0; });
  if (empty) {
    root.Add("chromaMask", host::JsonValue());
  } else {
    const std::string text = host::Base64Encode(s.chromaMask);
    host::JsonValue lines = host::JsonValue::Array();
    for (std::size_t i = 0; i < text.size(); i += kBase64LineLength)
      lines.Append(host::JsonValue::String(text.substr(i, kBase64LineLength)));
    root.Add("chromaMask", std::move(lines));
  }
  if (!s.finishing.IsOff()) root.Add("finishing", FinishingToJson(s.finishing));
  return root.Write();
}

void ValidateSettings(const ProjectSettings& s, const std::string& name) {
  const std::pair<const NumberRange*, double> values[] = {{&kSoftness, s.softness},
                                                          {&kSpill, s.spillSuppression},
                                                          {&kKeyRed, s.keyRed},
                                                          {&kKeyGreen, s.keyGreen},
                                                          {&kKeyBlue, s.keyBlue}};
  for (const auto& [range, value] : values)
    if (!(value >= range->min && value <= range->max))
      throw host::HostError(name + ": " + range->key + " must be " + Num(range->min) + " to " +
                            Num(range->max) + ", not " + Num(value));
  CheckLightness(s.lightness, name + ": ");
  ValidateFinishing(s.finishing, name + ": ");
  ValidateMaskRecord(s.chromaMask, name);
}

void ApplyOverrides(ProjectSettings& settings, const SettingOverrides& overrides) {
  if (overrides.softness) settings.softness = *overrides.softness;
  if (overrides.spillSuppression) settings.spillSuppression = *overrides.spillSuppression;
  if (overrides.lightness) settings.lightness = *overrides.lightness;
  MatteFinishing& f = settings.finishing;
  if (overrides.despill) f.despill = *overrides.despill;
  if (overrides.despillEdge) f.despillEdge = *overrides.despillEdge;
  if (overrides.unmix) f.unmix = *overrides.unmix;
  if (overrides.refine) f.refine = *overrides.refine;
  if (overrides.screen) f.screen = *overrides.screen;
  if (overrides.clipBlack) f.clipBlack = *overrides.clipBlack;
  if (overrides.clipWhite) f.clipWhite = *overrides.clipWhite;
  if (overrides.closeHoles) f.closeHoles = *overrides.closeHoles;
  if (overrides.shrinkGrow) f.shrinkGrow = *overrides.shrinkGrow;
  if (overrides.feather) f.feather = *overrides.feather;
}

double ParseNumber(std::string_view text, double min, double max) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  double value = 0.0;
  const std::from_chars_result r =
      std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size())
    throw host::HostError("\"" + std::string(text) + "\" is not a number");
  if (!std::isfinite(value))
    throw host::HostError("\"" + std::string(text) + "\" is not a finite number");
  if (value < min || value > max)
    throw host::HostError(std::string(text) + " is out of range (" + Num(min) + " to " + Num(max) +
                          ")");
  return value;
}

std::array<double, 4> ParseLightness(std::string_view text) {
  std::array<double, 4> l{};
  std::size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const std::size_t comma = text.find(',', start);
    const bool last = i == 3;
    if (last != (comma == std::string_view::npos))
      throw host::HostError("expected four numbers L0,L1,L2,L3 separated by commas, not \"" +
                            std::string(text) + "\"");
    const std::string_view part = text.substr(start, last ? std::string_view::npos : comma - start);
    try {
      l[std::size_t(i)] = ParseNumber(part, 0.0, 100.0);
    } catch (const host::HostError& e) {
      throw host::HostError("L" + std::to_string(i) + ": " + e.what());
    }
    start = comma + 1;
  }
  CheckLightness(l, "");
  return l;
}

}  // namespace mattix::project
