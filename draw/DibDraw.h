#pragma once
// CDibDraw: draws an image, or a bare bitmap header with its pixels, into a
// device context through Video for Windows' DrawDib. Layouts DrawDib cannot
// show (compressed, YUV, more than 32 bits a pixel) are first converted to
// 32-bit RGB with the image library; 8-bit images are always shown in grey,
// whatever colour table they carry.
//
// Rectangles are (left, top, right, bottom) in pixels; the whole image is
// (0, 0, biWidth, |biHeight|). Every operation returns false and draws
// nothing for an image without header or pixels, when no DrawDib instance
// can be opened, or when the conversion fails.
#include "stdfx/DIB.h"
#include "win/AfxWin.h"
#include "win/Vfw.h"

class CDibDraw {
 public:
  CDibDraw() = default;
  // Closes the DrawDib instance if one was opened.
  virtual ~CDibDraw();
  CDibDraw(const CDibDraw&) = delete;
  CDibDraw& operator=(const CDibDraw&) = delete;

  // Draws the src part of the image scaled into dst.
  virtual bool DrawDIB(const stdfx::CDIB& image, CDC* dc, const RECT& dst, const RECT& src);
  // The whole image into dst.
  virtual bool DrawDIBAt(const stdfx::CDIB& image, CDC* dc, const RECT& dst);
  // The whole image at its own size at (0, 0).
  virtual bool DrawDIBWhole(const stdfx::CDIB& image, CDC* dc);
  // Draws pixels described by header: src null is the whole image, dst null
  // is src. The header's biSize is set to 40 for the call, so that DrawDib
  // sees a plain BITMAPINFOHEADER (an 8-bit header's colour table must then
  // follow at byte 40), and put back afterwards.
  virtual bool DrawBits(CDC* dc, BITMAPINFOHEADER* header, void* pixels, const RECT* dst,
                        const RECT* src);

 private:
  HDRAWDIB m_drawDib = nullptr;  // opened on first use
};
