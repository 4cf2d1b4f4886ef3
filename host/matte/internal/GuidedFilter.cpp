#include "host/matte/internal/GuidedFilter.h"

#include "host/matte/internal/FinishKernels.h"
#include "host/matte/internal/SquareNear.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace mattix::matte::internal {

namespace {

// c[x] = 1 where m[x] differs from m[x - 1], m[x + 1] (those in the row),
// up[x] or down[x]. The two ends apart, so that the loop between has no
// branch and vectorises.
MATTIX_PLANE_LOOP
void ChangesRow(const std::uint8_t* __restrict m, const std::uint8_t* __restrict up,
                const std::uint8_t* __restrict down, int w, std::uint8_t* __restrict c) {
  const auto across = [&](int x) { return (m[x] != up[x]) | (m[x] != down[x]); };
  if (w == 1) {
    c[0] = std::uint8_t(across(0));
    return;
  }
  c[0] = std::uint8_t(across(0) | (m[0] != m[1]));
  for (int x = 1; x + 1 < w; ++x)
    c[x] = (m[x] != m[x - 1]) | (m[x] != m[x + 1]) | (m[x] != up[x]) | (m[x] != down[x]);
  c[w - 1] = std::uint8_t(across(w - 1) | (m[w - 1] != m[w - 2]));
}

int Span(int at, int r, int size) { return std::min(size - 1, at + r) - std::max(0, at - r) + 1; }

// change[i]: 1 where pixel i has another level of `matte` than one of its
// four neighbours (each pair that differs marks both of its pixels).
std::vector<std::uint8_t> Changes(const std::vector<std::uint8_t>& matte, int w, int h) {
  const std::size_t W = std::size_t(w);
  std::vector<std::uint8_t> change(matte.size(), 0);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* m = &matte[std::size_t(y) * W];
    // A side without a neighbour compares the row with itself.
    const std::uint8_t* up = y > 0 ? m - W : m;
    const std::uint8_t* down = y + 1 < h ? m + W : m;
    ChangesRow(m, up, down, w, &change[std::size_t(y) * W]);
  }
  return change;
}

// near[i]: 1 where some pixel within `reach` (chessboard) is marked in
// `change`: elsewhere every window around is flat.
std::vector<std::uint8_t> Near(std::vector<std::uint8_t> near, int w, int h, int reach) {
  std::vector<std::uint8_t> scratch(near.size());
  SquareNear<1>(near, scratch, w, h, reach, 1);
  return near;
}

constexpr int kStats = 13;  // I0 I1 I2 p, I0I0 I0I1 I0I2 I1I1 I1I2 I2I2, I0p I1p I2p
constexpr int kFit = 4;     // a0 a1 a2 b

// sum[x] = rows[0][x] + ... + rows[count - 1][x], x < n.
MATTIX_PLANE_LOOP
void ColumnSumsRow(const std::int32_t* const* rows, int count, int n,
                   std::int32_t* __restrict sum) {
  std::fill(sum, sum + n, 0);
  for (int v = 0; v < count; ++v) {
    const std::int32_t* __restrict row = rows[v];
    for (int x = 0; x < n; ++x) sum[x] += row[x];
  }
}

// The statistics of pixels lo..hi - 1 of a row (guide g, BGRA; matte m),
// values[k][u - lo], as running sums: sums[k][u - lo + 1] is the sum of
// pixels lo..u. In unsigned arithmetic: a difference of two is the exact
// sum of the pixels between (a window's sum is far below 2^32).
MATTIX_PLANE_LOOP
void RunningStatsRow(const std::uint8_t* __restrict g, const std::uint8_t* __restrict m, int lo,
                     int hi, std::uint32_t* const* sums) {
  // Spelled out, so that each running total stays in a register.
  std::uint32_t* __restrict s0 = sums[0], * __restrict s1 = sums[1], * __restrict s2 = sums[2], * __restrict s3 = sums[3], * __restrict s4 = sums[4], * __restrict s5 = sums[5], * __restrict s6 = sums[6], * __restrict s7 = sums[7], * __restrict s8 = sums[8], * __restrict s9 = sums[9], * __restrict s10 = sums[10], * __restrict s11 = sums[11], * __restrict s12 = sums[12];
  std::uint32_t t0 = 0, t1 = 0, t2 = 0, t3 = 0, t4 = 0, t5 = 0, t6 = 0, t7 = 0, t8 = 0, t9 = 0,
                t10 = 0, t11 = 0, t12 = 0;
  s0[0] = s1[0] = s2[0] = s3[0] = s4[0] = s5[0] = s6[0] = s7[0] = s8[0] = s9[0] = s10[0] = s11[0] =
      s12[0] = 0;
  for (int u = lo, i = 1; u < hi; ++u, ++i) {
    const std::uint32_t i0 = g[4 * u], i1 = g[4 * u + 1], i2 = g[4 * u + 2], p = m[u];
    s0[i] = t0 += i0;
    s1[i] = t1 += i1;
    s2[i] = t2 += i2;
    s3[i] = t3 += p;
    s4[i] = t4 += i0 * i0;
    s5[i] = t5 += i0 * i1;
    s6[i] = t6 += i0 * i2;
    s7[i] = t7 += i1 * i1;
    s8[i] = t8 += i1 * i2;
    s9[i] = t9 += i2 * i2;
    s10[i] = t10 += i0 * p;
    s11[i] = t11 += i1 * p;
    s12[i] = t12 += i2 * p;
  }
}

