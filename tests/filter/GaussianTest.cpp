// The recursive Gaussian. Its coefficient maths and line kernels against the
// sampled Gaussian, against the filter written from its definition in long
// double, and scalar against vector; then CGaussian on images: the walk over
// strips and rows, statuses, buffers and the MMX state, where a pass must
// equal that 1-D filter applied along its direction alone, and both
// directions the two passes in turn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "FilterTestUtil.h"
#include "filter/Gaussian.h"

namespace {

using namespace filtertest;
using stdfx::CGaussian;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Deriche's fit is good to a few 1e-4 of the total weight at every sigma.
TEST(DericheCoefficientsTest, ImpulseResponseIsTheSampledGaussian) {
  for (double r : {1.0, 2.0, 6.25, 31.640625, 100.0}) {
    const double sigma = SigmaOfRadius(r);
    const int half = int(12 * sigma) + 20;
    std::vector<int> x(2 * half + 1, 0);
    x[half] = 1;
    const std::vector<long double> h = DericheLine(x, ComputeDericheCoefficients(r));
    const double pi = std::acos(-1.0);
    double l1 = 0;
    for (int k = 0; k < int(x.size()); ++k) {
      const double j = k - half;
      l1 += std::fabs(double(h[k]) -
                      std::exp(-j * j / (2 * sigma * sigma)) / (std::sqrt(2 * pi) * sigma));
    }
    EXPECT_LT(l1, 1e-3) << r;
  }
}

// ---- Kernels ----

const double kRadii[] = {1.0, 6.25, 31.640625, 100.0};
const Path kPaths[] = {Path::kScalarFloat, Path::kVectorFloat, Path::kScalarDouble,
                       Path::kVectorDouble};

class KernelPathTest : public ::testing::TestWithParam<Path> {};

// Patterns: noise, a step, a ramp, thin bars; channel j shifts the phase.
int Pattern(int kind, int k, int j, int len, const std::vector<std::uint8_t>& noise) {
  const int values[] = {noise[(std::size_t(k) * 4 + j) % noise.size()],
                        (k + 7 * j) < len / 2 ? 0 : 255, (k * 255) / std::max(1, len - 1),
                        ((k + j) / 3) % 2 ? 255 : 0};
  return values[kind];
}

TEST_P(KernelPathTest, FollowsTheDefinitionWithinTheStatedBound) {
  // Output against round(p + q) of the filter written from its definition in
  // long double, for a line of 32-bit pixels and for 1 to 4 lanes of 8-bit
  // lines. Double precision: exact except within 1e-6 of a half. Single
  // precision: within 0.5 + 0.05 up to radius 31.64, 0.5 + 1.5 at radius 100
  // (the recursion's rounding errors grow as the poles approach 1).
  std::mt19937 rng(7);
  std::vector<std::uint8_t> noise(4096);
  for (std::uint8_t& b : noise) b = std::uint8_t(rng());
  const bool isDouble = IsDouble(GetParam());
  for (double r : kRadii) {
    const DericheCoefficients c = ComputeDericheCoefficients(r);
    LineRunner run(GetParam(), r, 600);
    const double slack = isDouble ? 1e-6 : (r < 50 ? 0.05 : 1.5);
    for (int len : {1, 3, 6, 57, 600})
      for (int kind = 0; kind < 4; ++kind) {
        SCOPED_TRACE(testing::Message() << "r " << r << " len " << len << " kind " << kind);
        const int lanes = 1 + (kind + len) % 4;
        const std::size_t n = std::size_t(len) * 4;
        std::vector<std::uint8_t> px(n), out(n), lines(n), outLines(n);
        std::vector<std::vector<int>> chan(4, std::vector<int>(len));
        for (int k = 0; k < len; ++k)
          for (int j = 0; j < 4; ++j)
            px[k * 4 + j] = lines[j * len + k] =
                std::uint8_t(chan[j][k] = Pattern(kind, k, j, len, noise));
        run.Pixels(px.data(), out.data(), len);
        run.Lines(lines.data(), len, outLines.data(), len, lanes, len);
        for (int j = 0; j < 4; ++j) {
          const std::vector<long double> y = DericheLine(chan[j], c);
          for (int k = 0; k < len; ++k) {
            const double exact = double(y[k]);
            for (int got : {int(out[k * 4 + j]), j < lanes ? int(outLines[j * len + k]) : -1}) {
              if (got < 0) continue;
              if (!isDouble) {
                ASSERT_LE(std::fabs(got - std::clamp(exact, 0.0, 255.0)), 0.5 + slack)
                    << k << " " << j;
              } else if (std::fabs(exact - std::floor(exact) - 0.5) >= slack) {
                ASSERT_EQ(got, std::clamp(int(std::floor(exact + 0.5)), 0, 255)) << k << " " << j;
              }
            }
          }
        }
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, KernelPathTest, ::testing::ValuesIn(kPaths));

// ---- Images ----

// The blur set to take a path: mode 2 (double) or 1 (float), vector
// instructions allowed or not.
std::unique_ptr<CGaussian> MakeBlur(Path path) {
  auto g = std::make_unique<CGaussian>(IsDouble(path) ? 2 : 1);
  g->ForceScalar(!IsVector(path));
  return g;
}

// The 1-D filter of a path on one line (a row or a column copied out), from
// the kernels directly.
std::vector<std::uint8_t> FilterLine(Path path, const std::vector<std::uint8_t>& line, int bits,
                                     double radius) {
  const int length = int(line.size()) / (bits / 8);
  LineRunner run(path, radius, length);
  std::vector<std::uint8_t> out(line.size());
  if (bits == 32)
    run.Pixels(line.data(), out.data(), length);
  else
    run.Lines(line.data(), 0, out.data(), 0, 1, length);
  return out;
}

class BlurPathTest : public ::testing::TestWithParam<Path> {};

TEST_P(BlurPathTest, OneDirectionFiltersEachRowOrColumn) {
  // Width, height, radii x and y. Widths leave partial strips of 1 and 5
  // columns besides full ones; a NaN radius skips its direction like 0;
  // radius 0.5 filters as 1, 250 as 100.
  const std::tuple<int, int, double, double> cases[] = {
      {241, 19, 6.25, 0.0}, {13, 6, 6.25, kNaN}, {1, 3, 6.25, 0.0}, {37, 5, 0.5, 0.0},
      {241, 209, 0.0, 5.0}, {13, 17, kNaN, 5.0}, {3, 1, 0.0, 5.0},  {9, 300, 0.0, 250.0}};
  for (int bits : {8, 32})
    for (const auto& [w, h, rx, ry] : cases) {
      SCOPED_TRACE(testing::Message() << bits << " " << w << "x" << h << " " << rx);
      Frame src(w, h, bits), dst(w, h, bits);
      src.Fill(21);
      ASSERT_EQ(MakeBlur(GetParam())->Blur(dst.dib(), src.dib(), rx, ry), 0);
      const bool rows = ry == 0.0 || std::isnan(ry);
      for (int i = 0; i < (rows ? h : w); ++i) {
        std::vector<std::uint8_t> line, got;
        for (int k = 0; k < (rows ? w : h); ++k)
          for (int ch = 0; ch < bits / 8; ++ch) {
            line.push_back(rows ? src.At(k, i, ch) : src.At(i, k, ch));
            got.push_back(rows ? dst.At(k, i, ch) : dst.At(i, k, ch));
          }
        ASSERT_EQ(got, FilterLine(GetParam(), line, bits, rows ? rx : ry)) << "line " << i;
      }
    }
}

// Both directions are the columns then the rows, in place or not; nothing
// outside the pixels is written, the source is read only, the buffers are
// released and the MMX state is left empty (the vector path must empty it).
TEST_P(BlurPathTest, BothDirectionsAreColumnsThenRowsAndTouchNothingElse) {
  DirtyMmxState();
  ASSERT_NE(FpuTagWord(), 0xFFFFu);  // the probe sees a used state
  EmptyMmxStateForTest();
  ASSERT_EQ(FpuTagWord(), 0xFFFFu);
  for (int bits : {8, 32}) {
    Frame src(29, 23, bits), once(29, 23, bits), cols(29, 23, bits), twice(29, 23, bits),
        same(29, 23, bits);
    for (Frame* f : {&src, &once, &cols, &twice, &same}) f->Fill(23);  // padding alike
    const auto input = src.pixels();
    auto blur = MakeBlur(GetParam());
    if (IsVector(GetParam())) DirtyMmxState();
    ASSERT_EQ(blur->Blur(once.dib(), src.dib(), 3.0, 8.0), 0);
    EXPECT_EQ(FpuTagWord(), 0xFFFFu);
    EXPECT_FALSE(blur->HasBuffers());
    EXPECT_EQ(src.pixels(), input);
    ASSERT_EQ(blur->Blur(cols.dib(), src.dib(), 0.0, 8.0), 0);
    ASSERT_EQ(blur->Blur(twice.dib(), cols.dib(), 3.0, 0.0), 0);
    ASSERT_EQ(blur->Blur(same.dib(), same.dib(), 3.0, 8.0), 0);
    EXPECT_EQ(once.pixels(), twice.pixels()) << bits;
    EXPECT_EQ(once.pixels(), same.pixels()) << bits;
    for (Frame* f : {&src, &once, &cols, &twice, &same}) EXPECT_TRUE(f->GuardsIntact());
  }
}

// ---- Statuses ----

// Refused depths and empty work: the status, and not a byte of the target
// written. A 24-bit target is refused by the buffer allocation, before the
// depths are compared: 20, not 27.
TEST_P(BlurPathTest, RefusedOrEmptyWorkLeavesTheTargetUntouched) {
  // Width, height, target and source depths, radii x and y, status.
  const std::tuple<int, int, int, int, double, double, int> cases[] = {
      {13, 7, 32, 8, 3, 3, 27}, {13, 7, 16, 16, 3, 3, 27},   {13, 7, 24, 24, 3, 3, 20},
      {0, 9, 8, 8, 5, 5, 0},    {9, 9, 8, 8, kNaN, kNaN, 0}, {9, 9, 32, 32, 1e-17, -1e-17, 0}};
  for (const auto& [w, h, targetBits, sourceBits, rx, ry, status] : cases) {
    Frame dst(w, h, targetBits), src(w, h, sourceBits);
    src.Fill(200);
    const auto before = dst.pixels();
    auto blur = MakeBlur(GetParam());
    EXPECT_EQ(blur->Blur(dst.dib(), src.dib(), rx, ry), status)
        << w << " " << targetBits << " " << rx;
    EXPECT_EQ(dst.pixels(), before);
    EXPECT_TRUE(dst.GuardsIntact());
    EXPECT_FALSE(blur->HasBuffers());
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, BlurPathTest, ::testing::ValuesIn(kPaths));

}  // namespace
