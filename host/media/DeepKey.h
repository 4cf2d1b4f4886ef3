#pragma once
// Keying a frame at the precision of its file. The effect keys 8-bit BGRA;
// a deep frame (Image.h) is keyed through its 8-bit view, and the key is
// carried back to the full-precision picture:
//   - alpha is the keyed frame's alpha (a / 255), so the matte is the
//     effect's own;
//   - colour is the deep picture's, changed only where the effect changed
//     the 8-bit colour (spill suppression, despill), and then by the same
//     difference (keyed - view) / 255, on the coded scale; a pixel whose
//     colour the effect left alone keeps every bit.
// Linear pictures (OpenEXR) are viewed through the sRGB transfer, as a
// viewer shows them, and the difference is added on that scale.
#include "host/media/Image.h"

#include <cstdint>
#include <vector>

namespace mattix::media {

// The 8-bit view the effect keys: each sample to the nearest of 0 to 255
// (clamped), linear colour through the sRGB transfer first.
BgraImage EightBitView(const DeepImage& deep);

// The deep picture keyed as `keyed` keyed its 8-bit view `view` (all three
// of one size), in place. The result has `deep`'s facts (bits, linearity).
DeepImage ApplyKey(DeepImage deep, const BgraImage& view, const BgraImage& keyed);

// The deep picture's samples at 16 bits (RGBA, each to the nearest of 0 to
// 65535, clamped; linear colour through the sRGB transfer first), for the
// files and encoders that take integers.
std::vector<std::uint16_t> SixteenBitSamples(const DeepImage& deep);

// sRGB's transfer (IEC 61966-2-1) and its inverse on one value; values
// outside 0 to 1 keep their sign and follow the curve's formula.
float SrgbEncode(float linear);
float SrgbDecode(float coded);

namespace internal {

// A linear value's byte in the 8-bit view: SrgbByte_ref is the plain
// formula (through SrgbEncode), SrgbByte the same by tables (no power).
std::uint8_t SrgbByte_ref(float linear);
std::uint8_t SrgbByte(float linear);

// Row kernels over `width` pixels: the 8-bit view of a deep row (RGBA
// floats to BGRA bytes), and a deep row keyed (`out` may be `deep`).
void EightBitRow(const float* deep, std::uint8_t* bgra, int width, bool linear);
void ApplyKeyRow(const float* deep, const std::uint8_t* view, const std::uint8_t* keyed, float* out,
                 int width, bool linear);

}  // namespace internal

}  // namespace mattix::media
