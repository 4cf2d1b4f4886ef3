// The keying engine driven through Process on small frames: statuses and
// their precedence, the copy without a mask, keying, spill suppression,
// softness, fields, unsafe settings and damaged mask records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "filter/Gaussian.h"
#include "key/Mattix2.h"
#include "tests/key/KeyTestUtil.h"

namespace {

using keytest::Frame;
using keytest::MaskRecord;
using keytest::Settings;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// round(a * (255 - t) / 255), halves up, in exact integers.
int RoundedAlpha(int a, int t) { return (2 * a * (255 - t) + 255) / 510; }

int KeyFrame(Frame& target, Frame& source, const Settings& s, const MaskRecord* mask,
             int field = -1) {
  CMattix2 engine;
  return engine.Process(target.dib(), source.dib(), s.v, mask ? mask->data() : nullptr,
                        mask ? mask->size() : 0, field);
}

// --- statuses and their precedence ------------------------------------------

struct StatusCase {
  std::string name;
  int sourceBits;
  DWORD sourceLayout;
  DWORD sourceAlpha;
  int targetBits;
  bool withMask;
  int status;
  enum { kUntouched, kCopied, kKeyed } outcome;
};

class StatusPrecedence : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusPrecedence, StatusAndTarget) {
  const StatusCase& c = GetParam();
  Frame source(12, 6, c.sourceBits, c.sourceLayout);
  Frame target(12, 6, c.targetBits);
  source.Fill(1);
  source.header().vfAlphaFlag = c.sourceAlpha;
  target.Fill(2);
  const auto before = target.pixels();
  const MaskRecord mask(0);  // keys nothing, so a keyed target equals the source
  ASSERT_FALSE(mask.bytes().empty());
  EXPECT_EQ(KeyFrame(target, source, Settings(), c.withMask ? &mask : nullptr), c.status);
  EXPECT_EQ(target.pixels(), c.outcome == StatusCase::kUntouched ? before : source.pixels());
  EXPECT_TRUE(target.GuardsIntact());
  EXPECT_TRUE(source.GuardsIntact());
}

const DWORD kYUV = stdfx::kLayoutYUV;
const DWORD kRGB = stdfx::kLayoutRGB;

INSTANTIATE_TEST_SUITE_P(
    Key, StatusPrecedence,
    ::testing::Values(
        StatusCase{"YuvSourceWithMask", 24, kYUV, 0, 32, true, 48, StatusCase::kUntouched},
        StatusCase{"RgbzSource", 32, stdfx::kLayoutRGBAZ, 0, 32, true, 48, StatusCase::kUntouched},
        StatusCase{"PremultipliedYuvCannotBeStraightened", 32, kYUV, 2, 32, true, 27,
                   StatusCase::kUntouched},
        StatusCase{"Rgb24WithoutMaskIsCopied", 24, kRGB, 0, 24, false, 0, StatusCase::kCopied},
        StatusCase{"Rgb24WithMask", 24, kRGB, 0, 24, true, 27, StatusCase::kUntouched},
        StatusCase{"Rgb32Into24WithMask", 32, kRGB, 0, 24, true, 27, StatusCase::kUntouched},
        StatusCase{"Rgb32WithoutMaskIsCopied", 32, kRGB, 0, 32, false, 0, StatusCase::kCopied},
        StatusCase{"Rgb32WithMaskIsKeyed", 32, kRGB, 0, 32, true, 0, StatusCase::kKeyed}),
    [](const auto& param_info) { return param_info.param.name; });

TEST(Key, InvalidOrMismatchedImagesGive27) {
  Frame target(8, 8), shortSource(8, 6), narrowSource(6, 8);
  shortSource.Fill(3);
  narrowSource.Fill(4);
  stdfx::CDIB empty;
  const MaskRecord mask;
  const auto before = target.pixels();
  CMattix2 engine;
  EXPECT_EQ(engine.Process(target.dib(), empty, nullptr, mask.data(), mask.size(), -1), 27);
  EXPECT_EQ(engine.Process(empty, target.dib(), nullptr, mask.data(), mask.size(), -1), 27);
  EXPECT_EQ(KeyFrame(target, shortSource, Settings(), nullptr), 27);  // copy path
  EXPECT_EQ(KeyFrame(target, shortSource, Settings(), &mask), 27);
  EXPECT_EQ(KeyFrame(target, narrowSource, Settings(), &mask), 27);
  EXPECT_EQ(target.pixels(), before);
}

