// DrawDib: uncompressed bitmaps drawn, scaled by nearest neighbour, into a
// device context's surface.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "internal/Handles.h"
#include "win/Vfw.h"

namespace {

using internal::Handles;
using internal::Raw;

struct Source {
  const unsigned char* bits;
  long long stride;  // bytes from one displayed line to the next (negative bottom-up)
  int bitCount;
  const RGBQUAD* table;
  DWORD tableSize;
};

std::uint32_t ReadPixel(const Source& src, int x, int y) {
  const unsigned char* row = src.bits + src.stride * y;
  switch (src.bitCount) {
    case 8: {
      const BYTE index = row[x];
      if (index >= src.tableSize) return 0xFF000000u;
      RGBQUAD q;
      std::memcpy(&q, src.table + index, sizeof(q));
      return 0xFF000000u | std::uint32_t(q.rgbRed) << 16 | std::uint32_t(q.rgbGreen) << 8 |
             q.rgbBlue;
    }
    case 24: {
      const unsigned char* p = row + std::ptrdiff_t(x) * 3;
      return 0xFF000000u | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
    }
    default: {
      const unsigned char* p = row + std::ptrdiff_t(x) * 4;
      return 0xFF000000u | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
    }
  }
}

}  // namespace

extern "C" {

HDRAWDIB DrawDibOpen(void) {
  std::lock_guard<std::recursive_mutex> guard(internal::Lock());
  return internal::As<HDRAWDIB>(Handles().Add(internal::DrawDib{}));
}

BOOL DrawDibClose(HDRAWDIB hdd) {
  std::lock_guard<std::recursive_mutex> guard(internal::Lock());
  if (Handles().Get<internal::DrawDib>(Raw(hdd)) == nullptr) return FALSE;
  return Handles().Remove(Raw(hdd)) ? TRUE : FALSE;
}

BOOL DrawDibDraw(HDRAWDIB hdd, HDC hdc, int xDst, int yDst, int dxDst, int dyDst,
                 LPBITMAPINFOHEADER lpbi, void* lpBits, int xSrc, int ySrc, int dxSrc, int dySrc,
                 UINT /*wFlags*/) {
  std::lock_guard<std::recursive_mutex> guard(internal::Lock());
  if (Handles().Get<internal::DrawDib>(Raw(hdd)) == nullptr || lpbi == nullptr ||
      lpBits == nullptr) {
    return FALSE;
  }
  internal::Dc* dc = Handles().Get<internal::Dc>(Raw(hdc));
  internal::Window* w = dc != nullptr ? Handles().Get<internal::Window>(dc->window) : nullptr;
  if (w == nullptr) return FALSE;

  BITMAPINFOHEADER h;
  std::memcpy(&h, lpbi, sizeof(h));
  const int bpp = h.biBitCount;
  if (h.biSize < 40 || h.biSize > 160 || h.biCompression != BI_RGB ||
      (bpp != 8 && bpp != 24 && bpp != 32)) {
    return FALSE;
  }
  const long long width = h.biWidth;
  const long long height = h.biHeight < 0 ? -(long long)h.biHeight : h.biHeight;
  if (width < 1 || height < 1 || width > 65535 || height > 65535) return FALSE;
  if (dxSrc == -1) dxSrc = int(width - xSrc);
  if (dySrc == -1) dySrc = int(height - ySrc);
  if (dxDst == -1) dxDst = dxSrc;
  if (dyDst == -1) dyDst = dySrc;
  if (xSrc < 0 || ySrc < 0 || dxSrc < 1 || dySrc < 1 || xSrc + (long long)dxSrc > width ||
      ySrc + (long long)dySrc > height || dxDst < 1 || dyDst < 1) {
    return FALSE;
  }

  Source src{};
  const long long rowBytes = (width * bpp + 31) / 32 * 4;
  src.bitCount = bpp;
  if (h.biHeight < 0) {
    src.bits = static_cast<const unsigned char*>(lpBits);
    src.stride = rowBytes;
  } else {
    src.bits = static_cast<const unsigned char*>(lpBits) + rowBytes * (height - 1);
    src.stride = -rowBytes;
  }
  if (bpp == 8) {
    src.table =
        reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const unsigned char*>(lpbi) + h.biSize);
    src.tableSize = h.biClrUsed == 0 ? 256 : std::min<DWORD>(h.biClrUsed, 256);
  }

  // Only destination pixels on the surface are visited.
  const long long i0 = std::max<long long>(0, -(long long)xDst);
  const long long i1 = std::min<long long>(dxDst, (long long)w->width - xDst);
  const long long j0 = std::max<long long>(0, -(long long)yDst);
  const long long j1 = std::min<long long>(dyDst, (long long)w->height - yDst);
  for (long long j = j0; j < j1; ++j) {
    const int sy = ySrc + int((2 * j + 1) * dySrc / (2LL * dyDst));
    std::uint32_t* row = w->pixels.data() + (yDst + j) * w->width;
    for (long long i = i0; i < i1; ++i) {
      const int sx = xSrc + int((2 * i + 1) * dxSrc / (2LL * dxDst));
      row[xDst + i] = ReadPixel(src, sx, sy);
    }
  }
  return TRUE;
}

}  // extern "C"