// The least-squares fit of each window from its sums (exact integers over
// `count[x]` pixels, colours and alpha in levels): fits[0..2][x] = a,
// fits[3][x] = b, colours and alpha taken as 0 to 1.
MATTIX_PLANE_LOOP
void FitRow(const std::int32_t* const* sums, const std::int32_t* count, int n, double eps,
            double* const* fits) {
  for (int x = 0; x < n; ++x) {
    // Means.
    const double levels = 1.0 / (double(count[x]) * 255.0), squares = levels / 255.0;
    const double m0 = double(sums[0][x]) * levels, m1 = double(sums[1][x]) * levels,
                 m2 = double(sums[2][x]) * levels, mp = double(sums[3][x]) * levels;
    const double v00 = double(sums[4][x]) * squares - m0 * m0 + eps;
    const double v01 = double(sums[5][x]) * squares - m0 * m1;
    const double v02 = double(sums[6][x]) * squares - m0 * m2;
    const double v11 = double(sums[7][x]) * squares - m1 * m1 + eps;
    const double v12 = double(sums[8][x]) * squares - m1 * m2;
    const double v22 = double(sums[9][x]) * squares - m2 * m2 + eps;
    const double c0 = double(sums[10][x]) * squares - m0 * mp;
    const double c1 = double(sums[11][x]) * squares - m1 * mp;
    const double c2 = double(sums[12][x]) * squares - m2 * mp;
    // The symmetric 3 x 3 system by its cofactors (positive definite: a
    // covariance plus eps on the diagonal).
    const double k00 = v11 * v22 - v12 * v12, k01 = v02 * v12 - v01 * v22,
                 k02 = v01 * v12 - v02 * v11, k11 = v00 * v22 - v02 * v02,
                 k12 = v01 * v02 - v00 * v12, k22 = v00 * v11 - v01 * v01;
    const double det = v00 * k00 + v01 * k01 + v02 * k02;
    const double a0 = (k00 * c0 + k01 * c1 + k02 * c2) / det;
    const double a1 = (k01 * c0 + k11 * c1 + k12 * c2) / det;
    const double a2 = (k02 * c0 + k12 * c1 + k22 * c2) / det;
    fits[0][x] = a0;
    fits[1][x] = a1;
    fits[2][x] = a2;
    fits[3][x] = mp - a0 * m0 - a1 * m1 - a2 * m2;
  }
}

// sums[k][x] += terms[k][x + d] for d = 0..taps - 1 in order, x < n: the
// windows of one row added to the pixels' sums.
MATTIX_PLANE_LOOP
void AddWindowsRow(const double* const* terms, int taps, int n, double* const* sums) {
  for (int k = 0; k < kFit; ++k)
    for (int d = 0; d < taps; ++d) {
      const double* t = terms[k] + d;
      double* s = sums[k];
      for (int x = 0; x < n; ++x) s[x] += t[x];
    }
}

// The window sums of one statistic for pixels first..end - 1 of a row from
// its running sums over pixels lo..: out[x] = sum of pixels max(0, x - r)
// to min(w - 1, x + r).
MATTIX_PLANE_LOOP
void WindowSumsRow(const std::uint32_t* __restrict running, int lo, int first, int end, int r,
                   int w, std::int32_t* __restrict out) {
  const int inFirst = std::clamp(r, first, end), inEnd = std::clamp(w - r - 1, inFirst, end);
  for (int x = first; x < inFirst; ++x)
    out[x] = std::int32_t(running[std::min(w, x + r + 1) - lo] - running[std::max(0, x - r) - lo]);
  const std::uint32_t* __restrict add = running + (r + 1 - lo);
  const std::uint32_t* __restrict take = running - (r + lo);
  for (int x = inFirst; x < inEnd; ++x) out[x] = std::int32_t(add[x] - take[x]);
  for (int x = inEnd; x < end; ++x)
    out[x] = std::int32_t(running[std::min(w, x + r + 1) - lo] - running[std::max(0, x - r) - lo]);
}

