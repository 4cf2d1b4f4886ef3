// The unmixing key on mixes of known colours: a screen and a subject mixed
// at known shares, each mix in a patch of its own. The weight the key gives
// each mix's wheel pixel is the screen's share, as the two-colour model
// C = a F + (1 - a) B states it directly: 1 - a = 1 - (C - B).(F - B) / |F - B|^2.
// And the key does not depend on how its work is split over threads.
// The backdrop's cluster against a sort of its colours: a screen of known
// hues and saturations beside colours of the opposite hue, in one part or
// several. Its range and median are the screen colours' own percentiles
// (the value at place floor(q n) of the n sorted), which the cluster finds
// by counting and a partial sort.
#include "host/matte/BackdropCluster.h"
#include "host/matte/UnmixKey.h"
#include "host/matte/internal/BackdropColours.h"
#include "host/matte/internal/LineTest.h"
#include "host/matte/internal/SquareNear.h"

#include "host/samples/SampleScene.h"
#include "stdfx/HSL.h"
#include "wheel/WheelGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

namespace mattix::matte {
namespace {

using Colour = std::array<int, 3>;  // B, G, R

// The key's weight (0 to 255) at the wheel pixel a colour falls on.
int WeightOf(const UnmixedKey& key, const Colour& c) {
  float h = 0, l = 0, s = 0;
  stdfx::CHSL::RGBtoHLS(h, l, s, c[2], c[1], c[0]);
  wheel::Position p{wheel::kGreyRow, wheel::kGreyColumn};
  if (h >= 0) p = wheel::PositionOf(h, s);
  return key.mask.Row(wheel::kHeight - 1 - p.row)[p.column];
}

// The screen's share of a mix, from the two-colour model directly.
double ShareOf(const Colour& c, const Colour& b, const Colour& f) {
  double dot = 0, n2 = 0;
  for (int k = 0; k < 3; ++k) {
    dot += (c[k] - b[k]) * (f[k] - b[k]);
    n2 += (f[k] - b[k]) * (f[k] - b[k]);
  }
  return 1.0 - dot / n2;
}

struct Scene {
  Colour screen, subject;
};

// The screen's share `share` of a mix with the subject, rounded.
Colour Mix(const Scene& sc, double share) {
  Colour m;
  for (int k = 0; k < 3; ++k)
    m[k] = int(std::lround(share * sc.screen[k] + (1 - share) * sc.subject[k]));
  return m;
}

// An opaque frame whose pixel (x, y) is colourAt(x, y).
template <class ColourAt>
media::BgraImage Paint(int w, int h, ColourAt colourAt) {
  media::BgraImage frame(w, h);
  std::fill(frame.pixels.begin(), frame.pixels.end(), 255);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) std::ranges::copy(colourAt(x, y), frame.Row(y) + x * 4);
  return frame;
}

TEST(UnmixKey, WeightsAreTheScreensShareOfEachMix) {
  // A neutral subject (the colour-difference estimate alone is exact) and a
  // saturated one (the mixes need the subject's colour found nearby), on a
  // green and on a blue screen.
  const Scene scenes[] = {{{60, 180, 50}, {128, 128, 128}},
                          {{60, 180, 50}, {40, 50, 200}},
                          {{200, 70, 30}, {60, 200, 220}}};
  for (const Scene& sc : scenes) {
    // 240 x 120: screen, a 40-pixel block of subject, and six 16 x 16
    // patches of mixes 8 pixels below it.
    std::vector<Colour> mixes;
    for (const double share : {0.15, 0.3, 0.45, 0.6, 0.75, 0.9}) mixes.push_back(Mix(sc, share));
    const media::BgraImage frame = Paint(240, 120, [&](int x, int y) {
      const int patch = (x - 20) / 32;
      if (y >= 58 && y < 74 && x >= 20 && (x - 20) % 32 < 16 && patch < 6)
        return mixes[std::size_t(patch)];
      return y >= 10 && y < 50 && x >= 20 && x < 220 ? sc.subject : sc.screen;
    });
    const UnmixedKey key = UnmixKey(frame).value();
    EXPECT_EQ(std::pair(WeightOf(key, sc.screen), WeightOf(key, sc.subject)), std::pair(255, 0));
    for (const Colour& m : mixes)
      EXPECT_NEAR(WeightOf(key, m), 255 * ShareOf(m, sc.screen, sc.subject), 2.0)
          << m[2] << "," << m[1] << "," << m[0];
    // The lightness window holds the screen and every mix fully.
    mixes.push_back(sc.screen);
    for (const Colour& c : mixes) {
      const auto [low, high] = std::minmax_element(c.begin(), c.end());
      const double lightness = 100.0 * (*low + *high) / 510.0;
      EXPECT_TRUE(key.lightness[1] <= lightness && lightness <= key.lightness[2]) << lightness;
    }
  }
}

// A red ramp over green far longer than the search for a subject colour
// reaches: its mixes look solid to a colour difference, and only the ramp's
// pure end tells their shares, found through the mixes between. Every mix
// from the far end of that search keeps its share along the ramp.
TEST(UnmixKey, ALongRampIsUnmixedAgainstItsPureEnd) {
  const Scene sc{{60, 180, 50}, {40, 50, 200}};
  // Screen up to x = 40, the ramp's share of screen falling from 1 to 0 up
  // to x = 400, solid subject after it, in rows 20 to 39.
  const auto shareAt = [](int x) { return std::clamp((400.0 - x) / 360.0, 0.0, 1.0); };
  const auto colourAt = [&](int x, int y) {
    return y >= 20 && y < 40 ? Mix(sc, shareAt(x)) : sc.screen;
  };
  const UnmixedKey key = UnmixKey(Paint(480, 60, colourAt), 1).value();
  for (const int x : {220, 260, 300, 340})
    EXPECT_NEAR(WeightOf(key, Mix(sc, shareAt(x))), 255 * shareAt(x), 6.0) << x;
}

// The screen's light spilled on a body's rim is keyed as the body (12
// pixels wide), and the despill edge is measured there; translucent
// strands beside opaque strands of the same colour (hair) are keyed by
// their share, and their edges do not hide the rim's cast: a pair of
// strands is thinner than a body.
TEST(UnmixKey, SpillIsTheRimOfABodyNotAStrandBesideAnOpaqueOne) {
  const Scene sc{{60, 180, 50}, {128, 128, 128}};
  const Colour rim = Mix(sc, 0.25), strand = Mix(sc, 0.45);
  const media::BgraImage frame = Paint(240, 120, [&](int x, int y) {
    const bool rows = y >= 20 && y < 100;
    if (rows && x >= 20 && x < 32) return x < 22 || x >= 30 || y < 22 || y >= 98 ? rim : sc.subject;
    if (rows && x >= 110 && x < 230 && (x - 110) % 8 < 4)
      return (x - 110) % 8 < 2 ? sc.subject : strand;
    return sc.screen;
  });
  const UnmixedKey key = UnmixKey(frame, 1).value();
  EXPECT_EQ(WeightOf(key, rim), 0);
  EXPECT_NEAR(WeightOf(key, strand), 255 * 0.45, 3.0);
  EXPECT_GT(key.despillEdge, 0);
}

// The work split into bands of rows gives the same key however it is split
// (the sample scene at 480 x 288). And the same scene at three times the
// size (each pixel a 3 x 3 block) is the same shot sampled finer: the clips
// and the window key auto chooses, from counts of pixels and reaches on its
// analysis grid, do not change with it.
TEST(UnmixKey, TheSameKeyInAnyNumberOfBandsAndAtThreeTimesTheSize) {
  const auto facts = [](const UnmixedKey& k) {
    return std::tuple(k.mask.pixels, k.lightness, k.despill, k.clipBlack, k.clipWhite, k.noise,
                      k.backdrop.hue, k.backdrop.hueLow, k.backdrop.hueHigh);
  };
  for (const samples::Backdrop backdrop : {samples::Backdrop::Blue, samples::Backdrop::Green}) {
    const media::BgraImage frame = samples::ScreenScene(480, 288, backdrop).picture;
    const UnmixedKey one = UnmixKey(frame, 1).value();
    for (const int bands : {2, 7}) {
      const std::optional<UnmixedKey> split = UnmixKey(frame, bands);
      EXPECT_TRUE(split && facts(*split) == facts(one)) << bands;
    }
    media::BgraImage large(3 * 480, 3 * 288);
    for (int y = 0; y < large.height; ++y)
      for (int x = 0; x < large.width; ++x)
        std::copy_n(frame.Row(y / 3) + (x / 3) * 4, 4, large.Row(y) + x * 4);
    const UnmixedKey three = UnmixKey(large, 2).value();
    EXPECT_EQ(std::tuple(three.clipBlack, three.clipWhite, three.lightness),
              std::tuple(one.clipBlack, one.clipWhite, one.lightness));
  }
}

// The candidates' test, many at once, gives what the one-at-a-time
// functions give, bit for bit (on and near the bounds too), for runs of
// every length and alignment.
TEST(UnmixKey, LineTestRowMatchesOneAtATime) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> level(0.0f, 255.0f), unit(-1.0f, 1.0f);
  constexpr int kCount = 300;
  for (int round = 0; round < 40; ++round) {
    const float b[3] = {level(random), level(random), level(random)};
    // C far from B, or as near as the least contrast.
    const float reach = round % 4 ? 100.0f : 25.0f;
    const float most = round % 2 ? 1.0f : 1.05f, line = round % 3 ? 12.0f : 8.0f;
    const float cb[3] = {reach * unit(random), reach * unit(random), reach * unit(random)};
    const internal::LineTest test{{b[0], b[1], b[2]}, {cb[0], cb[1], cb[2]}, most, line, 40.0f};
    // A third of the candidates on the line through B and C at shares of
    // -0.2 to 1.3 (nudged off it by up to 14 levels), a third near B, a
    // third anywhere.
    std::vector<float> planes[3];
    for (int k = 0; k < kCount; ++k) {
      const float a = 0.55f + 0.75f * unit(random), off = 14.0f * unit(random);
      for (int q = 0; q < 3; ++q)
        planes[q].push_back(k % 3 == 0   ? b[q] + test.cb[q] / a + off * unit(random)
                            : k % 3 == 1 ? b[q] + 30.0f * unit(random)
                                         : level(random));
    }
    for (const int first : {0, 1, 3}) {
      const int count = kCount - first - round;
      std::vector<float> out(std::size_t(count) + 1, 99.0f);
      internal::PassingNormsRow(&planes[0][first], &planes[1][first], &planes[2][first], count,
                                test, out.data());
      for (int k = 0; k < count; ++k) {
        const std::size_t at = std::size_t(first + k);
        const float fb[3] = {planes[0][at] - b[0], planes[1][at] - b[1], planes[2][at] - b[2]};
        const float n2 = internal::SquaredNorm(fb), a = internal::Share(test.cb, fb, n2);
        const bool pass = n2 >= 1600.0f && a > 0.0f && a <= test.most &&
                          internal::OffLine(test.cb, fb, a) <= test.line;
        ASSERT_EQ(out[std::size_t(k)], pass ? n2 : -1.0f) << round << " " << first << " " << k;
      }
      EXPECT_EQ(out[std::size_t(count)], 99.0f);  // nothing written past the run
    }
  }
}

