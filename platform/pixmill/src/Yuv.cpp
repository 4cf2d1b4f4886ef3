// RGB <-> packed 4:2:2 Y'CbCr: the converters' construction and their row
// kernels (formulas in stdfx/RGB2YUV.h and stdfx/YUV2RGB.h).
#include <cmath>

#include "YuvKernels.h"
#include "stdfx/RGB2YUV.h"
#include "stdfx/Tables.h"
#include "stdfx/VfbmiHeader.h"
#include "stdfx/YUV2RGB.h"

namespace stdfx {
namespace internal {
namespace {

// Luma weights by colour-space id; false for ids we do not convert.
bool LumaWeights(unsigned id, double& kr, double& kb) {
  switch (id) {
    case kYUVCCIR601:
      kr = 0.299;
      kb = 0.114;
      return true;
    case kYUVITU709:
      kr = 0.2126;
      kb = 0.0722;
      return true;
    default:
      kr = kb = 0.0;
      return false;
  }
}

// Rounds to nearest, halves up; arguments stay far inside int range.
inline int RoundHalfUp(double v) { return static_cast<int>(std::floor(v + 0.5)); }

constexpr double kYScale = 219.0 / 255.0;
constexpr double kCScale = 224.0 / 255.0;

}  // namespace

void RgbRowToUyvy(const std::uint8_t* bgra, int width, std::uint8_t* uyvy, std::uint8_t* alpha,
                  const RgbToYuvCoefficients& c) {
  const double kg = 1.0 - c.kr - c.kb;
  auto luma = [&](double r, double g, double b) { return c.kr * r + kg * g + c.kb * b; };
  for (int x = 0; x < width; x += 2) {
    const std::uint8_t* p0 = bgra + 4 * x;
    const std::uint8_t* p1 = x + 1 < width ? p0 + 4 : p0;  // odd last pixel pairs with itself
    const double y0 = luma(p0[2], p0[1], p0[0]);
    const double y1 = luma(p1[2], p1[1], p1[0]);
    // Chroma of the pair's mean colour (the formulas are linear).
    const double rm = (p0[2] + p1[2]) / 2.0;
    const double bm = (p0[0] + p1[0]) / 2.0;
    const double ym = (y0 + y1) / 2.0;
    std::uint8_t* out = uyvy + 2 * x;
    out[0] = static_cast<std::uint8_t>(
        c.clampC[RoundHalfUp(128.0 + kCScale * (bm - ym) / (2.0 * (1.0 - c.kb)))]);
    out[1] = static_cast<std::uint8_t>(c.clampY[RoundHalfUp(16.0 + kYScale * y0)]);
    out[2] = static_cast<std::uint8_t>(
        c.clampC[RoundHalfUp(128.0 + kCScale * (rm - ym) / (2.0 * (1.0 - c.kr)))]);
    out[3] = static_cast<std::uint8_t>(c.clampY[RoundHalfUp(16.0 + kYScale * y1)]);
    if (alpha) {
      alpha[x] = p0[3];
      if (x + 1 < width) alpha[x + 1] = p1[3];
    }
  }
}

void UyvyRowToRgb(const std::uint8_t* uyvy, const std::uint8_t* alpha, int width,
                  std::uint8_t* bgra, const YuvToRgbCoefficients& c) {
  for (int x = 0; x < width; ++x) {
    const std::uint8_t* group = uyvy + 4 * (x / 2);
    const double cb = group[0] - 128.0;
    const double cr = group[2] - 128.0;
    const double y = (group[(x & 1) ? 3 : 1] - 16.0) / kYScale;
    std::uint8_t* out = bgra + 4 * x;
    out[0] = static_cast<std::uint8_t>(c.clamp[RoundHalfUp(y + c.cbToB * cb)]);
    out[1] = static_cast<std::uint8_t>(c.clamp[RoundHalfUp(y + c.cbToG * cb + c.crToG * cr)]);
    out[2] = static_cast<std::uint8_t>(c.clamp[RoundHalfUp(y + c.crToR * cr)]);
    out[3] = alpha ? alpha[x] : 255;
  }
}

}  // namespace internal

CRGB2YUV::CRGB2YUV(unsigned colorSpaceId)
    : m_kr(0.0),
      m_kb(0.0),
      m_clampY(CTables::GetInstance().GetMinMaxL16H235Table0()),
      m_clampC(CTables::GetInstance().GetMinMaxL16H240Table0()) {
  internal::LumaWeights(colorSpaceId, m_kr, m_kb);
}

CRGB2YUV::~CRGB2YUV() = default;

bool CRGB2YUV::IsValid() const { return m_kr > 0.0; }

void CRGB2YUV::ConvertRow(const unsigned char* bgra, int width, unsigned char* uyvy,
                          unsigned char* alpha) const {
  if (!IsValid() || !bgra || !uyvy || width <= 0) return;
  internal::RgbRowToUyvy(bgra, width, uyvy, alpha, {m_kr, m_kb, m_clampY, m_clampC});
}

CYUV2RGB::CYUV2RGB(unsigned colorSpaceId)
    : m_crToR(0.0),
      m_cbToG(0.0),
      m_crToG(0.0),
      m_cbToB(0.0),
      m_table(CTables::GetInstance().GetMinMaxN256P512Table0() - 256) {
  double kr = 0.0;
  double kb = 0.0;
  if (!internal::LumaWeights(colorSpaceId, kr, kb)) return;
  const double kg = 1.0 - kr - kb;
  const double scale = 1.0 / internal::kCScale;
  m_crToR = 2.0 * (1.0 - kr) * scale;
  m_cbToB = 2.0 * (1.0 - kb) * scale;
  m_cbToG = -2.0 * kb * (1.0 - kb) / kg * scale;
  m_crToG = -2.0 * kr * (1.0 - kr) / kg * scale;
}

CYUV2RGB::~CYUV2RGB() = default;

bool CYUV2RGB::IsValid() const { return m_crToR > 0.0; }

void CYUV2RGB::ConvertRow(const unsigned char* uyvy, const unsigned char* alpha, int width,
                          unsigned char* bgra) const {
  if (!IsValid() || !uyvy || !bgra || width <= 0) return;
  internal::UyvyRowToRgb(uyvy, alpha, width, bgra,
                         {m_crToR, m_cbToG, m_crToG, m_cbToB, GetMinMaxN256P512Table0()});
}

}  // namespace stdfx
