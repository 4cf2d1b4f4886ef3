#pragma once
// The fills' brute-force reference: the pixels an even-odd fill of a polygon
// sets, evaluated row by row from the edges' ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace scan_test {

// Brute-force reference, sharing nothing with the converter but the rules:
// for each row, every edge is tested against the row's centre line c = y +
// 0.5 (an edge crosses it when its upper end has y <= c and its lower end
// y > c: half-open, so a line through a vertex counts each side once), the
// crossing x is evaluated directly from the edge's ends in extended
// precision, the crossings are sorted and paired by the even-odd rule, and
// each span end is rounded with halves away from zero (llroundl) and clamped
// into the image on its own.
//
// Where the two may legitimately differ: the converter evaluates x
// incrementally in double (x at the edge's first row, then + dx per row), so
// its value carries rounding error, and it sorts those approximations. A span
// end whose exact position lies within kTolerance of a half-integer may
// therefore round to either neighbour (this includes the formula's own quirk
// at 0.49999999999999994, which rounds to 1). Crossings that the error could
// reorder are that close to each other, and swapping them changes the spans
// only at such a half-integer. The reference records both choices for those
// ends: `must` holds the pixels set under the narrower choice, `may` those
// under the wider one; outside `may` - `must` the comparison is exact.
// An edge whose ends lie on the half-pixel grid and whose slope is a short
// binary fraction (run over rise 1/2, 3/4, -5/8...) has exact double values
// on every centre line however they are evaluated, so its ends are compared
// exactly even at half-integers; lasso edges whose rise has an odd factor
// (1/3, 2/6...) and land exactly on a half-integer remain undecided, and so
// does an exact crossing that coincides with such an inexact one, since the
// two may trade places in the converter's sort (one ends a span, the other
// starts the next). The
// classification of vertices against centre lines uses the same double
// comparisons in both, so it never differs.
constexpr long double kTolerance = 1e-8L;

inline bool ExactInDouble(double ux, double uy, double lx, double ly) {
  const auto onGrid = [](double c) { return std::fabs(c) < 1048576 && c * 2 == std::floor(c * 2); };
  if (!onGrid(ux) || !onGrid(uy) || !onGrid(lx) || !onGrid(ly)) return false;
  const long double scaled = (static_cast<long double>(lx) - ux) / (ly - uy) * 1048576.0L;
  return scaled == std::floor(scaled);
}

struct Crossing {
  long double x;
  bool exact;
  bool operator<(const Crossing& o) const { return x < o.x; }
};

struct Reference {
  std::vector<char> must, may;  // picture order, top row first
  int ends = 0, ambiguousEnds = 0;
};

inline Reference ReferenceFill(int width, int height, const std::vector<double>& v) {
  Reference ref;
  ref.must.assign(std::size_t(width) * height, 0);
  ref.may = ref.must;
  const int n = int(v.size() / 2);
  for (int row = 0; row < height; ++row) {
    const double centre = row + 0.5;
    std::vector<Crossing> xs;
    for (int i = 0; i < n; ++i) {
      const int j = (i + 1) % n;
      double ux = v[2 * i], uy = v[2 * i + 1], lx = v[2 * j], ly = v[2 * j + 1];
      if (uy > ly) {
        std::swap(ux, lx);
        std::swap(uy, ly);
      }
      if (!(uy <= centre && centre < ly)) continue;
      using LD = long double;
      xs.push_back(
          {ux + (LD(centre) - uy) * (LD(lx) - ux) / (LD(ly) - uy), ExactInDouble(ux, uy, lx, ly)});
    }
    EXPECT_EQ(xs.size() % 2, 0u) << "a closed polygon crosses a line an even number of times";
    std::sort(xs.begin(), xs.end());
    for (std::size_t k = 0; k < xs.size(); ++k)
      if (!xs[k].exact)
        for (auto& other : xs)
          if (std::fabs(other.x - xs[k].x) <= 2 * kTolerance) other.exact = false;
    for (std::size_t k = 0; k + 1 < xs.size(); k += 2) {
      // Each end rounded from just below and just above (the same when exact).
      const auto end = [](const Crossing& c, long double side) {
        return llroundl(c.exact ? c.x : c.x + side);
      };
      const long long leftLow = end(xs[k], -kTolerance), leftHigh = end(xs[k], kTolerance);
      const long long rightLow = end(xs[k + 1], -kTolerance),
                      rightHigh = end(xs[k + 1], kTolerance);
      ref.ends += 2;
      ref.ambiguousEnds += (leftLow != leftHigh) + (rightLow != rightHigh);
      const auto mark = [&](std::vector<char>& out, long long a, long long b) {
        const auto clamp = [&](long long c) { return std::clamp<long long>(c, 0, width - 1); };
        for (long long x = clamp(a); x <= clamp(b); ++x) out[std::size_t(row * width + x)] = 1;
      };
      mark(ref.must, leftHigh, rightLow);
      mark(ref.may, leftLow, rightHigh);
    }
  }
  return ref;
}

}  // namespace scan_test
