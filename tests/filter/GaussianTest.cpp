// CGaussian on images: the walk over strips and rows, statuses, buffers and
// the MMX state. The line arithmetic is checked in GaussianKernelsTest; here a
// pass must equal that 1-D filter applied along its direction alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "FilterTestUtil.h"
#include "filter/Gaussian.h"
#include "filter/GaussianKernels.h"
#include "stdfx/DIB.h"
#include "stdfx/Tables.h"

namespace {

using stdfx::CDIB;
using stdfx::CGaussian;
namespace internal = stdfx::internal;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

tagVFBMINFOHEADER Header(int width, int height, int bits)
{
  tagVFBMINFOHEADER h{};
  h.biSize = 144;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = WORD(bits);
  return h;
}

// An image created by the image library.
struct Image {
  Image(int width, int height, int bits) : w(width), h(height), bpp(bits / 8)
  {
    const tagVFBMINFOHEADER hd = Header(width, height, bits);
    EXPECT_TRUE(dib.Create(hd));
  }
  std::uint8_t* Row(int y) { return dib.GetBytes() + std::ptrdiff_t(y) * dib.DIBBytesPerLine(); }
  std::uint8_t& At(int x, int y, int c = 0) { return Row(y)[x * bpp + c]; }
  void Fill(const std::vector<std::uint8_t>& bytes)
  {
    for (int y = 0; y < h; ++y)
      std::memcpy(Row(y), bytes.data() + std::size_t(y) * w * bpp, std::size_t(w) * bpp);
  }
  // The pixels without row padding.
  std::vector<std::uint8_t> Pixels()
  {
    std::vector<std::uint8_t> v;
    for (int y = 0; y < h; ++y) v.insert(v.end(), Row(y), Row(y) + std::size_t(w) * bpp);
    return v;
  }
  int w, h, bpp;
  CDIB dib;
};

// An image attached to caller memory with guard bytes on both sides.
struct GuardedImage {
  static constexpr int kGuard = 256;
  static constexpr std::uint8_t kMarker = 0x5A;
  GuardedImage(int width, int height, int bits) : header(Header(width, height, bits))
  {
    const std::size_t size = stdfx::DIBSize(&header);
    memory.assign(size + 2 * kGuard, kMarker);
    dib = std::make_unique<CDIB>(&header, memory.data() + kGuard);
  }
  tagVFBMINFOHEADER header;
  std::vector<std::uint8_t> memory;
  std::unique_ptr<CDIB> dib;
};

struct Config {
  unsigned mode;
  bool scalar;
};

std::unique_ptr<CGaussian> MakeBlur(Config c)
{
  auto g = std::make_unique<CGaussian>(c.mode);
  g->ForceScalar(c.scalar);
  return g;
}

const Config kConfigs[] = {{1, false}, {1, true}, {2, false}, {2, true}};

std::string ConfigName(Config c)
{
  return std::string("Mode") + char('0' + c.mode) + (c.scalar ? "Scalar" : "Vector");
}

// ---- Constant images ----

struct Size {
  int w, h;
};

using ConstantParam = std::tuple<Config, int, Size, double>;

class ConstantImageTest : public ::testing::TestWithParam<ConstantParam> {};

TEST_P(ConstantImageTest, StaysConstantEverywhere)
{
  const auto [config, bits, size, radius] = GetParam();
  Image src(size.w, size.h, bits), dst(size.w, size.h, bits);
  const std::uint8_t channel[4] = {10, 128, 255, 77};
  for (int y = 0; y < size.h; ++y)
    for (int x = 0; x < size.w; ++x)
      for (int c = 0; c < src.bpp; ++c) src.At(x, y, c) = bits == 8 ? 173 : channel[c];
  auto blur = MakeBlur(config);
  ASSERT_EQ(blur->Blur(dst.dib, src.dib, radius, radius), 0);
  EXPECT_EQ(dst.Pixels(), src.Pixels());
}

INSTANTIATE_TEST_SUITE_P(
    Images, ConstantImageTest,
    ::testing::Combine(::testing::ValuesIn(kConfigs), ::testing::Values(8, 32),
                       ::testing::Values(Size{241, 209}, Size{7, 5}, Size{9, 1}, Size{1, 9}),
                       ::testing::Values(1.0, 6.25, 31.640625, 100.0)));

// ---- Against the 1-D filter and the Gaussian ----

class BlurConfigTest : public ::testing::TestWithParam<Config> {
protected:
  // The 1-D filter of this configuration's path on one line (a row or a
  // column copied out), from the kernels directly.
  std::vector<std::uint8_t> FilterLine(const std::vector<std::uint8_t>& line, int bits, double radius)
  {
    const Config c = GetParam();
    const int length = int(line.size()) / (bits / 8);
    const int* clamp0 = stdfx::CTables::GetInstance().GetMinMaxN256P512Table0();
    const internal::DericheCoefficients k = internal::ComputeDericheCoefficients(radius);
    std::vector<std::uint8_t> out(line.size());
    if (c.mode == 2) {
      auto block = std::make_unique<internal::CoefficientBlock<double>>();
      internal::FillCoefficientBlock(*block, k);
      std::vector<double> f(std::size_t(length) * 4 + 4), b(f.size());
      if (bits == 32)
        c.scalar ? internal::GaussPixels32_ref(line.data(), out.data(), length, *block, f.data(), b.data(), clamp0)
                 : internal::GaussPixels32_sse2(line.data(), out.data(), length, *block, f.data(), b.data());
      else
        c.scalar ? internal::GaussLines8_ref(line.data(), 0, out.data(), 0, 1, length, *block, f.data(), b.data(), clamp0)
                 : internal::GaussLines8_sse2(line.data(), 0, out.data(), 0, 1, length, *block, f.data(), b.data());
    } else {
      auto block = std::make_unique<internal::CoefficientBlock<float>>();
      internal::FillCoefficientBlock(*block, k);
      std::vector<float> f(std::size_t(length) * 4 + 4), b(f.size());
      if (bits == 32)
        c.scalar ? internal::GaussPixels32_ref(line.data(), out.data(), length, *block, f.data(), b.data(), clamp0)
                 : internal::GaussPixels32_sse(line.data(), out.data(), length, *block, f.data(), b.data());
      else
        c.scalar ? internal::GaussLines8_ref(line.data(), 0, out.data(), 0, 1, length, *block, f.data(), b.data(), clamp0)
                 : internal::GaussLines8_sse(line.data(), 0, out.data(), 0, 1, length, *block, f.data(), b.data());
    }
    return out;
  }
};

TEST_P(BlurConfigTest, HorizontalOnlyFiltersEachRow)
{
  for (int bits : {8, 32}) {
    for (Size s : {Size{241, 19}, Size{13, 6}, Size{1, 3}}) {
      SCOPED_TRACE(testing::Message() << bits << " " << s.w << "x" << s.h);
      Image src(s.w, s.h, bits), dst(s.w, s.h, bits);
      src.Fill(filtertest::RandomBytes(std::size_t(s.w) * s.h * src.bpp, 21));
      auto blur = MakeBlur(GetParam());
      ASSERT_EQ(blur->Blur(dst.dib, src.dib, 6.25, 0.0), 0);
      for (int y = 0; y < s.h; ++y) {
        const std::vector<std::uint8_t> row(src.Row(y), src.Row(y) + s.w * src.bpp);
        const std::vector<std::uint8_t> got(dst.Row(y), dst.Row(y) + s.w * dst.bpp);
        ASSERT_EQ(got, FilterLine(row, bits, 6.25)) << "row " << y;
      }
    }
  }
}

TEST_P(BlurConfigTest, VerticalOnlyFiltersEachColumn)
{
  // Widths leave partial strips of 1 and 5 columns besides full ones.
  for (int bits : {8, 32}) {
    for (Size s : {Size{241, 209}, Size{13, 17}, Size{3, 1}}) {
      SCOPED_TRACE(testing::Message() << bits << " " << s.w << "x" << s.h);
      Image src(s.w, s.h, bits), dst(s.w, s.h, bits);
      src.Fill(filtertest::RandomBytes(std::size_t(s.w) * s.h * src.bpp, 22));
      auto blur = MakeBlur(GetParam());
      ASSERT_EQ(blur->Blur(dst.dib, src.dib, 0.0, 5.0), 0);
      for (int x = 0; x < s.w; ++x) {
        std::vector<std::uint8_t> column, got;
        for (int y = 0; y < s.h; ++y)
          for (int c = 0; c < src.bpp; ++c) {
            column.push_back(src.At(x, y, c));
            got.push_back(dst.At(x, y, c));
          }
        ASSERT_EQ(got, FilterLine(column, bits, 5.0)) << "column " << x;
      }
    }
  }
}

TEST_P(BlurConfigTest, BothDirectionsAreColumnsThenRows)
{
  for (int bits : {8, 32}) {
    Image src(29, 23, bits), once(29, 23, bits), cols(29, 23, bits), twice(29, 23, bits);
    src.Fill(filtertest::RandomBytes(std::size_t(29) * 23 * src.bpp, 23));
    auto blur = MakeBlur(GetParam());
    ASSERT_EQ(blur->Blur(once.dib, src.dib, 3.0, 8.0), 0);
    ASSERT_EQ(blur->Blur(cols.dib, src.dib, 0.0, 8.0), 0);
    ASSERT_EQ(blur->Blur(twice.dib, cols.dib, 3.0, 0.0), 0);
    EXPECT_EQ(once.Pixels(), twice.Pixels()) << bits;
  }
}

TEST_P(BlurConfigTest, SourceMayBeTheTarget)
{
  for (int bits : {8, 32}) {
    Image a(30, 21, bits), b(30, 21, bits), out(30, 21, bits);
    const auto bytes = filtertest::RandomBytes(std::size_t(30) * 21 * a.bpp, 24);
    a.Fill(bytes);
    b.Fill(bytes);
    auto blur = MakeBlur(GetParam());
    ASSERT_EQ(blur->Blur(out.dib, a.dib, 4.0, 4.0), 0);
    ASSERT_EQ(blur->Blur(b.dib, b.dib, 4.0, 4.0), 0);
    EXPECT_EQ(b.Pixels(), out.Pixels()) << bits;
  }
}

TEST_P(BlurConfigTest, RadiiAreLimitedToOneAndHundred)
{
  for (int bits : {8, 32}) {
    Image src(37, 23, bits), a(37, 23, bits), b(37, 23, bits);
    src.Fill(filtertest::RandomBytes(std::size_t(37) * 23 * src.bpp, 25));
    auto blur = MakeBlur(GetParam());
    const double pairs[][2] = {{0.5, 1.0}, {-2.0, 1.0}, {250.0, 100.0}, {1e9, 100.0}};
    for (const auto& p : pairs) {
      ASSERT_EQ(blur->Blur(a.dib, src.dib, p[0], p[0]), 0);
      ASSERT_EQ(blur->Blur(b.dib, src.dib, p[1], p[1]), 0);
      EXPECT_EQ(a.Pixels(), b.Pixels()) << bits << " " << p[0];
    }
    // And the limit is not a constant: radius 1 and 2 differ on noise.
    ASSERT_EQ(blur->Blur(a.dib, src.dib, 2.0, 2.0), 0);
    EXPECT_NE(a.Pixels(), b.Pixels() /* radius 100 */);
  }
}

TEST_P(BlurConfigTest, NaNRadiusSkipsItsDirection)
{
  Image src(19, 17, 8), a(19, 17, 8), b(19, 17, 8);
  src.Fill(filtertest::RandomBytes(19 * 17, 26));
  auto blur = MakeBlur(GetParam());
  ASSERT_EQ(blur->Blur(a.dib, src.dib, kNaN, 5.0), 0);
  ASSERT_EQ(blur->Blur(b.dib, src.dib, 0.0, 5.0), 0);
  EXPECT_EQ(a.Pixels(), b.Pixels());
  ASSERT_EQ(blur->Blur(a.dib, src.dib, 5.0, kNaN), 0);
  ASSERT_EQ(blur->Blur(b.dib, src.dib, 5.0, 0.0), 0);
  EXPECT_EQ(a.Pixels(), b.Pixels());
}

TEST_P(BlurConfigTest, MatchesTwoDimensionalGaussianWithinTheStatedBound)
{
  // Against direct separable convolution with the sampled Gaussian (clamped
  // edges) in double, every pixel including the borders. Bound: two
  // roundings (the vertical pass is stored as bytes) and Deriche's fit,
  // 0.5 + 1.0 x (0.5 + 0.17) + 0.17 = 1.35; single precision adds up to 1.5
  // at radius 100 in each pass.
  const int w = 61, h = 47;
  std::vector<std::uint8_t> bytes(std::size_t(w) * h);
  const auto noise = filtertest::RandomBytes(bytes.size(), 27);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool disc = (x - 30) * (x - 30) + (y - 20) * (y - 20) < 150;
      bytes[std::size_t(y) * w + x] = y > 40 ? noise[std::size_t(y) * w + x] : disc ? 255 : 0;
    }
  for (double r : {1.0, 6.25, 31.640625, 100.0}) {
    Image src(w, h, 8), dst(w, h, 8);
    src.Fill(bytes);
    auto blur = MakeBlur(GetParam());
    ASSERT_EQ(blur->Blur(dst.dib, src.dib, r, r), 0);
    const double sigma = filtertest::SigmaOfRadius(r);
    std::vector<std::vector<double>> cols(w);
    for (int x = 0; x < w; ++x) {
      std::vector<int> col(h);
      for (int y = 0; y < h; ++y) col[y] = bytes[std::size_t(y) * w + x];
      cols[x] = filtertest::GaussianLine(col, sigma);
    }
    const double bound = 1.35 + (GetParam().mode == 1 && r > 50 ? 3.0 : 0.0);
    double worst = 0;
    for (int y = 0; y < h; ++y) {
      // Rows of the column-filtered image, in double, then filtered again.
      std::vector<double> row(w);
      for (int x = 0; x < w; ++x) row[x] = cols[x][y];
      // GaussianLine takes integers; filter the double row directly.
      const int reach = int(std::ceil(8 * sigma)) + 2;
      const double pi = std::acos(-1.0);
      for (int x = 0; x < w; ++x) {
        double s = 0;
        for (int j = -reach; j <= reach; ++j)
          s += std::exp(-double(j) * j / (2 * sigma * sigma)) / (std::sqrt(2 * pi) * sigma) *
               row[std::clamp(x - j, 0, w - 1)];
        worst = std::max(worst, std::fabs(dst.At(x, y) - s));
      }
    }
    EXPECT_LE(worst, bound) << "radius " << r;
  }
}

