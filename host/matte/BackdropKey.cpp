#include "host/matte/BackdropKey.h"

#include "stdfx/HSL.h"
#include "wheel/WheelGeometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace mattix::matte {

namespace {

// Histogram bins over hue (one degree each) and over saturation 0 to 1.
constexpr int kBins = 360;
// Colours that take part: a hue that is not noise (saturation 0.2 or more)
// and neither nearly black nor nearly white, where 8-bit hues scatter.
constexpr float kMinSaturation = 0.2f;
constexpr float kMinLightness = 0.08f, kMaxLightness = 0.92f;
// The cluster ends where the smoothed histogram falls below this share of
// its peak.
constexpr double kClusterFloor = 0.05;
// A backdrop covers at least this share of the frame, a veil before it this
// share.
constexpr double kMinShare = 0.1;
constexpr double kMinVeilShare = 0.02;

float Smoothstep(float e0, float e1, float x) {
  const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3.0f - 2.0f * t);
}

// The signed offset of hue b from hue a, in (-0.5, 0.5].
float HueOffset(float a, float b) {
  float d = b - a;
  d -= std::floor(d + 0.5f);
  return d;
}

// The bin of a hue or a saturation (both 0 to 1).
int Bin(float value) { return std::min(int(value * kBins), kBins - 1); }

// The value at fraction q of the values once sorted (reorders them).
float Percentile(std::vector<float>& values, double q) {
  const std::size_t i = std::min(values.size() - 1, std::size_t(q * double(values.size())));
  std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(i), values.end());
  return values[i];
}

struct Hls {
  float h, l, s;
};

// The bins of a histogram's peak and of its neighbours down to kClusterFloor
// of the peak, smoothed over five bins first; around the circle for hues,
// along the line for saturations. At most a quarter of the bins each side.
struct Extent {
  int peak, low, high;  // low may be negative and high past the end for hues
};

Extent ModeExtent(const std::array<double, kBins>& histogram, bool circular) {
  const auto at = [&](int b) {
    if (circular) return histogram[std::size_t((b % kBins + kBins) % kBins)];
    return b < 0 || b >= kBins ? 0.0 : histogram[std::size_t(b)];
  };
  std::array<double, kBins> smooth{};
  for (int b = 0; b < kBins; ++b)
    for (int d = -2; d <= 2; ++d) smooth[std::size_t(b)] += at(b + d);
  const auto smoothAt = [&](int b) {
    if (circular) return smooth[std::size_t((b % kBins + kBins) % kBins)];
    return b < 0 || b >= kBins ? 0.0 : smooth[std::size_t(b)];
  };
  Extent e{};
  e.peak = int(std::max_element(smooth.begin(), smooth.end()) - smooth.begin());
  const double floor = smooth[std::size_t(e.peak)] * kClusterFloor;
  e.low = e.high = e.peak;
  while (e.peak - e.low < kBins / 4 && smoothAt(e.low - 1) >= floor) --e.low;
  while (e.high - e.peak < kBins / 4 && smoothAt(e.high + 1) >= floor) ++e.high;
  return e;
}

}  // namespace

