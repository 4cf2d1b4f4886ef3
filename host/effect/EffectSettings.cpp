#include "host/effect/EffectSettings.h"

namespace mattix::host {

namespace {

// Parameter indexes of the effect.
constexpr std::int32_t kSoftness = 0;
constexpr std::int32_t kSpillSuppression = 1;
constexpr std::int32_t kLightness = 5;
constexpr std::int32_t kChromaMask = 6;

}  // namespace

PIM::Status ApplySettings(host::CEffectInstance& instance,
                          const project::ProjectSettings& settings) {
  const PIM::Status statuses[] = {
      instance.SetNumber(kSoftness, settings.softness),
      instance.SetNumber(kSpillSuppression, settings.spillSuppression),
      instance.SetData(kLightness, settings.lightness.data(),
                       std::uint32_t(sizeof(double) * settings.lightness.size())),
      instance.SetData(kChromaMask, settings.chromaMask.data(),
                       std::uint32_t(settings.chromaMask.size())),
  };
  for (const PIM::Status s : statuses)
    if (s != PIM::kOk) return s;
  return PIM::kOk;
}

}  // namespace mattix::host