TEST_P(BlurConfigTest, WritesNothingOutsideTheImages)
{
  for (int bits : {8, 32}) {
    GuardedImage src(23, 11, bits), dst(23, 11, bits);
    const auto noise = filtertest::RandomBytes(src.memory.size() - 2 * GuardedImage::kGuard, 28);
    std::copy(noise.begin(), noise.end(), src.memory.begin() + GuardedImage::kGuard);
    const auto srcBefore = src.memory;
    auto blur = MakeBlur(GetParam());
    ASSERT_EQ(blur->Blur(*dst.dib, *src.dib, 7.0, 7.0), 0);
    EXPECT_EQ(src.memory, srcBefore);
    for (int i = 0; i < GuardedImage::kGuard; ++i) {
      ASSERT_EQ(dst.memory[i], GuardedImage::kMarker);
      ASSERT_EQ(dst.memory[dst.memory.size() - 1 - i], GuardedImage::kMarker);
    }
  }
}

TEST_P(BlurConfigTest, MmxStateIsEmptyAfterwards)
{
  filtertest::DirtyMmxState();
  ASSERT_NE(filtertest::FpuTagWord(), 0xFFFFu);  // the probe sees a used state
  filtertest::EmptyMmxStateForTest();
  ASSERT_EQ(filtertest::FpuTagWord(), 0xFFFFu);

  Image src(17, 9, 32), dst(17, 9, 32);
  src.Fill(filtertest::RandomBytes(17 * 9 * 4, 29));
  auto blur = MakeBlur(GetParam());
  if (!GetParam().scalar) filtertest::DirtyMmxState();  // the vector path must empty it
  ASSERT_EQ(blur->Blur(dst.dib, src.dib, 2.0, 2.0), 0);
  EXPECT_EQ(filtertest::FpuTagWord(), 0xFFFFu);
  EXPECT_FALSE(blur->HasBuffers());
}

