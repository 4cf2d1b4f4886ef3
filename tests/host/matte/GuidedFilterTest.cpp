// The guided filter against its definition solved directly: each window's
// least-squares fit of the matte to the colour, from the 4 x 4 normal
// equations of the window's pixels, averaged over the windows that hold a
// pixel.
#include "host/matte/internal/GuidedFilter.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace mattix::matte::internal {
namespace {

// x of A x = y by Gaussian elimination with partial pivoting.
std::array<double, 4> Solve(std::array<std::array<double, 5>, 4> m) {
  for (int c = 0; c < 4; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 4; ++r)
      if (std::fabs(m[r][c]) > std::fabs(m[pivot][c])) pivot = r;
    std::swap(m[c], m[pivot]);
    for (int r = 0; r < 4; ++r)
      if (r != c)
        for (int k = 4; k >= c; --k) m[r][k] -= m[r][c] / m[c][c] * m[c][k];
  }
  return {m[0][4] / m[0][0], m[1][4] / m[1][1], m[2][4] / m[2][2], m[3][4] / m[3][3]};
}

// Dense: every pixel's level partly the colour's, partly noise, so that fits
// are neither exact nor flat. Sparse: one level but for a few pixels and a
// column, so that only runs of windows near them are fitted, some at the
// rows' ends.
void CheckAgainstDirectFits(int w, int h, bool sparse, std::initializer_list<int> radii) {
  constexpr double eps = 1e-3;
  std::mt19937 random(11);
  std::vector<std::uint8_t> guide(std::size_t(w * h * 4)), matte(std::size_t(w * h));
  for (std::size_t i = 0; i < matte.size(); ++i) {
    for (int c = 0; c < 3; ++c) guide[i * 4 + c] = std::uint8_t(random());
    matte[i] = sparse ? 200 : std::uint8_t((guide[i * 4 + 1] + random() % 256) / 2);
  }
  if (sparse) {
    for (const int at : {0, 5 * w + 17, 6 * w + 17, 3 * w + w - 1, 8 * w + 30})
      matte[std::size_t(at)] = std::uint8_t(random());
    for (int y = 0; y < h; ++y) matte[std::size_t(y * w + 25)] = 90;  // a change along rows only
  }
  const auto colour = [&](int x, int y, int c) { return guide[(y * w + x) * 4 + c] / 255.0; };
  for (const int r : radii) {
    std::vector<std::array<double, 4>> fit(w * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::array<std::array<double, 5>, 4> m{};
        for (int v = std::max(0, y - r); v <= std::min(h - 1, y + r); ++v)
          for (int u = std::max(0, x - r); u <= std::min(w - 1, x + r); ++u) {
            const double f[4] = {colour(u, v, 0), colour(u, v, 1), colour(u, v, 2), 1.0};
            for (int i = 0; i < 4; ++i) {
              for (int j = 0; j < 4; ++j) m[i][j] += f[i] * f[j] + (i == j && i < 3 ? eps : 0);
              m[i][4] += f[i] * matte[v * w + u] / 255.0;
            }
          }
        fit[y * w + x] = Solve(m);
      }
    std::vector<std::uint8_t> alpha = matte;
    GuidedFilterAlpha(guide.data(), w * 4, alpha.data(), w, h, r, eps);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        double sum = 0;
        int count = 0;
        for (int v = std::max(0, y - r); v <= std::min(h - 1, y + r); ++v)
          for (int u = std::max(0, x - r); u <= std::min(w - 1, x + r); ++u, ++count) {
            const std::array<double, 4>& a = fit[v * w + u];
            sum += a[0] * colour(x, y, 0) + a[1] * colour(x, y, 1) + a[2] * colour(x, y, 2) + a[3];
          }
        const double want = std::clamp(sum / count, 0.0, 1.0) * 255.0;
        ASSERT_NEAR(alpha[y * w + x], want, 0.5 + 1e-6)
            << "radius " << r << " at " << x << "," << y;
      }
  }
}

TEST(GuidedFilter, EachPixelIsTheMeanOfItsWindowsLeastSquaresFits) {
  CheckAgainstDirectFits(13, 11, false, {1, 2});
  CheckAgainstDirectFits(41, 9, true, {1, 3});
}

}  // namespace
}  // namespace mattix::matte::internal
