// The recursive Gaussian. Its coefficient maths and line kernels against the
// sampled Gaussian, against the filter written from its definition in long
// double, and scalar against vector; then CGaussian on images: the walk over
// strips and rows, statuses, buffers and the MMX state, where a pass must
// equal that 1-D filter applied along its direction alone, and both
// directions the two passes in turn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "FilterTestUtil.h"
#include "filter/Gaussian.h"
#include "stdfx/DIB.h"
#include "stdfx/Tables.h"
#include "tests/pixmill/ImageTestUtil.h"

namespace {

using namespace filtertest;
using stdfx::CDIB;
using stdfx::CGaussian;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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
  const double pairs[][2] = {{0.5, 1},  {0, 1},     {-3, 1},      {kNaN, 1},
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

// ---- Images ----

// An image attached to caller memory with guard bytes on both sides.
struct Image {
  static constexpr int kGuard = 256;
  static constexpr std::uint8_t kMarker = 0x5A;
  Image(int width, int height, int bits)
      : w(width),
        h(height),
        bpp(bits / 8),
        header(pixmill_test::MakeHeader(width, height, bits)),
        memory(stdfx::DIBSize(&header) + 2 * kGuard, kMarker),
        dib(&header, memory.data() + kGuard) {}
  std::uint8_t* Row(int y) { return dib.GetBytes() + std::ptrdiff_t(y) * dib.DIBBytesPerLine(); }
  std::uint8_t& At(int x, int y, int c = 0) { return Row(y)[x * bpp + c]; }
  void Fill(const std::vector<std::uint8_t>& bytes) {
    for (int y = 0; y < h; ++y)
      std::memcpy(Row(y), bytes.data() + std::size_t(y) * w * bpp, std::size_t(w) * bpp);
  }
  // The pixels without row padding.
  std::vector<std::uint8_t> Pixels() {
    std::vector<std::uint8_t> v;
    for (int y = 0; y < h; ++y) v.insert(v.end(), Row(y), Row(y) + std::size_t(w) * bpp);
    return v;
  }
  bool GuardsIntact() const {
    return std::all_of(memory.begin(), memory.begin() + kGuard,
                       [](auto b) { return b == kMarker; }) &&
           std::all_of(memory.end() - kGuard, memory.end(), [](auto b) { return b == kMarker; });
  }
  int w, h, bpp;
  tagVFBMINFOHEADER header;
  std::vector<std::uint8_t> memory;
  CDIB dib;
};

struct Config {
  unsigned mode;
  bool scalar;
};

std::unique_ptr<CGaussian> MakeBlur(Config c) {
  auto g = std::make_unique<CGaussian>(c.mode);
  g->ForceScalar(c.scalar);
  return g;
}

const Config kConfigs[] = {{1, false}, {1, true}, {2, false}, {2, true}};

// The 1-D filter of one configuration's path on one line (a row or a column
// copied out), from the kernels directly.
std::vector<std::uint8_t> FilterLine(Config c, const std::vector<std::uint8_t>& line, int bits,
                                     double radius) {
  const Path path = c.mode == 2 ? (c.scalar ? Path::kScalarDouble : Path::kVectorDouble)
                                : (c.scalar ? Path::kScalarFloat : Path::kVectorFloat);
  const int length = int(line.size()) / (bits / 8);
  LineRunner run(path, radius, length);
  std::vector<std::uint8_t> out(line.size());
  if (bits == 32)
    run.Pixels(line.data(), out.data(), length);
  else
    run.Lines(line.data(), 0, out.data(), 0, 1, length);
  return out;
}

class BlurConfigTest : public ::testing::TestWithParam<Config> {};

TEST_P(BlurConfigTest, OneDirectionFiltersEachRowOrColumn) {
  // Widths leave partial strips of 1 and 5 columns besides full ones; a NaN
  // radius skips its direction like 0; radius 0.5 filters as 1, 250 as 100.
  const struct {
    int w, h;
    double rx, ry;
  } cases[] = {{241, 19, 6.25, 0.0}, {13, 6, 6.25, kNaN}, {1, 3, 6.25, 0.0}, {37, 5, 0.5, 0.0},
               {241, 209, 0.0, 5.0}, {13, 17, kNaN, 5.0}, {3, 1, 0.0, 5.0},  {9, 300, 0.0, 250.0}};
  for (int bits : {8, 32})
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << bits << " " << c.w << "x" << c.h << " " << c.rx);
      Image src(c.w, c.h, bits), dst(c.w, c.h, bits);
      src.Fill(RandomBytes(std::size_t(c.w) * c.h * src.bpp, 21));
      ASSERT_EQ(MakeBlur(GetParam())->Blur(dst.dib, src.dib, c.rx, c.ry), 0);
      const bool rows = c.ry == 0.0 || std::isnan(c.ry);
      for (int i = 0; i < (rows ? c.h : c.w); ++i) {
        std::vector<std::uint8_t> line, got;
        for (int k = 0; k < (rows ? c.w : c.h); ++k)
          for (int ch = 0; ch < src.bpp; ++ch) {
            line.push_back(rows ? src.At(k, i, ch) : src.At(i, k, ch));
            got.push_back(rows ? dst.At(k, i, ch) : dst.At(i, k, ch));
          }
        ASSERT_EQ(got, FilterLine(GetParam(), line, bits, rows ? c.rx : c.ry)) << "line " << i;
      }
    }
}