INSTANTIATE_TEST_SUITE_P(Configs, BlurConfigTest, ::testing::ValuesIn(kConfigs),
                         [](const auto& tpi) { return ConfigName(tpi.param); });

// ---- Vector against scalar on images ----

TEST(GaussianPathsTest, VectorAndScalarDifferByAtMostOneInOnePass)
{
  // Per line the passes agree bit for bit and only a sum on a half can round
  // differently (GaussianKernelsTest); over an image one pass therefore
  // differs by at most 1, and rarely.
  for (unsigned mode : {1u, 2u})
    for (int bits : {8, 32}) {
      Image src(241, 209, bits), v(241, 209, bits), s(241, 209, bits);
      src.Fill(filtertest::RandomBytes(std::size_t(241) * 209 * src.bpp, 30));
      CGaussian vector(mode), scalar(mode);
      scalar.ForceScalar(true);
      const double radiiList[][2] = {{6.25, 0.0}, {0.0, 31.640625}};
      for (const auto& radii : radiiList) {
        ASSERT_EQ(vector.Blur(v.dib, src.dib, radii[0], radii[1]), 0);
        ASSERT_EQ(scalar.Blur(s.dib, src.dib, radii[0], radii[1]), 0);
        const auto a = v.Pixels(), b = s.Pixels();
        std::size_t differ = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
          ASSERT_LE(std::abs(a[i] - b[i]), 1);
          differ += a[i] != b[i];
        }
        EXPECT_LT(differ * 100, a.size()) << mode << " " << bits;
      }
    }
}

