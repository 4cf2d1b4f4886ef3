// The reference row kernels on rows built so that every answer is known:
// constant masks (the chroma weight is the constant) and grey pixels (the
// lightness index is the grey value). Together the two tests cover every
// (alpha, key weight) and (lightness weight, chroma weight) pair against the
// exact rational formula.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "key/internal/KeyKernels.h"

namespace {

using namespace mattix::key::internal;

// floor(p / 255 + 1/2) in exact integers.
std::uint32_t Rational255(std::uint32_t p) { return (2 * p + 255) / 510; }

struct ConstantMask {
  std::vector<std::uint8_t> bytes;
  MaskView view;
  ConstantMask(std::uint8_t value, int w = 241, int h = 209) : bytes(std::size_t(w) * h, value) {
    view = MakeMaskView(bytes.data(), w, w, h);
  }
};

using Kernel = void (*)(std::uint8_t*, const std::uint8_t*, int, const KeyRowParams&);

class Kernels : public ::testing::TestWithParam<Kernel> {};

// For each of the 256 constant masks m, two rows: pixels of random colour
// with alphas 0..255 under lightness weight 255 (every (alpha, m) pair), and
// opaque greys of value v, which read entry v of a scrambled table (every
// (lightness weight, m) pair: alpha 255 - round(w * m / 255), colour kept).
TEST_P(Kernels, AlphaOfAllPairsIsTheRoundedRationalProduct) {
  std::array<std::uint32_t, 256> full, table;
  full.fill(255);
  for (int v = 0; v < 256; ++v) table[v] = std::uint32_t((v * 97 + 31) % 256);
  std::mt19937 rng(3);
  std::vector<std::uint8_t> src(256 * 4), greys(256 * 4), dst(256 * 4);
  for (int v = 0; v < 256; ++v) {
    for (int c = 0; c < 3; ++c)
      src[4 * v + c] = std::uint8_t(rng()), greys[4 * v + c] = std::uint8_t(v);
    src[4 * v + 3] = std::uint8_t(v);
    greys[4 * v + 3] = 255;
  }
  for (int m = 0; m < 256; ++m) {
    const ConstantMask mask{std::uint8_t(m)};
    KeyRowParams p{mask.view, full.data(), 0.5f};
    GetParam()(dst.data(), src.data(), 256, p);
    for (int a = 0; a < 256; ++a)
      ASSERT_EQ(dst[4 * a + 3], Rational255(a * (255 - m))) << "alpha " << a << " mask " << m;
    p.lightness = table.data();
    GetParam()(dst.data(), greys.data(), 256, p);
    for (int v = 0; v < 256; ++v) {
      ASSERT_EQ(dst[4 * v + 3], 255 - Rational255(table[v] * m)) << "grey " << v << " mask " << m;
      ASSERT_TRUE(
          std::equal(&dst[4 * v], &dst[4 * v + 3], &greys[4 * v]));  // greys keep their colour
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Key, Kernels, ::testing::Values(&KeyRowPlain_ref, &KeyRowSpill_ref),
                         [](const auto& param_info) {
                           return param_info.param == &KeyRowPlain_ref ? std::string("Plain")
                                                                       : std::string("Spill");
                         });

}  // namespace
