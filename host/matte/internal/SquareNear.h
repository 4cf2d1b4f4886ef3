#pragma once
// Dilation of bit planes by a square, for `key auto`'s analysis: the pixels
// near a pixel of some kind.
#include <cstdint>
#include <vector>

namespace mattix::matte::internal {

// Each of the low `Bits` bits (1 or 2) of `set` (w x h, one byte a pixel)
// becomes set where a pixel with that bit lies within the (2r + 1)-square
// around (the part of it inside the picture), r >= 0; higher bits are
// cleared. `across`, of the same size, is scratch. The work is split into
// `bands` bands (at least 1); the result is the same however it is split.
template <int Bits>
void SquareNear(std::vector<std::uint8_t>& set, std::vector<std::uint8_t>& across, int w, int h,
                int r, int bands);

}  // namespace mattix::matte::internal