std::optional<BackdropCluster> FindBackdrop(const media::BgraImage& frame) {
  const std::size_t count = std::size_t(frame.width) * std::size_t(frame.height);
  if (count == 0) return std::nullopt;
  std::vector<Hls> colours;
  colours.reserve(count);
  std::array<double, kBins> histogram{};
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = &frame.pixels[i * 4];  // B, G, R, A
    Hls c{};
    stdfx::CHSL::RGBtoHLS(c.h, c.l, c.s, p[2], p[1], p[0]);
    if (c.h < 0 || c.s < kMinSaturation || c.l < kMinLightness || c.l > kMaxLightness) continue;
    colours.push_back(c);
    histogram[std::size_t(Bin(c.h))] += 1;
  }
  if (colours.empty()) return std::nullopt;

  // The most frequent hue and the hues around it down to the floor.
  const Extent hues = ModeExtent(histogram, true);
  BackdropCluster cluster;
  cluster.hue = (float(hues.peak) + 0.5f) / kBins;
  const auto inHues = [&](float h) {
    const float at = float(hues.peak) + HueOffset(cluster.hue, h) * kBins;
    return at >= float(hues.low) && at < float(hues.high + 1);
  };
  // Within them the most frequent saturation and those around it: a colour
  // of the backdrop's hue but another saturation (a tinted glass before it)
  // is not the backdrop.
  std::array<double, kBins> bySaturation{};
  for (const Hls& c : colours)
    if (inHues(c.h)) bySaturation[std::size_t(Bin(c.s))] += 1;
  const Extent saturations = ModeExtent(bySaturation, false);
  std::vector<float> offsets, values;
  for (const Hls& c : colours) {
    const int s = Bin(c.s);
    if (!inHues(c.h) || s < saturations.low || s > saturations.high) continue;
    offsets.push_back(HueOffset(cluster.hue, c.h));
    values.push_back(c.s);
  }
  cluster.share = double(offsets.size()) / double(count);
  if (cluster.share < kMinShare) return std::nullopt;
  const auto wrap = [](float h) { return h - std::floor(h); };
  cluster.hueLow = wrap(cluster.hue + Percentile(offsets, 0.01));
  cluster.hueHigh = wrap(cluster.hue + Percentile(offsets, 0.99));
  cluster.hue = wrap(cluster.hue + Percentile(offsets, 0.5));
  cluster.saturationLow = Percentile(values, 0.02);
  cluster.saturationHigh = Percentile(values, 0.98);

  // A veil: the most frequent of the less saturated colours of the same hues,
  // below a gap of two bins under the backdrop's saturations.
  for (int b = std::max(0, saturations.low - 2); b < kBins; ++b) bySaturation[std::size_t(b)] = 0;
  const Extent veil = ModeExtent(bySaturation, false);
  offsets.clear(), values.clear();
  for (const Hls& c : colours) {
    const int s = Bin(c.s);
    if (!inHues(c.h) || s < veil.low || s > std::min(veil.high, saturations.low - 3)) continue;
    offsets.push_back(HueOffset(cluster.hue, c.h));
    values.push_back(c.s);
  }
  if (double(offsets.size()) >= kMinVeilShare * double(count)) {
    cluster.hasVeil = true;
    cluster.veilHueLow = wrap(cluster.hue + Percentile(offsets, 0.01));
    cluster.veilHueHigh = wrap(cluster.hue + Percentile(offsets, 0.99));
    cluster.veilSaturationLow = Percentile(values, 0.01);
    cluster.veilSaturationHigh = Percentile(values, 0.99);
    cluster.veilSaturation = Percentile(values, 0.5);
  }
  return cluster;
}

namespace {

// The width in turns of the hue range from low to high (counter-clockwise).
float HueWidth(float low, float high) {
  const float d = HueOffset(low, high);
  return d < 0 ? d + 1.0f : d;
}

// How far in turns `hue` lies outside the range from low to high, 0 inside.
float OutsideHues(float low, float high, float hue) {
  const float half = 0.5f * HueWidth(low, high);
  return std::max(0.0f, std::fabs(HueOffset(low + half, hue)) - half);
}

}  // namespace

int BackdropKeyWeight(const BackdropCluster& c, float hue, float saturation) {
  if (c.hasVeil && OutsideHues(c.veilHueLow, c.veilHueHigh, hue) <= 0.03f &&
      saturation >= c.veilSaturationLow - 0.03f && saturation <= c.veilSaturationHigh + 0.03f) {
    BackdropCluster plain = c;
    plain.hasVeil = false;
    const float middle = c.veilHueLow + 0.5f * HueWidth(c.veilHueLow, c.veilHueHigh);
    return BackdropKeyWeight(plain, middle - std::floor(middle), c.veilSaturation);
  }
  const float byHue = 1.0f - Smoothstep(0.03f, 0.07f, OutsideHues(c.hueLow, c.hueHigh, hue));
  const float bySaturation = Smoothstep(0.2f * c.saturationLow, c.saturationLow, saturation);
  return int(std::lround(255.0f * byHue * bySaturation));
}

media::GreyImage WheelMaskPicture(const std::function<int(float, float)>& weight) {
  media::GreyImage mask(wheel::kWidth, wheel::kHeight);
  // 4000 hue steps give 0.2 pixel along the rim (circumference about 700
  // pixels), 600 saturation steps 0.2 pixel along a radius.
  constexpr int kHueSteps = 4000, kSaturationSteps = 600;
  for (int i = 0; i < kHueSteps; ++i) {
    const float hue = float(i) / kHueSteps;
    for (int j = 0; j <= kSaturationSteps; ++j) {
      const float saturation = float(j) / kSaturationSteps;
      const int w = weight(hue, saturation);
      if (w == 0) continue;
      const wheel::Position p = wheel::PositionOf(hue, saturation);
      std::uint8_t& v = mask.Row(wheel::kHeight - 1 - p.row)[p.column];
      v = std::uint8_t(std::max<int>(v, w));
    }
  }
  return mask;
}

}  // namespace mattix::matte