// ---- Statuses ----

struct DepthCase {
  int targetBits, sourceBits, status;
};

class DepthTest : public ::testing::TestWithParam<std::tuple<Config, DepthCase>> {};

TEST_P(DepthTest, RefusedDepthsLeaveTheTargetUntouched)
{
  const auto [config, dc] = GetParam();
  GuardedImage dst(13, 7, dc.targetBits);
  Image src(13, 7, dc.sourceBits);
  src.Fill(filtertest::RandomBytes(std::size_t(13) * 7 * src.bpp, 31));
  const auto before = dst.memory;
  auto blur = MakeBlur(config);
  EXPECT_EQ(blur->Blur(*dst.dib, src.dib, 3.0, 3.0), dc.status);
  EXPECT_EQ(dst.memory, before);
  EXPECT_FALSE(blur->HasBuffers());
}

// A 24-bit target is refused by the buffer allocation, before the depths are
// compared: 20, not 27.
INSTANTIATE_TEST_SUITE_P(Depths, DepthTest,
                         ::testing::Combine(::testing::ValuesIn(kConfigs),
                                            ::testing::Values(DepthCase{32, 8, 27}, DepthCase{8, 32, 27},
                                                              DepthCase{16, 16, 27}, DepthCase{16, 8, 27},
                                                              DepthCase{24, 24, 20})));

