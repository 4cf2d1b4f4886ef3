#include "host/matte/MatteFinish.h"

#include "host/matte/internal/EdgeColour.h"
#include "host/matte/internal/FinishKernels.h"
#include "host/matte/internal/GuidedFilter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace mattix::matte {

namespace {

using media::GreyImage;

// A BGRA pixel as a word: alpha in the top byte.
static_assert(std::endian::native == std::endian::little);
std::uint32_t LoadPixel(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void StorePixel(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

// Offsets dx, dy with dx^2 + dy^2 <= r^2 make the disc of whole radius r: a
// stack of rows, row dy reaching HalfWidth(r, dy) either side.
int HalfWidth(int r, int dy) { return int(std::sqrt(double(r * r - dy * dy))); }

// Each row's smallest (grow: largest) level over windows of every half-width
// the discs of radius first to last use (index: half-width; half-width 0,
// the input itself, and those no such disc uses stay empty).
std::vector<GreyImage> RowWindows(const GreyImage& in, int first, int last, bool grow) {
  std::vector<GreyImage> windows(std::size_t(last) + 1);
  for (int radius = std::max(1, first); radius <= last; ++radius)
    for (int dy = 0; dy <= radius; ++dy) {
      const int half = HalfWidth(radius, dy);
      GreyImage& window = windows[std::size_t(half)];
      if (half == 0 || !window.pixels.empty()) continue;
      window = GreyImage(in.width, in.height);
      for (int y = 0; y < in.height; ++y)
        internal::MinMaxRow(in.Row(y), window.Row(y), in.width, half, grow);
    }
  return windows;
}

// The smallest (grow: largest) level over the disc of whole radius r around
// each pixel (the part inside the picture): the min/max over its rows of
// their windows.
GreyImage DiscMinMax(const GreyImage& in, const std::vector<GreyImage>& windows, int r, bool grow) {
  const int w = in.width, h = in.height;
  const auto window = [&](int dy) -> const GreyImage& {
    const int half = HalfWidth(r, dy);
    return half == 0 ? in : windows[std::size_t(half)];
  };
  GreyImage out = r > 0 ? window(0) : in;
  for (int y = 0; y < h && r > 0; ++y)
    for (int dy = -r; dy <= r; ++dy)
      if (dy != 0 && y + dy >= 0 && y + dy < h)
        internal::MinMaxInto(out.Row(y), window(std::abs(dy)).Row(y + dy), w, grow);
  return out;
}

// Shrinks (radius < 0) or grows the matte by |radius| pixels: the levels of
// the two whole radii around it blended by the fraction, rounded to nearest.
void ShrinkGrow(GreyImage& alpha, double radius) {
  const bool grow = radius > 0;
  const double r = std::fabs(radius);
  const int whole = int(std::floor(r));
  const double fraction = r - whole;
  const std::vector<GreyImage> windows =
      RowWindows(alpha, whole, fraction == 0.0 ? whole : whole + 1, grow);
  GreyImage lower = DiscMinMax(alpha, windows, whole, grow);
  if (fraction == 0.0) {
    alpha = std::move(lower);
    return;
  }
  const GreyImage upper = DiscMinMax(alpha, windows, whole + 1, grow);
  // Every pair of levels' blend, worked out once.
  std::vector<std::uint8_t> blend(256 * 256);
  for (int lo = 0; lo < 256; ++lo)
    for (int hi = 0; hi < 256; ++hi)
      blend[std::size_t(lo) * 256 + std::size_t(hi)] =
          std::uint8_t(internal::RoundNonNegative((1.0 - fraction) * lo + fraction * hi));
  for (std::size_t i = 0; i < alpha.pixels.size(); ++i)
    alpha.pixels[i] = blend[std::size_t(lower.pixels[i]) * 256 + upper.pixels[i]];
}

// A Gaussian blur of standard deviation sigma pixels, truncated at 3 sigma,
// separable, edges clamped; rounded to nearest at the end.
void Feather(GreyImage& alpha, double sigma) {
  const int w = alpha.width, h = alpha.height;
  if (w <= 0 || h <= 0) return;
  const int radius = int(std::ceil(3.0 * sigma));
  std::vector<double> kernel(std::size_t(2 * radius + 1));
  double sum = 0.0;
  for (int i = -radius; i <= radius; ++i)
    sum += kernel[std::size_t(i + radius)] = std::exp(-0.5 * i * i / (sigma * sigma));
  for (double& k : kernel) k /= sum;
  // Each pixel's taps are added in order from 0. The rows blurred across are
  // kept for as long as the rows around need them: row j in slot j % taps.
  const std::size_t n = std::size_t(w), taps = kernel.size();
  std::vector<double> across(taps * n);
  std::vector<double> padded(n + 2 * std::size_t(radius));
  std::vector<const double*> rows(taps);
  for (std::size_t i = 0; i < taps; ++i) rows[i] = &padded[i];  // tap i of pixel 0
  int blurred = 0;                                              // rows blurred across so far
  const auto blurAcross = [&](int y) {
    // The row with its ends repeated radius times: padded[x + radius] is
    // pixel x, edges clamped.
    const std::uint8_t* row = alpha.Row(y);
    std::fill(padded.begin(), padded.begin() + radius, double(row[0]));
    internal::LevelsRow(row, &padded[std::size_t(radius)], w);
    std::fill(padded.end() - radius, padded.end(), double(row[w - 1]));
    internal::WeightedSumRow(&across[std::size_t(y) % taps * n], rows.data(), kernel.data(),
                             int(taps), w);
  };
  std::vector<double> sums(n);
  std::vector<const double*> column(taps);
  for (int y = 0; y < h; ++y) {
    for (; blurred <= std::min(h - 1, y + radius); ++blurred) blurAcross(blurred);
    for (int i = -radius; i <= radius; ++i)
      column[std::size_t(i + radius)] =
          &across[std::size_t(std::clamp(y + i, 0, h - 1)) % taps * n];
    internal::WeightedSumRow(sums.data(), column.data(), kernel.data(), int(taps), w);
    // Row y's levels are not read again: it was blurred across already.
    internal::RoundLevelsRow(sums.data(), alpha.Row(y), w);
  }
}

// Closes holes of the matte beside full pixels: two passes of
// CloseHolesRow, each reading the one before (two planes, swapped).
void CloseHoles(GreyImage& alpha, double low) {
  const int h = alpha.height;
  std::vector<std::uint8_t> bits(std::size_t(alpha.width) + 2);
  GreyImage out(alpha.width, h);
  for (int pass = 0; pass < 2; ++pass) {
    for (int y = 0; y < h; ++y)
      internal::CloseHolesRow(y > 0 ? alpha.Row(y - 1) : nullptr, alpha.Row(y),
                              y + 1 < h ? alpha.Row(y + 1) : nullptr, out.Row(y), alpha.width, low,
                              bits.data());
    std::swap(alpha, out);
  }
}

// 255 where any shape of the kind (keep or garbage) covers the pixel, for
// the w x h part of the frame at (left, top). A row is filled from the
// frame's column 0, so that the shapes are met in their own coordinates.
GreyImage ShapeCover(const std::vector<project::MatteShape>& shapes, bool keep, int w, int h,
                     int left, int top) {
  GreyImage cover(w, h);
  std::vector<std::uint8_t> inside(std::size_t(left) + std::size_t(w));
  for (const project::MatteShape& s : shapes) {
    if (s.keep != keep) continue;
    std::vector<double> points;
    for (const auto& p : s.points) points.insert(points.end(), {p[0], p[1]});
    for (int y = 0; y < h; ++y) {
      std::fill(inside.begin(), inside.end(), 0);
      internal::FillPolygonRow(inside.data(), left + w, top + y, points.data(),
                               int(s.points.size()), 255);
      std::uint8_t* row = cover.Row(y);
      for (int x = 0; x < w; ++x) row[x] |= inside[std::size_t(left + x)];
    }
  }
  return cover;
}

// The guided filter's eps (colours and alpha from 0 to 1, squared): a
// window whose colours vary by less than about 8 levels is taken as flat,
// its matte averaged rather than followed.
constexpr double kRefineEps = 1e-3;

// How far unmixing carries the clear screen's colour into the partly
// transparent pixels, in rings of pixels.
constexpr int kUnmixReach = 32;

// The edge despill's width in whole pixels (0: off).
int EdgeWidth(const project::MatteFinishing& f) {
  return f.despill > 0.0 ? int(std::lround(f.despillEdge)) : 0;
}

// How many rings unmixing carries the screen's colour in: its reach, and
// the edge's rim.
int ScreenRings(const project::MatteFinishing& f) {
  const int edge = EdgeWidth(f);
  return std::max(kUnmixReach, edge > 0 ? internal::RimScreenRings(edge) : 0);
}

}  // namespace

void FinishMatte(media::BgraImage& keyed, const media::BgraImage& input,
                 const project::MatteFinishing& f) {
  FinishMatte(keyed.pixels.data(), input.pixels.data(), keyed.width, keyed.height, keyed.Stride(),
              f);
}

void FinishMatte(std::uint8_t* keyed, const std::uint8_t* input, int width, int height,
                 std::size_t stride, const project::MatteFinishing& finishing) {
  FinishMatte(keyed, input, width, height, stride, finishing, 0, 0);
}

int FinishReach(const project::MatteFinishing& f) {
  // The guided filter reads windows of its radius around the windows
  // around a pixel; closing holes reads two pixels further. ShrinkGrow
  // reads the discs of the two whole radii around a fractional one;
  // Feather's kernel reaches ceil(3 sigma). The edge's despill reads the
  // depth of pixels up to 2 edge + 2 rings away, each from pixels up to
  // edge + 1 further (and one more, as a pixel so far from a part's side
  // may take the part's side for no edge). Unmixing's screen colour is
  // read from as many rings as it is carried, and one more, through rim
  // pixels whose depth reads up to edge + 1 further; without unmixing, the
  // edge carries it RimScreenRings(edge) rings through pixels its own
  // reach decides.
  const int edge = EdgeWidth(f);
  const int screen = f.unmix > 0.0 ? ScreenRings(f) + 1 + (edge > 0 ? edge + 1 : 0)
                     : edge > 0    ? internal::RimScreenRings(edge) + 3 * edge + 5
                                   : 0;
  return 2 * int(std::lround(f.refine)) + (f.closeHoles > 0.0 ? 2 : 0) +
         (f.shrinkGrow != 0.0 ? int(std::ceil(std::fabs(f.shrinkGrow))) : 0) +
         (f.feather > 0.0 ? int(std::ceil(3.0 * f.feather)) : 0) +
         std::max(edge > 0 ? 3 * edge + 4 : 0, screen);
}

void FinishMatte(std::uint8_t* keyedPixels, const std::uint8_t* inputPixels, int w, int h,
                 std::size_t stride, const project::MatteFinishing& f, int left, int top) {
  if (f.IsOff()) return;
  const auto keyedRow = [&](int y) { return keyedPixels + std::size_t(y) * stride; };
  const auto inputRow = [&](int y) { return inputPixels + std::size_t(y) * stride; };
  GreyImage alpha(w, h);
  // Whole pixels read as words and shifted: the compiler turns that into
  // vector code, which it does not for a gather of every fourth byte.
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* in = keyedRow(y);
    std::uint8_t* a = alpha.Row(y);
    for (int x = 0; x < w; ++x) a[x] = std::uint8_t(LoadPixel(in + std::size_t(x) * 4) >> 24);
  }

  if (const int radius = int(std::lround(f.refine)); radius > 0)
    internal::GuidedFilterAlpha(inputPixels, stride, alpha.pixels.data(), w, h, radius, kRefineEps);
  const bool clips = f.clipBlack > 0.0 || f.clipWhite < 100.0;
  if (clips)  // the plane's rows are contiguous: one call clips them all
    internal::ClipAlphaRow(alpha.pixels.data(), int(alpha.pixels.size()), f.clipBlack * 2.55,
                           f.clipWhite * 2.55);
  if (f.closeHoles > 0.0) CloseHoles(alpha, f.closeHoles * 2.55);
  if (f.shrinkGrow != 0.0) ShrinkGrow(alpha, f.shrinkGrow);
  if (f.feather > 0.0) Feather(alpha, f.feather);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* out = keyedRow(y);
    std::uint8_t* a = alpha.Row(y);
    const std::uint8_t* in = inputRow(y);
    for (int x = 0; x < w; ++x) {
      const std::uint32_t level =
          std::min(std::uint32_t(a[x]), LoadPixel(in + std::size_t(x) * 4) >> 24);
      a[x] = std::uint8_t(level);
      std::uint8_t* o = out + std::size_t(x) * 4;
      StorePixel(o, (LoadPixel(o) & 0x00ffffffu) | level << 24);
    }
  }

