#pragma once
// Where a colour falls on the hue/saturation wheel: the one rule that the
// wheel's picture, its key mask, the colour marks and the keying engine
// share, so that a colour marked on the wheel is the colour the engine keys.
//
// The wheel picture and its key mask are 241 x 209 pixels with rows stored
// bottom-up (buffer row 0 is the bottom row as displayed). Hue is in turns
// (0 up to 1, red at 0, counter-clockwise), saturation 0 to 1.
#include <cmath>

namespace mattix::wheel {

inline constexpr int kWidth = 241;
inline constexpr int kHeight = 209;

// Centre of the picture: column 120, buffer row 104 (the middle row).
inline constexpr int kCentreColumn = (kWidth - 1) / 2;
inline constexpr int kCentreRow = (kHeight - 1) / 2;

// Colours without hue (greys) are read and marked at column 120, buffer row
// 120: not the centre row, so a grey mark does not sit under the centre.
inline constexpr int kGreyColumn = 120;
inline constexpr int kGreyRow = 120;

// 2 pi as the single-precision constant of the wheel's arithmetic.
inline constexpr float kTwoPi = 6.2831855f;

struct Position {
  int row;     // buffer row, 0 = bottom as displayed
  int column;  // 0 = left
};

// Position of hue h and saturation s on a mask with half extents fx and fy
// ((width - 1) / 2 and (height - 1) / 2), all in single precision:
//   row    = trunc((sin(2 pi h) * s + 1) * fy + 0.5)
//   column = trunc((cos(2 pi h) * s + 1) * fx + 0.5)
// Results are limited to 0..2fy and 0..2fx, so a saturation slightly above
// 1, or a value that is not finite, still lands on the mask.
inline Position PositionOf(float h, float s, float fx, float fy) {
  const float theta = h * kTwoPi;
  float r = (std::sin(theta) * s + 1.0f) * fy + 0.5f;
  float c = (std::cos(theta) * s + 1.0f) * fx + 0.5f;
  if (!(r >= 0.0f)) r = 0.0f;  // also NaN
  if (r > 2.0f * fy) r = 2.0f * fy;
  if (!(c >= 0.0f)) c = 0.0f;
  if (c > 2.0f * fx) c = 2.0f * fx;
  return {static_cast<int>(r), static_cast<int>(c)};
}

// Position of hue h and saturation s on the 241 x 209 wheel.
inline Position PositionOf(float h, float s) {
  return PositionOf(h, s, 0.5f * float(kWidth - 1), 0.5f * float(kHeight - 1));
}

}  // namespace mattix::wheel
