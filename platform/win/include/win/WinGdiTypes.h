#pragma once
// GDI's bitmap records, byte for byte as Windows lays them out (they are read
// from and written to bitmap files and image headers).
#include <cstddef>

#include "win/WinTypes.h"

// Layout codes of biCompression.
inline constexpr DWORD BI_RGB = 0;        // uncompressed
inline constexpr DWORD BI_RLE8 = 1;       // 8-bit run-length encoding
inline constexpr DWORD BI_RLE4 = 2;       // 4-bit run-length encoding
inline constexpr DWORD BI_BITFIELDS = 3;  // uncompressed with colour masks

#pragma pack(push, 1)

// The device-independent bitmap header: 40 bytes, no padding.
struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // >= 0: bottom-up rows; < 0: top-down
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
using BITMAPINFOHEADER = tagBITMAPINFOHEADER;

// The 14-byte header that starts a bitmap file ("BM"); bfOffBits is the
// offset of the pixels from the start of the file.
struct tagBITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
using BITMAPFILEHEADER = tagBITMAPFILEHEADER;

struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};
using RGBQUAD = tagRGBQUAD;

#pragma pack(pop)

static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(offsetof(BITMAPINFOHEADER, biWidth) == 4);
static_assert(offsetof(BITMAPINFOHEADER, biHeight) == 8);
static_assert(offsetof(BITMAPINFOHEADER, biPlanes) == 12);
static_assert(offsetof(BITMAPINFOHEADER, biBitCount) == 14);
static_assert(offsetof(BITMAPINFOHEADER, biCompression) == 16);
static_assert(offsetof(BITMAPINFOHEADER, biSizeImage) == 20);
static_assert(offsetof(BITMAPINFOHEADER, biXPelsPerMeter) == 24);
static_assert(offsetof(BITMAPINFOHEADER, biYPelsPerMeter) == 28);
static_assert(offsetof(BITMAPINFOHEADER, biClrUsed) == 32);
static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == 36);
static_assert(sizeof(BITMAPFILEHEADER) == 14);
static_assert(offsetof(BITMAPFILEHEADER, bfSize) == 2);
static_assert(offsetof(BITMAPFILEHEADER, bfOffBits) == 10);
static_assert(sizeof(RGBQUAD) == 4);
