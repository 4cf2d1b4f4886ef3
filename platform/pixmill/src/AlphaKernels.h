#pragma once
// Internal row kernels of the alpha conversions, 32-bit pixels (bytes blue,
// green, red, alpha). Plain references; a fast variant would sit beside them
// with a test comparing the two.
#include <cstdint>

namespace stdfx::internal {

// Exact rounded division by 255 of a product of two bytes (halves up).
inline unsigned Div255(unsigned x) { return ((x + 128) + ((x + 128) >> 8)) >> 8; }

// c' = round(c * a / 255).
void PremultiplyRow_ref(std::uint8_t* row, int width);
// c = min(255, round(c' * 255 / a)), halves up; alpha 0 gives colour 0.
void StraightenRow_ref(std::uint8_t* row, int width);

}  // namespace stdfx::internal
