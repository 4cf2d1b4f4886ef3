#include "host/matte/internal/GuidedFilter.h"

#include "host/matte/internal/FinishKernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace mattix::matte::internal {

namespace {

int Span(int at, int r, int size) { return std::min(size - 1, at + r) - std::max(0, at - r) + 1; }

// change[i]: 1 where pixel i has another level of `matte` than its right
// or lower neighbour, or is that neighbour.
std::vector<std::uint8_t> Changes(const std::vector<std::uint8_t>& matte, int w, int h) {
  const std::size_t W = std::size_t(w);
  std::vector<std::uint8_t> change(matte.size(), 0);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* m = &matte[std::size_t(y) * W];
    std::uint8_t* c = &change[std::size_t(y) * W];
    for (std::size_t x = 0; x + 1 < W; ++x) {
      const std::uint8_t d = m[x] != m[x + 1];
      c[x] |= d;
      c[x + 1] |= d;
    }
    if (y + 1 < h)
      for (std::size_t x = 0; x < W; ++x) {
        const std::uint8_t d = m[x] != m[x + W];
        c[x] |= d;
        c[x + W] |= d;
      }
  }
  return change;
}

// near[i]: 1 where some pixel within `reach` (chessboard) is marked in
// `change`: elsewhere every window around is flat.
std::vector<std::uint8_t> Near(const std::vector<std::uint8_t>& change, int w, int h, int reach) {
  const std::size_t W = std::size_t(w);
  std::vector<std::uint8_t> across(change.size()), near(change.size(), 0);
  for (int y = 0; y < h; ++y)
    MinMaxRow(&change[std::size_t(y) * W], &across[std::size_t(y) * W], w, reach, true);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* out = &near[std::size_t(y) * W];
    for (int v = std::max(0, y - reach); v <= std::min(h - 1, y + reach); ++v) {
      const std::uint8_t* in = &across[std::size_t(v) * W];
      for (std::size_t x = 0; x < W; ++x) out[x] |= in[x];
    }
  }
  return near;
}

}  // namespace

