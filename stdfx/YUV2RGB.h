#pragma once
// 8-bit Y'CbCr of studio range, packed 4:2:2 (U Y0 V Y1), to RGB: the
// inverse of CRGB2YUV's formulas with the same coefficients by colour-space
// id (0: CCIR 601, 2: ITU 709; others unsupported, IsValid false):
//
//   y = 255 / 219 (Y - 16),  cb = 255 / 224 (Cb - 128),  cr = 255 / 224 (Cr - 128)
//   R = y + 2 (1 - Kr) cr
//   G = y - 2 Kb (1 - Kb) / Kg cb - 2 Kr (1 - Kr) / Kg cr,   Kg = 1 - Kr - Kb
//   B = y + 2 (1 - Kb) cb
// rounded to nearest (halves up) and clamped to 0..255 through the shared
// clamp table. Both pixels of a pair take the pair's chroma.
#include <cstdint>

#include "stdfx/StdfxApi.h"

namespace stdfx {

class STDFX_API CYUV2RGB {
 public:
  explicit CYUV2RGB(unsigned colorSpaceId = 0);
  CYUV2RGB(const CYUV2RGB& other);
  CYUV2RGB& operator=(const CYUV2RGB& other);
  virtual ~CYUV2RGB();

  bool IsValid() const;

  // Index 0 of the clamp table this converter uses: the class keeps a
  // pointer 256 entries before it, into the shared 0..255 table of CTables,
  // so indices -512..1023 are valid (every value the formulas above can
  // give, -289..546, is).
  const std::int32_t* GetMinMaxN256P512Table0() const;

  // Converts (width + 1) / 2 groups U Y0 V Y1 into width pixels of 4 bytes
  // (blue, green, red, alpha); alpha comes from the alpha row when it is not
  // null, else it is 255.
  void ConvertRow(const unsigned char* uyvy, const unsigned char* alpha, int width,
                  unsigned char* bgra) const;

 private:
  double m_crToR;               // R per unit of (Cr - 128)
  double m_cbToG;               // G per unit of (Cb - 128), negative
  double m_crToG;               // G per unit of (Cr - 128), negative
  double m_cbToB;               // B per unit of (Cb - 128)
  const std::int32_t* m_table;  // the clamp table, 256 entries before index 0
};

}  // namespace stdfx
