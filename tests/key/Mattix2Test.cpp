// The keying engine driven through Process on small frames: statuses and
// their precedence, the copy without a mask, keying, spill suppression,
// softness, unsafe settings and damaged mask records; keying
// through colour tables as directly, while the settings change. Frames are
// attached to test memory with guard bytes on both sides; mask records are
// the wheel's (an 8-bit mask, BI_RLE8-compressed by the image library).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include "filter/Gaussian.h"
#include "key/Mattix2.h"
#include "key/internal/ColourTable.h"
#include "stdfx/DIB.h"
#include "stdfx/VfbmiHeader.h"
#include "tests/filter/FilterTestUtil.h"
#include "tests/pixmill/ImageTestUtil.h"
#include "tests/pixmill/Rle8Check.h"

namespace {

using filtertest::Frame;

// Mask records as the wheel stores them: byte (row, col) of the 8-bit mask
// set by f(row, col) in buffer order, or one value throughout.
using MaskRecord = pixmill_test::Bytes;
using pixmill_test::MaskRecordOf;
MaskRecord Flat(std::uint8_t value = 255) {
  return MaskRecordOf(241, 209, [value](int, int) { return value; });
}

// The engine's six settings: softness, spill, the four lightness breakpoints.
struct Settings {
  double v[6] = {0, 0, 0, 0, 100, 100};
  Settings& softness(double s) { return Set(0, {s}); }
  Settings& spill(double s) { return Set(1, {s}); }
  Settings& lightness(double a, double b, double c, double d) { return Set(2, {a, b, c, d}); }
  // Settings from index `first` on.
  Settings& Set(int first, std::initializer_list<double> values) {
    std::copy(values.begin(), values.end(), v + first);
    return *this;
  }
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

int KeyFrame(Frame& target, Frame& source, const Settings& s, const MaskRecord* mask,
             int field = -1) {
  return CMattix2().Process(target.dib(), source.dib(), s.v, mask ? mask->data() : nullptr,
                            mask ? std::uint32_t(mask->size()) : 0, field);
}

// Statuses and their precedence; a refused frame leaves the target as it
// was, a copied or keyed one (the mask keys nothing) equals the source.
TEST(Key, StatusPrecedence) {
  const DWORD yuv = stdfx::kLayoutYUV, rgb = stdfx::kLayoutRGB;
  const struct {
    int sourceBits;
    DWORD sourceLayout, sourceAlpha;
    int targetBits;
    bool withMask;
    int status;  // refused frames (status != 0) leave the target untouched
    int sourceWidth = 12, sourceHeight = 6;
  } cases[] = {{24, yuv, 0, 32, true, 48},        {32, stdfx::kLayoutRGBAZ, 0, 32, true, 48},
               {32, yuv, 2, 32, true, 27},  // premultiplied YUV cannot be straightened
               {24, rgb, 0, 24, false, 0},        {24, rgb, 0, 24, true, 27},
               {32, rgb, 0, 24, true, 27},        {32, rgb, 0, 32, false, 0},
               {32, rgb, 0, 32, true, 0},         {32, rgb, 0, 32, false, 27, 12, 4},  // shorter
               {32, rgb, 0, 32, true, 27, 12, 4}, {32, rgb, 0, 32, true, 27, 10, 6}};  // narrower
  const MaskRecord mask = Flat(0), full = Flat();
  for (const auto& c : cases) {
    Frame source(c.sourceWidth, c.sourceHeight, c.sourceBits, c.sourceLayout),
        target(12, 6, c.targetBits);
    source.Fill(1);
    target.Fill(2);
    source.header().vfAlphaFlag = c.sourceAlpha;
    const auto before = target.pixels();
    EXPECT_EQ(KeyFrame(target, source, Settings(), c.withMask ? &mask : nullptr), c.status);
    EXPECT_EQ(target.pixels(), c.status ? before : source.pixels()) << c.sourceBits;
    EXPECT_EQ(std::pair(target.GuardsIntact(), source.GuardsIntact()), std::pair(true, true));
  }
  // Images without pixels.
  Frame target(8, 8);
  stdfx::CDIB empty;
  const std::uint32_t size = std::uint32_t(full.size());
  EXPECT_EQ(CMattix2().Process(target.dib(), empty, nullptr, full.data(), size, -1), 27);
  EXPECT_EQ(CMattix2().Process(empty, target.dib(), nullptr, full.data(), size, -1), 27);
  // A header widened past what the library addresses after attaching has no
  // stride any more: refused, with or without a mask, rather than walked.
  Frame wideTarget(8, 2), wideSource(8, 2);
  wideSource.Fill(3);
  const auto wideBefore = wideTarget.pixels();
  for (Frame* widened : {&wideTarget, &wideSource}) {
    widened->header().biWidth = 17000;
    for (const MaskRecord* record : {&full, static_cast<const MaskRecord*>(nullptr)})
      EXPECT_EQ(KeyFrame(wideTarget, wideSource, Settings(), record), 27);
    widened->header().biWidth = 8;
  }
  EXPECT_EQ(wideTarget.pixels(), wideBefore);
  EXPECT_EQ(std::pair(wideTarget.GuardsIntact(), wideSource.GuardsIntact()), std::pair(true, true));
}

// Hues on the right half of the wheel (within a quarter turn of red) are
// keyed, the others not; greys read row 120, column 120 alone.
TEST(Key, WheelPositions) {
  const MaskRecord right = MaskRecordOf(241, 209, [](int r, int c) {
    return std::uint8_t(c > 125 || (r == 120 && c == 120) ? 255 : 0);
  });
  const std::uint8_t hues[][4] = {{255, 0, 0, 1},   {255, 255, 0, 1}, {255, 0, 255, 1},
                                  {0, 255, 0, 0},   {0, 255, 255, 0}, {0, 0, 255, 0},
                                  {255, 128, 0, 1}, {90, 90, 90, 1}};  // r, g, b, keyed
  Frame source(8, 1), target(8, 1);
  for (int i = 0; i < 8; ++i) source.SetPixel(i, 0, hues[i][0], hues[i][1], hues[i][2], 200);
  ASSERT_EQ(KeyFrame(target, source, Settings(), &right), 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(target.line(0)[4 * i + 3], hues[i][3] ? 0 : 200) << i;
}

// Partly keyed colours turn to the grey of their lightness (max + min) / 2;
// only the chroma weight decides, not the lightness window.
TEST(Key, SpillSuppression) {
  // The mask's value, spill, whether colours turn grey, with a lightness window.
  const std::tuple<int, double, bool, bool> cases[] = {
      {0, 100, false, false},   {1, 100, true, false},  {254, 100, true, false},
      {255, 100, false, false}, {128, 0, false, false}, {128, kNaN, false, false},
      {255, 100, false, true},  {0, 100, false, true},  {128, 100, true, true}};
  Frame source(48, 6);
  source.Fill(31);
  for (int x = 0; x < 6; ++x) source.SetPixel(x, 0, 40 * x, 40 * x, 40 * x, 255);  // greys
  for (const auto& [m, spill, desaturated, window] : cases) {
    const MaskRecord mask = Flat(std::uint8_t(m));
    Settings settings = Settings().spill(spill);
    if (window) settings.lightness(20, 40, 60, 80);
    Frame target(48, 6);
    ASSERT_EQ(KeyFrame(target, source, settings, &mask), 0);
    for (int i = 0; i < 48 * 6; ++i) {  // the rows have no padding
      const std::uint8_t *s = source.bits() + 4 * i, *t = target.bits() + 4 * i;
      ASSERT_TRUE(window || t[3] == (2 * s[3] * (255 - m) + 255) / 510) << i;
      const int mx = std::max({s[0], s[1], s[2]}), mn = std::min({s[0], s[1], s[2]});
      if (desaturated && mx != mn) {
        ASSERT_EQ(std::pair(t[1], t[2]), std::pair(t[0], t[0])) << m << " at " << i;
        ASSERT_LE(std::abs(2 * t[0] - (mx + mn)), 1) << i;
      } else {
        ASSERT_TRUE(std::equal(s, s + 3, t)) << m << " at " << i;
      }
    }
  }
}

// The mask the engine keys with is the record's mask blurred by the blur
// itself with the softness's radius.
TEST(Key, SoftnessBlursTheMaskWithItsRadius) {
  auto disc = [](int r, int c) {
    const double dx = (c - 180) / 30.0, dy = (r - 104) / 26.0;
    return std::uint8_t(dx * dx + dy * dy <= 1 ? 255 : 0);
  };
  const MaskRecord raw = MaskRecordOf(241, 209, disc);
  stdfx::CDIB plain(pixmill_test::MakeHeader(241, 209, 8));
  const int stride = plain.DIBBytesPerLine();
  for (int r = 0; r < 209; ++r)
    for (int c = 0; c < 241; ++c) plain.GetBytes()[r * stride + c] = disc(r, c);
  Frame source(96, 16), unblurred(96, 16);
  source.Fill(4242);
  ASSERT_EQ(KeyFrame(unblurred, source, Settings(), &raw), 0);
  const std::pair<double, double> cases[] = {{10, 1},   {50, 6.25}, {75, 31.640625}, {0, 0},
                                             {kNaN, 0}, {-3, 0},    {250, 100}};
  for (const auto& [softness, radius] : cases) {
    stdfx::CDIB blurred(*plain.GetVfBmiHeader());
    ASSERT_EQ(radius > 0 ? stdfx::CGaussian(1).Blur(blurred, plain, radius, radius) : 0, 0);
    const stdfx::CDIB& m = radius > 0 ? blurred : plain;
    const MaskRecord expectedMask =
        MaskRecordOf(241, 209, [&](int r, int c) { return m.GetBytes()[r * stride + c]; });
    Frame expected(96, 16), actual(96, 16);
    ASSERT_EQ(KeyFrame(expected, source, Settings(), &expectedMask), 0);
    ASSERT_EQ(KeyFrame(actual, source, Settings().softness(softness), &raw), 0);
    EXPECT_EQ(actual.pixels(), expected.pixels()) << "softness " << softness;
    EXPECT_TRUE(radius == 0 || actual.pixels() != unblurred.pixels()) << softness;
  }
}

// (A NaN softness and spill are the softness and spill tests'.)
TEST(Key, UnsafeSettingsBehaveAsTheirDocumentedEquivalents) {
  const std::pair<Settings, Settings> cases[] = {
      {Settings().softness(kInf), Settings().softness(100)},
      {Settings().lightness(kNaN, kNaN, kNaN, kNaN), Settings().lightness(0, 0, 100, 100)},
      {Settings().lightness(20, kNaN, 60, 80), Settings().lightness(20, 0, 60, 80)},
      {Settings().lightness(-kInf, -kInf, kInf, kInf),
       Settings().lightness(-10000, -10000, 10000, 10000)}};
  const MaskRecord mask = MaskRecordOf(241, 209, [](int r, int c) {
    const double dx = (c - 60) / 50.0, dy = (r - 150) / 50.0;
    return std::uint8_t(std::clamp(255 - int(255 * (dx * dx + dy * dy)), 0, 255));
  });
  Frame source(40, 10);
  source.Fill(99);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Frame a(40, 10), b(40, 10);
    ASSERT_EQ(KeyFrame(a, source, cases[i].first, &mask), 0) << i;
    ASSERT_EQ(KeyFrame(b, source, cases[i].second, &mask), 0) << i;
    EXPECT_EQ(a.pixels(), b.pixels()) << i;
  }
}

}  // namespace

// Frames keyed through the key's colour table (made at once) equal those
// keyed directly, whole and by field, through a run of settings in which
// each step changes one thing the table depends on.
TEST(Key, ThroughTheColourTableAsDirectly) {
  using mattix::key::internal::CColourTable;
  Frame source(37, 23);
  source.Fill(4);
  const MaskRecord ramp =
      MaskRecordOf(241, 209, [](int r, int c) { return (r * 7 + c * 3) % 256; });
  const MaskRecord other = MaskRecordOf(241, 209, [](int r, int c) { return (r + c * 5) % 256; });
  const std::pair<Settings, const MaskRecord*> steps[] = {
      {Settings(), &ramp},
      {Settings().softness(30), &ramp},
      {Settings().softness(30).spill(70), &ramp},
      {Settings().softness(30).spill(20), &ramp},
      {Settings().softness(30).spill(20).lightness(10, 30, 70, 90), &ramp},
      {Settings().softness(30).spill(20).lightness(10, 30, 70, 90), &other},
      {Settings(), &ramp}};
  // Every step's frame, whole and by field, keyed from tables made after `pixels`.
  const auto keyed = [&](int pixels) {
    CColourTable::SetPixelsBeforeTable(pixels);
    std::vector<std::vector<std::uint8_t>> frames;
    for (const auto& [settings, mask] : steps)
      for (int field : {-1, 0, 1}) {
        Frame frame(37, 23);
        EXPECT_EQ(KeyFrame(frame, source, settings, mask, field), 0);
        frames.push_back(frame.pixels());
      }
    return frames;
  };
  const auto direct = keyed(-1);
  const auto throughTables = keyed(0);
  for (std::size_t i = 0; i < direct.size(); ++i)
    EXPECT_TRUE(throughTables[i] == direct[i]) << "step " << i / 3 << " field " << int(i % 3) - 1;
  CColourTable::SetPixelsBeforeTable(1 << 24);
}
