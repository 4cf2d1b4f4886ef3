#include "host/matte/internal/EdgeColour.h"

#include "host/matte/internal/FinishKernels.h"
#include "host/project/MatteFinishing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace mattix::matte::internal {

MATTIX_PLANE_LOOP
void OpaqueDepth(const std::uint8_t* alpha, int w, int h, int cap, std::uint8_t* depth) {
  // Separable: the chessboard distance from (x, y) is the least, over rows
  // y + k, of max(|k|, g), g the distance along row y + k from x to its
  // nearest pixel not opaque. Both steps are loops over whole rows of
  // bytes, which vectorise; distances stop at cap.
  const std::size_t W = std::size_t(w);
  std::vector<std::uint8_t> g(W * std::size_t(h));
  // Row distances by erosion: e holds 1 where the window x - k .. x + k is
  // all opaque (pixels beyond the row count as opaque), and g counts the
  // windows k = 0 .. cap - 1 that are.
  std::vector<std::uint8_t> windows(2 * (W + 2), 1);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* a = alpha + std::size_t(y) * W;
    std::uint8_t* gy = &g[std::size_t(y) * W];
    std::uint8_t* e = windows.data();
    std::uint8_t* t = e + W + 2;
    std::uint8_t any = 0;
    for (std::size_t x = 0; x < W; ++x) {
      e[x + 1] = a[x] == 255 ? 1 : 0;
      gy[x] = e[x + 1];
      any |= e[x + 1];
    }
    for (int k = 1; k < cap && any != 0; ++k) {
      any = 0;
      for (std::size_t x = 0; x < W; ++x) {
        t[x + 1] = e[x] & e[x + 1] & e[x + 2];
        gy[x] = std::uint8_t(gy[x] + t[x + 1]);
        any |= t[x + 1];
      }
      std::swap(e, t);
    }
  }
  // Down the columns: rows beyond the picture hold no pixel that is not
  // opaque, so they lower nothing. Once every depth of the row is at most
  // k, rows further away cannot lower one.
  for (int y = 0; y < h; ++y) {
    std::uint8_t* d = depth + std::size_t(y) * W;
    std::copy_n(&g[std::size_t(y) * W], W, d);
    std::uint8_t deepest = std::uint8_t(*std::max_element(d, d + W));
    for (int k = 1; k < cap && k < deepest; ++k) {
      const std::uint8_t* above = y - k >= 0 ? &g[std::size_t(y - k) * W] : nullptr;
      const std::uint8_t* below = y + k < h ? &g[std::size_t(y + k) * W] : nullptr;
      if (above == nullptr && below == nullptr) break;
      const std::uint8_t* p = above != nullptr ? above : below;
      const std::uint8_t* q = below != nullptr ? below : above;
      const std::uint8_t level = std::uint8_t(k);
      deepest = 0;
      for (std::size_t x = 0; x < W; ++x) {
        const std::uint8_t m = std::max(level, std::min(p[x], q[x]));
        d[x] = std::min(d[x], m);
        deepest = std::max(deepest, d[x]);
      }
    }
  }
}

namespace {

// How far (levels) a rim pixel may lie from the line between the subject's
// colour and the screen's and still count as their mix: fully within it,
// not at all beyond twice it.
constexpr float kSpillLine = 8.0f;

// The ratio of the two channels other than the screen's, o2 / (o1 + o2),
// counted from a level above 0 so that black has one too.
template <class T>
float OtherRatio(const T* bgr, int channel) {
  const int o1 = channel == 0 ? 1 : 0;
  return (float(bgr[2]) + 1.0f) / (float(bgr[o1]) + float(bgr[2]) + 2.0f);
}

template <class T>
float Balance(const T* bgr, int channel) {
  const int o1 = channel == 0 ? 1 : 0;
  return float(bgr[channel]) - 0.5f * (float(bgr[o1]) + float(bgr[2]));
}

// What a pixel is to a ring fill: the first three as the caller marks
// them, the last two as the fill goes.
enum PixelKind : std::uint8_t {
  kOther = 0,
  kSource = 1,
  kReachable = 2,
  kQueued = 3,   // in the ring being gathered
  kReached = 4,  // given its place in the fill
};

struct Point {
  int x, y;
};

// The reachable pixels with a source among their 8 neighbours, in row
// order. A loop over whole rows of bytes (which vectorises) marks them;
// ForEachRun finds the marks.
MATTIX_PLANE_LOOP
void FirstRing(int w, int h, const std::uint8_t* kind, std::vector<Point>& ring) {
  const std::size_t W = std::size_t(w);
  std::vector<std::uint8_t> column(W + 2, 0), mark(W, 0);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* here = kind + std::size_t(y) * W;
    const std::uint8_t* up = y > 0 ? here - W : here;
    const std::uint8_t* down = y + 1 < h ? here + W : here;
    // column[x + 1]: a source at x in this row or the rows beside it.
    for (std::size_t x = 0; x < W; ++x)
      column[x + 1] = (up[x] == kSource) | (here[x] == kSource) | (down[x] == kSource);
    for (std::size_t x = 0; x < W; ++x)
      mark[x] = (here[x] == kReachable) & (column[x] | column[x + 1] | column[x + 2]);
    ForEachRun(mark.data(), w, [&](int first, int end) {
      for (int u = first; u < end; ++u) ring.push_back({u, y});
    });
  }
}

