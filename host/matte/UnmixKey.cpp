#include "host/matte/UnmixKey.h"

#include "host/base/RowBands.h"
#include "host/matte/internal/BackdropColours.h"
#include "host/matte/internal/EdgeColour.h"
#include "host/matte/internal/FinishKernels.h"
#include "host/matte/internal/LineTest.h"
#include "host/matte/internal/SquareNear.h"
#include "host/media/JobPool.h"
#include "stdfx/HSL.h"
#include "wheel/WheelGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace mattix::matte {

namespace {

using media::BgraImage;
using media::GreyImage;

// The analysis grid is at most this wide (a whole-factor reduction).
constexpr int kAnalysisWidth = 480;
// Clear screen: a lead at least this share of the frame's 90th percentile
// (a first field of the screen's colour), then of that field's own lead.
constexpr float kClearScreen = 0.75f;
constexpr float kClearScreenLocal = 0.92f;
// Surely subject: a colour-difference estimate above this.
constexpr float kSolid = 0.95f;
// Candidates for F: every third analysis pixel, within this many analysis
// pixels, off the line from B through C by at most kLineNoise levels, and
// at least kMinContrast levels from B. A pixel that looks solid itself
// (a colour that leads less than the screen's light ever can, such as a red
// ramp's mixes with green) takes a candidate only nearer, closer to the
// line and if it then is clearly a mix.
constexpr int kCandidateStep = 3;
constexpr int kSearchRadius = 60;
constexpr float kLineNoise = 12.0f;
constexpr float kMinContrast = 40.0f;
constexpr int kSolidSearchRadius = 45;
constexpr float kSolidLineNoise = 8.0f;
constexpr float kSolidMix = 0.9f;
// Screen noise: estimates below kNoiseFactor times the screen's spread are
// screen; up to twice that they ramp up to it.
constexpr float kNoiseFactor = 2.5f;
// Spill: within kSpillReach analysis pixels of a body's solid subject (the
// rim the light reaches is as wide a share of a finer frame) and at least
// kSpillFloor opaque (the screen's light on the subject's edge looks like
// a mix of it). A body is where the pixels at least kSpillFloor opaque are
// at least 2 kBodyRadius + 1 analysis pixels thick: hair is thinner, so the
// translucent strands beside an opaque one keep their estimates.
constexpr int kSpillReach = 4;
constexpr float kSpillFloor = 0.5f;
constexpr int kBodyRadius = 2;
// Despill: halved when more than this share of the solid subject leads in
// the screen channel by this share of the screen's own lead.
constexpr float kSubjectLead = 0.1f;
constexpr double kLeadingShare = 0.05;
// Clip black: from the 99.9th percentile of what the key leaves on the
// screen kClipMargin analysis pixels or more from anything else; clip
// white: the least change in all (see below). Each at most 10 %.
constexpr double kClipQuantile = 0.999;
constexpr int kClipMargin = 6;
constexpr int kMaxClip = 10;
// Lightness window: ramps at least this many levels wide; chosen only when
// it takes this share off the open window's cost.
constexpr int kMinRamp = 8;
constexpr double kWindowGain = 0.02;
constexpr double kScreenLevels = 0.001;
// Unreached wheel pixels take the mean of reached ones up to this far.
constexpr int kFillSteps = 3;

// Three colour planes (B, G, R) of floats, rows top-down.
struct Planes {
  int width = 0, height = 0;
  std::vector<float> v;  // 3 floats a pixel
  Planes(int w, int h) : width(w), height(h), v(std::size_t(w) * std::size_t(h) * 3) {}
  float* At(int x, int y) { return &v[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3]; }
  const float* At(int x, int y) const {
    return &v[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3];
  }
};

// The screen channel's lead over the mean of the other two (BGR order;
// channel 1 green, 0 blue).
template <class T>
float Lead(const T* bgr, int channel) {
  const int a = channel == 1 ? 0 : 1;
  return float(bgr[channel]) - 0.5f * (float(bgr[a]) + float(bgr[2]));
}

// Box mean of radius r along rows then columns, over the part inside the
// picture, each pass twice (a smooth, tent-like kernel), in place, for each
// of `planes` (w x h): running sums in double along each line, the mean of
// a window their difference. Rows in `bands` bands at once, then columns
// (walked row by row, a band of them at a time), every plane's in the same
// band.
void BoxBlur(const std::vector<std::vector<float>*>& planes, int w, int h, int r, int bands) {
  std::vector<std::vector<float>> tmp(planes.size(), std::vector<float>(planes[0]->size()));
  const auto window = [r](int i, int n) {
    return std::pair(std::max(0, i - r), std::min(n - 1, i + r));
  };
  const auto rowPass = [&] {
    host::ForEachBand(h, bands, [&](int, int first, int count) {
      std::vector<double> sums(std::size_t(w) + 1);
      for (std::size_t k = 0; k < planes.size(); ++k)
        for (int y = first; y < first + count; ++y) {
          const float* in = &(*planes[k])[std::size_t(y) * std::size_t(w)];
          float* out = &tmp[k][std::size_t(y) * std::size_t(w)];
          for (int x = 0; x < w; ++x) sums[std::size_t(x) + 1] = sums[std::size_t(x)] + in[x];
          for (int x = 0; x < w; ++x) {
            const auto [lo, hi] = window(x, w);
            out[x] =
                float((sums[std::size_t(hi) + 1] - sums[std::size_t(lo)]) / double(hi - lo + 1));
          }
        }
    });
  };
  const auto columnPass = [&] {
    host::ForEachBand(w, bands, [&](int, int first, int count) {
      // sums[(y + 1) count + c]: column first + c's sum of rows 0..y.
      std::vector<double> sums((std::size_t(h) + 1) * std::size_t(count));
      const std::size_t n = std::size_t(count);
      for (std::size_t k = 0; k < planes.size(); ++k) {
        for (int y = 0; y < h; ++y) {
          const float* in = &(*planes[k])[std::size_t(y) * std::size_t(w) + std::size_t(first)];
          const double* above = &sums[std::size_t(y) * n];
          double* here = &sums[(std::size_t(y) + 1) * n];
          for (std::size_t c = 0; c < n; ++c) here[c] = above[c] + in[c];
        }
        for (int y = 0; y < h; ++y) {
          const auto [lo, hi] = window(y, h);
          const double* top = &sums[std::size_t(lo) * n];
          const double* bottom = &sums[(std::size_t(hi) + 1) * n];
          const double size = double(hi - lo + 1);
          float* out = &tmp[k][std::size_t(y) * std::size_t(w) + std::size_t(first)];
          for (std::size_t c = 0; c < n; ++c) out[c] = float((bottom[c] - top[c]) / size);
        }
      }
    });
  };
  for (int pass = 0; pass < 4; ++pass) {
    if (pass % 2 == 0)
      rowPass();
    else
      columnPass();
    for (std::size_t k = 0; k < planes.size(); ++k) planes[k]->swap(tmp[k]);
  }
}

// The screen's colour at every analysis pixel: the clear-screen pixels'
// colours blurred with their weights (near, then far), else their mean.
Planes ScreenField(const Planes& s, const std::vector<std::uint8_t>& clear, int bands) {
  const int w = s.width, h = s.height;
  const std::size_t n = std::size_t(w) * std::size_t(h);
  Planes out(w, h);
  std::array<double, 3> mean{};
  double count = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (clear[i]) {
      for (int c = 0; c < 3; ++c) mean[std::size_t(c)] += s.v[i * 3 + std::size_t(c)];
      ++count;
    }
  for (double& m : mean) m /= std::max(count, 1.0);
  std::vector<std::uint8_t> done(n, 0);
  for (const int radius : {20, 120}) {
    std::vector<float> weight(n);
    std::array<std::vector<float>, 3> sum;
    for (std::size_t i = 0; i < n; ++i) weight[i] = clear[i] ? 1.0f : 0.0f;
    for (int c = 0; c < 3; ++c) {
      sum[std::size_t(c)].resize(n);
      for (std::size_t i = 0; i < n; ++i)
        sum[std::size_t(c)][i] = weight[i] * s.v[i * 3 + std::size_t(c)];
    }
    BoxBlur({&sum[0], &sum[1], &sum[2], &weight}, w, h, radius, bands);
    for (std::size_t i = 0; i < n; ++i)
      if (!done[i] && weight[i] > 1e-3f) {
        for (int c = 0; c < 3; ++c)
          out.v[i * 3 + std::size_t(c)] = sum[std::size_t(c)][i] / weight[i];
        done[i] = 1;
      }
  }
  for (std::size_t i = 0; i < n; ++i)
    if (!done[i])
      for (int c = 0; c < 3; ++c) out.v[i * 3 + std::size_t(c)] = float(mean[std::size_t(c)]);
  return out;
}

// Per lightness level: the sums of s^2, k s and k^2 of the pixels there (s
// a pixel's share of screen, k its wheel pixel's weight, both 0..255), and
// how many of them are clear screen.
using LevelSums = std::array<std::array<std::uint64_t, 4>, 256>;

// Where `level` lies along a ramp from `from` (0) to `to` (1).
double RampPart(int level, int from, int to) { return double(level - from) / double(to - from); }

// The weight (0..1) of a lightness level under the window L0..L3 (levels):
// 0 below L0, a ramp up to L1, 1 through L2, a ramp down to L3, 0 above.
double WindowPart(const std::array<int, 4>& w, int level) {
  if (level < w[0] || level > w[3]) return 0.0;
  if (level < w[1]) return RampPart(level, w[0], w[1]);
  if (level > w[2]) return 1.0 - RampPart(level, w[2], w[3]);
  return 1.0;
}

// The lightness window (L0..L3, levels) whose key agrees best with the
// pixels' own estimates, in squares of the difference of the screen's
// share, so that subject colours that share a wheel pixel with mixes but
// are darker or lighter than anything the screen reaches (black hair, a
// white collar) stay whole: a level keyed by t (0..1) costs
// s^2 - 2 t k s + t^2 k^2. The clear screen's levels are always inside the
// window, ramps are at least kMinRamp levels wide, and the window stays
// open unless it gains kWindowGain of the open window's cost.
std::array<int, 4> ChooseWindow(const LevelSums& sums) {
  std::array<int, 4> window{0, 0, 255, 255};
  const auto cost = [&](int level, double keyedBy) {
    const auto& v = sums[std::size_t(level)];
    return double(v[0]) - 2.0 * keyedBy * double(v[1]) + keyedBy * keyedBy * double(v[2]);
  };
  // Cost of levels keyed fully (t = 1) and not at all (t = 0), summed from
  // level 0 up to each level.
  std::array<double, 257> keyed{}, kept{};
  for (int l = 0; l < 256; ++l) {
    keyed[std::size_t(l) + 1] = keyed[std::size_t(l)] + cost(l, 1.0);
    kept[std::size_t(l) + 1] = kept[std::size_t(l)] + cost(l, 0.0);
  }
  // The cost of levels from..to-1 under a ramp up (or down) over them.
  const auto ramp = [&](int from, int to, bool up) {
    double c = 0;
    for (int l = from; l < to; ++l) {
      const double part = RampPart(l, from, to);
      c += cost(l, up ? part : 1.0 - part);
    }
    return c;
  };
  // The clear screen's levels from lo to hi (its kScreenLevels quantiles)
  // are always keyed fully: a window that cut into them would leave a
  // rest on the screen, for clip black to take with the mixes' levels.
  std::uint64_t screenCount = 0;
  for (const auto& level : sums) screenCount += level[3];
  int lo = 0, hi = 255;
  if (screenCount > 0) {
    const auto at = [&](double q) {
      const auto rank = std::uint64_t(q * double(screenCount - 1));
      std::uint64_t below = 0;
      for (int l = 0; l < 256; ++l)
        if ((below += sums[std::size_t(l)][3]) > rank) return l;
      return 255;
    };
    lo = at(kScreenLevels);
    hi = at(1.0 - kScreenLevels);
  }
  // Below lo: levels under a0 kept, a ramp to a1, keyed from a1 (a0 = a1
  // = 0: open). Above hi likewise down from a2 to a3.
  double lowBest = keyed[std::size_t(lo)];
  for (int a0 = 0; a0 + kMinRamp <= lo; ++a0)
    for (int a1 = a0 + kMinRamp; a1 <= lo; ++a1) {
      const double c = kept[std::size_t(a0)] + ramp(a0, a1, true) +
                       (keyed[std::size_t(lo)] - keyed[std::size_t(a1)]);
      if (c < lowBest) {
        lowBest = c;
        window[0] = a0;
        window[1] = a1;
      }
    }
  double highBest = keyed[256] - keyed[std::size_t(hi) + 1];
  for (int a2 = hi; a2 + kMinRamp <= 255; ++a2)
    for (int a3 = a2 + kMinRamp; a3 <= 255; ++a3) {
      const double c = (keyed[std::size_t(a2) + 1] - keyed[std::size_t(hi) + 1]) +
                       ramp(a2 + 1, a3 + 1, false) + (kept[256] - kept[std::size_t(a3) + 1]);
      if (c < highBest) {
        highBest = c;
        window[2] = a2;
        window[3] = a3;
      }
    }
  const double open = keyed[256];
  if (!(open - (lowBest + highBest + (keyed[std::size_t(hi) + 1] - keyed[std::size_t(lo)])) >
        kWindowGain * open))
    return {0, 0, 255, 255};
  return window;
}

// A pixel's share of screen, 255 (1 - a) rounded (halves up, as the value
// is never negative: std::lround's result without its call).
inline std::uint8_t ShareLevel(float a) { return std::uint8_t(255.0f * (1.0f - a) + 0.5f); }

using internal::OffLine;
using internal::Share;
using internal::SquaredNorm;

// The longest run of candidates tested at once.
constexpr int kMaxRun = 64;

}  // namespace