// terms[k][i] = window lo + i's fit, i < n: its own where it is fitted,
// else the flat one (0, 0, 0, level / 255).
MATTIX_PLANE_LOOP
void WindowTermsRow(const double* const* fit, const std::uint8_t* __restrict isFitted,
                    const std::uint8_t* __restrict level, int n, double* const* terms) {
  const double* __restrict f0 = fit[0];
  const double* __restrict f1 = fit[1];
  const double* __restrict f2 = fit[2];
  const double* __restrict f3 = fit[3];
  double* __restrict t0 = terms[0];
  double* __restrict t1 = terms[1];
  double* __restrict t2 = terms[2];
  double* __restrict t3 = terms[3];
  for (int i = 0; i < n; ++i) {
    const bool own = isFitted[i] != 0;
    t0[i] = own ? f0[i] : 0.0;
    t1[i] = own ? f1[i] : 0.0;
    t2[i] = own ? f2[i] : 0.0;
    t3[i] = own ? f3[i] : level[i] / 255.0;
  }
}

// Each pixel's result from the sum of its windows' fits (f), the count of
// those windows and its colour: round(255 q), halves up, with q = a . I +
// b of the mean fit kept to 0..1.
MATTIX_PLANE_LOOP
void ApplyFitsRow(const double* const* f, const std::int32_t* __restrict count,
                  const std::uint8_t* __restrict g, int n, std::uint8_t* __restrict out) {
  const double* __restrict f0 = f[0];
  const double* __restrict f1 = f[1];
  const double* __restrict f2 = f[2];
  const double* __restrict f3 = f[3];
  for (int x = 0; x < n; ++x) {
    const double q = (f0[x] * g[4 * x] / 255.0 + f1[x] * g[4 * x + 1] / 255.0 +
                      f2[x] * g[4 * x + 2] / 255.0 + f3[x]) /
                     double(count[x]);
    // RoundNonNegative in 32 bits, which vector instructions convert.
    const double v = (q < 0.0 ? 0.0 : 1.0 < q ? 1.0 : q) * 255.0;
    const int whole = int(v);
    out[x] = std::uint8_t(v - double(whole) >= 0.5 ? whole + 1 : whole);
  }
}

}  // namespace

