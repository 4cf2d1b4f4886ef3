// Per-pixel members: clearing, moving, and reading single pixels.
#include <algorithm>
#include <cstring>

#include "DibStorage.h"
#include "stdfx/DIB.h"

namespace stdfx {

namespace {

// The layout of a valid, uncompressed image; false otherwise.
bool PixelLayout(const CDIB& image, internal::Layout& l) {
  return image.IsValidDIB() && internal::Describe(image.GetVfBmiHeader(), l) && !l.compressed;
}

// Address of the pixel shown at (x, y), or null outside the image. Only for
// layouts of whole bytes per pixel.
const unsigned char* PixelAt(const CDIB& image, const internal::Layout& l, int x, int y,
                             int bytesPerPixel) {
  if (x < 0 || y < 0 || x >= l.width || y >= l.height) return nullptr;
  const int line = internal::DisplayToLine(l, y);
  return image.GetBytes() + internal::LineOffset(l.pitch, l.height, l.twoFields, line) +
         std::int64_t(x) * bytesPerPixel;
}

}  // namespace

bool CDIB::ClearDIB(int field, unsigned int value) {
  internal::Layout l;
  if (!PixelLayout(*this, l)) return false;
  const int bpp = l.packedYUV422 ? 2 : l.bitCount / 8;
  unsigned char* bits = GetBytes();
  for (int y = 0; y < l.height; ++y) {
    if (!internal::FieldHasLine(field, y)) continue;
    unsigned char* row = bits + internal::LineOffset(l.pitch, l.height, l.twoFields, y);
    if (bpp == 0) {
      // Below a byte per pixel: every byte takes the low byte of the value.
      std::memset(row, int(value & 0xFF), std::size_t(l.rowBytes));
      continue;
    }
    for (int x = 0; x < l.width; ++x) {
      for (int b = 0; b < bpp; ++b) row[x * bpp + b] = std::uint8_t(value >> (8 * b));
    }
  }
  return true;
}

bool CDIB::CopyDIBOffset(const CDIB& src, int dx, int dy) {
  internal::Layout l;
  if (!PixelLayout(src, l) || l.bitCount % 8 != 0 || l.packedYUV422) return false;
  // Take a copy of the source when it is this image (or shares its memory).
  const CDIB* from = &src;
  CDIB own;
  if (&src == this || src.GetBytes() == GetBytes()) {
    if (!own.CopyDIB(src)) return false;
    from = &own;
  }
  if (!Create(*from->GetVfBmiHeader())) return false;
  const int bpp = l.bitCount / 8;
  // Destination columns x with 0 <= x - dx < width, in 64 bits: the shift is
  // the caller's and may be anything.
  const std::int64_t x0 = std::max<std::int64_t>(0, dx);
  const std::int64_t x1 = std::min<std::int64_t>(l.width, std::int64_t(l.width) + dx);
  if (x0 >= x1) return true;
  for (int y = 0; y < l.height; ++y) {
    const std::int64_t sy = std::int64_t(y) - dy;
    if (sy < 0 || sy >= l.height) continue;
    unsigned char* d = const_cast<unsigned char*>(PixelAt(*this, l, int(x0), y, bpp));
    const unsigned char* s = PixelAt(*from, l, int(x0 - dx), int(sy), bpp);
    std::memcpy(d, s, std::size_t((x1 - x0) * bpp));
  }
  return true;
}

BYTE CDIB::GetDIBByte(int x, int y) const {
  internal::Layout l;
  if (!PixelLayout(*this, l) || l.bitCount < 8) return 0;
  const unsigned char* p = PixelAt(*this, l, x, y, l.packedYUV422 ? 2 : l.bitCount / 8);
  return p ? *p : 0;
}

bool CDIB::GetDIBColor(int x, int y, int& r, int& g, int& b) const {
  internal::Layout l;
  if (!PixelLayout(*this, l) || GetVfBmiHeader()->biCompression != kLayoutRGB) return false;
  if (l.bitCount != 8 && l.bitCount != 24 && l.bitCount != 32) return false;
  const unsigned char* p = PixelAt(*this, l, x, y, l.bitCount / 8);
  if (!p) return false;
  if (l.bitCount == 8) {
    r = g = b = p[0];
  } else {
    b = p[0];
    g = p[1];
    r = p[2];
  }
  return true;
}

}  // namespace stdfx