struct NothingCase {
  int w, h;
  double rx, ry;
};

class NothingWrittenTest : public ::testing::TestWithParam<NothingCase> {};

TEST_P(NothingWrittenTest, ReturnsDoneAndWritesNothing)
{
  const NothingCase nc = GetParam();
  for (Config config : kConfigs)
    for (int bits : {8, 32}) {
      GuardedImage dst(nc.w, nc.h, bits), src(nc.w, nc.h, bits);
      std::fill(src.memory.begin(), src.memory.end(), 200);
      const auto before = dst.memory;
      auto blur = MakeBlur(config);
      EXPECT_EQ(blur->Blur(*dst.dib, *src.dib, nc.rx, nc.ry), 0);
      EXPECT_EQ(dst.memory, before);
      EXPECT_FALSE(blur->HasBuffers());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, NothingWrittenTest,
                         ::testing::Values(NothingCase{0, 9, 5, 5}, NothingCase{9, 0, 5, 5},
                                           NothingCase{0, 0, 5, 5}, NothingCase{9, 9, 0, 0},
                                           NothingCase{9, 9, 1e-17, -1e-17}, NothingCase{9, 9, kNaN, kNaN}));

TEST(GaussianStatusTest, ImagesThatCannotBeReadAreRefused)
{
  Image ok(8, 8, 8), small(8, 7, 8), narrow(7, 8, 8);
  CDIB empty;
  CGaussian blur(1);
  EXPECT_EQ(blur.Blur(empty, ok.dib, 2, 2), 27);
  EXPECT_EQ(blur.Blur(ok.dib, empty, 2, 2), 27);
  EXPECT_EQ(blur.Blur(ok.dib, small.dib, 2, 2), 27);
  EXPECT_EQ(blur.Blur(ok.dib, narrow.dib, 2, 2), 27);
  EXPECT_FALSE(blur.HasBuffers());
}

TEST(GaussianStatusTest, CompressedImagesAreRefused)
{
  // The run-length form is shorter than the rows it stands for: walking it
  // as rows would read past the buffer.
  Image packed(64, 48, 8), dst(64, 48, 8), plain(64, 48, 8);
  ASSERT_TRUE(packed.dib.ClearDIB(-1, 0));
  ASSERT_TRUE(packed.dib.CompressRLE());
  ASSERT_LT(packed.dib.DIBSize(), 64u * 48u);
  const auto before = dst.Pixels();
  for (Config config : kConfigs) {
    auto blur = MakeBlur(config);
    EXPECT_EQ(blur->Blur(dst.dib, packed.dib, 3, 3), 27);
    EXPECT_EQ(dst.Pixels(), before);
    EXPECT_EQ(blur->Blur(packed.dib, plain.dib, 3, 3), 27);
  }
}

TEST(GaussianStatusTest, EachPrecisionNeedsItsOwnBuffers)
{
  Image src(8, 8, 8), dst(8, 8, 8);
  CGaussian single(1), dbl(2);
  EXPECT_EQ(single.BlurSSE2(dst.dib, src.dib, 2, 2), 20);
  EXPECT_EQ(dbl.BlurSSE(dst.dib, src.dib, 2, 2), 20);
  EXPECT_EQ(single.BlurSSE(dst.dib, src.dib, 2, 2), 0);
  EXPECT_EQ(dbl.BlurSSE2(dst.dib, src.dib, 2, 2), 0);
  EXPECT_FALSE(single.HasBuffers());
  EXPECT_FALSE(dbl.HasBuffers());
}

// Replaces the allocation to reach Blur's other ways out.
class InjectedBlur : public CGaussian {
public:
  enum class Fault { kNone, kFalse, kBadAlloc, kOther };
  InjectedBlur(unsigned mode, Fault fault) : CGaussian(mode), m_fault(fault) {}
  bool AllocateBuffers(int width, int height, int stride, unsigned short bits) override
  {
    ++calls;
    const bool ok = CGaussian::AllocateBuffers(width, height, stride, bits);
    filtertest::DirtyMmxState();  // as if a vector step had run
    switch (m_fault) {
      case Fault::kNone: filtertest::EmptyMmxStateForTest(); return ok;
      case Fault::kFalse: filtertest::EmptyMmxStateForTest(); return false;
      case Fault::kBadAlloc: throw std::bad_alloc();
      case Fault::kOther: throw std::runtime_error("injected");
    }
    return ok;
  }
  int calls = 0;

private:
  Fault m_fault;
};

struct FaultCase {
  InjectedBlur::Fault fault;
  int status;
};

class FaultTest : public ::testing::TestWithParam<std::tuple<unsigned, FaultCase>> {};

TEST_P(FaultTest, EveryWayOutReleasesBuffersAndEmptiesMmx)
{
  const auto [mode, fc] = GetParam();
  Image src(20, 12, 8);
  GuardedImage dst(20, 12, 8);
  src.Fill(filtertest::RandomBytes(20 * 12, 32));
  const auto before = dst.memory;
  InjectedBlur blur(mode, fc.fault);
  EXPECT_EQ(blur.Blur(*dst.dib, src.dib, 4.0, 4.0), fc.status);
  EXPECT_EQ(blur.calls, 1);  // buffers are allocated once per call
  EXPECT_FALSE(blur.HasBuffers());
  EXPECT_EQ(filtertest::FpuTagWord(), 0xFFFFu);
  if (fc.status != 0) {
    EXPECT_EQ(dst.memory, before);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultTest,
    ::testing::Combine(::testing::Values(1u, 2u),
                       ::testing::Values(FaultCase{InjectedBlur::Fault::kNone, 0},
                                         FaultCase{InjectedBlur::Fault::kFalse, 20},
                                         FaultCase{InjectedBlur::Fault::kBadAlloc, 20},
                                         FaultCase{InjectedBlur::Fault::kOther, 25})));

struct AllocCase {
  int width, height, stride;
  unsigned short bits;
  bool ok;
};

class AllocateTest : public ::testing::TestWithParam<AllocCase> {};

TEST_P(AllocateTest, AcceptsTheBitCountsItSizes)
{
  const AllocCase ac = GetParam();
  for (unsigned mode : {1u, 2u}) {
    CGaussian blur(mode);
    EXPECT_EQ(blur.AllocateBuffers(ac.width, ac.height, ac.stride, ac.bits), ac.ok);
    EXPECT_EQ(blur.HasBuffers(), ac.ok);
    blur.FreeBuffers();
    EXPECT_FALSE(blur.HasBuffers());
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, AllocateTest,
                         ::testing::Values(AllocCase{241, 209, 244, 8, true}, AllocCase{241, 209, 482, 16, true},
                                           AllocCase{241, 209, 964, 32, true}, AllocCase{241, 209, 1928, 64, true},
                                           AllocCase{0, 0, 0, 8, true}, AllocCase{241, 209, 724, 24, false},
                                           AllocCase{241, 209, 244, 1, false}, AllocCase{241, 209, 244, 0, false},
                                           AllocCase{-1, 209, 244, 8, false}, AllocCase{241, -1, 244, 8, false}));

TEST(GaussianCoefficientsTest, FillsSixArraysWithEqualDenominators)
{
  CGaussian blur(1);
  double n[5], m[5], d[5], db[5], e[5], f[5];
  blur.ComputeCoefficients(n, m, d, db, e, f, 6.25);
  EXPECT_EQ(n[4], 0.0);
  EXPECT_EQ(m[0], 0.0);
  EXPECT_EQ(d[0], 0.0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(db[i], d[i]);
  EXPECT_DOUBLE_EQ(m[4], -n[0] * d[4]);
  // Edge terms make a constant a fixed point: n_i - e_i summed over the taps
  // is the forward steady state N / D.
  double sn = 0, sd = 1, se = 0;
  for (int i = 0; i < 5; ++i) {
    sn += n[i];
    sd += d[i];
    se += e[i];
  }
  EXPECT_NEAR(sn - se, sn / sd, 1e-12);
  (void)f;
}

// Under the Itanium C++ ABI a pointer to a virtual member function holds
// 1 + the byte offset of its slot; the order of the operations is fixed.
template <class Pmf>
std::ptrdiff_t Slot(Pmf pmf)
{
  static_assert(sizeof(Pmf) == 2 * sizeof(std::ptrdiff_t));
  std::ptrdiff_t words[2];
  std::memcpy(words, &pmf, sizeof words);
  if ((words[0] & 1) == 0) return -1;
  return (words[0] - 1) / std::ptrdiff_t(sizeof(void*));
}

TEST(VirtualTableTest, OperationsSitInTheirOrder)
{
  // CGaussian: the destructor's two entries, then the operations.
  EXPECT_EQ(Slot(&CGaussian::FreeBuffers), 2);
  EXPECT_EQ(Slot(&CGaussian::Blur), 3);
  EXPECT_EQ(Slot(&CGaussian::ComputeCoefficients), 4);
  EXPECT_EQ(Slot(&CGaussian::AllocateBuffers), 5);
  EXPECT_EQ(Slot(&CGaussian::BlurSSE), 6);
  EXPECT_EQ(Slot(&CGaussian::BlurSSE2), 7);
  EXPECT_EQ(Slot(&stdfx::CMemR2C::RowsToColumns), 0);
  EXPECT_EQ(Slot(&stdfx::CMemR2C::ColumnsToRows), 1);
  EXPECT_EQ(Slot(&stdfx::CMemR2C::GetColumn), 2);
  EXPECT_EQ(Slot(&stdfx::CMemR2C::SetColumn), 3);
}

}  // namespace
