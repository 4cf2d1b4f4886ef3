// Where hues and saturations fall on the 241 x 209 wheel mask: the picture's
// landmarks (red at the right, hue 1/4 at the top as displayed, which is the
// last buffer row), and inputs out of range that must still land on it.
#include <gtest/gtest.h>

#include <cmath>

#include "wheel/WheelGeometry.h"

namespace {

namespace wheel = mattix::wheel;

TEST(WheelGeometry, Positions) {
  const float nan = std::nanf(""), inf = HUGE_VALF;
  // row, column -1: anywhere on the mask.
  const struct {
    float h, s;
    int row, column;
  } cases[] = {{0.0f, 1.0f, 104, 240},   {0.25f, 1.0f, 208, 120}, {0.5f, 1.0f, 104, 0},
               {0.75f, 1.0f, 0, 120},    {0.0f, 0.0f, 104, 120},  {0.6f, 0.0f, 104, 120},
               {0.125f, 0.5f, 141, 162}, {0.0f, 1.5f, -1, -1},    {0.25f, 1.0001f, -1, -1},
               {0.75f, 3.0f, -1, -1},    {nan, 1.0f, -1, -1},     {0.3f, nan, -1, -1},
               {0.1f, inf, -1, -1}};
  for (const auto& c : cases) {
    const wheel::Position p = wheel::PositionOf(c.h, c.s);
    EXPECT_TRUE(c.row < 0 ? p.row >= 0 && p.row < wheel::kHeight && p.column >= 0 &&
                                p.column < wheel::kWidth
                          : p.row == c.row && p.column == c.column)
        << c.h << " " << c.s << ": " << p.row << "," << p.column;
  }
}

}  // namespace