// The bytes of a plane from lo to hi.
struct ByteRange {
  const std::uint8_t* plane;
  std::uint8_t lo, hi;
};

// Marks each pixel a source where `source` holds it, else reachable where
// `reachable` does, else other. Byte arithmetic, which vectorises.
MATTIX_PLANE_LOOP
void MarkKinds(ByteRange source, ByteRange reachable, std::uint8_t* kind, std::size_t n) {
  static_assert(kSource == 1 && kReachable == 2);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t s = source.lo <= source.plane[i] && source.plane[i] <= source.hi ? 1 : 0;
    const std::uint8_t r =
        reachable.lo <= reachable.plane[i] && reachable.plane[i] <= reachable.hi ? 1 : 0;
    kind[i] = std::uint8_t(s | ((r & (s ^ 1)) << 1));
  }
}

// Colours carried from source pixels outward, ring by ring (8-neighbours),
// through the reachable pixels, up to `rings` rings: each pixel reached
// takes the mean of the colours of its neighbours that are sources or lie
// in the rings before, summed in row order. kind: one PixelKind a pixel,
// kOther, kSource or kReachable (the fill marks the pixels it reaches);
// colour(x, y): a source's colour.
template <class SourceColour>
RingFill FillOutward(int w, int h, std::vector<std::uint8_t>& kind, SourceColour sourceColour,
                     int rings) {
  const std::size_t W = std::size_t(w);
  RingFill fill;
  // A slot is set as a pixel is reached and read only then. Slots are
  // handed out ring by ring, so a neighbour lies in an earlier ring when
  // its slot is below the current ring's first.
  fill.slot.reset(new std::int32_t[kind.size()]);
  std::int32_t* slot = fill.slot.get();
  std::vector<Point> ring, next;
  FirstRing(w, h, kind.data(), ring);
  for (int round = 0; round < rings && !ring.empty(); ++round) {
    const std::int32_t first = std::int32_t(fill.colours.size());
    for (std::size_t k = 0; k < ring.size(); ++k) {
      const std::size_t i = std::size_t(ring[k].y) * W + std::size_t(ring[k].x);
      slot[i] = first + std::int32_t(k);
      kind[i] = kReached;
      fill.pixels.push_back(i);
    }
    fill.colours.resize(fill.colours.size() + ring.size());
    next.clear();
    for (std::size_t k = 0; k < ring.size(); ++k) {
      const int x = ring[k].x, y = ring[k].y;
      std::array<float, 3> sum{};
      int count = 0;
      for (int v = std::max(y - 1, 0); v <= std::min(y + 1, h - 1); ++v)
        for (int u = std::max(x - 1, 0); u <= std::min(x + 1, w - 1); ++u) {
          const std::size_t j = std::size_t(v) * W + std::size_t(u);
          const std::uint8_t what = kind[j];
          if (what == kSource || (what == kReached && slot[j] < first)) {
            const std::array<float, 3> c =
                what == kSource ? sourceColour(u, v) : fill.colours[std::size_t(slot[j])];
            for (std::size_t c3 = 0; c3 < 3; ++c3) sum[c3] += c[c3];
            ++count;
          } else if (what == kReachable) {
            kind[j] = kQueued;
            next.push_back({u, v});
          }
        }
      for (std::size_t c3 = 0; c3 < 3; ++c3)
        fill.colours[std::size_t(first) + k][c3] = sum[c3] / float(count);
    }
    ring.swap(next);
  }
  return fill;
}

