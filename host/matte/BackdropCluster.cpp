#include "host/matte/BackdropCluster.h"

#include "host/base/RowBands.h"
#include "host/matte/internal/BackdropColours.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace mattix::matte {

namespace {

using internal::Hls;

// Histogram bins over hue (one degree each) and over saturation 0 to 1.
constexpr int kBins = 360;
// Colours that take part: a hue that is not noise (saturation 0.2 or more)
// and neither nearly black nor nearly white, where 8-bit hues scatter.
constexpr float kMinSaturation = 0.2f;
constexpr float kMinLightness = 0.08f, kMaxLightness = 0.92f;
// The cluster ends where the smoothed histogram falls below this share of
// its peak.
constexpr double kClusterFloor = 0.05;

// The signed offset of hue b from hue a, in (-0.5, 0.5].
float HueOffset(float a, float b) {
  float d = b - a;
  d -= std::floor(d + 0.5f);
  return d;
}

// The bin of a hue or a saturation (both 0 to 1).
int Bin(float value) { return std::min(int(value * kBins), kBins - 1); }

// A float's bits as an unsigned number in the floats' order (zeros of both
// signs alike).
std::uint32_t OrderKey(float v) {
  const std::uint32_t u = std::bit_cast<std::uint32_t>(v == 0.0f ? 0.0f : v);
  return u & 0x80000000u ? ~u : u | 0x80000000u;
}

// Values kept in parts, one a thread's.
using Parts = std::vector<std::vector<float>>;

// Runs f(part) for each part, each on a thread of its own.
template <class F>
void EachPart(std::size_t parts, F f) {
  host::ForEachBand(int(parts), int(parts), [&](int part, int, int) { f(std::size_t(part)); });
}

// The values at fractions qs of all values of the parts once sorted (none
// NaN; at least one): the value at place floor(q x count), at most the
// last. The values are counted by the top 16 bits of their order keys, and
// only those of the group that holds the place are sorted.
template <std::size_t N>
std::array<float, N> Percentiles(const Parts& parts, const std::array<double, N>& qs) {
  constexpr std::size_t kGroups = std::size_t(1) << 16;
  std::vector<std::vector<std::uint32_t>> counts(parts.size());
  EachPart(parts.size(), [&](std::size_t p) {
    counts[p].assign(kGroups, 0);
    for (const float v : parts[p]) ++counts[p][OrderKey(v) >> 16];
  });
  std::size_t total = 0;
  for (std::size_t g = 0; g < kGroups; ++g)
    for (std::size_t p = 1; p < parts.size(); ++p) counts[0][g] += counts[p][g];
  for (const std::uint32_t c : counts[0]) total += c;
  std::array<std::size_t, N> place{}, below{};
  std::array<std::uint32_t, N> group{};
  for (std::size_t k = 0; k < N; ++k) {
    place[k] = std::min(total - 1, std::size_t(qs[k] * double(total)));
    while (below[k] + counts[0][group[k]] <= place[k]) below[k] += counts[0][group[k]++];
  }
  std::vector<std::array<std::vector<float>, N>> members(parts.size());
  EachPart(parts.size(), [&](std::size_t p) {
    for (const float v : parts[p]) {
      const std::uint32_t g = OrderKey(v) >> 16;
      for (std::size_t k = 0; k < N; ++k)
        if (g == group[k]) members[p][k].push_back(v);
    }
  });
  std::array<float, N> result{};
  for (std::size_t k = 0; k < N; ++k) {
    std::vector<float> all;
    for (const auto& m : members) all.insert(all.end(), m[k].begin(), m[k].end());
    const auto at = all.begin() + std::ptrdiff_t(place[k] - below[k]);
    std::nth_element(all.begin(), at, all.end());
    result[k] = *at;
  }
  return result;
}

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

bool internal::TakesPart(const Hls& c) {
  return !(c.h < 0 || c.s < kMinSaturation || c.l < kMinLightness || c.l > kMaxLightness);
}

std::optional<BackdropCluster> internal::FindBackdropIn(
    const std::vector<std::vector<Hls>>& colours, std::size_t count) {
  const std::size_t parts = colours.size();
  // Counts are kept per part and added up: whole numbers, so the order of
  // adding does not matter.
  using Histogram = std::array<double, kBins>;
  const auto add = [](std::vector<Histogram>& h) {
    for (std::size_t p = 1; p < h.size(); ++p)
      for (std::size_t b = 0; b < kBins; ++b) h[0][b] += h[p][b];
    return h[0];
  };
  std::vector<Histogram> byHue(parts, Histogram{});
  EachPart(parts, [&](std::size_t p) {
    for (const Hls& c : colours[p]) byHue[p][std::size_t(Bin(c.h))] += 1;
  });
  const Histogram histogram = add(byHue);
  if (std::all_of(histogram.begin(), histogram.end(), [](double v) { return v == 0; }))
    return std::nullopt;

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
  std::vector<Histogram> bySaturations(parts, Histogram{});
  EachPart(parts, [&](std::size_t p) {
    for (const Hls& c : colours[p])
      if (inHues(c.h)) bySaturations[p][std::size_t(Bin(c.s))] += 1;
  });
  const Histogram bySaturation = add(bySaturations);
  const Extent saturations = ModeExtent(bySaturation, false);
  // The hue offsets and saturations of the colours with hues in range and a
  // saturation bin from low to high; how many.
  Parts offsets(parts), values(parts);
  const auto gather = [&](int low, int high) {
    EachPart(parts, [&](std::size_t p) {
      offsets[p].clear();
      values[p].clear();
      for (const Hls& c : colours[p]) {
        const int s = Bin(c.s);
        if (!inHues(c.h) || s < low || s > high) continue;
        offsets[p].push_back(HueOffset(cluster.hue, c.h));
        values[p].push_back(c.s);
      }
    });
    std::size_t n = 0;
    for (const std::vector<float>& o : offsets) n += o.size();
    return n;
  };
  cluster.share = double(gather(saturations.low, saturations.high)) / double(count);
  if (cluster.share < kMinBackdropShare) return std::nullopt;
  const auto wrap = [](float h) { return h - std::floor(h); };
  const std::array<float, 3> hueAt = Percentiles<3>(offsets, {0.01, 0.99, 0.5});
  cluster.hueLow = wrap(cluster.hue + hueAt[0]);
  cluster.hueHigh = wrap(cluster.hue + hueAt[1]);
  cluster.hue = wrap(cluster.hue + hueAt[2]);
  const std::array<float, 2> saturationAt = Percentiles<2>(values, {0.02, 0.98});
  cluster.saturationLow = saturationAt[0];
  cluster.saturationHigh = saturationAt[1];
  return cluster;
}

std::string NoBackdropReason() {
  return "less than " + std::to_string(int(kMinBackdropShare * 100 + 0.5)) +
         " % of the frame is one saturated green or blue hue";
}

}  // namespace mattix::matte
