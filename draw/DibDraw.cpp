// CDibDraw: images to device contexts through DrawDib.
#include "draw/DibDraw.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

RECT WholeImage(const BITMAPINFOHEADER& h) {
  return RECT{0, 0, h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight};
}

// An 8-bit bitmap description whose colour table is the grey ramp: entry i
// holds blue i, green i, red i and 0.
struct GreyBitmapInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};
static_assert(sizeof(GreyBitmapInfo) == 1064);

}  // namespace

CDibDraw::~CDibDraw() {
  if (m_drawDib != nullptr) DrawDibClose(m_drawDib);
}

bool CDibDraw::DrawBits(CDC* dc, BITMAPINFOHEADER* header, void* pixels, const RECT* dst,
                        const RECT* src) {
  if (header == nullptr || pixels == nullptr) return false;
  const RECT whole = WholeImage(*header);
  if (src == nullptr) src = &whole;
  if (dst == nullptr) dst = src;
  if (m_drawDib == nullptr) {
    m_drawDib = DrawDibOpen();
    if (m_drawDib == nullptr) return false;
  }
  const DWORD savedSize = header->biSize;
  header->biSize = 40;
  const BOOL drawn =
      DrawDibDraw(m_drawDib, dc != nullptr ? dc->GetSafeHdc() : nullptr, dst->left, dst->top,
                  dst->right - dst->left, dst->bottom - dst->top, header, pixels, src->left,
                  src->top, src->right - src->left, src->bottom - src->top, 0);
  header->biSize = savedSize;
  return drawn != FALSE;
}

bool CDibDraw::DrawDIB(const stdfx::CDIB& image, CDC* dc, const RECT& dst, const RECT& src) {
  if (!image.IsValidDIB()) return false;
  BITMAPINFOHEADER* header = image.GetBitmapInfoHeader();
  if (header->biCompression == BI_RGB && header->biBitCount <= 32) {
    if (header->biBitCount != 8) return DrawBits(dc, header, image.GetBytes(), &dst, &src);
    // 8-bit images show as grey: their own colours are not used.
    const std::unique_ptr<GreyBitmapInfo> info(new (std::nothrow) GreyBitmapInfo);
    if (!info) return false;
    std::memcpy(&info->header, header, sizeof(BITMAPINFOHEADER));
    info->header.biSize = stdfx::kHeaderSizeBitmap;
    for (int i = 0; i < 256; ++i) info->colours[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    return DrawBits(dc, &info->header, image.GetBytes(), &dst, &src);
  }
  // Compressed, YUV or wider layouts: drawn through a bottom-up 32-bit RGB copy.
  tagVFBMINFOHEADER rgb{};
  rgb.biSize = stdfx::kHeaderSizeVfbmi;
  rgb.biWidth = header->biWidth;
  rgb.biHeight = header->biHeight < 0 ? -header->biHeight : header->biHeight;
  rgb.biPlanes = 1;
  rgb.biBitCount = 32;
  stdfx::CDIB converted;
  if (!converted.CreateAndConvert(rgb, image, -1)) return false;
  return DrawBits(dc, converted.GetBitmapInfoHeader(), converted.GetBytes(), &dst, &src);
}

bool CDibDraw::DrawDIBAt(const stdfx::CDIB& image, CDC* dc, const RECT& dst) {
  if (!image.IsValidDIB()) return false;
  return DrawDIB(image, dc, dst, WholeImage(*image.GetBitmapInfoHeader()));
}

bool CDibDraw::DrawDIBWhole(const stdfx::CDIB& image, CDC* dc) {
  if (!image.IsValidDIB()) return false;
  const RECT whole = WholeImage(*image.GetBitmapInfoHeader());
  return DrawDIB(image, dc, whole, whole);
}
