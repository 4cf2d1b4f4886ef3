#pragma once
// Per-pixel keying of one row of 32-bit pixels (bytes blue, green, red,
// alpha, straight alpha). The kernels read the source row, the chroma mask
// and the lightness table and write the target row; they know nothing of
// images, fields or strides. The _ref functions are the reference; the
// vector kernels (_sse41, _avx2 with FMA, _avx512 with its BW, DQ, VL and
// VBMI parts, on x86 processors that offer them) give the same bytes for
// every input.
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

// Vector forms of the two kernels, same contract. They read the mask as
// 32-bit words when its stride is a multiple of 4 (the whole word of any
// byte then lies within the stride * height bytes of the mask).
void KeyRowPlain_sse41(std::uint8_t* dst, const std::uint8_t* src, int width,
                       const KeyRowParams& p);
void KeyRowSpill_sse41(std::uint8_t* dst, const std::uint8_t* src, int width,
                       const KeyRowParams& p);
void KeyRowPlain_avx2(std::uint8_t* dst, const std::uint8_t* src, int width, const KeyRowParams& p);
void KeyRowSpill_avx2(std::uint8_t* dst, const std::uint8_t* src, int width, const KeyRowParams& p);
void KeyRowPlain_avx512(std::uint8_t* dst, const std::uint8_t* src, int width,
                        const KeyRowParams& p);
void KeyRowSpill_avx512(std::uint8_t* dst, const std::uint8_t* src, int width,
                        const KeyRowParams& p);

using KeyRowFn = void (*)(std::uint8_t* dst, const std::uint8_t* src, int width,
                          const KeyRowParams& p);

// Position in a colour table of colour c = blue | green << 8 | red << 16:
// the cube of colours in blocks of 4 x 4 x 4 colours (a 64-byte line of
// the plain table) within blocks of 16 x 16 x 16, so that the similar
// colours of neighbouring pixels share lines and pages. From the lowest
// bits up: blue 1-0, green 1-0, red 1-0, blue 3-2, green 3-2, red 3-2,
// blue 7-4, green 7-4, red 7-4.
constexpr std::uint32_t TableIndex(std::uint32_t c) {
  return (c & 0x3u) | ((c >> 6) & 0xCu) | ((c >> 12) & 0x30u) | ((c << 4) & 0xC0u) |
         ((c >> 2) & 0x300u) | ((c >> 8) & 0xC00u) | ((c << 8) & 0xF000u) | ((c << 4) & 0xF0000u) |
         (c & 0xF00000u);
}

// Keying through a table of every colour (CColourTable), entry c at
// TableIndex(c) for the pixel's colour c. Plain form: entry c is the alpha
// the key gives colour c at full alpha, 255 - t; each target pixel is the
// source's colour with alpha round(A * entry / 255), which is
// round(A * (255 - t) / 255). The table holds 3 bytes more than its 2^24
// entries (the vector kernels read each entry as a 32-bit word). Spill
// form: entry c is the whole keyed pixel of colour c at full alpha; each
// target pixel is its colour with alpha round(A * (entry >> 24) / 255).
// dst may equal src.
void LookupRowPlain_ref(std::uint8_t* dst, const std::uint8_t* src, int width,
                        const std::uint8_t* alphas);
void LookupRowSpill_ref(std::uint8_t* dst, const std::uint8_t* src, int width,
                        const std::uint32_t* keyed);
void LookupRowPlain_avx2(std::uint8_t* dst, const std::uint8_t* src, int width,
                         const std::uint8_t* alphas);
void LookupRowSpill_avx2(std::uint8_t* dst, const std::uint8_t* src, int width,
                         const std::uint32_t* keyed);
void LookupRowPlain_avx512(std::uint8_t* dst, const std::uint8_t* src, int width,
                           const std::uint8_t* alphas);
void LookupRowSpill_avx512(std::uint8_t* dst, const std::uint8_t* src, int width,
                           const std::uint32_t* keyed);

using LookupPlainFn = void (*)(std::uint8_t* dst, const std::uint8_t* src, int width,
                               const std::uint8_t* alphas);
using LookupSpillFn = void (*)(std::uint8_t* dst, const std::uint8_t* src, int width,
                               const std::uint32_t* keyed);

struct KeyRowKernels {
  KeyRowFn plain;
  KeyRowFn spill;
  LookupPlainFn lookupPlain;  // the reference's for sets without gathers
  LookupSpillFn lookupSpill;
};

enum class KernelSet { kReference, kSse41, kAvx2, kAvx512 };

// Whether this build and this processor can run the set (the reference
// always can).
bool KernelSetAvailable(KernelSet set);
// The kernels of a set; the reference for a set that is not available.
KeyRowKernels KernelsOf(KernelSet set);
// "reference", "sse4.1", "avx2", "avx512".
const char* KernelSetName(KernelSet set);
// The set the engine keys with, chosen once per process: the one named by
// the environment variable MATTIX_KEY_KERNEL when it names an available set,
// otherwise the fastest available.
KernelSet ActiveKernelSet();

}  // namespace mattix::key::internal
