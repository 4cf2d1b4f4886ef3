// The reference row kernels on rows built so that every answer is known:
// constant masks (the chroma weight is the constant), grey pixels (the
// lightness index is the grey value), and in-place runs.
#include <gtest/gtest.h>

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

// Every (alpha, mask value) pair: a row of 256 pixels with alphas 0..255 for
// each of the 256 constant masks, lightness weight 255.
TEST_P(Kernels, AlphaOfAllAlphaAndMaskPairs) {
  std::array<std::uint32_t, 256> full;
  full.fill(255);
  std::mt19937 rng(3);
  std::vector<std::uint8_t> src(256 * 4), dst(256 * 4);
  for (int a = 0; a < 256; ++a) {
    src[4 * a + 0] = std::uint8_t(rng());
    src[4 * a + 1] = std::uint8_t(rng());
    src[4 * a + 2] = std::uint8_t(rng());
    src[4 * a + 3] = std::uint8_t(a);
  }
  for (int m = 0; m < 256; ++m) {
    const ConstantMask mask{std::uint8_t(m)};
    KeyRowParams p;
    p.mask = mask.view;
    p.lightness = full.data();
    p.spillFactor = 0.5f;
    GetParam()(dst.data(), src.data(), 256, p);
    for (int a = 0; a < 256; ++a)
      ASSERT_EQ(dst[4 * a + 3], Rational255(a * (255 - m))) << "alpha " << a << " mask " << m;
  }
}

// Every (lightness weight, mask value) pair: grey pixels of value v read
// table entry v, here a scrambled table, so the key weight of each pair is
// round(w * m / 255) and the output alpha 255 - that.
TEST_P(Kernels, KeyWeightOfAllLightnessAndMaskPairs) {
  std::array<std::uint32_t, 256> table;
  for (int v = 0; v < 256; ++v) table[v] = std::uint32_t((v * 97 + 31) % 256);
  std::vector<std::uint8_t> src(256 * 4), dst(256 * 4);
  for (int v = 0; v < 256; ++v) {
    src[4 * v] = src[4 * v + 1] = src[4 * v + 2] = std::uint8_t(v);
    src[4 * v + 3] = 255;
  }
  for (int m = 0; m < 256; ++m) {
    const ConstantMask mask{std::uint8_t(m)};
    KeyRowParams p;
    p.mask = mask.view;
    p.lightness = table.data();
    p.spillFactor = 0.0f;
    GetParam()(dst.data(), src.data(), 256, p);
    for (int v = 0; v < 256; ++v) {
      const std::uint32_t t = Rational255(table[v] * m);
      ASSERT_EQ(dst[4 * v + 3], 255 - t) << "grey " << v << " mask " << m;
      ASSERT_EQ(dst[4 * v], v);  // greys keep their colour in both forms
      ASSERT_EQ(dst[4 * v + 1], v);
      ASSERT_EQ(dst[4 * v + 2], v);
    }
  }
}

TEST_P(Kernels, InPlaceEqualsOutOfPlace) {
  std::vector<std::uint8_t> maskBytes(241 * 209);
  for (std::size_t i = 0; i < maskBytes.size(); ++i) maskBytes[i] = std::uint8_t(i * 7 / 3);
  std::array<std::uint32_t, 256> table;
  for (int v = 0; v < 256; ++v) table[v] = std::uint32_t(255 - v / 2);
  KeyRowParams p;
  p.mask = MakeMaskView(maskBytes.data(), 241, 241, 209);
  p.lightness = table.data();
  p.spillFactor = 0.25f;
  std::mt19937 rng(9);
  std::vector<std::uint8_t> src(1000 * 4);
  for (auto& b : src) b = std::uint8_t(rng());
  std::vector<std::uint8_t> out(src.size()), inPlace(src);
  GetParam()(out.data(), src.data(), 1000, p);
  GetParam()(inPlace.data(), inPlace.data(), 1000, p);
  EXPECT_EQ(out, inPlace);
}

INSTANTIATE_TEST_SUITE_P(Key, Kernels, ::testing::Values(&KeyRowPlain_ref, &KeyRowSpill_ref),
                         [](const auto& param_info) {
                           return param_info.param == &KeyRowPlain_ref ? std::string("Plain")
                                                                 : std::string("Spill");
                         });

TEST(Kernels, PlainFormNeverChangesColourAndSpillFactorOneBarelyDoes) {
  std::vector<std::uint8_t> maskBytes(241 * 209, 128);
  std::array<std::uint32_t, 256> full;
  full.fill(255);
  KeyRowParams p;
  p.mask = MakeMaskView(maskBytes.data(), 241, 241, 209);
  p.lightness = full.data();
  p.spillFactor = 1.0f;
  std::mt19937 rng(10);
  std::vector<std::uint8_t> src(4096 * 4), plain(src.size()), spill(src.size());
  for (auto& b : src) b = std::uint8_t(rng());
  KeyRowPlain_ref(plain.data(), src.data(), 4096, p);
  KeyRowSpill_ref(spill.data(), src.data(), 4096, p);
  for (std::size_t i = 0; i < src.size(); ++i) {
    if (i % 4 == 3) {
      ASSERT_EQ(plain[i], spill[i]);
    } else {
      ASSERT_EQ(plain[i], src[i]);
      // Spill with factor 1 rebuilds the colour from its own HLS: a round
      // trip through single precision, within one step.
      ASSERT_LE(std::abs(int(spill[i]) - int(src[i])), 1) << i;
    }
  }
}

}  // namespace
