// The converter against a brute-force reference on random polygons, and the
// independence of the result from the vertices' direction and first vertex.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "TestMask.h"
#include "selection/ScanConvert.h"

namespace {

using scan_test::TestMask;

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

bool ExactInDouble(double ux, double uy, double lx, double ly) {
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

Reference ReferenceFill(int width, int height, const std::vector<double>& v) {
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

struct Family {
  const char* name;
  int width, height, polygons;
  // Appends the vertices of one polygon.
  std::function<void(std::mt19937&, int w, int h, std::vector<double>&)> make;
};

double Uniform(std::mt19937& rng, double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(rng);
}
int Between(std::mt19937& rng, int lo, int hi) {
  return std::uniform_int_distribution<int>(lo, hi)(rng);
}

void RandomBox(std::mt19937& rng, std::vector<double>& v, int n, double x0, double x1, double y0,
               double y1) {
  for (int i = 0; i < n; ++i) {
    v.push_back(Uniform(rng, x0, x1));
    v.push_back(Uniform(rng, y0, y1));
  }
}

bool IsFlat(const std::vector<double>& v) {
  for (std::size_t i = 3; i < v.size(); i += 2)
    if (v[i] != v[1]) return false;
  return true;
}

// Vertices on the half-pixel grid: centre lines, horizontal edges, repeats.
void HalfGridBox(std::mt19937& r, std::vector<double>& v, int n, int w, int h, int margin) {
  for (int i = 0; i < n; ++i) {
    v.push_back(Between(r, -margin, 2 * w + margin) * 0.5);
    v.push_back(Between(r, -margin, 2 * h + margin) * 0.5);
  }
}

const Family kFamilies[] = {
    {"Inside", 241, 209, 100,
     [](std::mt19937& r, int w, int h, std::vector<double>& v) {
       RandomBox(r, v, Between(r, 2, 12), 0, w, 0, h);  // 2: a segment
     }},
    {"PastEveryEdge", 241, 209, 80,
     [](std::mt19937& r, int w, int h, std::vector<double>& v) {
       const double s = Between(r, 0, 1) ? 1.0 : 8.0;  // half of them far out
       RandomBox(r, v, Between(r, 3, 20), -s * w, s * 2.0 * w, -s * h, s * 2.0 * h);
     }},
    {"Star", 241, 209, 60,
     [](std::mt19937& r, int w, int h, std::vector<double>& v) {
       // Simple polygons: radii around a centre at increasing angles.
       const int n = Between(r, 5, 40);
       const double cx = Uniform(r, -20, w + 20.0), cy = Uniform(r, -20, h + 20.0);
       std::vector<double> angles(static_cast<std::size_t>(n));
       for (double& a : angles) a = Uniform(r, 0, 6.283185307179586);
       std::sort(angles.begin(), angles.end());
       for (double a : angles) {
         const double radius = Uniform(r, 5, 180);
         v.push_back(cx + radius * std::cos(a));
         v.push_back(cy + radius * std::sin(a));
       }
     }},
    {"HalfGrid", 241, 209, 80,
     [](std::mt19937& r, int w, int h, std::vector<double>& v) {
       HalfGridBox(r, v, Between(r, 3, 15), w, h, 6);
     }},
    {"Small", 5, 3, 200,
     [](std::mt19937& r, int w, int h, std::vector<double>& v) {
       HalfGridBox(r, v, Between(r, 3, 9), w, h, 8);
     }},
    {"Lasso", 241, 209, 60,
     [](std::mt19937& r, int w, int h, std::vector<double>& v) {
       // A drag as the wheel records it: integer points clamped to 0..w and
       // 0..h, passed as (x, y + 0.5).
       const int n = Between(r, 20, 300);
       int x = Between(r, 0, w), y = Between(r, 0, h);
       for (int i = 0; i < n; ++i) {
         x = std::clamp(x + Between(r, -6, 6), 0, w);
         y = std::clamp(y + Between(r, -6, 6), 0, h);
         v.push_back(x);
         v.push_back(y + 0.5);
       }
     }},
};

std::vector<double> Polygon(const Family& f, std::mt19937& rng) {
  std::vector<double> v;
  do {
    v.clear();
    f.make(rng, f.width, f.height, v);
  } while (IsFlat(v));  // flat polygons have no crossings; tested on their own
  return v;
}

// Whatever the coordinates, a fill succeeds, writes only 255, and stays
// inside the picture (the padding markers and the sanitizers watch).
TestMask Fill(int w, int h, const std::vector<double>& v) {
  TestMask mask(w, h, 17);
  EXPECT_TRUE(CScanConvert().FillRaster(mask.Raster(), v.data(), int(v.size() / 2)));
  EXPECT_TRUE(mask.PaddingIntact());
  EXPECT_EQ(mask.Picture().find('?'), std::string::npos);
  return mask;
}

class AgainstReference : public ::testing::TestWithParam<Family> {};

TEST_P(AgainstReference, MatchesBruteForceExceptAtHalfIntegerEnds) {
  const Family& f = GetParam();
  std::mt19937 rng(2024);
  long long compared = 0, undecided = 0, filled = 0;
  int ends = 0, ambiguousEnds = 0;
  for (int p = 0; p < f.polygons; ++p) {
    const std::vector<double> v = Polygon(f, rng);
    const TestMask mask = Fill(f.width, f.height, v);
    const Reference ref = ReferenceFill(f.width, f.height, v);
    ends += ref.ends;
    ambiguousEnds += ref.ambiguousEnds;
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x) {
        const std::size_t i = std::size_t(y) * f.width + x;
        const bool got = mask.At(x, y) == 255;
        filled += got;
        if (ref.must[i] != ref.may[i]) {
          ++undecided;
        } else {
          ++compared;
          ASSERT_EQ(got, ref.must[i] != 0)
              << "polygon " << p << " pixel (" << x << ", " << y << ")";
        }
      }
  }
  // The exact comparison covers nearly everything, and the fills are not
  // trivially empty.
  EXPECT_GT(filled, f.polygons);
  EXPECT_LT(undecided * 100, compared);
  EXPECT_LE(ambiguousEnds * 20, ends) << ambiguousEnds << " of " << ends;
}

INSTANTIATE_TEST_SUITE_P(Families, AgainstReference, ::testing::ValuesIn(kFamilies),
                         [](const auto& tp) { return std::string(tp.param.name); });

// A polygon's fill does not depend on where its vertex list starts or on
// which way round it goes, and here the converter's own rules make that exact,
// bit for bit:
//  - Each edge is set up from its upper and lower end, never from its
//    direction, so reversing or rotating the list gives every edge the same x
//    and dx; only its number changes.
//  - An edge opens on the row where its upper end is reached and closes on
//    the row where its lower end is reached; which edges are active on a row
//    does not depend on the order in which vertices of equal y are taken.
//  - The spans of a row come from the sorted active x values alone: which
//    edge holds which of two equal values cannot change a span.
//  - The flat and one-vertex cases use the extremes of x and vertex 0's y,
//    and every vertex of a flat polygon has that y.
// This holds for non-finite coordinates too (NaN x sort last and draw
// nothing; NaN-y vertices are never reached wherever they stand), so the
// family with such values is compared exactly as well.
// The same polygon listed from vertex `start`, forwards or backwards.
std::vector<double> Reordered(const std::vector<double>& v, int start, bool reverse) {
  std::vector<double> out;
  const int n = int(v.size() / 2);
  for (int k = 0; k < n; ++k) {
    const int i = (start + (reverse ? n - k : k)) % n;
    out.push_back(v[2 * i]);
    out.push_back(v[2 * i + 1]);
  }
  return out;
}

// Coordinates chosen to break things: non-finite, beyond int, tiny, signed
// zero, and ordinary ones among them.
double Nasty(std::mt19937& r, double span) {
  const double inf = std::numeric_limits<double>::infinity();
  const double pool[] = {std::nan(""), inf, -inf, DBL_MAX, -DBL_MAX, 1e300,
                         -1e300,       3e9, -3e9, 1e-300,  -0.0,     0.5};
  if (Between(r, 0, 2) == 0) return pool[Between(r, 0, 11)];
  return Uniform(r, -5, span + 5);
}

const Family kNonFinite = {"NonFinite", 31, 23, 1000,
                           [](std::mt19937& r, int w, int h, std::vector<double>& v) {
                             const int n = Between(r, 1, 12);
                             for (int i = 0; i < n; ++i) {
                               v.push_back(Nasty(r, w));
                               v.push_back(Nasty(r, h));
                             }
                           }};

class Independence : public ::testing::TestWithParam<Family> {};

TEST_P(Independence, SameFillForAnyStartAndDirection) {
  const Family& f = GetParam();
  std::mt19937 rng(77);
  int touched = 0;
  for (int p = 0; p < f.polygons; ++p) {
    std::vector<double> v;
    f.make(rng, f.width, f.height, v);
    const int n = int(v.size() / 2);
    const auto reference = Fill(f.width, f.height, v).Bytes();
    const int start = Between(rng, 0, n - 1);
    touched += std::count(reference.begin(), reference.end(), 255) > 0;
    for (const auto& [from, reverse] :
         {std::pair{0, true}, std::pair{start, false}, std::pair{start, true}})
      EXPECT_EQ(Fill(f.width, f.height, Reordered(v, from, reverse)).Bytes(), reference)
          << p << " " << from;
  }
  EXPECT_GT(touched * 10, f.polygons);  // not every fill is empty
}

INSTANTIATE_TEST_SUITE_P(Families, Independence, ::testing::ValuesIn(kFamilies),
                         [](const auto& tp) { return std::string(tp.param.name); });
INSTANTIATE_TEST_SUITE_P(Nasty, Independence, ::testing::Values(kNonFinite),
                         [](const auto& tp) { return std::string(tp.param.name); });

}  // namespace
