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

struct KeyRowKernels {
  KeyRowFn plain;
  KeyRowFn spill;
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
