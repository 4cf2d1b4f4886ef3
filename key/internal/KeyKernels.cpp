#include "key/internal/KeyKernels.h"

#include <cstdlib>
#include <cstring>

#include "stdfx/HSL.h"

namespace mattix::key::internal {
namespace {

// One source pixel (blue, green, red, alpha) as both forms see it: its HLS,
// its chroma weight k and its keyed alpha.
struct KeyedPixel {
  float h, l, s;
  std::uint32_t k;
  std::uint8_t alpha;
};

inline KeyedPixel KeyPixel(const std::uint8_t* src, const KeyRowParams& p) {
  KeyedPixel px;
  stdfx::CHSL::RGBtoHLS(px.h, px.l, px.s, src[2], src[1], src[0]);
  px.k = ChromaWeight(p.mask, px.h, px.s);
  const std::uint32_t w = p.lightness[LightnessIndex(px.l)];
  px.alpha = static_cast<std::uint8_t>(KeyedAlpha(src[3], KeyWeight(w, px.k)));
  return px;
}

}  // namespace

void KeyRowPlain_ref(std::uint8_t* dst, const std::uint8_t* src, int width, const KeyRowParams& p) {
  for (int x = 0; x < width; ++x, src += 4, dst += 4) {
    const std::uint8_t alpha = KeyPixel(src, p).alpha;
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
    dst[3] = alpha;
  }
}

void KeyRowSpill_ref(std::uint8_t* dst, const std::uint8_t* src, int width, const KeyRowParams& p) {
  for (int x = 0; x < width; ++x, src += 4, dst += 4) {
    const KeyedPixel px = KeyPixel(src, p);
    if (px.k >= 1 && px.k <= 254 && px.s > 0.0f) {
      int r2, g2, b2;
      stdfx::CHSL::HLStoRGB(r2, g2, b2, px.h, px.l, px.s * p.spillFactor);
      dst[0] = static_cast<std::uint8_t>(b2);
      dst[1] = static_cast<std::uint8_t>(g2);
      dst[2] = static_cast<std::uint8_t>(r2);
    } else {
      dst[0] = src[0];
      dst[1] = src[1];
      dst[2] = src[2];
    }
    dst[3] = px.alpha;
  }
}

void LookupRowPlain_ref(std::uint8_t* dst, const std::uint8_t* src, int width,
                        const std::uint8_t* alphas) {
  for (int x = 0; x < width; ++x, src += 4, dst += 4) {
    const std::uint32_t colour = src[0] | std::uint32_t(src[1]) << 8 | std::uint32_t(src[2]) << 16;
    const std::uint32_t alpha = RoundDiv255(std::uint32_t(src[3]) * alphas[TableIndex(colour)]);
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
    dst[3] = static_cast<std::uint8_t>(alpha);
  }
}

void LookupRowSpill_ref(std::uint8_t* dst, const std::uint8_t* src, int width,
                        const std::uint32_t* keyed) {
  for (int x = 0; x < width; ++x, src += 4, dst += 4) {
    const std::uint32_t colour = src[0] | std::uint32_t(src[1]) << 8 | std::uint32_t(src[2]) << 16;
    const std::uint32_t entry = keyed[TableIndex(colour)];
    const std::uint32_t alpha = RoundDiv255(std::uint32_t(src[3]) * (entry >> 24));
    dst[0] = static_cast<std::uint8_t>(entry);
    dst[1] = static_cast<std::uint8_t>(entry >> 8);
    dst[2] = static_cast<std::uint8_t>(entry >> 16);
    dst[3] = static_cast<std::uint8_t>(alpha);
  }
}

bool KernelSetAvailable(KernelSet set) {
  switch (set) {
    case KernelSet::kReference:
      return true;
#if MATTIX_KEY_X86
    case KernelSet::kSse41:
      return __builtin_cpu_supports("sse4.1");
    case KernelSet::kAvx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case KernelSet::kAvx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
             __builtin_cpu_supports("avx512vbmi");
#endif
    default:
      return false;
  }
}

KeyRowKernels KernelsOf(KernelSet set) {
#if MATTIX_KEY_X86
  if (KernelSetAvailable(set)) {
    if (set == KernelSet::kAvx512)
      return {KeyRowPlain_avx512, KeyRowSpill_avx512, LookupRowPlain_avx512, LookupRowSpill_avx512};
    if (set == KernelSet::kAvx2)
      return {KeyRowPlain_avx2, KeyRowSpill_avx2, LookupRowPlain_avx2, LookupRowSpill_avx2};
    if (set == KernelSet::kSse41)
      return {KeyRowPlain_sse41, KeyRowSpill_sse41, LookupRowPlain_ref, LookupRowSpill_ref};
  }
#endif
  (void)set;
  return {KeyRowPlain_ref, KeyRowSpill_ref, LookupRowPlain_ref, LookupRowSpill_ref};
}

const char* KernelSetName(KernelSet set) {
  switch (set) {
    case KernelSet::kSse41:
      return "sse4.1";
    case KernelSet::kAvx2:
      return "avx2";
    case KernelSet::kAvx512:
      return "avx512";
    default:
      return "reference";
  }
}

KernelSet ActiveKernelSet() {
  static const KernelSet chosen = [] {
    constexpr KernelSet kFastestFirst[] = {KernelSet::kAvx512, KernelSet::kAvx2, KernelSet::kSse41,
                                           KernelSet::kReference};
    if (const char* wanted = std::getenv("MATTIX_KEY_KERNEL"))
      for (KernelSet set : kFastestFirst)
        if (std::strcmp(wanted, KernelSetName(set)) == 0 && KernelSetAvailable(set)) return set;
    for (KernelSet set : kFastestFirst)
      if (KernelSetAvailable(set)) return set;
    return KernelSet::kReference;
  }();
  return chosen;
}

}  // namespace mattix::key::internal
