// Images loaded from a module's bitmap resources.
#include <cstdint>
#include <cstring>
#include <utility>

#include "DibStorage.h"
#include "stdfx/DIB.h"
#include "win/WinResource.h"

namespace stdfx {

namespace {

// Resource type of bitmap files (with their 14-byte file header).
constexpr unsigned kBitmapFileResourceType = 8000;

template <typename T>
T ReadLE(const std::uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

struct ParsedBitmap {
  std::int32_t width = 0;
  std::int32_t height = 0;  // signed, as stored
  int bitCount = 0;
  std::int64_t stride = 0;
  const std::uint8_t* pixels = nullptr;
};

// Reads a packed bitmap (info header, optional masks and palette, pixels) or,
// with `fileHeader`, a bitmap file. Every offset is checked against `size`.
bool ParseBitmap(const std::uint8_t* data, std::size_t size, bool fileHeader, ParsedBitmap& out) {
  std::size_t info = 0;
  std::int64_t pixelOffset = -1;
  if (fileHeader) {
    if (size < sizeof(BITMAPFILEHEADER) || data[0] != 'B' || data[1] != 'M') return false;
    pixelOffset = ReadLE<std::uint32_t>(data + 10);
    info = sizeof(BITMAPFILEHEADER);
  }
  if (size - info < sizeof(BITMAPINFOHEADER)) return false;
  const std::uint8_t* h = data + info;
  const std::uint32_t biSize = ReadLE<std::uint32_t>(h);
  const std::int32_t width = ReadLE<std::int32_t>(h + 4);
  const std::int32_t height = ReadLE<std::int32_t>(h + 8);
  const std::uint16_t planes = ReadLE<std::uint16_t>(h + 12);
  const std::uint16_t bits = ReadLE<std::uint16_t>(h + 14);
  const std::uint32_t compression = ReadLE<std::uint32_t>(h + 16);
  const std::uint32_t clrUsed = ReadLE<std::uint32_t>(h + 32);
  if (biSize < sizeof(BITMAPINFOHEADER) || biSize > size - info) return false;
  if (width < 1 || width > kMaxDIBDimension || height == 0 || height < -kMaxDIBDimension ||
      height > kMaxDIBDimension || planes != 1) {
    return false;
  }
  if (bits != 8 && bits != 24 && bits != 32) return false;
  std::int64_t masks = 0;
  if (compression == BI_BITFIELDS) {
    // Only the standard masks of 32-bit BGRA, which need no conversion.
    if (bits != 32) return false;
    if (biSize == sizeof(BITMAPINFOHEADER)) masks = 12;
    if (size - info < 40 + 12) return false;
    if (ReadLE<std::uint32_t>(h + 40) != 0x00FF0000u ||
        ReadLE<std::uint32_t>(h + 44) != 0x0000FF00u ||
        ReadLE<std::uint32_t>(h + 48) != 0x000000FFu) {
      return false;
    }
  } else if (compression != BI_RGB) {
    return false;
  }
  if (clrUsed > 256) return false;
  const std::int64_t palette =
      bits == 8 ? 4 * std::int64_t(clrUsed ? clrUsed : 256) : 4 * std::int64_t(clrUsed);
  if (pixelOffset < 0) pixelOffset = std::int64_t(info) + biSize + masks + palette;
  const std::int64_t stride = (std::int64_t(width) * bits / 8 + 3) & ~std::int64_t{3};
  const std::int64_t rows = height < 0 ? -std::int64_t(height) : height;
  if (pixelOffset < std::int64_t(info + biSize) ||
      pixelOffset + stride * rows > std::int64_t(size)) {
    return false;
  }
  out.width = width;
  out.height = height;
  out.bitCount = bits;
  out.stride = stride;
  out.pixels = data + pixelOffset;
  return true;
}

}  // namespace

bool CDIB::CreateFromResource(LPCWSTR name, HINSTANCE instance) {
  ParsedBitmap bmp;
  bool found = false;
  const struct {
    unsigned type;
    bool fileHeader;
  } kinds[] = {{kBitmapFileResourceType, true}, {2 /* RT_BITMAP */, false}};
  for (const auto& kind : kinds) {
    HRSRC res = FindResourceW(instance, name, MAKEINTRESOURCEW(kind.type));
    if (!res) continue;
    const void* data = LockResource(LoadResource(instance, res));
    const DWORD size = SizeofResource(instance, res);
    found = data && ParseBitmap(static_cast<const std::uint8_t*>(data), size, kind.fileHeader, bmp);
    break;
  }
  if (!found) return false;

  tagVFBMINFOHEADER header{};
  header.biSize = kHeaderSizeVfbmi;
  header.biWidth = bmp.width;
  header.biHeight = bmp.height;
  header.biPlanes = 1;
  header.biBitCount = WORD(bmp.bitCount);
  header.biCompression = kLayoutRGB;
  header.vfAlphaFlag = kAlphaStraight;
  header.vfInterlacedFlag = kContentProgressive;
  header.biSizeImage = DWORD(bmp.stride * (bmp.height < 0 ? -bmp.height : bmp.height));
  // Build beside this image so that a failure leaves it unchanged.
  CDIB image;
  if (!image.CDIB::Create(header) || image.DIBBytesPerLine() != bmp.stride) return false;
  std::memcpy(image.GetBytes(), bmp.pixels, image.DIBSize());
  std::swap(m_pData, image.m_pData);
  return true;
}

}  // namespace stdfx