TEST(UnmixKey, NoScreenNoKey) {
  // A grey frame and a red one: no green or blue backdrop to key.
  for (const Colour c : {Colour{128, 128, 128}, Colour{30, 40, 200}})
    EXPECT_FALSE(UnmixKey(Paint(64, 48, [&](int, int) { return c; })));
}

// The square's dilation against a search of each pixel's square, for
// squares within the picture, cut by its sides and larger than it, split
// into one band or several: random pictures, and each single pixel of a
// small one (its square exactly).
template <int Bits>
void CheckSquareNear(const std::vector<std::uint8_t>& set, int w, int h, int r, int bands) {
  std::vector<std::uint8_t> near = set, across(set.size());
  internal::SquareNear<Bits>(near, across, w, h, r, bands);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int want = 0;
      for (int v = std::max(0, y - r); v <= std::min(h - 1, y + r); ++v)
        for (int u = std::max(0, x - r); u <= std::min(w - 1, x + r); ++u)
          want |= set[std::size_t(v * w + u)] & ((1 << Bits) - 1);
      ASSERT_EQ(near[std::size_t(y * w + x)], want)
          << Bits << " bits, " << w << "x" << h << " r " << r << " at " << x << "," << y;
    }
}

TEST(SquareNear, EachBitIsSetWhereThatBitLiesInTheSquareAround) {
  // w, h, r, bands, one pixel in `sparseness` set.
  for (const auto& [w, h, r, bands, sparseness] :
       {std::array{17, 13, 2, 1, 29}, std::array{40, 7, 6, 3, 97}, std::array{5, 30, 0, 2, 3},
        std::array{9, 9, 12, 2, 40}}) {
    std::mt19937 random(unsigned(w * 31 + r));
    std::vector<std::uint8_t> set(std::size_t(w * h));
    for (std::uint8_t& v : set) v = random() % sparseness == 0 ? std::uint8_t(random()) : 0;
    CheckSquareNear<1>(set, w, h, r, bands);
    CheckSquareNear<2>(set, w, h, r, bands);
  }
  for (std::size_t at = 0; at < 8 * 7; ++at) {
    std::vector<std::uint8_t> set(8 * 7, 0);
    set[at] = 2;
    CheckSquareNear<2>(set, 8, 7, 2, 2);
  }
}