TEST_P(BlurConfigTest, BothDirectionsAreColumnsThenRowsAndMayWorkInPlace) {
  for (int bits : {8, 32}) {
    Image src(29, 23, bits), once(29, 23, bits), cols(29, 23, bits), twice(29, 23, bits),
        same(29, 23, bits);
    const auto bytes = RandomBytes(std::size_t(29) * 23 * src.bpp, 23);
    src.Fill(bytes);
    same.Fill(bytes);
    auto blur = MakeBlur(GetParam());
    ASSERT_TRUE(blur->Blur(once.dib, src.dib, 3.0, 8.0) == 0 &&
                blur->Blur(cols.dib, src.dib, 0.0, 8.0) == 0 &&
                blur->Blur(twice.dib, cols.dib, 3.0, 0.0) == 0 &&
                blur->Blur(same.dib, same.dib, 3.0, 8.0) == 0);
    EXPECT_TRUE(once.Pixels() == twice.Pixels() && once.Pixels() == same.Pixels()) << bits;
  }
}

TEST_P(BlurConfigTest, WritesNothingOutsideTheImagesAndLeavesMmxEmpty) {
  DirtyMmxState();
  ASSERT_NE(FpuTagWord(), 0xFFFFu);  // the probe sees a used state
  EmptyMmxStateForTest();
  ASSERT_EQ(FpuTagWord(), 0xFFFFu);
  for (int bits : {8, 32}) {
    Image src(23, 11, bits), dst(23, 11, bits);
    const auto noise = RandomBytes(src.memory.size() - 2 * Image::kGuard, 28);
    std::copy(noise.begin(), noise.end(), src.memory.begin() + Image::kGuard);
    const auto srcBefore = src.memory;
    auto blur = MakeBlur(GetParam());
    if (!GetParam().scalar) DirtyMmxState();  // the vector path must empty it
    ASSERT_EQ(blur->Blur(dst.dib, src.dib, 7.0, 7.0), 0);
    EXPECT_TRUE(FpuTagWord() == 0xFFFFu && !blur->HasBuffers() && src.memory == srcBefore);
    EXPECT_TRUE(dst.GuardsIntact());
  }
}

INSTANTIATE_TEST_SUITE_P(Configs, BlurConfigTest, ::testing::ValuesIn(kConfigs));

// ---- Statuses ----

// Refused depths and empty work: the status, and not a byte of the target
// written. A 24-bit target is refused by the buffer allocation, before the
// depths are compared: 20, not 27.
TEST(GaussianStatusTest, RefusedOrEmptyWorkLeavesTheTargetUntouched) {
  const struct {
    int w, h, targetBits, sourceBits;
    double rx, ry;
    int status;
  } cases[] = {{13, 7, 32, 8, 3, 3, 27},         {13, 7, 8, 32, 3, 3, 27},
               {13, 7, 16, 16, 3, 3, 27},        {13, 7, 16, 8, 3, 3, 27},
               {13, 7, 24, 24, 3, 3, 20},        {0, 9, 8, 8, 5, 5, 0},
               {9, 0, 32, 32, 5, 5, 0},          {9, 9, 8, 8, 0, 0, 0},
               {9, 9, 32, 32, 1e-17, -1e-17, 0}, {9, 9, 8, 8, kNaN, kNaN, 0}};
  for (Config config : kConfigs)
    for (const auto& c : cases) {
      Image dst(c.w, c.h, c.targetBits), src(c.w, c.h, c.sourceBits);
      std::fill(src.memory.begin(), src.memory.end(), 200);
      const auto before = dst.memory;
      auto blur = MakeBlur(config);
      EXPECT_EQ(blur->Blur(dst.dib, src.dib, c.rx, c.ry), c.status)
          << c.w << " " << c.targetBits << " " << c.rx;
      EXPECT_TRUE(dst.memory == before && !blur->HasBuffers());
    }
}

}  // namespace