// The record's size is the caller's: a header that declares more bytes than
// that is not followed, even when the memory behind holds the rest.
TEST(Key, RecordSizeIsTheCallersNotTheHeaders) {
  const MaskRecord valid(255);
  Frame source(4, 2), target(4, 2);
  source.Fill(17);
  for (std::uint32_t cut : {1u, 2u, 50u}) {
    CMattix2 engine;
    Settings s;
    ASSERT_EQ(engine.Process(target.dib(), source.dib(), s.v, valid.data(), valid.size() - cut, -1),
              0);
    EXPECT_FALSE(engine.Mask().IsValidDIB()) << cut;
    EXPECT_EQ(target.pixels(), source.pixels());
  }
  CMattix2 engine;
  Settings s;
  ASSERT_EQ(engine.Process(target.dib(), source.dib(), s.v, valid.data(), valid.size(), -1), 0);
  EXPECT_TRUE(engine.Mask().IsValidDIB());
}

// Damaged records (truncated at every length, or with flipped bytes in the
// header's size fields and the pixel stream) decode to no mask (frame
// copied) or to a sound 8-bit mask; never anything else, never a read
// outside the record.
TEST(Key, TruncatedAndCorruptedRecordsNeverCrash) {
  const MaskRecord valid(241, 209,
                         [](int r, int c) { return std::uint8_t(((r / 8 + c / 8) % 3) * 120); });
  Frame source(6, 4), target(6, 4);
  source.Fill(8);
  int copies = 0, keyed = 0;
  auto check = [&](const std::vector<std::uint8_t>& rec) {
    // A record of its own exact size, so a sanitizer catches any overread.
    std::vector<std::uint8_t> exact(rec);
    CMattix2 engine;
    Settings s;
    s.softness(30).spill(50);
    target.Fill(9);
    const int status =
        engine.Process(target.dib(), source.dib(), s.v, exact.empty() ? nullptr : exact.data(),
                       static_cast<std::uint32_t>(exact.size()), -1);
    ASSERT_EQ(status, 0);
    if (engine.Mask().IsValidDIB()) {
      ASSERT_EQ(engine.Mask().DIBBitCount(), 8);
      ASSERT_FALSE(engine.Mask().IsDIBEmpty());
      ++keyed;
    } else {
      ASSERT_EQ(target.pixels(), source.pixels());
      ++copies;
    }
    ASSERT_TRUE(target.GuardsIntact());
  };
  const auto& bytes = valid.bytes();
  for (std::size_t n = 0; n < bytes.size(); n += (n < 300 ? 1 : 13))
    check(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + n));
  std::mt19937 rng(2024);
  for (int i = 0; i < 600; ++i) {
    auto b = bytes;
    const int flips = 1 + int(rng() % 4);
    for (int f = 0; f < flips; ++f) {
      // Mostly the pixel stream, sometimes the header's size fields.
      const std::size_t at = (rng() % 4 == 0) ? 4 + rng() % 20 : rng() % b.size();
      b[at] = static_cast<std::uint8_t>(rng());
    }
    check(b);
  }
  check(bytes);
  EXPECT_GT(copies, 100);
  EXPECT_GT(keyed, 10);
}

// --- keying -------------------------------------------------------------------

struct HueCase {
  const char* name;
  std::uint8_t r, g, b;
  bool keyed;
};

TEST(Key, MaskOverTheRightHalfOfTheWheelKeysRedsNotCyans) {
  // Columns right of the centre hold hues within a quarter turn of red.
  const MaskRecord mask(241, 209, [](int, int c) { return std::uint8_t(c > 125 ? 255 : 0); });
  const HueCase cases[] = {{"red", 255, 0, 0, true},       {"yellow", 255, 255, 0, true},
                           {"magenta", 255, 0, 255, true}, {"green", 0, 255, 0, false},
                           {"cyan", 0, 255, 255, false},   {"blue", 0, 0, 255, false},
                           {"orange", 255, 128, 0, true},  {"grey", 90, 90, 90, false}};
  Frame source(std::size(cases), 1), target(std::size(cases), 1);
  for (std::size_t i = 0; i < std::size(cases); ++i)
    source.SetPixel(int(i), 0, cases[i].r, cases[i].g, cases[i].b, 200);
  ASSERT_EQ(KeyFrame(target, source, Settings(), &mask), 0);
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(target.line(0)[4 * i + 3], cases[i].keyed ? 0 : 200) << cases[i].name;
}

