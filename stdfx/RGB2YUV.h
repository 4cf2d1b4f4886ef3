#pragma once
// RGB to 8-bit Y'CbCr of studio range (Y 16..235, Cb and Cr 16..240), for
// the packed 4:2:2 layout U Y0 V Y1.
//
// Coefficients by colour-space id: 0 (CCIR 601) Kr 0.299, Kb 0.114; 2 (ITU
// 709) Kr 0.2126, Kb 0.0722. Other ids (the normalised variants among them)
// are not supported: IsValid is false and ConvertRow writes nothing.
//
//   Y' = Kr R + (1 - Kr - Kb) G + Kb B            (R, G, B and Y' in 0..255)
//   Y  = 16 + 219 / 255 Y'
//   Cb = 128 + 224 / 255 (B - Y') / (2 (1 - Kb))
//   Cr = 128 + 224 / 255 (R - Y') / (2 (1 - Kr))
// each rounded to nearest (halves up). The chroma of a pair of pixels is
// that of their mean colour; an odd last pixel is paired with itself.
#include <cstdint>

#include "stdfx/StdfxApi.h"

namespace stdfx {

class STDFX_API CRGB2YUV {
 public:
  explicit CRGB2YUV(unsigned colorSpaceId = 0);
  CRGB2YUV(const CRGB2YUV& other);
  CRGB2YUV& operator=(const CRGB2YUV& other);
  virtual ~CRGB2YUV();

  bool IsValid() const;

  // Converts width pixels of 4 bytes (blue, green, red, alpha) into
  // (width + 1) / 2 groups U Y0 V Y1 at uyvy (for an odd width the last Y1
  // repeats Y0), and, when alpha is not null, their alpha bytes into alpha.
  void ConvertRow(const unsigned char* bgra, int width, unsigned char* uyvy,
                  unsigned char* alpha) const;

 private:
  double m_kr;                   // red weight of luma
  double m_kb;                   // blue weight of luma
  const std::int32_t* m_clampY;  // index 0 of the shared 16..235 clamp table
  const std::int32_t* m_clampC;  // index 0 of the shared 16..240 clamp table
};

}  // namespace stdfx
