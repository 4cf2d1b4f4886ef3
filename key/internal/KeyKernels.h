#pragma once
// Per-pixel keying of one row of 32-bit pixels (bytes blue, green, red,
// alpha, straight alpha). The kernels read the source row, the chroma mask
// and the lightness table and write the target row; they know nothing of
// images, fields or strides. The _ref functions are the reference: any
// faster kernel must give the same bytes.
#include <cstdint>

#include "key/internal/KeyMath.h"

namespace mattix::key::internal {

struct KeyRowParams {
  MaskView mask;                             // chroma weights on the wheel
  const std::uint32_t* lightness = nullptr;  // 256 weights, each 0..255
  float spillFactor = 1.0f;                  // saturation scale of partly keyed colours
};

// Plain form: each target pixel is the source pixel with alpha
// round(A * (255 - t) / 255), t = round(w * k / 255), w the lightness weight
// and k the chroma weight of the pixel's colour. dst may equal src.
void KeyRowPlain_ref(std::uint8_t* dst, const std::uint8_t* src, int width, const KeyRowParams& p);

// Spill form: the same alpha; a chromatic colour (s > 0) whose chroma weight
// k is 1..254 (partly keyed, judged by k alone, not by t) is rebuilt from its
// hue and lightness with its saturation scaled by the spill factor. Colours
// keyed fully or not at all, and greys, keep their colour. dst may equal src.
void KeyRowSpill_ref(std::uint8_t* dst, const std::uint8_t* src, int width, const KeyRowParams& p);

}  // namespace mattix::key::internal