// The colour (B, G, R) of the pixel at (x, y): the fills' source colour.
struct FrameColour {
  const std::uint8_t* bgra;
  std::size_t stride;
  const std::uint8_t* At(int x, int y) const {
    return bgra + std::size_t(y) * stride + std::size_t(x) * 4;
  }
  std::array<float, 3> operator()(int x, int y) const {
    const std::uint8_t* p = At(x, y);
    return {float(p[0]), float(p[1]), float(p[2])};
  }
};

// The screen's fill over kinds already marked in screen.kind: the clear
// pixels' colours carried in `rings` rings.
void FillScreen(const std::uint8_t* bgra, std::size_t stride, int w, int h, int rings,
                ScreenNearby& screen) {
  screen.fill = FillOutward(w, h, screen.kind, FrameColour{bgra, stride}, rings);
}

}  // namespace

std::vector<RimChange> RimChanges(const std::uint8_t* bgra, std::size_t stride,
                                  const std::uint8_t* alpha, int w, int h, int channel,
                                  const std::uint8_t* depth, int width, const ScreenNearby* given) {
  const std::size_t W = std::size_t(w), n = W * std::size_t(h);
  width = std::clamp(width, 1, 254);
  std::vector<std::uint8_t> kind(n);
  MarkKinds({depth, std::uint8_t(width + 1), 255}, {alpha, 1, 255}, kind.data(), n);
  const FrameColour colour{bgra, stride};
  const RingFill fill = FillOutward(w, h, kind, colour, 2 * width + 2);
  // Without a screen's colour carried in already, it is carried through
  // the pixels just reached, no further.
  ScreenNearby local;
  if (given == nullptr) {
    local.kind.resize(n);
    MarkKinds({alpha, 0, 0}, {kind.data(), kReached, kReached}, local.kind.data(), n);
    FillScreen(bgra, stride, w, h, RimScreenRings(width), local);
  }
  const ScreenNearby& screen = given != nullptr ? *given : local;
  std::vector<RimChange> changes;
  for (std::size_t k = 0; k < fill.pixels.size(); ++k) {
    const std::array<float, 3>& f = fill.colours[k];
    const std::size_t i = fill.pixels[k];
    const int x = int(i % W), y = int(i / W);
    const std::uint8_t* p = colour.At(x, y);
    std::array<float, 3> c = colour(x, y);
    // The spill taken out: C = F + t (B - F) with t the share of the
    // screen's light, from C's projection on the line from F to B, where
    // C lies near that line.
    bool unspilled = false;
    if (const std::array<float, 3>* nearby = screen.At(i)) {
      const std::array<float, 3>& b = *nearby;
      float dd = 0.0f, ed = 0.0f;
      for (std::size_t c3 = 0; c3 < 3; ++c3) {
        dd += (b[c3] - f[c3]) * (b[c3] - f[c3]);
        ed += (c[c3] - f[c3]) * (b[c3] - f[c3]);
      }
      const float t = dd > 1.0f ? std::clamp(ed / dd, 0.0f, 0.5f) : 0.0f;
      float rr = 0.0f;
      for (std::size_t c3 = 0; c3 < 3; ++c3) {
        const float r = c[c3] - f[c3] - t * (b[c3] - f[c3]);
        rr += r * r;
      }
      const float near = std::clamp((2.0f * kSpillLine - std::sqrt(rr)) / kSpillLine, 0.0f, 1.0f);
      if (t > 0.0f && near > 0.0f) {
        for (std::size_t c3 = 0; c3 < 3; ++c3)
          c[c3] += near * ((c[c3] - t * b[c3]) / (1.0f - t) - c[c3]);
        unspilled = true;
      }
    }
    const float balance = Balance(f.data(), channel);
    const float apart = std::fabs(OtherRatio(c.data(), channel) - OtherRatio(f.data(), channel));
    const float weight = balance < 0.0f ? std::clamp((0.08f - apart) / 0.04f, 0.0f, 1.0f) : 0.0f;
    if (weight > 0.0f || unspilled) changes.push_back({i, weight * balance, c, {p[0], p[1], p[2]}});
  }
  return changes;
}

