#pragma once
// Video for Windows' DrawDib: draws a device-independent bitmap into a
// device context, scaled to the destination rectangle.
//
// Shown: uncompressed (BI_RGB) 8, 24 and 32-bit bitmaps in either row order
// (biHeight > 0 bottom-up, < 0 top-down). An 8-bit bitmap's colour table
// (biClrUsed entries, 256 when 0) follows the header at biSize bytes from
// lpbi; an index past the table shows black. The alpha byte of 32-bit
// pixels is ignored: what is drawn is opaque.
//
// Rectangles: the source (xSrc, ySrc, dxSrc, dySrc) is in displayed
// coordinates, x from the left and y from the top line whatever the row
// order, and must lie inside the bitmap (dxSrc or dySrc -1: to the bitmap's
// right or bottom edge). The destination (xDst, yDst, dxDst, dyDst) is in
// client pixels (-1: the source's size) and is clipped to the surface. When
// the sizes differ the picture is scaled by nearest neighbour: destination
// pixel (i, j) shows source pixel (xSrc + floor((i + 0.5) * dxSrc / dxDst),
// ySrc + floor((j + 0.5) * dySrc / dyDst)).
//
// FALSE, nothing drawn, for a bad DrawDib or device-context handle, a
// biSize outside 40..160, another layout, empty or negative sizes, or a source outside the bitmap.
#include "win/WinApi.h"
#include "win/WinGdi.h"
#include "win/WinGdiTypes.h"
#include "win/WinTypes.h"

struct HDRAWDIB__;
using HDRAWDIB = HDRAWDIB__*;
using LPBITMAPINFOHEADER = BITMAPINFOHEADER*;

extern "C" {

WINAPI_EXPORT HDRAWDIB DrawDibOpen(void);
WINAPI_EXPORT BOOL DrawDibClose(HDRAWDIB hdd);
// wFlags are accepted and ignored.
WINAPI_EXPORT BOOL DrawDibDraw(HDRAWDIB hdd, HDC hdc, int xDst, int yDst, int dxDst, int dyDst,
                               LPBITMAPINFOHEADER lpbi, void* lpBits, int xSrc, int ySrc, int dxSrc,
                               int dySrc, UINT wFlags);

}  // extern "C"
