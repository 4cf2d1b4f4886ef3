// Every kernel set on rows built so that every answer is known:
// constant masks (the chroma weight is the constant) and grey pixels (the
// lightness index is the grey value), which cover every (alpha, key weight)
// and (lightness weight, chroma weight) pair against the exact rational
// formula. The vector row kernels against the reference, byte for byte:
// every one of the 16,777,216 colours (alphas cycling through 0..255) under
// a table of masks, lightness tables and spill factors, out of place and in
// place (the cases run in turn on each set, each changing the mask, the
// table or the spill factor, so a kernel that kept anything from an earlier
// call shows); every row length from 1 to 64 at misaligned starts. The same
// for keying through a colour table: the table each vector set makes, read
// by the look-up kernels of every set, against the reference on every
// colour, every row length and start. (Tables found again or made anew as
// the engine's settings change are the engine's test, Mattix2Test.)
//
// Built with the sanitizers or without optimisation (a Debug build), the
// colour walk takes every 61st colour: the reference alone would need
// minutes there.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "key/internal/ColourTable.h"
#include "key/internal/KeyKernels.h"

namespace {

using namespace mattix::key::internal;

#if defined(MATTIX_SANITIZE) || !defined(NDEBUG)
constexpr std::uint32_t kColourStep = 61;
#else
constexpr std::uint32_t kColourStep = 1;
#endif

// A set's row kernel, plain or with spill suppression.
KeyRowFn Kernel(KernelSet set, bool spill) {
  return spill ? KernelsOf(set).spill : KernelsOf(set).plain;
}

// floor(p / 255 + 1/2) in exact integers.
std::uint32_t Rational255(std::uint32_t p) { return (2 * p + 255) / 510; }

enum class MaskKind { kFull, kRandom, kSingle };
enum class TableKind { kFull, kWindow, kScrambled };

// An 8-bit mask of the given size and stride. The random one has no two
// neighbouring pixels alike, so a lookup one row or column off shows.
struct Mask {
  std::vector<std::uint8_t> bytes;
  MaskView view;
  Mask(MaskKind kind, int width, int height, int stride)
      : bytes(std::size_t(stride) * height, kind == MaskKind::kFull ? 255 : 0) {
    std::mt19937 rng(7);
    for (int r = 0; kind == MaskKind::kRandom && r < height; ++r)
      for (int c = 0; c < width; ++c) {
        std::uint8_t* v = &bytes[std::size_t(r) * stride + c];
        do *v = std::uint8_t(rng());
        while ((c > 0 && *v == v[-1]) || (r > 0 && *v == v[-stride]));
      }
    if (kind == MaskKind::kSingle) bytes[std::size_t(141) * stride + 162] = 255;
    view = MakeMaskView(bytes.data(), stride, width, height);
  }
};

std::array<std::uint32_t, 256> Table(TableKind kind) {
  std::array<std::uint32_t, 256> t;
  const double window[4] = {20, 40, 60, 80}, full[4] = {0, 0, 100, 100};
  FillLightnessTable(kind == TableKind::kWindow ? window : full, t.data());
  if (kind == TableKind::kScrambled)
    for (int v = 0; v < 256; ++v) t[v] = std::uint32_t((v * 97 + 31) % 256);
  return t;
}

// Every kernel set's plain and spill kernels, as (set, spill).
class Kernels : public ::testing::TestWithParam<std::tuple<KernelSet, bool>> {};

// For each of the 256 constant masks m, two rows: pixels of random colour
// with alphas 0..255 under lightness weight 255 (every (alpha, m) pair), and
// opaque greys of value v, which read entry v of a scrambled table (every
// (lightness weight, m) pair: alpha 255 - round(w * m / 255), colour kept).
TEST_P(Kernels, AlphaOfAllPairsIsTheRoundedRationalProduct) {
  const auto [set, spill] = GetParam();
  if (!KernelSetAvailable(set))
    GTEST_SKIP() << "this processor (or build) cannot run the " << KernelSetName(set) << " kernels";
  const KeyRowFn kernel = Kernel(set, spill);
  std::array<std::uint32_t, 256> full;
  full.fill(255);
  const auto table = Table(TableKind::kScrambled);
  // Pixel v: alpha v under a random colour; opaque grey v.
  std::mt19937 rng(3);
  std::vector<std::uint8_t> src(256 * 4), greys(256 * 4), dst(256 * 4);
  for (int i = 0; i < 256 * 4; ++i) {
    src[i] = std::uint8_t(i % 4 == 3 ? i / 4 : rng());
    greys[i] = std::uint8_t(i % 4 == 3 ? 255 : i / 4);
  }
  for (int m = 0; m < 256; ++m) {
    const std::vector<std::uint8_t> cells(241 * 209, std::uint8_t(m));
    KeyRowParams p{MakeMaskView(cells.data(), 241, 241, 209), full.data(), 0.5f};
    kernel(dst.data(), src.data(), 256, p);
    for (int a = 0; a < 256; ++a)
      ASSERT_EQ(dst[4 * a + 3], Rational255(a * (255 - m))) << "alpha " << a << " mask " << m;
    p.lightness = table.data();
    kernel(dst.data(), greys.data(), 256, p);
    for (int v = 0; v < 256; ++v) {
      ASSERT_EQ(dst[4 * v + 3], 255 - Rational255(table[v] * m)) << "grey " << v << " mask " << m;
      // Greys keep their colour.
      ASSERT_TRUE(std::equal(&dst[4 * v], &dst[4 * v + 3], &greys[4 * v]));
    }
  }
}

struct Case {
  const char* name;
  MaskKind mask;
  int width, height, stride;
  TableKind table;
  float spill;  // spill factor, or below 0 for the plain form
};

const Case kCases[] = {
    {"FullWindowPlain", MaskKind::kFull, 241, 209, 244, TableKind::kWindow, -1},
    {"RandomScrambledPlain", MaskKind::kRandom, 241, 209, 244, TableKind::kScrambled, -1},
    {"BigRandomWindowPlain", MaskKind::kRandom, 2001, 1601, 2004, TableKind::kWindow, -1},
    {"TinyRandomPlain", MaskKind::kRandom, 3, 1, 4, TableKind::kFull, -1},
    {"RandomSpillHalf", MaskKind::kRandom, 241, 209, 244, TableKind::kFull, 0.5f},
    {"ByteStrideRandomWindowSpill", MaskKind::kRandom, 241, 209, 241, TableKind::kWindow, 0.3f},
    {"RandomScrambledSpillAll", MaskKind::kRandom, 241, 209, 244, TableKind::kScrambled, 0.0f},
    {"SingleSpill", MaskKind::kSingle, 241, 209, 244, TableKind::kWindow, 0.7f},
};

const KernelSet kVectorSets[] = {KernelSet::kSse41, KernelSet::kAvx2, KernelSet::kAvx512};
// Test names of the sets, in the enumeration's order.
std::string SetName(KernelSet s) {
  return std::array{"Reference", "Sse41", "Avx2", "Avx512"}[int(s)];
}

const KernelSet kEverySet[] = {KernelSet::kReference, KernelSet::kSse41, KernelSet::kAvx2,
                               KernelSet::kAvx512};

// The colour table of a key, made at once by the given set's kernel.
std::shared_ptr<const CColourTable> TableOf(const KeyRowParams& params, bool spill,
                                            KernelSet maker) {
  CColourTable::SetPixelsBeforeTable(0);
  auto table = CColourTable::ForKey(params, spill, Kernel(maker, spill), 1);
  CColourTable::SetPixelsBeforeTable(-1);
  return table;
}

INSTANTIATE_TEST_SUITE_P(Key, Kernels,
                         ::testing::Combine(::testing::ValuesIn(kEverySet), ::testing::Bool()),
                         [](const auto& i) {
                           return SetName(std::get<0>(i.param)) +
                                  (std::get<1>(i.param) ? "_Spill" : "_Plain");
                         });

class EveryColour : public ::testing::TestWithParam<std::tuple<int, KernelSet>> {};

TEST_P(EveryColour, MatchesTheReference) {
  const auto [index, set] = GetParam();
  if (!KernelSetAvailable(set))
    GTEST_SKIP() << "this processor (or build) cannot run the " << KernelSetName(set) << " kernels";
  const Case& c = kCases[index];
  const Mask mask(c.mask, c.width, c.height, c.stride);
  const auto table = Table(c.table);
  const KeyRowParams params{mask.view, table.data(), c.spill};
  const bool spill = c.spill >= 0;

  // The input and the reference's output of one case, kept while the case's
  // kernel sets run (the reference is the slow part).
  static int cached = -1;
  static std::vector<std::uint8_t> source, expected;
  if (cached != index) {
    cached = index;
    source.resize(4 * std::size_t(((1u << 24) + kColourStep - 1) / kColourStep));
    std::uint8_t* at = source.data();
    for (std::uint32_t colour = 0; colour < (1u << 24); colour += kColourStep, at += 4) {
      const std::uint32_t pixel = colour | ((colour * 151u + std::uint32_t(index) * 29u) << 24);
      for (int b = 0; b < 4; ++b) at[b] = std::uint8_t(pixel >> (8 * b));
    }
    expected.assign(source.size(), 0);
    Kernel(KernelSet::kReference, spill)(expected.data(), source.data(), int(source.size() / 4),
                                         params);
  }
  // Out of place, then in place (the lanes that a kernel keys again must
  // come from the source as it was). The buffers stay for the next case:
  // 64 MiB each, their pages are touched once.
  static std::vector<std::uint8_t> keyed, inPlace;
  keyed.assign(source.size(), 0);
  inPlace = source;
  Kernel(set, spill)(keyed.data(), source.data(), int(keyed.size() / 4), params);
  Kernel(set, spill)(inPlace.data(), inPlace.data(), int(inPlace.size() / 4), params);
  for (const auto* actual : {&keyed, &inPlace}) {
    if (*actual == expected) continue;
    std::size_t wrong = 0, first = 0;
    for (std::size_t i = 0; i < actual->size(); i += 4)
      if (std::memcmp(&(*actual)[i], &expected[i], 4) != 0 && wrong++ == 0) first = i;
    ADD_FAILURE() << wrong << " pixels differ " << (actual == &keyed ? "out of place" : "in place")
                  << ", the first at pixel " << first / 4;
  }
  // The key's table as the engine makes it (with its own set: the others'
  // kernels give the same bytes, as above), read by every set's look-up
  // kernels.
  if (set != ActiveKernelSet()) return;
  const auto colours = TableOf(params, spill, set);
  ASSERT_TRUE(colours);
  for (KernelSet reader : kEverySet) {
    if (!KernelSetAvailable(reader)) continue;
    keyed.assign(source.size(), 0);
    inPlace = source;
    colours->KeyRow(keyed.data(), source.data(), int(keyed.size() / 4), KernelsOf(reader));
    colours->KeyRow(inPlace.data(), inPlace.data(), int(inPlace.size() / 4), KernelsOf(reader));
    EXPECT_TRUE(keyed == expected) << "table read by " << KernelSetName(reader);
    EXPECT_TRUE(inPlace == expected) << "table read in place by " << KernelSetName(reader);
  }
}

INSTANTIATE_TEST_SUITE_P(Key, EveryColour,
                         ::testing::Combine(::testing::Range(0, int(std::size(kCases))),
                                            ::testing::ValuesIn(kVectorSets)),
                         [](const auto& i) {
                           return kCases[std::get<0>(i.param)].name +
                                  ("_" + SetName(std::get<1>(i.param)));
                         });

class Rows : public ::testing::TestWithParam<KernelSet> {};

// Every length from 1 to 64 starting 0 to 8 pixels into the buffer, in both
// forms, keyed by the set's kernel and through the key's table (made as the
// engine makes it) read by the set's look-up kernels: the pixels of the row
// equal the reference's, those around it stay as they were; keyed in place,
// the buffer equals the reference's keyed in place (a plain loop over pixels).
TEST_P(Rows, EveryLengthAndStart) {
  const KernelSet set = GetParam();
  if (!KernelSetAvailable(set))
    GTEST_SKIP() << "this processor (or build) cannot run the " << KernelSetName(set) << " kernels";
  const Mask mask(MaskKind::kRandom, 241, 209, 244);
  const auto table = Table(TableKind::kWindow);
  const KeyRowParams params{mask.view, table.data(), 0.4f};
  std::mt19937 rng(5);
  std::vector<std::uint8_t> source(4 * 80);
  for (auto& v : source) v = std::uint8_t(rng());
  for (int x = 0; x < 80; x += 5) std::memset(&source[4 * x], x * 3, 3);  // some greys
  for (bool spill : {false, true}) {
    const KeyRowFn ref = Kernel(KernelSet::kReference, spill), fast = Kernel(set, spill);
    const auto colours = TableOf(params, spill, ActiveKernelSet());
    ASSERT_TRUE(colours);
    for (const bool viaTable : {false, true})
      for (int width = 1; width <= 64; ++width)
        for (int start = 0; start <= 8; ++start) {
          const auto key = [&](std::uint8_t* out, const std::uint8_t* in) {
            viaTable ? colours->KeyRow(out, in, width, KernelsOf(set))
                     : fast(out, in, width, params);
          };
          SCOPED_TRACE(testing::Message() << (viaTable ? "table, " : "") << "width " << width
                                          << " start " << start << " spill " << spill);
          std::vector<std::uint8_t> expected(source.size(), 0xA5), actual = expected;
          const std::size_t at = 4 * std::size_t(start);
          ref(&expected[at], &source[at], width, params);
          key(&actual[at], &source[at]);
          ASSERT_EQ(actual, expected);
          std::vector<std::uint8_t> inPlace = source, refInPlace = source;
          key(&inPlace[at], &inPlace[at]);
          ref(&refInPlace[at], &refInPlace[at], width, params);
          ASSERT_EQ(inPlace, refInPlace) << "in place";
        }
  }
}

INSTANTIATE_TEST_SUITE_P(Key, Rows, ::testing::ValuesIn(kVectorSets),
                         [](const auto& i) { return SetName(i.param); });

// A key's table filled a share at a time by the callers keying with it:
// nothing before half its pixels are keyed directly, then a share a call
// until every colour is in (a key changed in between starts again). Filled
// so by one thread and by two at once, the tables key every colour as the
// kernel does.
TEST(ColourTable, FilledInSharesKeysEveryColourAsTheKernel) {
  const KernelSet set = ActiveKernelSet();
  const Mask mask(MaskKind::kRandom, 241, 209, 244);
  const auto lightness = Table(TableKind::kWindow);
  const KeyRowParams keys[2] = {{mask.view, lightness.data(), 0.4f},
                                {mask.view, lightness.data(), 0.6f}};
  const KeyRowFn kernel = KernelsOf(set).spill;
  // 2^19 pixels keyed directly, then 32 colours filled for each pixel keyed.
  CColourTable::SetPixelsBeforeTable(1 << 20);
  for (int call = 0; call < 4; ++call)
    EXPECT_FALSE(CColourTable::ForKey(keys[0], true, kernel, 1 << 17));
  EXPECT_FALSE(CColourTable::ForKey(keys[1], true, kernel, 1 << 17));
  std::shared_ptr<const CColourTable> tables[3];
  int nulls[3] = {};
  const auto keyer = [&](int t, const KeyRowParams& key) {
    while (!(tables[t] = CColourTable::ForKey(key, true, kernel, 1 << 16))) ++nulls[t];
  };
  keyer(0, keys[0]);
  EXPECT_EQ(nulls[0], 8 + 7);  // 8 calls keyed directly, 8 shares filled
  std::thread second(keyer, 2, keys[1]);
  keyer(1, keys[1]);
  second.join();
  EXPECT_EQ(tables[1], tables[2]);
  std::vector<std::uint32_t> source(4096), expected(4096), actual(4096);
  const auto bytes = [](auto& v) { return reinterpret_cast<std::uint8_t*>(v.data()); };
  for (std::uint32_t first = 0; first < (1u << 24); first += 4096 * kColourStep) {
    for (std::uint32_t i = 0; i < 4096; ++i) source[i] = (first + i) | (i & 0xFF) << 24;
    for (int k = 0; k < 2; ++k) {
      kernel(bytes(expected), bytes(source), 4096, keys[k]);
      tables[k]->KeyRow(bytes(actual), bytes(source), 4096, KernelsOf(set));
      ASSERT_EQ(actual, expected) << "key " << k << ", colours from " << first;
    }
  }
  CColourTable::SetPixelsBeforeTable(-1);
}

}  // namespace
