// CGaussian on images: the walk over strips and rows, statuses, buffers and
// the MMX state. The line arithmetic is checked in GaussianKernelsTest (the
// kernels against the filter's definition, the definition against the
// sampled Gaussian); here a pass must equal that 1-D filter applied along
// its direction alone, and both directions the two passes in turn.
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
#include "tests/pixmill/ImageTestUtil.h"

namespace {

using stdfx::CDIB;
using stdfx::CGaussian;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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
  using filtertest::Path;
  const Path path = c.mode == 2 ? (c.scalar ? Path::kScalarDouble : Path::kVectorDouble)
                                : (c.scalar ? Path::kScalarFloat : Path::kVectorFloat);
  const int length = int(line.size()) / (bits / 8);
  filtertest::LineRunner run(path, radius, length);
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
      src.Fill(filtertest::RandomBytes(std::size_t(c.w) * c.h * src.bpp, 21));
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
    const auto bytes = filtertest::RandomBytes(std::size_t(29) * 23 * src.bpp, 23);
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
  filtertest::DirtyMmxState();
  ASSERT_NE(filtertest::FpuTagWord(), 0xFFFFu);  // the probe sees a used state
  filtertest::EmptyMmxStateForTest();
  ASSERT_EQ(filtertest::FpuTagWord(), 0xFFFFu);
  for (int bits : {8, 32}) {
    Image src(23, 11, bits), dst(23, 11, bits);
    const auto noise = filtertest::RandomBytes(src.memory.size() - 2 * Image::kGuard, 28);
    std::copy(noise.begin(), noise.end(), src.memory.begin() + Image::kGuard);
    const auto srcBefore = src.memory;
    auto blur = MakeBlur(GetParam());
    if (!GetParam().scalar) filtertest::DirtyMmxState();  // the vector path must empty it
    ASSERT_EQ(blur->Blur(dst.dib, src.dib, 7.0, 7.0), 0);
    EXPECT_TRUE(filtertest::FpuTagWord() == 0xFFFFu && !blur->HasBuffers() &&
                src.memory == srcBefore);
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
