// Diagnostic display of images on the Windows layer's desktop surface.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "DibStorage.h"
#include "stdfx/DIB.h"
#include "win/WinDesktop.h"

namespace stdfx {

namespace {

// Builds the top-down BGRA block of w x h pixels (top-left part of the
// image) with `pixel(line, x)` giving the 0xAARRGGBB value, and writes it.
template <typename Pixel>
bool Show(const internal::Layout& l, int x, int y, int w, int h, Pixel pixel) {
  w = w <= 0 ? l.width : std::min(w, l.width);
  h = h <= 0 ? l.height : std::min(h, l.height);
  if (w <= 0 || h <= 0) return false;
  std::vector<std::uint32_t> block;
  try {
    block.resize(std::size_t(w) * std::size_t(h));
  } catch (...) {
    return false;
  }
  for (int row = 0; row < h; ++row) {
    const int line = internal::DisplayToLine(l, row);
    for (int col = 0; col < w; ++col) block[std::size_t(row) * w + col] = pixel(line, col);
  }
  return WinDesktopWrite(x, y, w, h, block.data(), long(w) * 4) != FALSE;
}

std::uint32_t Grey(std::uint8_t v) { return 0xFF000000u | v * 0x010101u; }

}  // namespace

bool CDIB::DrawToDesktop(int x, int y, int w, int h) const {
  internal::Layout l;
  if (!IsValidDIB() || !internal::Describe(GetVfBmiHeader(), l)) return false;
  if (l.packedYUV422) {
    // Packed YUV is shown through its conversion to 32-bit RGB.
    tagVFBMINFOHEADER rgb{};
    rgb.biSize = kHeaderSizeVfbmi;
    rgb.biWidth = l.width;
    rgb.biHeight = GetVfBmiHeader()->biHeight;
    rgb.biPlanes = 1;
    rgb.biBitCount = 32;
    rgb.biCompression = kLayoutRGB;
    CDIB converted;
    return converted.CreateAndConvert(rgb, *this, -1) && converted.DrawToDesktop(x, y, w, h);
  }
  if (GetVfBmiHeader()->biCompression != kLayoutRGB ||
      (l.bitCount != 8 && l.bitCount != 24 && l.bitCount != 32)) {
    return false;
  }
  const unsigned char* bits = GetBytes();
  const int bpp = l.bitCount / 8;
  return Show(l, x, y, w, h, [&](int line, int col) {
    const unsigned char* p =
        bits + internal::LineOffset(l.pitch, l.height, l.twoFields, line) + col * bpp;
    if (bpp == 1) return Grey(p[0]);
    return 0xFF000000u | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
  });
}

bool CDIB::DrawDIBsAlphaToDesktop(int x, int y, int w, int h) const {
  internal::Layout l;
  if (!IsValidDIB() || !internal::Describe(GetVfBmiHeader(), l) || l.compressed) return false;
  const tagVFBMINFOHEADER* hdr = GetVfBmiHeader();
  const unsigned char* plane = hdr->vfAlphaBytes;
  const DWORD planePitch = hdr->vfAlphaBytesPerLine;
  if (plane && planePitch >= DWORD(l.width)) {
    return Show(l, x, y, w, h, [&](int line, int col) {
      return Grey(plane[internal::LineOffset(planePitch, l.height, l.twoFields, line) + col]);
    });
  }
  if (hdr->biCompression != kLayoutRGB || (l.bitCount != 8 && l.bitCount != 32)) return false;
  const unsigned char* bits = GetBytes();
  const int bpp = l.bitCount / 8;
  return Show(l, x, y, w, h, [&](int line, int col) {
    const unsigned char* p =
        bits + internal::LineOffset(l.pitch, l.height, l.twoFields, line) + col * bpp;
    return Grey(p[bpp - 1]);
  });
}

}  // namespace stdfx
