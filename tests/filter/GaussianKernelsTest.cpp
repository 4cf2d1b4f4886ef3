// Coefficient maths and line kernels of the recursive Gaussian, checked against
// the sampled Gaussian, against the filter written from its definition in long
// double, and scalar against vector.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "FilterTestUtil.h"
#include "stdfx/Tables.h"

namespace {

using namespace filtertest;

double Gain(const DericheCoefficients& c) {
  double n = 0, m = 0, d = 1;
  for (int i = 0; i < 5; ++i) n += c.n[i], m += c.m[i], d += c.d[i];
  return (n + m) / d;
}

bool SameCoefficients(double a, double b) {
  const DericheCoefficients ca = ComputeDericheCoefficients(a), cb = ComputeDericheCoefficients(b);
  return std::memcmp(&ca, &cb, sizeof ca) == 0;
}

TEST(DericheCoefficientsTest, RadiusIsLimitedToOneAndHundred) {
  const double inf = std::numeric_limits<double>::infinity();
  const double pairs[][2] = {{0.5, 1},  {0, 1},     {-3, 1},      {std::nan(""), 1},
                             {-inf, 1}, {250, 100}, {100.5, 100}, {inf, 100}};
  for (const auto& p : pairs) EXPECT_TRUE(SameCoefficients(p[0], p[1])) << p[0];
  EXPECT_FALSE(SameCoefficients(1.0, 1.5) || SameCoefficients(99.0, 100.0));  // not constant
}

TEST(DericheCoefficientsTest, GainIsOneWithinTheFitAtEveryRadius) {
  // 255 * 1.3e-3 < 0.5: a constant 255 still rounds to 255.
  for (double r = 1.0; r <= 100.0; r += 0.25)
    EXPECT_NEAR(Gain(ComputeDericheCoefficients(r)), 1.0, 1.3e-3) << r;
}

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

// The filter is linear, so the extremes of its output over inputs 0..255 are
// 255 times the sums of the positive and of the negative weights of each
// output sample; they must stay inside the 8-bit clamp table that the scalar
// kernels index with trunc(v + 0.5). Radii and lengths cover the small
// filters (where the fit is roughest) and the mask's sides.
TEST(DericheCoefficientsTest, OutputStaysInsideTheClampTable) {
  double lowest = 0, highest = 0;
  for (double r : {1.0, 1.5, 2.0, 3.0, 6.25, 31.640625, 100.0})
    for (int len : {1, 2, 5, 17, 40, 97, 209, 241}) {
      std::vector<double> pos(len, 0.0), neg(len, 0.0);
      for (int j = 0; j < len; ++j) {
        std::vector<int> impulse(len, 0);
        impulse[j] = 1;
        const auto y = DericheLine(impulse, ComputeDericheCoefficients(r));
        for (int k = 0; k < len; ++k) (y[k] > 0 ? pos[k] : neg[k]) += double(y[k]);
      }
      lowest = std::min(lowest, 255 * *std::min_element(neg.begin(), neg.end()));
      highest = std::max(highest, 255 * *std::max_element(pos.begin(), pos.end()));
    }
  EXPECT_GT(lowest, -0.05);  // the documented bound
  EXPECT_LT(highest, 255.37);
  EXPECT_LE(-stdfx::CTables::k8bitBefore, std::trunc(lowest + 0.5));
  EXPECT_GE(stdfx::CTables::k8bitEntries - stdfx::CTables::k8bitBefore - 1,
            std::trunc(highest + 0.5));
}

// ---- Kernels ----

const double kRadii[] = {1.0, 6.25, 31.640625, 100.0};

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
  // long double. Double precision: exact except within 1e-6 of a half. Single
  // precision: within 0.5 + 0.05 up to radius 31.64, 0.5 + 1.5 at radius 100
  // (the recursion's rounding errors grow as the poles approach 1).
  const std::vector<std::uint8_t> noise = RandomBytes(4096, 7);
  for (double r : kRadii) {
    const DericheCoefficients c = ComputeDericheCoefficients(r);
    LineRunner run(GetParam(), r, 600);
    const double slack = IsDouble(GetParam()) ? 1e-6 : (r < 50 ? 0.05 : 1.5);
    for (int len : {1, 3, 6, 57, 600})
      for (int kind = 0; kind < 4; ++kind) {
        SCOPED_TRACE(testing::Message() << "r " << r << " len " << len << " kind " << kind);
        std::vector<std::uint8_t> px(std::size_t(len) * 4), out(px.size());
        std::vector<std::vector<int>> chan(4, std::vector<int>(len));
        for (int k = 0; k < len; ++k)
          for (int j = 0; j < 4; ++j)
            px[k * 4 + j] = std::uint8_t(chan[j][k] = Pattern(kind, k, j, len, noise));
        run.Pixels(px.data(), out.data(), len);
        for (int j = 0; j < 4; ++j) {
          const std::vector<long double> y = DericheLine(chan[j], c);
          for (int k = 0; k < len; ++k) {
            const double exact = double(y[k]);
            const int got = out[k * 4 + j];
            if (!IsDouble(GetParam())) {
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

INSTANTIATE_TEST_SUITE_P(Paths, KernelPathTest,
                         ::testing::Values(Path::kScalarFloat, Path::kVectorFloat,
                                           Path::kScalarDouble, Path::kVectorDouble));

// Scalar against vector of the same precision: the passes agree bit for bit,
// and an output differs (by one) only where p + q + G x[0] lies on a half.
struct PairCase {
  Path scalar;
  Path vector;
  double halfTolerance;  // distance from a half that counts as "on" it
};

class ScalarVectorTest : public ::testing::TestWithParam<PairCase> {};

TEST_P(ScalarVectorTest, PassesAgreeAndOutputsDifferOnlyOnHalves) {
  const PairCase pc = GetParam();
  const std::vector<std::uint8_t> noise = RandomBytes(1 << 14, 17);
  int differences = 0, samples = 0;
  for (double r : {1.0, 2.5, 6.25, 31.640625, 100.0}) {
    LineRunner s(pc.scalar, r, 1080), v(pc.vector, r, 1080);
    for (int len : {1, 2, 3, 5, 7, 8, 9, 31, 241, 1080})
      for (int lanes : {4, 3, 1, 0}) {  // 0: one row of 32-bit pixels
        SCOPED_TRACE(testing::Message() << "r " << r << " len " << len << " lanes " << lanes);
        const std::size_t bytes = std::size_t(len) * 4;
        std::vector<std::uint8_t> src(noise.begin(), noise.begin() + bytes);
        if (len % 3 == 0)  // some smooth input, where sums hit halves more often
          for (std::size_t i = 0; i < bytes; ++i) src[i] = std::uint8_t(i / 8 % 2 ? 200 : 10);
        std::vector<std::uint8_t> outS(bytes, 1), outV(bytes, 2);
        if (lanes == 0) {
          s.Pixels(src.data(), outS.data(), len);
          v.Pixels(src.data(), outV.data(), len);
        } else {
          s.Lines(src.data(), len, outS.data(), len, lanes, len);
          v.Lines(src.data(), len, outV.data(), len, lanes, len);
        }
        for (int k = 0; k < len; ++k)
          for (int j = 0; j < (lanes == 0 ? 4 : lanes); ++j) {
            const std::size_t i = std::size_t(k) * 4 + j;
            ASSERT_EQ(s.Forward(i), v.Forward(i)) << k << " " << j;
            ASSERT_EQ(s.Backward(i), v.Backward(i)) << k << " " << j;
            const std::size_t o = lanes == 0 ? i : std::size_t(j) * len + k;
            const int x0 = lanes == 0 ? src[j] : src[std::size_t(j) * len];
            ++samples;
            if (outS[o] != outV[o]) {
              ++differences;
              const double sum = s.Forward(i) + s.Backward(i) + s.StoredGain() * x0;
              EXPECT_EQ(std::abs(outS[o] - outV[o]), 1);
              EXPECT_NEAR(sum - std::floor(sum), 0.5, pc.halfTolerance) << k << " " << j;
            }
          }
      }
  }
  EXPECT_LT(differences * 100, samples);  // halves are rare
}

INSTANTIATE_TEST_SUITE_P(Pairs, ScalarVectorTest,
                         ::testing::Values(PairCase{Path::kScalarFloat, Path::kVectorFloat, 1e-3},
                                           PairCase{Path::kScalarDouble, Path::kVectorDouble,
                                                    1e-9}));

}  // namespace