// Black, mid grey, white and a chromatic colour of saturation near 0: the
// greys read row 120, column 120; the colour reads the wheel's centre.
TEST(Key, GreysTakeTheWeightAtRow120Column120) {
  Frame source(4, 1), target(4, 1);
  const std::uint8_t rgb[4][3] = {{0, 0, 0}, {128, 128, 128}, {255, 255, 255}, {129, 128, 128}};
  for (int i = 0; i < 4; ++i) source.SetPixel(i, 0, rgb[i][0], rgb[i][1], rgb[i][2], 255);
  for (const auto& [row, greyAlpha] : {std::pair{120, 0}, std::pair{104, 255}}) {
    const MaskRecord mask(241, 209, [row = row](int r, int c) {
      return std::uint8_t(r == row && c == 120 ? 255 : 0);
    });
    ASSERT_EQ(KeyFrame(target, source, Settings(), &mask), 0);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(target.line(0)[4 * i + 3], i < 3 ? greyAlpha : 255 - greyAlpha) << row << " " << i;
  }
}

TEST(Key, LightnessWindowWeighsGreys) {
  const MaskRecord mask(255);
  // 20/40/60/80: entry v of the table, hence alpha 255 - table[v] for a
  // grey of value v.
  const std::pair<int, int> greys[] = {{0, 255}, {51, 255}, {52, 250},  {101, 5},   {102, 0},
                                       {153, 0}, {154, 5},  {203, 250}, {204, 255}, {255, 255}};
  Frame source(std::size(greys), 1), target(std::size(greys), 1);
  for (std::size_t i = 0; i < std::size(greys); ++i) {
    const auto v = std::uint8_t(greys[i].first);
    source.SetPixel(int(i), 0, v, v, v, 255);
  }
  ASSERT_EQ(KeyFrame(target, source, Settings().lightness(20, 40, 60, 80), &mask), 0);
  for (std::size_t i = 0; i < std::size(greys); ++i)
    EXPECT_EQ(target.line(0)[4 * i + 3], greys[i].second) << "grey " << greys[i].first;
}

// --- spill suppression --------------------------------------------------------

struct SpillCase {
  int mask;
  double spill;
  bool desaturated;
  bool lightnessWindow = false;  // 20/40/60/80 instead of 0/0/100/100
};

class Spill : public ::testing::TestWithParam<SpillCase> {};

TEST_P(Spill, PartlyKeyedColoursTurnGrey) {
  const SpillCase& c = GetParam();
  const MaskRecord mask(static_cast<std::uint8_t>(c.mask));
  Frame source(48, 6), target(48, 6);
  source.Fill(31);
  for (int x = 0; x < 6; ++x) {  // a few greys
    const auto v = std::uint8_t(40 * x);
    source.SetPixel(x, 0, v, v, v, 255);
  }
  Settings settings = Settings().spill(c.spill);
  if (c.lightnessWindow) settings.lightness(20, 40, 60, 80);
  ASSERT_EQ(KeyFrame(target, source, settings, &mask), 0);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 48; ++x) {
      const std::uint8_t* s = source.line(y) + 4 * x;
      const std::uint8_t* t = target.line(y) + 4 * x;
      if (!c.lightnessWindow) {
        ASSERT_EQ(t[3], RoundedAlpha(s[3], c.mask));
      }
      const bool grey = s[0] == s[1] && s[1] == s[2];
      if (c.desaturated && !grey) {
        ASSERT_TRUE(t[0] == t[1] && t[1] == t[2]) << x << "," << y;
        // The grey of the colour's lightness (max + min) / 2.
        const int mx = std::max({s[0], s[1], s[2]}), mn = std::min({s[0], s[1], s[2]});
        ASSERT_LE(std::abs(2 * t[0] - (mx + mn)), 1) << x << "," << y;
      } else {
        ASSERT_EQ(t[0], s[0]);
        ASSERT_EQ(t[1], s[1]);
        ASSERT_EQ(t[2], s[2]);
      }
    }
}