void GuidedFilterAlpha(const std::uint8_t* guide, std::size_t stride, std::uint8_t* alpha, int w,
                       int h, int r, double eps) {
  // Work goes in strips of rows; a strip's fits need the statistics of r
  // rows more on each side, and its results the fits of r rows more: the
  // matte is read from a copy, as the strips above are already written.
  // Planes are stored a quantity at a time ([row][quantity][x]), so that
  // the row kernels run along x.
  constexpr int kStrip = 32;
  const std::size_t W = std::size_t(w);
  const std::vector<std::uint8_t> matte(alpha, alpha + W * std::size_t(h));
  // A window with one level throughout fits a = 0, b = that level; a pixel
  // all of whose windows are so keeps its level. Only windows within r of
  // a change of level are fitted, and pixels within 2 r worked out.
  const std::vector<std::uint8_t> change = Changes(matte, w, h);
  const std::vector<std::uint8_t> fitted = Near(change, w, h, r);
  const std::vector<std::uint8_t> worked = Near(change, w, h, 2 * r);
  // Scratch rows, as long as a row and its windows' reach on both sides.
  const std::size_t span = W + 2 * std::size_t(r) + 1;
  std::vector<std::uint32_t> running(kStats * span);
  std::vector<std::int32_t> columnSums(kStats * span), counts(span);
  std::vector<double> terms(kFit * span), fitSums(kFit * span);
  // counts[x - first]: how many windows of rows from..to hold pixel x.
  const auto countWindows = [&](int from, int to, int first, int end) {
    for (int x = first; x < end; ++x)
      counts[std::size_t(x - first)] = (to - from + 1) * Span(x, r, w);
  };
  const auto planes = [](auto& v, int count, std::size_t length) {
    std::vector<decltype(v.data())> p;
    p.resize(std::size_t(count));
    for (int k = 0; k < count; ++k) p[std::size_t(k)] = v.data() + std::size_t(k) * length;
    return p;
  };
  const auto runningRows = planes(running, kStats, span);
  const auto columnRows = planes(columnSums, kStats, span);
  const auto termRows = planes(terms, kFit, span);
  const auto fitSumRows = planes(fitSums, kFit, span);
  // [row][statistic][x], window sums along x, and [row][a0 a1 a2 b][x], a
  // strip's rows. The fits are zeroed once: a window that is not fitted has
  // its slot read (and its value dropped), so every slot holds a number.
  std::vector<std::int32_t> stats(std::size_t(std::min(h, kStrip + 4 * r)) * kStats * W);
  std::vector<double> fits(std::size_t(std::min(h, kStrip + 2 * r)) * kFit * W, 0.0);
  std::vector<const std::int32_t*> statRows(std::size_t(2 * r + 1));
  std::vector<double*> fitOut(kFit);
  std::vector<const double*> fitIn(kFit);
  std::vector<double*> termOut(kFit);
  for (int y0 = 0; y0 < h; y0 += kStrip) {
    const int y1 = std::min(h, y0 + kStrip);
    const int fitFirst = std::max(0, y0 - r), fitEnd = std::min(h, y1 + r);
    const int statFirst = std::max(0, fitFirst - r), statEnd = std::min(h, fitEnd + r);

    // Each row's window sums of the statistics, in levels (exact in
    // integers: at most 17 x 17 x 255^2 in a window), where a fitted window
    // reads them (within 2 r of a change of level): running sums over each
    // run of those and the window's reach on both sides, differenced.
    for (int y = statFirst; y < statEnd; ++y) {
      const std::uint8_t* g = guide + std::size_t(y) * stride;
      const std::uint8_t* m = &matte[std::size_t(y) * W];
      std::int32_t* out = &stats[std::size_t(y - statFirst) * kStats * W];
      ForEachRun(&worked[std::size_t(y) * W], w, [&](int first, int end) {
        const int lo = std::max(0, first - r), hi = std::min(w, end + r);
        RunningStatsRow(g, m, lo, hi, runningRows.data());
        for (int k = 0; k < kStats; ++k)
          WindowSumsRow(runningRows[std::size_t(k)], lo, first, end, r, w,
                        out + std::size_t(k) * W);
      });
    }

    // The fits of the windows centred on the rows fitFirst..fitEnd - 1, of
    // those that are fitted: the window sums of the rows around, added.
    for (int y = fitFirst; y < fitEnd; ++y) {
      const int from = std::max(0, y - r), to = std::min(h - 1, y + r);
      double* out = &fits[std::size_t(y - fitFirst) * kFit * W];
      ForEachRun(&fitted[std::size_t(y) * W], w, [&](int first, int end) {
        const std::size_t n = std::size_t(end - first);
        for (int k = 0; k < kStats; ++k) {
          for (int v = from; v <= to; ++v)
            statRows[std::size_t(v - from)] =
                &stats[(std::size_t(v - statFirst) * kStats + std::size_t(k)) * W +
                       std::size_t(first)];
          ColumnSumsRow(statRows.data(), to - from + 1, int(n), columnRows[std::size_t(k)]);
        }
        countWindows(from, to, first, end);
        for (int k = 0; k < kFit; ++k)
          fitOut[std::size_t(k)] = out + std::size_t(k) * W + std::size_t(first);
        FitRow(columnRows.data(), counts.data(), int(n), eps, fitOut.data());
      });
    }

    // Each pixel: the mean fit of the windows that hold it, at its colour.
    // A window that is not fitted is flat: a = 0, b its level. The windows
    // are added row by row, left to right; those beyond the frame's sides
    // add 0.
    for (int y = y0; y < y1; ++y) {
      const int from = std::max(0, y - r), to = std::min(h - 1, y + r);
      const std::uint8_t* g = guide + std::size_t(y) * stride;
      ForEachRun(&worked[std::size_t(y) * W], w, [&](int first, int end) {
        const int n = end - first, taps = 2 * r + 1;
        for (int k = 0; k < kFit; ++k)
          std::fill(fitSumRows[std::size_t(k)], fitSumRows[std::size_t(k)] + n, 0.0);
        for (int v = from; v <= to; ++v) {
          // terms[k][i]: window u = first - r + i's a0 a1 a2 b.
          const double* fit = &fits[std::size_t(v - fitFirst) * kFit * W];
          const std::uint8_t* isFitted = &fitted[std::size_t(v) * W];
          const std::uint8_t* level = &matte[std::size_t(v) * W];
          // Windows beyond the frame's sides add 0.
          const int lo = std::max(0, first - r), hi = std::min(w, end + r);
          const std::size_t pad = std::size_t(lo - (first - r));
          for (int k = 0; k < kFit; ++k) {
            double* t = termRows[std::size_t(k)];
            std::fill(t, t + pad, 0.0);
            std::fill(t + pad + std::size_t(hi - lo), t + std::size_t(n + 2 * r), 0.0);
            fitIn[std::size_t(k)] = fit + std::size_t(k) * W + std::size_t(lo);
            termOut[std::size_t(k)] = t + pad;
          }
          WindowTermsRow(fitIn.data(), isFitted + lo, level + lo, hi - lo, termOut.data());
          AddWindowsRow(termRows.data(), taps, n, fitSumRows.data());
        }
        countWindows(from, to, first, end);
        ApplyFitsRow(fitSumRows.data(), counts.data(), g + 4 * std::size_t(first), n,
                     alpha + std::size_t(y) * W + std::size_t(first));
      });
    }
  }
}

}  // namespace mattix::matte::internal
