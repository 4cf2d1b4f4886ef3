// Coefficient maths and line kernels of the recursive Gaussian, checked by
// properties (limits of the radius, unit gain, response to a constant), against
// the sampled Gaussian, against the filter written from its definition in long
// double, and scalar against vector.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "FilterTestUtil.h"
#include "filter/GaussianKernels.h"

namespace {

using namespace stdfx::internal;
using filtertest::DericheLine;

// A clamp table of our own, indexable from -1024 to 2047.
const int* Clamp0()
{
  static const std::vector<int> table = [] {
    std::vector<int> t(3072);
    for (int i = 0; i < 3072; ++i) t[i] = std::clamp(i - 1024, 0, 255);
    return t;
  }();
  return table.data() + 1024;
}

double Gain(const DericheCoefficients& c)
{
  double n = 0, m = 0, d = 1;
  for (int i = 0; i < 5; ++i) {
    n += c.n[i];
    m += c.m[i];
    d += c.d[i];
  }
  return (n + m) / d;
}

bool SameCoefficients(const DericheCoefficients& a, const DericheCoefficients& b)
{
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// ---- Coefficients ----

struct RadiusPair {
  double given;
  double equivalent;
};

class RadiusLimitTest : public ::testing::TestWithParam<RadiusPair> {};

TEST_P(RadiusLimitTest, GivesTheCoefficientsOfTheLimitedRadius)
{
  const RadiusPair p = GetParam();
  EXPECT_TRUE(SameCoefficients(ComputeDericheCoefficients(p.given),
                               ComputeDericheCoefficients(p.equivalent)));
}

INSTANTIATE_TEST_SUITE_P(
    Limits, RadiusLimitTest,
    ::testing::Values(RadiusPair{0.5, 1.0}, RadiusPair{0.0, 1.0}, RadiusPair{-3.0, 1.0},
                      RadiusPair{std::numeric_limits<double>::quiet_NaN(), 1.0},
                      RadiusPair{-std::numeric_limits<double>::infinity(), 1.0},
                      RadiusPair{250.0, 100.0}, RadiusPair{100.5, 100.0},
                      RadiusPair{std::numeric_limits<double>::infinity(), 100.0}));

TEST(DericheCoefficientsTest, RadiiInsideTheRangeDiffer)
{
  // Guards the limit test against a constant function.
  EXPECT_FALSE(SameCoefficients(ComputeDericheCoefficients(1.0), ComputeDericheCoefficients(1.5)));
  EXPECT_FALSE(SameCoefficients(ComputeDericheCoefficients(99.0), ComputeDericheCoefficients(100.0)));
}

TEST(DericheCoefficientsTest, GainIsOneWithinTheFitAtEveryRadius)
{
  for (double r = 1.0; r <= 100.0; r += 0.25) {
    SCOPED_TRACE(r);
    const double g = Gain(ComputeDericheCoefficients(r));
    // 255 * 1.3e-3 < 0.5: a constant 255 still rounds to 255.
    EXPECT_NEAR(g, 1.0, 1.3e-3);
  }
}

class RadiusTest : public ::testing::TestWithParam<double> {};

TEST_P(RadiusTest, ConstantLineGivesGainTimesConstantUpToTheEnds)
{
  // The edge terms make each pass see its end sample repeated forever, so the
  // response to a constant is the steady state everywhere, ends included.
  const DericheCoefficients c = ComputeDericheCoefficients(GetParam());
  for (int len : {1, 2, 3, 5, 9, 40}) {
    const std::vector<long double> y = DericheLine(std::vector<int>(len, 200), c);
    for (int k = 0; k < len; ++k) EXPECT_NEAR(double(y[k]), 200.0 * Gain(c), 1e-9) << len << " " << k;
  }
}

TEST_P(RadiusTest, ImpulseResponseIsTheSampledGaussian)
{
  const double r = GetParam();
  const double sigma = filtertest::SigmaOfRadius(r);
  const int half = int(12 * sigma) + 20;
  std::vector<int> x(2 * half + 1, 0);
  x[half] = 1;
  const std::vector<long double> h = DericheLine(x, ComputeDericheCoefficients(r));
  const double pi = std::acos(-1.0);
  double l1 = 0;
  for (int k = 0; k < int(x.size()); ++k) {
    const double j = k - half;
    const double g = std::exp(-j * j / (2 * sigma * sigma)) / (std::sqrt(2 * pi) * sigma);
    l1 += std::fabs(double(h[k]) - g);
  }
  // Deriche's fit is good to a few 1e-4 of the total weight at every sigma.
  EXPECT_LT(l1, 1e-3);
}

TEST_P(RadiusTest, SingleAndDoubleBlocksKeepTheExactGain)
{
  const DericheCoefficients c = ComputeDericheCoefficients(GetParam());
  auto blockGain = [](const auto& b) {
    double n = 0, m = 0, d = 1;
    for (int i = 0; i < 5; ++i) {
      n += double(b.tap[i][kForwardNum][0]);
      m += double(b.tap[i][kBackwardNum][0]);
      d += double(b.tap[i][kForwardDen][0]);
    }
    return (n + m) / d;
  };
  auto fb = std::make_unique<CoefficientBlock<float>>();
  auto db = std::make_unique<CoefficientBlock<double>>();
  FillCoefficientBlock(*fb, c);
  FillCoefficientBlock(*db, c);
  // Rounding the numerators themselves leaves a few 1e-5 (0.01 of a level).
  EXPECT_NEAR(blockGain(*fb), Gain(c), 1e-4 * Gain(c));
  EXPECT_NEAR(blockGain(*db), Gain(c), 1e-12);
  // Double blocks hold the coefficients themselves, four lanes each.
  for (int i = 0; i < 5; ++i)
    for (int lane = 0; lane < 4; ++lane) {
      EXPECT_EQ(db->tap[i][kForwardNum][lane], c.n[i]);
      EXPECT_EQ(db->tap[i][kBackwardNum][lane], c.m[i]);
      EXPECT_EQ(db->tap[i][kForwardDen][lane], c.d[i]);
      EXPECT_EQ(db->tap[i][kBackwardDen][lane], c.d[i]);
      EXPECT_EQ(db->tap[i][kForwardEdge][lane], c.n[i] - c.e[i]);
      EXPECT_EQ(db->tap[i][kBackwardEdge][lane], c.m[i] - c.f[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Radii, RadiusTest, ::testing::Values(1.0, 2.0, 6.25, 10.0, 31.640625, 100.0));

TEST(DericheCoefficientsTest, NaiveSingleRoundingWouldLoseGainAtLargeRadii)
{
  // Why the float block rescales its numerators: plain rounding of every
  // coefficient moves the gain by far more than the rescaled block above.
  const DericheCoefficients c = ComputeDericheCoefficients(100.0);
  double n = 0, m = 0, d = 1;
  for (int i = 0; i < 5; ++i) {
    n += double(float(c.n[i]));
    m += double(float(c.m[i]));
    d += double(float(c.d[i]));
  }
  EXPECT_GT(std::fabs((n + m) / d - Gain(c)), 1e-3);
}

TEST(DericheCoefficientsTest, FallsToOne255thAtRadiusPlusOne)
{
  // sigma is chosen so that the Gaussian at distance radius + 1 is 1/255 of
  // its peak; the recursive filter's impulse response must follow.
  for (int r : {4, 10, 31, 99}) {
    const int dist = r + 1;
    const int half = 6 * dist;
    std::vector<int> x(2 * half + 1, 0);
    x[half] = 1;
    const std::vector<long double> h = DericheLine(x, ComputeDericheCoefficients(r));
    EXPECT_NEAR(double(h[half + dist] / h[half]) * 255.0, 1.0, 0.03) << r;
    EXPECT_NEAR(double(h[half - dist] / h[half]) * 255.0, 1.0, 0.03) << r;
  }
}

// ---- Kernels ----

enum class Path { kScalarFloat, kVectorFloat, kScalarDouble, kVectorDouble };

std::string PathName(Path p)
{
  switch (p) {
    case Path::kScalarFloat: return "ScalarFloat";
    case Path::kVectorFloat: return "VectorFloat";
    case Path::kScalarDouble: return "ScalarDouble";
    case Path::kVectorDouble: return "VectorDouble";
  }
  return "?";
}

bool IsDouble(Path p)
{
  return p == Path::kScalarDouble || p == Path::kVectorDouble;
}

// Owns a coefficient block and line buffers of one precision and runs one
// kernel of that precision on a line (32-bit pixels) or a group of 8-bit lines.
class LineRunner {
public:
  LineRunner(Path path, double radius, int maxLength) : m_path(path), m_n(std::size_t(maxLength) * 4 + 4)
  {
    const DericheCoefficients c = ComputeDericheCoefficients(radius);
    if (IsDouble(path)) {
      m_blockD = std::make_unique<CoefficientBlock<double>>();
      FillCoefficientBlock(*m_blockD, c);
      m_fwdD.reset(new (std::align_val_t(16)) double[m_n]);
      m_bwdD.reset(new (std::align_val_t(16)) double[m_n]);
    } else {
      m_blockF = std::make_unique<CoefficientBlock<float>>();
      FillCoefficientBlock(*m_blockF, c);
      m_fwdF.reset(new (std::align_val_t(16)) float[m_n]);
      m_bwdF.reset(new (std::align_val_t(16)) float[m_n]);
    }
  }

  void Pixels(const std::uint8_t* src, std::uint8_t* dst, int length)
  {
    switch (m_path) {
      case Path::kScalarFloat: GaussPixels32_ref(src, dst, length, *m_blockF, m_fwdF.get(), m_bwdF.get(), Clamp0()); break;
      case Path::kVectorFloat: GaussPixels32_sse(src, dst, length, *m_blockF, m_fwdF.get(), m_bwdF.get()); break;
      case Path::kScalarDouble: GaussPixels32_ref(src, dst, length, *m_blockD, m_fwdD.get(), m_bwdD.get(), Clamp0()); break;
      case Path::kVectorDouble: GaussPixels32_sse2(src, dst, length, *m_blockD, m_fwdD.get(), m_bwdD.get()); break;
    }
  }

  void Lines(const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst,
             std::ptrdiff_t dstPitch, int lanes, int length)
  {
    switch (m_path) {
      case Path::kScalarFloat:
        GaussLines8_ref(src, srcPitch, dst, dstPitch, lanes, length, *m_blockF, m_fwdF.get(), m_bwdF.get(), Clamp0());
        break;
      case Path::kVectorFloat:
        GaussLines8_sse(src, srcPitch, dst, dstPitch, lanes, length, *m_blockF, m_fwdF.get(), m_bwdF.get());
        break;
      case Path::kScalarDouble:
        GaussLines8_ref(src, srcPitch, dst, dstPitch, lanes, length, *m_blockD, m_fwdD.get(), m_bwdD.get(), Clamp0());
        break;
      case Path::kVectorDouble:
        GaussLines8_sse2(src, srcPitch, dst, dstPitch, lanes, length, *m_blockD, m_fwdD.get(), m_bwdD.get());
        break;
    }
  }

  // Forward and backward samples of the last run, widened to double.
  double Forward(std::size_t i) const { return IsDouble(m_path) ? m_fwdD[i] : m_fwdF[i]; }
  double Backward(std::size_t i) const { return IsDouble(m_path) ? m_bwdD[i] : m_bwdF[i]; }
  // Gain of the coefficients as stored.
  double StoredGain() const
  {
    double n = 0, m = 0, d = 1;
    for (int i = 0; i < 5; ++i) {
      n += IsDouble(m_path) ? m_blockD->tap[i][kForwardNum][0] : m_blockF->tap[i][kForwardNum][0];
      m += IsDouble(m_path) ? m_blockD->tap[i][kBackwardNum][0] : m_blockF->tap[i][kBackwardNum][0];
      d += IsDouble(m_path) ? m_blockD->tap[i][kForwardDen][0] : m_blockF->tap[i][kForwardDen][0];
    }
    return (n + m) / d;
  }

private:
  struct AlignedDelete {
    template <typename T>
    void operator()(T* p) const { ::operator delete[](p, std::align_val_t(16)); }
  };
  Path m_path;
  std::size_t m_n;
  std::unique_ptr<CoefficientBlock<float>> m_blockF;
  std::unique_ptr<CoefficientBlock<double>> m_blockD;
  std::unique_ptr<float[], AlignedDelete> m_fwdF, m_bwdF;
  std::unique_ptr<double[], AlignedDelete> m_fwdD, m_bwdD;
};

const Path kAllPaths[] = {Path::kScalarFloat, Path::kVectorFloat, Path::kScalarDouble,
                          Path::kVectorDouble};
const double kRadii[] = {1.0, 6.25, 31.640625, 100.0};

class KernelPathTest : public ::testing::TestWithParam<Path> {};

TEST_P(KernelPathTest, ConstantLinesStayConstant)
{
  const int values[][4] = {{0, 0, 0, 0}, {1, 77, 128, 254}, {255, 255, 255, 255}, {254, 0, 255, 3}};
  for (double r : kRadii) {
    LineRunner run(GetParam(), r, 1080);
    for (int len : {1, 2, 3, 4, 5, 7, 8, 241, 1080}) {
      for (const auto& v : values) {
        SCOPED_TRACE(testing::Message() << "r " << r << " len " << len << " v " << v[0]);
        // 32-bit pixels: four channel constants.
        std::vector<std::uint8_t> px(std::size_t(len) * 4), out(px.size(), 99);
        for (int k = 0; k < len; ++k)
          for (int j = 0; j < 4; ++j) px[k * 4 + j] = std::uint8_t(v[j]);
        run.Pixels(px.data(), out.data(), len);
        EXPECT_EQ(out, px);
        // Four 8-bit lines, one constant each.
        std::vector<std::uint8_t> lines(std::size_t(len) * 4), lout(lines.size(), 99);
        for (int j = 0; j < 4; ++j) std::fill_n(lines.begin() + j * len, len, std::uint8_t(v[j]));
        run.Lines(lines.data(), len, lout.data(), len, 4, len);
        EXPECT_EQ(lout, lines);
      }
    }
  }
}

// Patterns: noise, a step, a ramp, thin bars; channel/line j shifts the phase.
int Pattern(int kind, int k, int j, int len, const std::vector<std::uint8_t>& noise)
{
  switch (kind) {
    case 0: return noise[(std::size_t(k) * 4 + j) % noise.size()];
    case 1: return (k + 7 * j) < len / 2 ? 0 : 255;
    case 2: return (k * 255) / std::max(1, len - 1);
    default: return ((k + j) / 3) % 2 ? 255 : 0;
  }
}

TEST_P(KernelPathTest, FollowsTheDefinitionWithinTheStatedBound)
{
  // Output against round(p + q) of the filter written from its definition in
  // long double. Double precision: exact except within 1e-6 of a half. Single
  // precision: within 0.5 + 0.05 up to radius 31.64, 0.5 + 1.5 at radius 100
  // (the recursion's rounding errors grow as the poles approach 1).
  const std::vector<std::uint8_t> noise = filtertest::RandomBytes(4096, 7);
  for (double r : kRadii) {
    const DericheCoefficients c = ComputeDericheCoefficients(r);
    LineRunner run(GetParam(), r, 600);
    const double slack = IsDouble(GetParam()) ? 1e-6 : (r < 50 ? 0.05 : 1.5);
    for (int len : {1, 3, 6, 57, 600}) {
      for (int kind = 0; kind < 4; ++kind) {
        SCOPED_TRACE(testing::Message() << "r " << r << " len " << len << " kind " << kind);
        std::vector<std::uint8_t> px(std::size_t(len) * 4), out(px.size());
        std::vector<std::vector<int>> chan(4, std::vector<int>(len));
        for (int k = 0; k < len; ++k)
          for (int j = 0; j < 4; ++j) px[k * 4 + j] = std::uint8_t(chan[j][k] = Pattern(kind, k, j, len, noise));
        run.Pixels(px.data(), out.data(), len);
        for (int j = 0; j < 4; ++j) {
          const std::vector<long double> y = DericheLine(chan[j], c);
          for (int k = 0; k < len; ++k) {
            const double exact = double(y[k]);
            const int got = out[k * 4 + j];
            if (IsDouble(GetParam())) {
              const bool onHalf = std::fabs(exact - std::floor(exact) - 0.5) < slack;
              if (!onHalf) {
                ASSERT_EQ(got, filtertest::Clamp255(filtertest::RoundHalfUp(exact))) << k << " " << j;
              }
            } else {
              ASSERT_LE(std::fabs(got - std::clamp(exact, 0.0, 255.0)), 0.5 + slack) << k << " " << j;
            }
          }
        }
      }
    }
  }
}

TEST_P(KernelPathTest, MatchesTheSampledGaussianWithinTheStatedBound)
{
  // Against direct convolution with the sampled Gaussian of the same sigma and
  // clamped edges, everywhere including the borders: 0.5 (rounding) + 0.26
  // (Deriche's fit, 255 x 1e-3), plus single-precision error at radius 100.
  const std::vector<std::uint8_t> noise = filtertest::RandomBytes(4096, 11);
  for (double r : kRadii) {
    LineRunner run(GetParam(), r, 700);
    const double bound = 0.76 + (!IsDouble(GetParam()) && r > 50 ? 1.5 : 0.0);
    for (int kind = 0; kind < 4; ++kind) {
      const int len = 700;
      std::vector<std::uint8_t> lines(std::size_t(len) * 4), out(lines.size());
      for (int j = 0; j < 4; ++j)
        for (int k = 0; k < len; ++k) lines[j * len + k] = std::uint8_t(Pattern(kind, k, j, len, noise));
      run.Lines(lines.data(), len, out.data(), len, 4, len);
      for (int j = 0; j < 4; ++j) {
        const std::vector<int> x(lines.begin() + j * len, lines.begin() + (j + 1) * len);
        const std::vector<double> g = filtertest::GaussianLine(x, filtertest::SigmaOfRadius(r));
        for (int k = 0; k < len; ++k)
          ASSERT_LE(std::fabs(out[j * len + k] - g[k]), bound) << "r " << r << " kind " << kind << " k " << k;
      }
    }
  }
}

TEST_P(KernelPathTest, InPlaceEqualsOutOfPlace)
{
  const std::vector<std::uint8_t> src = filtertest::RandomBytes(4 * 241, 3);
  for (double r : kRadii) {
    LineRunner run(GetParam(), r, 241);
    std::vector<std::uint8_t> out(src.size()), inplace = src;
    run.Pixels(src.data(), out.data(), 241);
    run.Pixels(inplace.data(), inplace.data(), 241);
    EXPECT_EQ(inplace, out);
    std::vector<std::uint8_t> lout(src.size()), linplace = src;
    run.Lines(src.data(), 241, lout.data(), 241, 4, 241);
    run.Lines(linplace.data(), 241, linplace.data(), 241, 4, 241);
    EXPECT_EQ(linplace, lout);
  }
}

TEST_P(KernelPathTest, WritesOnlyTheNamedLanesAndSamples)
{
  const int len = 37, pitch = 45;  // 8 bytes past each line belong to nobody
  const std::vector<std::uint8_t> src = filtertest::RandomBytes(std::size_t(pitch) * 6, 5);
  LineRunner run(GetParam(), 6.25, len);
  for (int lanes = 0; lanes <= 4; ++lanes) {
    std::vector<std::uint8_t> dst(src.size(), 0xAB);
    run.Lines(src.data() + pitch, pitch, dst.data() + pitch, pitch, lanes, len);
    for (int line = 0; line < 6; ++line)
      for (int k = 0; k < pitch; ++k) {
        const bool named = line >= 1 && line <= lanes && k < len;
        if (!named) {
          ASSERT_EQ(dst[line * pitch + k], 0xAB) << lanes << " " << line << " " << k;
        }
      }
    // The lines that were written equal the same lines filtered in a full group.
    if (lanes > 0) {
      std::vector<std::uint8_t> full(src.size(), 0);
      run.Lines(src.data() + pitch, pitch, full.data() + pitch, pitch, 4, len);
      for (int line = 1; line <= lanes; ++line)
        for (int k = 0; k < len; ++k) ASSERT_EQ(dst[line * pitch + k], full[line * pitch + k]);
    }
  }
  std::vector<std::uint8_t> px(4 * 40, 0xAB);
  run.Pixels(src.data(), px.data(), 37);
  for (std::size_t i = 4 * 37; i < px.size(); ++i) EXPECT_EQ(px[i], 0xAB);
  std::vector<std::uint8_t> none(16, 0xAB);
  run.Pixels(src.data(), none.data(), 0);
  run.Lines(src.data(), 4, none.data(), 4, 4, 0);
  EXPECT_EQ(none, std::vector<std::uint8_t>(16, 0xAB));
}

INSTANTIATE_TEST_SUITE_P(Paths, KernelPathTest, ::testing::ValuesIn(kAllPaths),
                         [](const auto& tpi) { return PathName(tpi.param); });

// Scalar against vector of the same precision: the passes agree bit for bit,
// and an output differs (by one) only where p + q + G x[0] lies on a half.
struct PairCase {
  Path scalar;
  Path vector;
  double halfTolerance;  // distance from a half that counts as "on" it
};

class ScalarVectorTest : public ::testing::TestWithParam<PairCase> {};

TEST_P(ScalarVectorTest, PassesAgreeAndOutputsDifferOnlyOnHalves)
{
  const PairCase pc = GetParam();
  const std::vector<std::uint8_t> noise = filtertest::RandomBytes(1 << 14, 17);
  int differences = 0, samples = 0;
  for (double r : {1.0, 2.5, 6.25, 31.640625, 100.0}) {
    LineRunner s(pc.scalar, r, 1080), v(pc.vector, r, 1080);
    for (int len : {1, 2, 3, 4, 5, 6, 7, 8, 9, 16, 31, 241, 1080}) {
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
        const int usedLanes = lanes == 0 ? 4 : lanes;
        for (int k = 0; k < len; ++k)
          for (int j = 0; j < usedLanes; ++j) {
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
  }
  EXPECT_LT(differences * 100, samples);  // halves are rare
}

INSTANTIATE_TEST_SUITE_P(Pairs, ScalarVectorTest,
                         ::testing::Values(PairCase{Path::kScalarFloat, Path::kVectorFloat, 1e-3},
                                           PairCase{Path::kScalarDouble, Path::kVectorDouble, 1e-9}),
                         [](const auto& tpi) { return PathName(tpi.param.vector); });

}  // namespace
