// The backdrop's cluster against a sort of its colours: a screen of known
// hues and saturations among colours of other hues, in one part or
// several. Its range and median are the colours' own percentiles (the
// value at place floor(q n) of the n screen colours sorted), which the
// cluster finds by counting and a partial sort.
#include "host/matte/BackdropCluster.h"
#include "host/matte/internal/BackdropColours.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace mattix::matte {
namespace {

using internal::Hls;

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
    std::vector<Hls> screen, others;
    std::vector<float> offsets, saturations;
    for (int i = 0; i < 6000; ++i) {
      const float offset = hue(random), h = centre + offset;
      screen.push_back({h - std::floor(h), 0.5f, saturation(random)});
      offsets.push_back(offset);
      saturations.push_back(screen.back().s);
    }
    // Another hue, half a turn away, at the screen's saturations too.
    for (int i = 0; i < 2500; ++i) {
      const float h = centre + 0.5f + hue(random);
      others.push_back({h - std::floor(h), 0.5f, saturation(random)});
    }
    for (const std::size_t parts : {1u, 3u}) {
      std::vector<std::vector<Hls>> colours(parts);
      for (std::size_t i = 0; i < screen.size(); ++i) colours[i % parts].push_back(screen[i]);
      for (std::size_t i = 0; i < others.size(); ++i) colours[i % parts].push_back(others[i]);
      const std::optional<BackdropCluster> c = internal::FindBackdropIn(colours, 10000);
      ASSERT_TRUE(c);
      const auto hueAt = [&](double q) {
        const float h = centre + At(offsets, q);
        return h - std::floor(h);
      };
      EXPECT_FLOAT_EQ(c->hueLow, hueAt(0.01)) << centre << " " << parts;
      EXPECT_FLOAT_EQ(c->hueHigh, hueAt(0.99)) << centre << " " << parts;
      EXPECT_FLOAT_EQ(c->hue, hueAt(0.5)) << centre << " " << parts;
      EXPECT_EQ(c->saturationLow, At(saturations, 0.02));
      EXPECT_EQ(c->saturationHigh, At(saturations, 0.98));
      EXPECT_EQ(c->share, 0.6);
      // The same colours in a frame ten times larger are too few to be one.
      EXPECT_FALSE(internal::FindBackdropIn(colours, 100000));
    }
  }
}

}  // namespace
}  // namespace mattix::matte