// The value at place floor(q n) of the values sorted.
float At(std::vector<float> v, double q) {
  std::sort(v.begin(), v.end());
  return v[std::size_t(q * double(v.size()))];
}

TEST(BackdropCluster, RangesAreTheScreenColoursPercentiles) {
  // Green hues 0.30 to 0.36, and hues around red that wrap through 0.
  for (const float centre : {0.33f, 0.005f}) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> hue(-0.03f, 0.03f), saturation(0.55f, 0.75f);
    // 6000 colours of the screen, then 2500 half a turn away.
    std::vector<internal::Hls> colours;
    std::vector<float> offsets, saturations;
    for (int i = 0; i < 8500; ++i) {
      const float offset = hue(random), h = centre + offset + (i < 6000 ? 0.0f : 0.5f);
      colours.push_back({h - std::floor(h), 0.5f, saturation(random)});
      if (i >= 6000) continue;
      offsets.push_back(offset);
      saturations.push_back(colours.back().s);
    }
    const auto wrapped = [&](double q) {
      const float h = centre + At(offsets, q);
      return h - std::floor(h);
    };
    for (const std::size_t parts : {1u, 3u}) {
      std::vector<std::vector<internal::Hls>> split(parts);
      for (std::size_t i = 0; i < colours.size(); ++i) split[i % parts].push_back(colours[i]);
      const BackdropCluster c = internal::FindBackdropIn(split, 10000).value();
      EXPECT_FLOAT_EQ(c.hueLow, wrapped(0.01)) << centre << " " << parts;
      EXPECT_FLOAT_EQ(c.hueHigh, wrapped(0.99)) << centre << " " << parts;
      EXPECT_FLOAT_EQ(c.hue, wrapped(0.5)) << centre << " " << parts;
      EXPECT_EQ(std::pair(c.saturationLow, c.saturationHigh),
                std::pair(At(saturations, 0.02), At(saturations, 0.98)));
      EXPECT_EQ(c.share, 0.6);
      // The same colours in a frame ten times larger are too few to be one.
      EXPECT_FALSE(internal::FindBackdropIn(split, 100000));
    }
  }
}

}  // namespace
}  // namespace mattix::matte
