// The backdrop's cluster against a sort of its colours: a screen of known
// hues and saturations beside colours of the opposite hue, in one part or
// several. Its range and median are the screen colours' own percentiles
// (the value at place floor(q n) of the n sorted), which the cluster finds
// by counting and a partial sort.
#include "host/matte/BackdropCluster.h"
#include "host/matte/internal/BackdropColours.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace mattix::matte {
namespace {

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
      const std::optional<BackdropCluster> c = internal::FindBackdropIn(split, 10000);
      ASSERT_TRUE(c);
      EXPECT_FLOAT_EQ(c->hueLow, wrapped(0.01)) << centre << " " << parts;
      EXPECT_FLOAT_EQ(c->hueHigh, wrapped(0.99)) << centre << " " << parts;
      EXPECT_FLOAT_EQ(c->hue, wrapped(0.5)) << centre << " " << parts;
      EXPECT_EQ(std::pair(c->saturationLow, c->saturationHigh),
                std::pair(At(saturations, 0.02), At(saturations, 0.98)));
      EXPECT_EQ(c->share, 0.6);
      // The same colours in a frame ten times larger are too few to be one.
      EXPECT_FALSE(internal::FindBackdropIn(split, 100000));
    }
  }
}

}  // namespace
}  // namespace mattix::matte
