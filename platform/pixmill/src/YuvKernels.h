#pragma once
// Internal row kernels between 32-bit pixels (bytes blue, green, red, alpha)
// and packed 4:2:2 Y'CbCr (U Y0 V Y1), formulas in stdfx/RGB2YUV.h and
// stdfx/YUV2RGB.h. Plain references: a faster variant would sit beside them
// with a test comparing the two.
#include <cstdint>

namespace stdfx::internal {

struct RgbToYuvCoefficients {
  double kr;
  double kb;
  const std::int32_t* clampY;  // index 0 of a table valid over -512..1023
  const std::int32_t* clampC;
};

struct YuvToRgbCoefficients {
  double crToR;
  double cbToG;
  double crToG;
  double cbToB;
  const std::int32_t* clamp;  // index 0 of a 0..255 table valid over -512..1023
};

// alpha may be null (no alpha written).
void RgbRowToUyvy(const std::uint8_t* bgra, int width, std::uint8_t* uyvy, std::uint8_t* alpha,
                  const RgbToYuvCoefficients& c);
// alpha may be null (alpha 255).
void UyvyRowToRgb(const std::uint8_t* uyvy, const std::uint8_t* alpha, int width,
                  std::uint8_t* bgra, const YuvToRgbCoefficients& c);

}  // namespace stdfx::internal