INSTANTIATE_TEST_SUITE_P(Key, Spill,
                         ::testing::Values(SpillCase{0, 100, false}, SpillCase{1, 100, true},
                                           SpillCase{254, 100, true}, SpillCase{255, 100, false},
                                           SpillCase{128, 0, false}, SpillCase{128, kNaN, false},
                                           // The key weight is partial or 0 here, but
                                           // only the chroma weight decides.
                                           SpillCase{255, 100, false, true},
                                           SpillCase{0, 100, false, true},
                                           SpillCase{128, 100, true, true}));

// --- softness -----------------------------------------------------------------

// The mask the engine should key with: the record's mask blurred by the
// blur itself with the given radius.
MaskRecord PreBlurred(const std::function<std::uint8_t(int, int)>& f, double radius) {
  const MaskRecord plain(241, 209, f);
  tagVFBMINFOHEADER h{};
  h.biSize = 144;
  h.biWidth = 241;
  h.biHeight = 209;
  h.biPlanes = 1;
  h.biBitCount = 8;
  stdfx::CDIB src(h), dst(h);
  const int stride = src.DIBBytesPerLine();
  for (int r = 0; r < 209; ++r)
    for (int c = 0; c < 241; ++c) src.GetBytes()[r * stride + c] = plain.At(r, c);
  stdfx::CGaussian blur(1);
  EXPECT_EQ(blur.Blur(dst, src, radius, radius), 0);
  return MaskRecord(241, 209, [&](int r, int c) { return dst.GetBytes()[r * stride + c]; });
}

struct SoftCase {
  double softness;
  double radius;  // 0: no blur
};

TEST(Key, SoftnessBlursTheMaskWithItsRadius) {
  auto disc = [](int r, int c) {
    const double dx = (c - 180) / 30.0, dy = (r - 104) / 26.0;
    return std::uint8_t(dx * dx + dy * dy <= 1 ? 255 : 0);
  };
  const SoftCase cases[] = {{10, 1},   {50, 6.25}, {75, 31.640625}, {0, 0},
                            {kNaN, 0}, {-3, 0},    {250, 100}};
  Frame source(96, 16);
  source.Fill(4242);
  const MaskRecord raw(241, 209, disc);
  Frame unblurred(96, 16);
  ASSERT_EQ(KeyFrame(unblurred, source, Settings(), &raw), 0);
  for (const auto& c : cases) {
    const MaskRecord expectedMask = c.radius > 0 ? PreBlurred(disc, c.radius) : raw;
    Frame expected(96, 16), actual(96, 16);
    ASSERT_EQ(KeyFrame(expected, source, Settings(), &expectedMask), 0);
    ASSERT_EQ(KeyFrame(actual, source, Settings().softness(c.softness), &raw), 0);
    EXPECT_EQ(actual.pixels(), expected.pixels()) << "softness " << c.softness;
    if (c.radius > 0) {
      EXPECT_NE(actual.pixels(), unblurred.pixels()) << "softness " << c.softness;
    }
  }
}

// --- fields -------------------------------------------------------------------

struct FieldCase {
  int field;
  bool withMask;
  bool topDown;
};

class Fields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(Fields, OnlyTheFieldsLinesAreWritten) {
  const FieldCase& c = GetParam();
  const MaskRecord mask(255);
  Frame source(9, 7, 32, stdfx::kLayoutRGB, c.topDown),
      target(9, 7, 32, stdfx::kLayoutRGB, c.topDown);
  source.Fill(11);
  target.Fill(12);
  const auto before = target.pixels();
  ASSERT_EQ(KeyFrame(target, source, Settings(), c.withMask ? &mask : nullptr, c.field), 0);
  for (int y = 0; y < 7; ++y) {
    const bool inField = c.field == -1 || (y % 2) == c.field;
    for (int x = 0; x < 9; ++x) {
      const std::uint8_t* s = source.line(y) + 4 * x;
      const std::uint8_t* t = target.line(y) + 4 * x;
      const std::uint8_t* b = before.data() + std::size_t(y) * target.stride() + 4 * x;
      if (!inField) {
        ASSERT_TRUE(std::equal(t, t + 4, b)) << "line " << y;
      } else {
        ASSERT_TRUE(std::equal(s, s + 3, t)) << "line " << y;
        ASSERT_EQ(t[3], c.withMask ? 0 : s[3]) << "line " << y;
      }
    }
  }
  EXPECT_TRUE(target.GuardsIntact());
}