  // Unmixing carries the screen's colour through the partly transparent
  // pixels and, for the despill edge, its opaque rim too (from the clear
  // pixels, which neither step changes); without unmixing the edge
  // carries it through its own rim alone.
  const int edge = EdgeWidth(f);
  std::vector<std::uint8_t> depth;
  if (edge > 0) {
    depth.resize(alpha.pixels.size());
    internal::OpaqueDepth(alpha.pixels.data(), w, h, edge + 1, depth.data());
  }
  const internal::ScreenNearby screen =
      f.unmix > 0.0 ? internal::CarryScreenInward(keyedPixels, stride, alpha.pixels.data(), w, h,
                                                  depth.data(), edge, ScreenRings(f))
                    : internal::ScreenNearby();
  if (f.unmix > 0.0)
    internal::UnmixRows(keyedPixels, stride, alpha.pixels.data(), w, f.unmix / 100.0, screen);

  if (f.despill > 0.0) {
    const int channel = f.screen == project::ScreenChannel::kGreen ? 1 : 0;
    const double amount = f.despill / 100.0;
    // Every pixel gets the classic limit; the rim pixels that take an
    // offset or lose the screen's light (few, and none without an edge)
    // are then limited again from their colour before it.
    const std::vector<internal::RimChange> rim =
        edge > 0 ? internal::RimChanges(keyedPixels, stride, alpha.pixels.data(), w, h, channel,
                                        depth.data(), edge, f.unmix > 0.0 ? &screen : nullptr)
                 : std::vector<internal::RimChange>();
    const auto at = [&](std::size_t i) {
      return keyedRow(int(i / std::size_t(w))) + i % std::size_t(w) * 4;
    };
    const internal::DespillTable reductions = internal::DespillReductions(amount);
    for (int y = 0; y < h; ++y) internal::DespillRow(keyedRow(y), w, channel, reductions);
    for (std::size_t k = 0; k < rim.size(); ++k) {
      std::uint8_t* p = at(rim[k].pixel);
      // The whole way (the spill taken out, then the moved limit), then
      // amount of it.
      for (std::size_t c = 0; c < 3; ++c)
        p[c] = std::uint8_t(std::clamp(std::lround(rim[k].colour[c]), 0L, 255L));
      internal::DespillRowWithOffsets(p, 1, channel, 1.0, &rim[k].offset);
      for (std::size_t c = 0; c < 3; ++c)
        p[c] = std::uint8_t(std::lround(rim[k].was[c] + amount * (p[c] - rim[k].was[c])));
    }
  }

  const bool garbage =
      std::any_of(f.shapes.begin(), f.shapes.end(), [](const auto& s) { return !s.keep; });
  const bool keep =
      std::any_of(f.shapes.begin(), f.shapes.end(), [](const auto& s) { return s.keep; });
  if (garbage) {
    const GreyImage cover = ShapeCover(f.shapes, false, w, h, left, top);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (cover.Row(y)[x] == 0) keyedRow(y)[std::size_t(x) * 4 + 3] = 0;
  }
  if (keep) {
    const GreyImage cover = ShapeCover(f.shapes, true, w, h, left, top);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (cover.Row(y)[x] != 0)
          std::copy_n(inputRow(y) + std::size_t(x) * 4, 4, keyedRow(y) + std::size_t(x) * 4);
  }
}

}  // namespace mattix::matte