ScreenNearby CarryScreenInward(const std::uint8_t* bgra, std::size_t stride,
                               const std::uint8_t* alpha, int w, int h, const std::uint8_t* depth,
                               int rim, int rings) {
  ScreenNearby screen;
  screen.kind.resize(std::size_t(w) * std::size_t(h));
  // Without a rim, the partly transparent pixels (alpha 0 to 254; the
  // clear ones are sources first).
  MarkKinds({alpha, 0, 0},
            rim > 0 ? ByteRange{depth, 0, std::uint8_t(rim)} : ByteRange{alpha, 0, 254},
            screen.kind.data(), screen.kind.size());
  FillScreen(bgra, stride, w, h, rings, screen);
  return screen;
}

const std::array<float, 3>* ScreenNearby::At(std::size_t i) const {
  return i < kind.size() && kind[i] == kReached ? &fill.colours[std::size_t(fill.slot[i])]
                                                : nullptr;
}

void UnmixRows(std::uint8_t* bgra, std::size_t stride, const std::uint8_t* alpha, int w,
               double amount, const ScreenNearby& screen) {
  const std::size_t W = std::size_t(w);
  for (std::size_t k = 0; k < screen.fill.pixels.size(); ++k) {
    const std::size_t i = screen.fill.pixels[k];
    if (alpha[i] == 255) continue;
    const std::array<float, 3>& b = screen.fill.colours[k];
    const double a = alpha[i] / 255.0, cover = std::max(a, 1.0 / 16.0);
    std::uint8_t* p = bgra + (i / W) * stride + (i % W) * 4;
    for (std::size_t c = 0; c < 3; ++c) {
      const double f = std::clamp((p[c] - (1.0 - a) * b[c]) / cover, 0.0, 255.0);
      p[c] = std::uint8_t(RoundNonNegative(p[c] + amount * (f - p[c])));
    }
  }
}

int RimCastWidth(const std::uint8_t* bgra, std::size_t stride, const std::uint8_t* alpha, int w,
                 int h, int channel) {
  // 33: 33 or deeper, so the width found is at most 32, the most a project
  // holds (MatteFinishing::kMaxEdge, which key auto writes it into).
  constexpr int kDeepest = 33;
  static_assert(kDeepest - 1 <= project::MatteFinishing::kMaxEdge);
  std::vector<std::uint8_t> depth(std::size_t(w) * std::size_t(h));
  OpaqueDepth(alpha, w, h, kDeepest, depth.data());
  // Sums of twice the balance, whole numbers (a byte colour's balance is a
  // multiple of a half): exact, and no chain of floating-point additions.
  std::array<std::int64_t, kDeepest + 1> sum{};
  std::array<long, kDeepest + 1> count{};
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* p = bgra + std::size_t(y) * stride;
    const std::uint8_t* d = &depth[std::size_t(y) * std::size_t(w)];
    for (int x = 0; x < w; ++x, p += 4) {
      sum[d[x]] += std::int64_t(2.0f * Balance(p, channel));
      ++count[d[x]];
    }
  }
  constexpr long kFew = 64;
  const auto mean = [&](int k) {
    return count[std::size_t(k)] >= kFew
               ? double(sum[std::size_t(k)]) / 2.0 / double(count[std::size_t(k)])
               : std::numeric_limits<double>::quiet_NaN();
  };
  // The cast falls with depth as far as the spill reaches, then the
  // balance is the subject's own: the first depth from which it falls by
  // less than a level over two more pixels, and one more for safety.
  for (int k = 1; k + 2 <= kDeepest; ++k) {
    const double here = mean(k), further = mean(k + 2);
    if (std::isnan(here) || std::isnan(further)) return 0;
    if (here - further < 1.0) return mean(1) - mean(k + 1) >= 3.0 ? k + 1 : 0;
  }
  return kDeepest - 1;
}

void DespillRowWithOffsets(std::uint8_t* bgra, int count, int channel, double amount,
                           const float* offsets) {
  const int a = channel == 1 ? 0 : 1, b = 2;
  for (int x = 0; x < count; ++x, bgra += 4) {
    const int excess2 = 2 * bgra[channel] - (bgra[a] + bgra[b]);
    const double excess = 0.5 * excess2 - double(offsets[x]);
    if (excess <= 0.0) continue;
    const long reduction = std::min(RoundNonNegative(amount * excess), long(bgra[channel]));
    bgra[channel] = std::uint8_t(bgra[channel] - reduction);
  }
}

}  // namespace mattix::matte::internal