INSTANTIATE_TEST_SUITE_P(Key, Fields,
                         ::testing::Values(FieldCase{0, true, false}, FieldCase{1, true, false},
                                           FieldCase{1, true, true}, FieldCase{0, false, false}));

TEST(Key, BothFieldsOrAnyOtherFieldNumberEqualTheWholeFrame) {
  const MaskRecord mask(241, 209, [](int r, int c) { return std::uint8_t((r * 3 + c) & 0xFF); });
  Frame source(20, 11), whole(20, 11), fields(20, 11), seven(20, 11);
  source.Fill(14);
  const Settings s = Settings().spill(40).softness(20);
  ASSERT_EQ(KeyFrame(whole, source, s, &mask, -1), 0);
  ASSERT_EQ(KeyFrame(fields, source, s, &mask, 0), 0);
  ASSERT_EQ(KeyFrame(fields, source, s, &mask, 1), 0);
  ASSERT_EQ(KeyFrame(seven, source, s, &mask, 7), 0);
  EXPECT_EQ(fields.pixels(), whole.pixels());
  EXPECT_EQ(seven.pixels(), whole.pixels());
}

// --- settings that are out of range or not numbers ------------------------------

struct EquivalentCase {
  const char* name;
  Settings odd;
  Settings same;
};

TEST(Key, UnsafeSettingsBehaveAsTheirDocumentedEquivalents) {
  const EquivalentCase cases[] = {
      {"NaN softness", Settings().softness(kNaN), Settings().softness(0)},
      {"inf softness", Settings().softness(kInf), Settings().softness(100)},
      {"NaN spill", Settings().spill(kNaN), Settings().spill(0)},
      {"NaN breakpoints", Settings().lightness(kNaN, kNaN, kNaN, kNaN),
       Settings().lightness(0, 0, 100, 100)},
      {"one NaN breakpoint", Settings().lightness(20, kNaN, 60, 80),
       Settings().lightness(20, 0, 60, 80)},
      {"infinite breakpoints", Settings().lightness(-kInf, -kInf, kInf, kInf),
       Settings().lightness(-10000, -10000, 10000, 10000)},
  };
  const MaskRecord mask(241, 209, [](int r, int c) {
    const double dx = (c - 60) / 50.0, dy = (r - 150) / 50.0;
    return std::uint8_t(std::clamp(255 - int(255 * (dx * dx + dy * dy)), 0, 255));
  });
  Frame source(40, 10);
  source.Fill(99);
  for (const auto& c : cases) {
    Frame a(40, 10), b(40, 10);
    ASSERT_EQ(KeyFrame(a, source, c.odd, &mask), 0) << c.name;
    ASSERT_EQ(KeyFrame(b, source, c.same, &mask), 0) << c.name;
    EXPECT_EQ(a.pixels(), b.pixels()) << c.name;
  }
}

TEST(Key, MaskOfAnySizeIsReadInsideIt) {
  for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 200}, std::pair{300, 2}, std::pair{121, 121}}) {
    const MaskRecord mask(w, h, [](int r, int c) { return std::uint8_t(r * 31 + c * 17); });
    ASSERT_FALSE(mask.bytes().empty());
    Frame source(32, 8), target(32, 8);
    source.Fill(w * 1000 + h);
    CMattix2 engine;
    Settings s = Settings().softness(40).spill(70);
    ASSERT_EQ(engine.Process(target.dib(), source.dib(), s.v, mask.data(), mask.size(), -1), 0);
    ASSERT_TRUE(engine.Mask().IsValidDIB()) << w << "x" << h;
    EXPECT_TRUE(target.GuardsIntact());
  }
}

}  // namespace