void GuidedFilterAlpha(const std::uint8_t* guide, std::size_t stride, std::uint8_t* alpha, int w,
                       int h, int r, double eps) {
  // Work goes in strips of rows; a strip's fits need the statistics of r
  // rows more on each side, and its results the fits of r rows more: the
  // matte is read from a copy, as the strips above are already written.
  constexpr int kStrip = 32;
  constexpr std::size_t kStats = 13;  // I0 I1 I2 p, I0I0 I0I1 I0I2 I1I1 I1I2 I2I2, I0p I1p I2p
  constexpr std::size_t kFit = 4;     // a0 a1 a2 b
  const std::size_t W = std::size_t(w);
  const std::vector<std::uint8_t> matte(alpha, alpha + W * std::size_t(h));
  // A window with one level throughout fits a = 0, b = that level; a pixel
  // all of whose windows are so keeps its level. Only windows within r of
  // a change of level are fitted, and pixels within 2 r worked out.
  const std::vector<std::uint8_t> change = Changes(matte, w, h);
  const std::vector<std::uint8_t> fitted = Near(change, w, h, r);
  const std::vector<std::uint8_t> worked = Near(change, w, h, 2 * r);
  std::vector<double> fits;
  std::vector<std::int32_t> stats;
  for (int y0 = 0; y0 < h; y0 += kStrip) {
    const int y1 = std::min(h, y0 + kStrip);
    const int fitFirst = std::max(0, y0 - r), fitEnd = std::min(h, y1 + r);
    const int statFirst = std::max(0, fitFirst - r), statEnd = std::min(h, fitEnd + r);

    // Each row's window sums of the statistics, [row][x][statistic], in
    // levels (exact in integers: at most 17 x 17 x 255^2 in a window),
    // where a fitted window reads them (within 2 r of a change of level),
    // kept along each run of those by adding the pixel that enters and
    // taking off the one that leaves.
    stats.resize(std::size_t(statEnd - statFirst) * W * kStats);
    for (int y = statFirst; y < statEnd; ++y) {
      const std::uint8_t* g = guide + std::size_t(y) * stride;
      const std::uint8_t* m = &matte[std::size_t(y) * W];
      const auto values = [&](int u, std::int32_t* v) {
        const std::int32_t i0 = g[4 * u], i1 = g[4 * u + 1], i2 = g[4 * u + 2], p = m[u];
        const std::int32_t all[kStats] = {i0,      i1,      i2,      p,       i0 * i0,
                                          i0 * i1, i0 * i2, i1 * i1, i1 * i2, i2 * i2,
                                          i0 * p,  i1 * p,  i2 * p};
        std::copy(all, all + kStats, v);
      };
      std::int32_t* out = &stats[std::size_t(y - statFirst) * W * kStats];
      const std::uint8_t* needed = &worked[std::size_t(y) * W];
      std::int32_t sum[kStats] = {}, v[kStats];
      for (int x = 0; x < w; ++x) {
        if (!needed[x]) continue;
        if (x == 0 || !needed[x - 1]) {
          // A run of pixels a fitted window reads begins: its window afresh.
          std::fill(sum, sum + kStats, 0);
          for (int u = std::max(0, x - r); u <= std::min(w - 1, x + r); ++u) {
            values(u, v);
            for (std::size_t k = 0; k < kStats; ++k) sum[k] += v[k];
          }
        } else {
          if (x + r < w) {
            values(x + r, v);
            for (std::size_t k = 0; k < kStats; ++k) sum[k] += v[k];
          }
          if (x - r - 1 >= 0) {
            values(x - r - 1, v);
            for (std::size_t k = 0; k < kStats; ++k) sum[k] -= v[k];
          }
        }
        std::copy(sum, sum + kStats, out + std::size_t(x) * kStats);
      }
    }

    // The fits of the windows centred on the rows fitFirst..fitEnd - 1,
    // [row][x][a0 a1 a2 b], of those that are fitted.
    fits.resize(std::size_t(fitEnd - fitFirst) * W * kFit);
    for (int y = fitFirst; y < fitEnd; ++y) {
      const int from = std::max(0, y - r), to = std::min(h - 1, y + r);
      for (std::size_t x = 0; x < W; ++x) {
        if (!fitted[std::size_t(y) * W + x]) continue;
        std::int32_t sum[kStats] = {};
        for (int v = from; v <= to; ++v) {
          const std::int32_t* row = &stats[(std::size_t(v - statFirst) * W + x) * kStats];
          for (std::size_t k = 0; k < kStats; ++k) sum[k] += row[k];
        }
        // Means, with colours and alpha from 0 to 1.
        const double n = double((to - from + 1) * Span(int(x), r, w));
        const double levels = 1.0 / (n * 255.0), squares = levels / 255.0;
        double s[kStats];
        for (std::size_t k = 0; k < kStats; ++k) s[k] = double(sum[k]) * (k < 4 ? levels : squares);
        const double m0 = s[0], m1 = s[1], m2 = s[2], mp = s[3];
        const double v00 = s[4] - m0 * m0 + eps, v01 = s[5] - m0 * m1, v02 = s[6] - m0 * m2;
        const double v11 = s[7] - m1 * m1 + eps, v12 = s[8] - m1 * m2, v22 = s[9] - m2 * m2 + eps;
        const double c0 = s[10] - m0 * mp, c1 = s[11] - m1 * mp, c2 = s[12] - m2 * mp;
        // The symmetric 3 x 3 system by its cofactors (positive definite:
        // a covariance plus eps on the diagonal).
        const double k00 = v11 * v22 - v12 * v12, k01 = v02 * v12 - v01 * v22,
                     k02 = v01 * v12 - v02 * v11, k11 = v00 * v22 - v02 * v02,
                     k12 = v01 * v02 - v00 * v12, k22 = v00 * v11 - v01 * v01;
        const double det = v00 * k00 + v01 * k01 + v02 * k02;
        const double a0 = (k00 * c0 + k01 * c1 + k02 * c2) / det;
        const double a1 = (k01 * c0 + k11 * c1 + k12 * c2) / det;
        const double a2 = (k02 * c0 + k12 * c1 + k22 * c2) / det;
        double* fit = &fits[(std::size_t(y - fitFirst) * W + x) * kFit];
        fit[0] = a0;
        fit[1] = a1;
        fit[2] = a2;
        fit[3] = mp - a0 * m0 - a1 * m1 - a2 * m2;
      }
    }

    // Each pixel: the mean fit of the windows that hold it, at its colour.
    for (int y = y0; y < y1; ++y) {
      const int from = std::max(0, y - r), to = std::min(h - 1, y + r);
      const std::uint8_t* g = guide + std::size_t(y) * stride;
      std::uint8_t* out = alpha + std::size_t(y) * W;
      for (std::size_t x = 0; x < W; ++x) {
        if (!worked[std::size_t(y) * W + x]) continue;
        // A window that is not fitted is flat: a = 0, b its level.
        double f[kFit] = {};
        for (int v = from; v <= to; ++v)
          for (std::size_t u = x >= std::size_t(r) ? x - std::size_t(r) : 0;
               u <= std::min(W - 1, x + std::size_t(r)); ++u) {
            const std::size_t i = std::size_t(v) * W + u;
            if (!fitted[i]) {
              f[3] += matte[i] / 255.0;
              continue;
            }
            const double* fit = &fits[(std::size_t(v - fitFirst) * W + u) * kFit];
            for (std::size_t k = 0; k < kFit; ++k) f[k] += fit[k];
          }
        const double n = double((to - from + 1) * Span(int(x), r, w));
        const double q = (f[0] * g[4 * x] / 255.0 + f[1] * g[4 * x + 1] / 255.0 +
                          f[2] * g[4 * x + 2] / 255.0 + f[3]) /
                         n;
        out[x] = std::uint8_t(RoundNonNegative(std::clamp(q, 0.0, 1.0) * 255.0));
      }
    }
  }
}

}  // namespace mattix::matte::internal
