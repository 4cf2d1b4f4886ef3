#pragma once
// Turns a picture upright by its display rotation, a quarter turn at a time.
#include <cstddef>
#include <cstdint>

namespace mattix::media::internal {

// Copies `width` x `height` pixels of `pixelBytes` bytes each (rows tightly
// packed) from `in` into `out`, turned by `rotation` degrees (0, 90, 180 or
// 270, the display matrix's angle, counter-clockwise): 90 and 270 give a
// height x width picture. `in` and `out` do not overlap.
void RotatePixels(const std::uint8_t* in, std::uint8_t* out, int width, int height,
                  std::size_t pixelBytes, int rotation);

}  // namespace mattix::media::internal