std::optional<UnmixedKey> UnmixKey(const BgraImage& frame, int threads) {
  const int W = frame.width, H = frame.height;
  const std::size_t n = std::size_t(W) * std::size_t(H);
  if (n == 0) return std::nullopt;
  // The frame's rows are split into bands, one a processor; each step
  // gives the same result however they are split.
  const int bands = threads > 0 ? threads : media::DefaultJobCount();

  // The analysis grid's reduction: frames wider than kAnalysisWidth are
  // analysed in f x f blocks, and their statistics (the backdrop's colours,
  // the screen's spread) taken from one pixel a block.
  const int f = std::max(1, (W + kAnalysisWidth - 1) / kAnalysisWidth);
  const int sw = (W + f - 1) / f, sh = (H + f - 1) / f;
  const std::size_t sn = std::size_t(sw) * std::size_t(sh);

  // Every pixel's colour converted once: its place on the wheel, and the
  // colours the backdrop is found among.
  constexpr int kWheelPixels = wheel::kWidth * wheel::kHeight;
  static_assert(kWheelPixels <= 65536, "a wheel pixel's index fits 16 bits");
  std::vector<std::uint16_t> where(n);
  std::vector<std::uint8_t> light(n);  // the effect's lightness index, trunc(255 l + 1/2)
  std::vector<std::vector<internal::Hls>> bandColours(static_cast<std::size_t>(bands));
  host::ForEachBand(H, bands, [&](int band, int first, int count) {
    std::vector<internal::Hls>& colours = bandColours[std::size_t(band)];
    // The latest colours converted, by a hash of the colour: neighbouring
    // pixels often share one.
    struct Converted {
      std::uint32_t bgr = 0xFFFFFFFFu;  // no colour
      std::uint16_t where = 0;
      std::uint8_t light = 0;
    };
    constexpr int kCacheBits = 14;
    std::vector<Converted> cache(std::size_t(1) << kCacheBits);
    colours.reserve(std::size_t(count / f + 1) * std::size_t(sw));
    for (int y = first; y < first + count; ++y) {
      std::uint16_t* out = &where[std::size_t(y) * std::size_t(W)];
      std::uint8_t* lit = &light[std::size_t(y) * std::size_t(W)];
      const std::uint8_t* p = frame.Row(y);
      const bool sampled = y % f == 0;
      for (int x = 0; x < W; ++x, p += 4) {
        const std::uint32_t bgr =
            std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
        const bool sample = sampled && x % f == 0;
        Converted& seen = cache[(bgr * 2654435761u) >> (32 - kCacheBits)];
        if (seen.bgr == bgr && !sample) {
          out[x] = seen.where;
          lit[x] = seen.light;
          continue;
        }
        internal::Hls c{};
        stdfx::CHSL::RGBtoHLS(c.h, c.l, c.s, p[2], p[1], p[0]);
        if (sample && internal::TakesPart(c)) colours.push_back(c);
        wheel::Position pos{wheel::kGreyRow, wheel::kGreyColumn};
        if (c.h >= 0.0f) pos = wheel::PositionOf(c.h, c.s);
        out[x] = std::uint16_t(pos.row * wheel::kWidth + pos.column);
        lit[x] = std::uint8_t(std::clamp(c.l * 255.0f + 0.5f, 0.0f, 255.0f));
        seen = {bgr, out[x], lit[x]};
      }
    }
  });
  const std::optional<BackdropCluster> backdrop = internal::FindBackdropIn(bandColours, sn);
  bandColours.clear();
  if (!backdrop) return std::nullopt;
  UnmixedKey key;
  key.backdrop = *backdrop;
  // Green's side of the wheel is 60 to 180 degrees, blue's 180 to 300.
  const float hue = backdrop->hue;
  if (hue >= 1.0f / 6 && hue < 0.5f)
    key.screen = project::ScreenChannel::kGreen;
  else if (hue >= 0.5f && hue < 5.0f / 6)
    key.screen = project::ScreenChannel::kBlue;
  else
    return std::nullopt;
  const int channel = key.screen == project::ScreenChannel::kGreen ? 1 : 0;

  // The analysis grid: means of f x f blocks (the last partial ones too),
  // a band of its rows at a time.
  Planes s(sw, sh);
  host::ForEachBand(sh, bands, [&](int, int first, int count) {
    std::vector<int> counts(static_cast<std::size_t>(sw));
    for (int gy = first; gy < first + count; ++gy) {
      std::fill(counts.begin(), counts.end(), 0);
      for (int y = gy * f; y < std::min(H, gy * f + f); ++y)
        for (int x = 0; x < W; ++x) {
          float* p = s.At(x / f, gy);
          for (int c = 0; c < 3; ++c) p[c] += frame.Row(y)[std::size_t(x) * 4 + std::size_t(c)];
          ++counts[std::size_t(x / f)];
        }
      for (int gx = 0; gx < sw; ++gx)
        for (int c = 0; c < 3; ++c) s.At(gx, gy)[c] /= float(counts[std::size_t(gx)]);
    }
  });

  // Clear screen and the screen's colour everywhere.
  std::vector<float> lead(sn);
  for (std::size_t i = 0; i < sn; ++i) lead[i] = Lead(&s.v[i * 3], channel);
  std::vector<float> sorted = lead;
  const std::size_t p90 = sn * 9 / 10;
  std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(p90), sorted.end());
  const float high = sorted[p90];
  if (!(high > 8.0f)) return std::nullopt;  // no colour leads: no screen
  std::vector<std::uint8_t> clear(sn);
  for (std::size_t i = 0; i < sn; ++i) clear[i] = lead[i] > kClearScreen * high;
  const Planes rough = ScreenField(s, clear, bands);
  for (std::size_t i = 0; i < sn; ++i)
    clear[i] = lead[i] > kClearScreenLocal * Lead(&rough.v[i * 3], channel);
  const Planes screen = ScreenField(s, clear, bands);
  {
    std::array<double, 3> mean{};
    double count = 0;
    for (std::size_t i = 0; i < sn; ++i)
      if (clear[i]) {
        for (int c = 0; c < 3; ++c) mean[std::size_t(c)] += s.v[i * 3 + std::size_t(c)];
        ++count;
      }
    for (int c = 0; c < 3; ++c)
      key.screenColour[std::size_t(c)] =
          int(std::lround(mean[std::size_t(c)] / std::max(1.0, count)));
  }

  // Colour-difference estimates on the grid; candidates for F, every
  // kCandidateStep-th pixel of every kCandidateStep-th row that is surely
  // subject, kept by row (positions and colour planes, in x order).
  std::vector<float> estimate(sn);
  for (std::size_t i = 0; i < sn; ++i)
    estimate[i] = 1.0f - lead[i] / std::max(Lead(&screen.v[i * 3], channel), 1.0f);
  struct CandidateRow {
    std::vector<int> x;
    std::array<std::vector<float>, 3> colour;  // B, G, R planes
  };
  std::vector<CandidateRow> candidates(std::size_t((sh + kCandidateStep - 1) / kCandidateStep));
  for (int y = 0; y < sh; y += kCandidateStep) {
    CandidateRow& row = candidates[std::size_t(y / kCandidateStep)];
    for (int x = 0; x < sw; x += kCandidateStep)
      if (estimate[std::size_t(y) * std::size_t(sw) + std::size_t(x)] > kSolid) {
        row.x.push_back(x);
        for (int c = 0; c < 3; ++c) row.colour[std::size_t(c)].push_back(s.At(x, y)[c]);
      }
  }
  // How far along a row a candidate may lie at each row distance: the
  // largest whole reach with reach^2 + dy^2 <= radius^2.
  const auto reaches = [](int radius) {
    std::vector<int> reach(std::size_t(radius) + 1);
    for (int dy = 0; dy <= radius; ++dy) {
      int r = radius;
      while (r * r + dy * dy > radius * radius) --r;
      reach[std::size_t(dy)] = r;
    }
    return reach;
  };
  const std::vector<int> searchReach = reaches(kSearchRadius);
  const std::vector<int> solidReach = reaches(kSolidSearchRadius);
  // The chosen F of each grid pixel between screen and subject: of the
  // candidates that pass (within the radius, far enough from B, on the
  // line), the farthest from B, the first of them row by row on a tie.
  // found[i] is 1 when the pixel is unmixed against F, 2 when it looks solid
  // and stays so (a above kSolidMix) but carries F on to the mixes that took
  // it as their candidate.
  // Solid-looking pixels search only within reach of a pixel that does not
  // look solid: a mix of the screen lies near the screen's colours.
  std::vector<std::uint8_t> reachable(sn), reachScratch(sn);
  for (std::size_t i = 0; i < sn; ++i) reachable[i] = !(estimate[i] > kSolid);
  internal::SquareNear<1>(reachable, reachScratch, sw, sh, kSolidSearchRadius, bands);
  Planes subject(sw, sh);
  std::vector<std::uint8_t> found(sn, 0);
  std::vector<std::size_t> source(sn, 0);  // the grid pixel F was taken from
  // Rows are dealt to the bands in turn, kSearchRows at a time: the subject,
  // where the search costs, is seldom spread evenly down the frame. Along a
  // row, each candidate row's run within reach only moves right, for the
  // two radii apart.
  constexpr int kSearchRows = 4;
  host::ForEachBand(bands, bands, [&](int band, int, int) {
    float norms[kMaxRun];
    std::array<std::vector<std::size_t>, 2> lo, hi;
    for (int y0 = band * kSearchRows; y0 < sh; y0 += bands * kSearchRows)
      for (int y = y0; y < std::min(sh, y0 + kSearchRows); ++y) {
        for (int kind = 0; kind < 2; ++kind) {
          lo[std::size_t(kind)].assign(candidates.size(), 0);
          hi[std::size_t(kind)].assign(candidates.size(), 0);
        }
        for (int x = 0; x < sw; ++x) {
          const std::size_t i = std::size_t(y) * std::size_t(sw) + std::size_t(x);
          if (!(estimate[i] > 0.03f)) continue;
          const bool solid = estimate[i] > kSolid;
          if (solid && !reachable[i]) continue;
          const int radius = solid ? kSolidSearchRadius : kSearchRadius;
          const std::vector<int>& reach = solid ? solidReach : searchReach;
          std::vector<std::size_t>& from = lo[solid];
          std::vector<std::size_t>& to = hi[solid];
          internal::LineTest t{
              {}, {}, solid ? 1.0f : 1.05f, solid ? kSolidLineNoise : kLineNoise, kMinContrast};
          const float* c = s.At(x, y);
          const float* b = screen.At(x, y);
          for (int k = 0; k < 3; ++k) {
            t.b[k] = b[k];
            t.cb[k] = c[k] - b[k];
          }
          float best = -1.0f;
          int bestRow = -1;
          std::size_t bestAt = 0;
          const int first = (std::max(0, y - radius) + kCandidateStep - 1) / kCandidateStep;
          const int last = std::min(sh - 1, y + radius) / kCandidateStep;
          for (int r = first; r <= last; ++r) {
            const CandidateRow& row = candidates[std::size_t(r)];
            const int dy = std::abs(r * kCandidateStep - y);
            const int left = x - reach[std::size_t(dy)], right = x + reach[std::size_t(dy)];
            std::size_t& l = from[std::size_t(r)];
            std::size_t& h = to[std::size_t(r)];
            while (l < row.x.size() && row.x[l] < left) ++l;
            h = std::max(h, l);
            while (h < row.x.size() && row.x[h] <= right) ++h;
            for (std::size_t at = l; at < h; at += kMaxRun) {
              const int count = int(std::min<std::size_t>(kMaxRun, h - at));
              internal::PassingNormsRow(&row.colour[0][at], &row.colour[1][at], &row.colour[2][at],
                                        count, t, norms);
              for (int m = 0; m < count; ++m)
                if (norms[m] > best) {
                  best = norms[m];
                  bestRow = r;
                  bestAt = at + std::size_t(m);
                }
            }
          }
          if (bestRow < 0) continue;
          const CandidateRow& row = candidates[std::size_t(bestRow)];
          float* fg = subject.At(x, y);
          for (int k = 0; k < 3; ++k) fg[k] = row.colour[std::size_t(k)][bestAt];
          found[i] = solid && t.ShareOf(fg) > kSolidMix ? 2 : 1;
          source[i] =
              std::size_t(bestRow * kCandidateStep) * std::size_t(sw) + std::size_t(row.x[bestAt]);
        }
      }
  });

  // A candidate that is itself a mix (a saturated colour's mixes with the
  // screen look solid: the near part of a long red ramp) passes on its own
  // F when the pixel's colour lies on that F's line by the same tests, so a
  // gradient of one colour is unmixed against its pure end however long it
  // is. Rounds until nothing changes, each from the last round's F.
  for (bool changed = true; changed;) {
    changed = false;
    const Planes was = subject;
    const std::vector<std::size_t> from = source;
    for (std::size_t i = 0; i < sn; ++i) {
      const std::size_t j = from[i];
      if (!found[i] || !found[j] || from[j] == from[i]) continue;
      const bool solid = estimate[i] > kSolid;
      const float* c = &s.v[i * 3];
      const float* b = &screen.v[i * 3];
      const float* fg = &was.v[j * 3];
      const float cb[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
      const float fb[3] = {fg[0] - b[0], fg[1] - b[1], fg[2] - b[2]};
      const float n2 = SquaredNorm(fb);
      const float* own = &was.v[i * 3];
      const float ob[3] = {own[0] - b[0], own[1] - b[1], own[2] - b[2]};
      if (n2 <= SquaredNorm(ob)) continue;
      const float a = Share(cb, fb, n2);
      if (a > 0.0f && a <= (solid ? 1.0f : 1.05f) &&
          OffLine(cb, fb, a) <= (solid ? kSolidLineNoise : kLineNoise)) {
        std::copy_n(fg, 3, &subject.v[i * 3]);
        source[i] = from[j];
        found[i] = solid && a > kSolidMix ? 2 : 1;
        changed = true;
      }
    }
  }

  // Despill after the key: full unless the subject's own colours often lead
  // in the screen channel (a green shirt before a green screen), then half.
  {
    std::size_t solids = 0, leading = 0;
    for (std::size_t i = 0; i < sn; ++i)
      if (estimate[i] > kSolid) {
        ++solids;
        leading += lead[i] > kSubjectLead * Lead(&screen.v[i * 3], channel);
      }
    key.despill = leading > kLeadingShare * double(solids) ? 50.0 : 100.0;
  }

  // The estimate of every pixel of the frame; the screen's spread first,
  // from one pixel a block of the clear-screen cells. Per cell: 1 / d(B),
  // and (F - B) / |F - B|^2 where the cell is unmixed, so that a pixel's
  // share is one dot product.
  std::vector<float> a(n);
  std::vector<float> screenSpread;
  {
    std::vector<float> inverseLead(sn);
    Planes towardF(sw, sh);
    for (std::size_t i = 0; i < sn; ++i) {
      const float* b = &screen.v[i * 3];
      inverseLead[i] = 1.0f / std::max(Lead(b, channel), 1.0f);
      if (found[i] != 1) continue;
      const float* fg = &subject.v[i * 3];
      const float fb[3] = {fg[0] - b[0], fg[1] - b[1], fg[2] - b[2]};
      const float n2 = std::max(SquaredNorm(fb), 1e-6f);
      for (int k = 0; k < 3; ++k) towardF.v[i * 3 + std::size_t(k)] = fb[k] / n2;
    }
    std::vector<std::vector<float>> spreads(static_cast<std::size_t>(bands));
    host::ForEachBand(H, bands, [&](int band, int first, int count) {
      std::vector<float>& spread = spreads[std::size_t(band)];
      for (int y = first; y < first + count; ++y) {
        const std::uint8_t* p = frame.Row(y);
        float* out = &a[std::size_t(y) * std::size_t(W)];
        const std::size_t row = std::size_t(y / f) * std::size_t(sw);
        const bool sampled = y % f == 0;
        for (int x0 = 0, gx = 0; x0 < W; x0 += f, ++gx) {
          const std::size_t cell = row + std::size_t(gx);
          const float* b = &screen.v[cell * 3];
          const float* toward = &towardF.v[cell * 3];
          const bool unmixed = found[cell] == 1, isClear = clear[cell] != 0;
          for (int x = x0; x < std::min(W, x0 + f); ++x, p += 4) {
            const float c[3] = {float(p[0]), float(p[1]), float(p[2])};
            float v = 1.0f - Lead(c, channel) * inverseLead[cell];
            if (isClear && sampled && x == x0) spread.push_back(v);
            if (unmixed && v > 0.03f)
              v = (c[0] - b[0]) * toward[0] + (c[1] - b[1]) * toward[1] + (c[2] - b[2]) * toward[2];
            out[x] = std::clamp(v, 0.0f, 1.0f);
          }
        }
      }
    });
    for (std::vector<float>& spread : spreads)
      screenSpread.insert(screenSpread.end(), spread.begin(), spread.end());
  }
  if (!screenSpread.empty()) {
    const auto median = [](std::vector<float>& v) {
      std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
      return v[v.size() / 2];
    };
    const float centre = median(screenSpread);
    for (float& v : screenSpread) v = std::fabs(v - centre);
    key.noise = 1.4826 * double(median(screenSpread));
  }
  const float t = kNoiseFactor * float(key.noise);

  // Spill: subject near solid subject of a body. Masks of the frame's
  // size, used again below.
  std::vector<std::uint8_t> solid(n), scratch(n), body(n);
  {
    host::ForEachBand(H, bands, [&](int, int first, int count) {
      const std::size_t from = std::size_t(first) * std::size_t(W);
      const std::size_t to = from + std::size_t(count) * std::size_t(W);
      for (std::size_t i = from; i < to; ++i) {
        float& v = a[i];
        v = v < t ? 0.0f : v < 2.0f * t ? 2.0f * (v - t) : v;
        solid[i] = v > kSolid;
      }
    });
    // Bodies' cores: the pixels at least kSpillFloor opaque eroded by a
    // square (what the dilation of the others leaves). The spill reaches
    // from the cores' solid pixels as far as from the bodies' (the cores
    // dilated back), which despill's edge measures.
    for (std::size_t i = 0; i < n; ++i) body[i] = !(a[i] >= kSpillFloor);
    internal::SquareNear<1>(body, scratch, W, H, kBodyRadius * f, bands);
    for (std::uint8_t& v : body) v = !v;
    for (std::size_t i = 0; i < n; ++i) solid[i] = solid[i] && body[i];
    internal::SquareNear<1>(body, scratch, W, H, kBodyRadius * f, bands);
    internal::SquareNear<1>(solid, scratch, W, H, (kBodyRadius + kSpillReach) * f, bands);
    for (std::size_t i = 0; i < n; ++i)
      if (solid[i] && a[i] >= kSpillFloor) a[i] = 1.0f;
  }

  // The rim of the solid subject's bodies that the screen's light reaches:
  // despill measures it there against the subject's colour further in
  // (strands of hair, all edge, would hide it).
  {
    std::vector<std::uint8_t> opaque(n);
    for (std::size_t i = 0; i < n; ++i) opaque[i] = a[i] > kSolid && body[i] ? 255 : 0;
    key.despillEdge =
        internal::RimCastWidth(frame.pixels.data(), frame.Stride(), opaque.data(), W, H, channel);
  }

  // Each wheel pixel: the mean of the middle third of its pixels' shares of
  // screen, in order. The shares are gathered by wheel pixel, each band's in
  // a run of its own.
  std::vector<std::uint32_t> starts(std::size_t(kWheelPixels) + 1, 0);
  std::vector<std::uint8_t> shares(n);
  {
    std::vector<std::vector<std::uint32_t>> next(
        std::size_t(bands), std::vector<std::uint32_t>(std::size_t(kWheelPixels), 0));
    host::ForEachBand(H, bands, [&](int band, int first, int count) {
      std::vector<std::uint32_t>& counts = next[std::size_t(band)];
      const std::size_t from = std::size_t(first) * std::size_t(W);
      const std::size_t to = from + std::size_t(count) * std::size_t(W);
      for (std::size_t i = from; i < to; ++i) ++counts[std::size_t(where[i])];
    });
    std::uint32_t at = 0;
    for (std::size_t k = 0; k < std::size_t(kWheelPixels); ++k) {
      for (std::vector<std::uint32_t>& counts : next) {
        const std::uint32_t c = counts[k];
        counts[k] = at;  // where the band's shares of this wheel pixel begin
        at += c;
      }
      starts[k + 1] = at;
    }
    host::ForEachBand(H, bands, [&](int band, int first, int count) {
      std::vector<std::uint32_t>& place = next[std::size_t(band)];
      const std::size_t from = std::size_t(first) * std::size_t(W);
      const std::size_t to = from + std::size_t(count) * std::size_t(W);
      for (std::size_t i = from; i < to; ++i)
        shares[place[std::size_t(where[i])]++] = ShareLevel(a[i]);
    });
  }
  std::vector<int> weight(std::size_t(kWheelPixels), -1);  // -1: no pixel
  host::ForEachBand(kWheelPixels, bands, [&](int, int first, int count) {
    for (int k = first; k < first + count; ++k) {
      const auto from = shares.begin() + std::ptrdiff_t(starts[std::size_t(k)]);
      const auto last = shares.begin() + std::ptrdiff_t(starts[std::size_t(k) + 1]);
      if (from == last) continue;
      // The shares in order, counted by level (they are bytes): the mean
      // of those from all / 3 to 2 all / 3, fractions of a share at the
      // ends counted by their part (so that the same pixels each counted
      // n times give the same mean). In thirds of a place: each level's
      // run is 3 place to 3 next, the middle third all to 2 all.
      std::array<std::uint32_t, 256> levels{};
      for (auto it = from; it != last; ++it) ++levels[*it];
      const std::int64_t all = last - from;
      std::int64_t sum = 0, place = 0;  // where the current level's run begins
      for (int l = 0; l < 256 && 3 * place < 2 * all; ++l) {
        const std::int64_t next = place + std::int64_t(levels[std::size_t(l)]);
        const std::int64_t inside = std::min(3 * next, 2 * all) - std::max(3 * place, all);
        if (inside > 0) sum += std::int64_t(l) * inside;
        place = next;
      }
      weight[std::size_t(k)] = int((sum + all / 2) / all);
    }
  });
  for (int step = 0; step < kFillSteps; ++step) {
    std::vector<int> filled = weight;
    for (int r = 0; r < wheel::kHeight; ++r)
      for (int c = 0; c < wheel::kWidth; ++c) {
        if (weight[std::size_t(r * wheel::kWidth + c)] >= 0) continue;
        int sum = 0, count = 0;
        for (int dr = -1; dr <= 1; ++dr)
          for (int dc = -1; dc <= 1; ++dc) {
            const int rr = r + dr, cc = c + dc;
            if (rr < 0 || cc < 0 || rr >= wheel::kHeight || cc >= wheel::kWidth) continue;
            const int v = weight[std::size_t(rr * wheel::kWidth + cc)];
            if (v >= 0) {
              sum += v;
              ++count;
            }
          }
        if (count) filled[std::size_t(r * wheel::kWidth + c)] = (sum + count / 2) / count;
      }
    weight.swap(filled);
  }
  key.mask = GreyImage(wheel::kWidth, wheel::kHeight);
  for (int r = 0; r < wheel::kHeight; ++r)
    for (int c = 0; c < wheel::kWidth; ++c)
      key.mask.Row(wheel::kHeight - 1 - r)[c] =
          std::uint8_t(std::max(0, weight[std::size_t(r * wheel::kWidth + c)]));

  // The lightness window (ChooseWindow), from the frame's level sums: whole
  // numbers, so the same however the frame is split.
  std::array<int, 4> window{0, 0, 255, 255};
  {
    std::vector<LevelSums> bandSums(static_cast<std::size_t>(bands));
    host::ForEachBand(H, bands, [&](int band, int first, int count) {
      LevelSums& sums = bandSums[std::size_t(band)];
      for (auto& level : sums) level.fill(0);
      for (int y = first; y < first + count; ++y) {
        const std::size_t row = std::size_t(y) * std::size_t(W);
        const std::uint8_t* clearRow = &clear[std::size_t(y / f) * std::size_t(sw)];
        for (int x = 0; x < W; ++x) {
          const std::size_t i = row + std::size_t(x);
          const std::uint64_t share = ShareLevel(a[i]);
          const std::uint64_t k = std::uint64_t(std::max(0, weight[std::size_t(where[i])]));
          std::array<std::uint64_t, 4>& level = sums[light[i]];
          level[0] += share * share;
          level[1] += k * share;
          level[2] += k * k;
          level[3] += clearRow[x / f];
        }
      }
    });
    for (std::size_t b = 1; b < bandSums.size(); ++b)
      for (std::size_t l = 0; l < 256; ++l)
        for (std::size_t j = 0; j < 4; ++j) bandSums[0][l][j] += bandSums[b][l][j];
    window = ChooseWindow(bandSums[0]);
    for (int j = 0; j < 4; ++j)
      key.lightness[std::size_t(j)] = std::round(window[std::size_t(j)] / 2.55 * 100.0) / 100.0;
  }
  // The window's weight of each lightness level, 0..255, as the effect's
  // table has it up to the rounding of its ramps.
  std::array<int, 256> windowWeight{};
  for (int l = 0; l < 256; ++l)
    windowWeight[std::size_t(l)] = int(std::lround(255.0 * WindowPart(window, l)));

  // Clip black: the level below which the key leaves the clear screen's
  // pixels (its darkest corners, where the light falls off faster than the
  // screen's colour is followed), when there is such a rest. Clip white:
  // the whole percent that changes the key's alpha least in all, counting
  // what it leaves taken from the solid subject (subject colours that share
  // a wheel pixel with mixes) and how far it moves the mixes, whose levels
  // are taken to be right. Screen and subject count only pixels with
  // nothing else within kClipMargin analysis pixels, so that an outline's
  // own mixes are not taken for rests. Both come from counts of pixels by
  // level and reaches in analysis pixels, so a finer sampling of the same
  // shot gives the same clips. Levels are the key's alpha with the window
  // chosen and softness 0.
  {
    // Bit 0: not screen (estimate 0.15 or more); bit 1: not solid subject;
    // then: either near.
    std::vector<std::uint8_t>& near = solid;
    host::ForEachBand(H, bands, [&](int, int first, int count) {
      const std::size_t from = std::size_t(first) * std::size_t(W);
      const std::size_t to = from + std::size_t(count) * std::size_t(W);
      for (std::size_t i = from; i < to; ++i)
        near[i] = std::uint8_t((a[i] >= 0.15f) | (a[i] < 1.0f) << 1);
    });
    internal::SquareNear<2>(near, scratch, W, H, kClipMargin * f, bands);
    using Levels = std::array<std::uint64_t, 256>;
    // Per band: the screen's, the subject's and the mixes' levels.
    std::vector<std::array<Levels, 3>> bandLevels(static_cast<std::size_t>(bands));
    host::ForEachBand(H, bands, [&](int band, int first, int count) {
      std::array<Levels, 3>& levels = bandLevels[std::size_t(band)];
      for (Levels& l : levels) l.fill(0);
      const std::size_t from = std::size_t(first) * std::size_t(W);
      const std::size_t to = from + std::size_t(count) * std::size_t(W);
      for (std::size_t i = from; i < to; ++i) {
        const int k = std::max(0, weight[std::size_t(where[i])]);
        const auto level = std::size_t(255 - (windowWeight[light[i]] * k + 127) / 255);
        if (!(near[i] & 1))
          ++levels[0][level];
        else if (!(near[i] & 2))
          ++levels[1][level];
        else if (a[i] > 0.0f && a[i] < 1.0f)
          ++levels[2][level];
      }
    });
    for (std::size_t b = 1; b < bandLevels.size(); ++b)
      for (std::size_t kind = 0; kind < 3; ++kind)
        for (std::size_t l = 0; l < 256; ++l) bandLevels[0][kind][l] += bandLevels[b][kind][l];
    const auto& [onScreen, onSubject, mixes] = bandLevels[0];
    // The level at place floor(q (count - 1)) of the levels sorted; -1 when
    // there are none.
    const auto quantile = [](const Levels& levels, double q) {
      std::uint64_t count = 0;
      for (const std::uint64_t c : levels) count += c;
      if (count == 0) return -1;
      const auto at = std::uint64_t(q * double(count - 1));
      std::uint64_t below = 0;
      for (int l = 0; l < 256; ++l) {
        below += levels[std::size_t(l)];
        if (below > at) return l;
      }
      return 255;
    };
    if (const int rest = quantile(onScreen, kClipQuantile); rest >= 0) {
      if (rest > 0 && rest < kMaxClip * 2.55) key.clipBlack = std::ceil((rest + 1) / 2.55);
    }
    double best = std::numeric_limits<double>::infinity();
    for (int white = 100; white >= 100 - kMaxClip; --white) {
      std::array<std::uint8_t, 256> to;
      for (int l = 0; l < 256; ++l) to[std::size_t(l)] = std::uint8_t(l);
      internal::ClipAlphaRow(to.data(), 256, key.clipBlack * 2.55, white * 2.55);
      double cost = 0.0;
      for (std::size_t l = 0; l < 256; ++l)
        cost +=
            double(onSubject[l]) * (255 - to[l]) + double(mixes[l]) * std::abs(int(to[l]) - int(l));
      if (cost < best) {  // ties keep the gentler clip
        best = cost;
        key.clipWhite = white;
      }
    }
  }
  // Refine's windows that reach across the outline take a level or two off
  // the subject's opaque edge: clip white at 99 % at most gives them back.
  if (key.refine > 0) key.clipWhite = std::min(key.clipWhite, 99.0);
  return key;
}

}  // namespace mattix::matte
