#include "host/matte/UnmixedKeySettings.h"

#include "host/project/MaskRecord.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace mattix::matte {

namespace {

// The finishing steps the key chose; the others are left as they are.
void SetFinishing(const UnmixedKey& key, project::MatteFinishing& f) {
  f.screen = key.screen;
  f.despill = key.despill;
  f.despillEdge = key.despillEdge;
  f.unmix = key.unmix;
  f.refine = key.refine;
  f.clipBlack = key.clipBlack;
  f.clipWhite = key.clipWhite;
}

}  // namespace

void ApplyUnmixedKey(const UnmixedKey& key, project::ProjectSettings& settings,
                     const std::string& name) {
  settings.chromaMask = project::MaskRecordFromPicture(key.mask, name);
  settings.softness = 0.0;
  settings.spillSuppression = 0.0;
  settings.lightness = key.lightness;
  SetFinishing(key, settings.finishing);
}

std::string DescribeUnmixedKey(const UnmixedKey& key, const std::string& source) {
  const BackdropCluster& c = key.backdrop;
  const auto degrees = [](float turns) { return int(std::lround(turns * 360.0f)) % 360; };
  const auto& l = key.lightness;
  char window[80] = "window open";
  if (l != std::array<double, 4>{0.0, 0.0, 100.0, 100.0})
    std::snprintf(window, sizeof window, "%.0f, %.0f, %.0f, %.0f%%", l[0], l[1], l[2], l[3]);
  char numbers[512];
  std::snprintf(numbers, sizeof numbers,
                " keyed by its share in each colour: hue %d degrees (%d to %d), saturation %.2f "
                "to %.2f, %.0f%% of the frame; softness 0, spill suppression 0, lightness %s; "
                "finishing: ",
                degrees(c.hue), degrees(c.hueLow), degrees(c.hueHigh), double(c.saturationLow),
                double(c.saturationHigh), 100.0 * c.share, window);
  project::MatteFinishing finishing;
  SetFinishing(key, finishing);
  return std::string(key.screen == project::ScreenChannel::kGreen ? "green" : "blue") + " screen" +
         (source.empty() ? "" : " of " + source) + numbers + project::DescribeFinishing(finishing);
}

}  // namespace mattix::matte
