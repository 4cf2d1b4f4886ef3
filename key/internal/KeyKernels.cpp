#include "key/internal/KeyKernels.h"

#include "stdfx/HSL.h"

namespace mattix::key::internal {

void KeyRowPlain_ref(std::uint8_t* dst, const std::uint8_t* src, int width,
                     const KeyRowParams& p) {
  for (int x = 0; x < width; ++x, src += 4, dst += 4) {
    const std::uint8_t b = src[0], g = src[1], r = src[2], a = src[3];
    float h, l, s;
    stdfx::CHSL::RGBtoHLS(h, l, s, r, g, b);
    const std::uint32_t k = ChromaWeight(p.mask, h, s);
    const std::uint32_t w = p.lightness[LightnessIndex(l)];
    dst[0] = b;
    dst[1] = g;
    dst[2] = r;
    dst[3] = static_cast<std::uint8_t>(KeyedAlpha(a, KeyWeight(w, k)));
  }
}

void KeyRowSpill_ref(std::uint8_t* dst, const std::uint8_t* src, int width,
                     const KeyRowParams& p) {
  for (int x = 0; x < width; ++x, src += 4, dst += 4) {
    const std::uint8_t b = src[0], g = src[1], r = src[2], a = src[3];
    float h, l, s;
    stdfx::CHSL::RGBtoHLS(h, l, s, r, g, b);
    const std::uint32_t k = ChromaWeight(p.mask, h, s);
    const std::uint32_t w = p.lightness[LightnessIndex(l)];
    const auto alpha = static_cast<std::uint8_t>(KeyedAlpha(a, KeyWeight(w, k)));
    if (k >= 1 && k <= 254 && s > 0.0f) {
      int r2, g2, b2;
      stdfx::CHSL::HLStoRGB(r2, g2, b2, h, l, s * p.spillFactor);
      dst[0] = static_cast<std::uint8_t>(b2);
      dst[1] = static_cast<std::uint8_t>(g2);
      dst[2] = static_cast<std::uint8_t>(r2);
    } else {
      dst[0] = b;
      dst[1] = g;
      dst[2] = r;
    }
    dst[3] = alpha;
  }
}

}  // namespace mattix::key::internal
