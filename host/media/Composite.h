#pragma once
// Pictures derived from a keyed frame for people to look at: the matte (the
// alpha as grey) and a preview (the keyed frame over a checkerboard, opaque).
// Kernels work on one row of 32-bit BGRA with straight alpha; the image
// functions walk the rows.
#include "host/media/Image.h"

#include <cstdint>

namespace mattix::media {

struct Checkerboard {
  int cell = 16;             // side of one square, in pixels
  std::uint8_t dark = 102;   // grey of the squares where (x / cell + y / cell) is even
  std::uint8_t light = 153;  // grey of the others
};

// grey[x] = alpha of pixel x.
void MatteRow(const std::uint8_t* bgra, std::uint8_t* grey, int width);

// Composites row y of a keyed frame over the checkerboard:
// out = round((c * a + k * (255 - a)) / 255) per colour channel, alpha 255,
// where k is the square's grey. Integer arithmetic (the rounded division by
// 255 of the keying engine, exact for every product of two bytes).
void PreviewRow(const std::uint8_t* bgra, std::uint8_t* out, int width, int y,
                const Checkerboard& board);
// The same in double precision, rounding to nearest.
void PreviewRow_ref(const std::uint8_t* bgra, std::uint8_t* out, int width, int y,
                    const Checkerboard& board);

GreyImage MakeMatte(const BgraImage& keyed);
BgraImage MakePreview(const BgraImage& keyed, const Checkerboard& board = {});

}  // namespace mattix::media
