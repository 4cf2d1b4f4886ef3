#pragma once
// The hue/saturation wheel picture, as the module's resource (type 8000,
// name 1030) holds it: a Windows bitmap file of 241 x 209 pixels, 32 bits
// (blue, green, red, alpha bytes, straight alpha), rows bottom-up.
//
// For the pixel at column x and buffer row r, with dx = x - 120 and
// dy = r - 104: the hue is the polar angle of (dx, dy) counter-clockwise
// from the positive x axis in turns (red at the right, 1/4 at the top as
// displayed); the saturation is min(1, sqrt((dx / 120)^2 + (dy / 104)^2)),
// reaching 1 on the ellipse with half-axes 120 and 104; the lightness is
// 1/2; the colour is that HLS colour in 8-bit channels (the centre is 128,
// 128, 128). Alpha is 255 inside the regular hexagon of circumradius 120
// centred on (120, 104) with corners at columns 0 and 240 (its top and
// bottom edges on the first and last rows), 0 outside, and the covered
// fraction of the pixel, sampled 4 x 4, on the rim. Outside the hexagon the
// colour channels still hold the saturated colour.
#include <cstdint>
#include <vector>

namespace mattix::resources {

inline constexpr unsigned kWheelPictureType = 8000;
inline constexpr unsigned kWheelPictureId = 1030;

// The bitmap file's bytes: 14-byte file header, 40-byte info header, pixels.
std::vector<std::uint8_t> WheelPictureFile();

}  // namespace mattix::resources
