#pragma once
// The image library's free functions on image headers: strides, sizes,
// fields, and the row copy between two images. Implemented by libpixmill; the
// image object's light members forward to them. Every function accepts a null
// header and then returns 0 (lines: -1, text: L"none").
//
// Limits. A header is usable (IsDIBHeaderSane) when 0 <= biWidth <= 16384,
// |biHeight| <= 16384, biBitCount is 1, 4, 8, 16, 24 or 32, and its buffer
// size fits a signed 32-bit count. For other headers the stride and size
// functions return 0 and images are not created, so no arithmetic on an
// absurd header can overflow.
//
// Row stride (DIBBytesPerLine). The row payload is biWidth * bits per pixel
// rounded up to whole bytes; the packed 4:2:2 YUV layout ("@YUV" with
// sub-sampling 0 or 512) stores 4 bytes per pair of pixels (U Y0 V Y1), so 2
// bytes per pixel whatever biBitCount says (24 without, 32 with the separate
// alpha plane). Buffer rows are padded to a multiple of 4 bytes, as Windows
// does, unless the header carries a row pitch at byte 128: a non-zero pitch
// that is at least the row payload is the distance between buffer rows (host
// frames, whose rows may be padded differently); a smaller pitch is ignored.
// Compressed layouts ignore the pitch: their stride is that of the decoded
// image, and their DIBSize is biSizeImage (the encoded size).
//
// Fields. A field argument of -1 (or anything but 0 and 1) is the whole
// frame; 0 and 1 name one field. Lines are numbered in buffer order, 0 being
// the first stored line, whatever the row order: field 0 holds lines 0, 2,
// 4, ... and field 1 lines 1, 3, 5, .... (For a bottom-up frame of even
// height field 0 is therefore the lower field as displayed; producers number
// fields the same way.) A field is walked from DIBField1stLine at the pixel
// address plus DIBFieldOffset1, stepping two lines and 2 * DIBBytesPerLine
// bytes at a time while the line is below the height; the whole frame steps
// one line and DIBBytesPerLine bytes. This visits exactly the lines of the
// field in both buffer kinds:
//  - an interleaved frame (format flag bit 0 clear): line y is at y * P,
//    P the buffer row pitch, and DIBBytesPerLine is P;
//  - a two-field buffer (format flag bit 0 set): the buffer holds the
//    (H + 1) / 2 lines of field 0, then the H / 2 lines of field 1, each
//    block with row pitch P. DIBBytesPerLine is P / 2, so that the field walk
//    above advances one block row per step (P must be even: a computed P is a
//    multiple of 4, an odd row pitch at byte 128 is ignored). Line y is at
//    (y & 1) * ((H + 1) / 2) * P + (y >> 1) * P. Such a buffer cannot be
//    walked as a whole frame with one stride: CopyBack and the library's
//    conversions address it line by line (DIBLineOffset).
// The separate alpha plane follows the same layout with its own row pitch
// (byte 140, DIBAlphaBytesPerLine, one byte per pixel): for a two-field
// buffer its field rows follow each other at that pitch.
// A field without lines (field 1 of a one-line frame, any field of an empty
// one) has DIBFieldLstLine -1 and DIBFieldOffsetL -1; its first line is not
// below the height, so a walk visits nothing.
#include <cstddef>

#include "stdfx/StdfxApi.h"
#include "stdfx/VfbmiHeader.h"

namespace stdfx {

inline constexpr int kMaxDIBDimension = 16384;  // pixels, either side

// True when the header is present and within the limits above.
STDFX_API bool IsDIBHeaderSane(const tagVFBMINFOHEADER* header);

// True for the packed 4:2:2 YUV layout (2 bytes per pixel, U Y0 V Y1).
STDFX_API bool DIBIsPackedYUV422(const tagVFBMINFOHEADER* header);

// Whole bytes per pixel of the main plane (0 below 8 bits per pixel).
STDFX_API int DIBBytesPerPixel(const tagVFBMINFOHEADER* header);
// Bytes of pixel data in one line, without padding.
STDFX_API int DIBRowBytes(const tagVFBMINFOHEADER* header);
// Line pitch used by walks (see above).
STDFX_API int DIBBytesPerLine(const tagVFBMINFOHEADER* header);
// Bytes of the pixel buffer: H * row pitch, or biSizeImage when compressed.
STDFX_API DWORD DIBSize(const tagVFBMINFOHEADER* header);

// Byte offset of line y (buffer order) in the pixels, -1 when y is not a line.
STDFX_API int DIBLineOffset(const tagVFBMINFOHEADER* header, int line);
// The same in the alpha plane (pitch at byte 140).
STDFX_API int DIBAlphaLineOffset(const tagVFBMINFOHEADER* header, int line);

STDFX_API int DIBField1stLine(const tagVFBMINFOHEADER* header, int field);
STDFX_API int DIBFieldLstLine(const tagVFBMINFOHEADER* header, int field);
STDFX_API int DIBFieldOffset1(const tagVFBMINFOHEADER* header, int field);
STDFX_API int DIBFieldOffsetL(const tagVFBMINFOHEADER* header, int field);
STDFX_API int DIBAlphaFieldOffset1(const tagVFBMINFOHEADER* header, int field);
STDFX_API int DIBAlphaFieldOffsetL(const tagVFBMINFOHEADER* header, int field);

// Copies the lines of the field (-1: all) from the source buffer into the
// same lines of the destination buffer, in buffer order (row y to row y, so
// two images of opposite row order end up flipped as displayed). Each line
// copies the smaller of the two row payloads; the alpha planes are copied too
// when both headers have one. Both headers must be uncompressed and of the
// same height; false (nothing written) otherwise.
STDFX_API bool CopyBack(const tagVFBMINFOHEADER* dstHeader, void* dstBits,
                        const tagVFBMINFOHEADER* srcHeader, const void* srcBits, int field);

// A text naming the layout, e.g. L"RGB 32" or L"YUV 4:2:2 UYVY"; the string
// is static and owned by the library.
STDFX_API const wchar_t* GetCompressionSamplingFormatString(const tagVFBMINFOHEADER* header);

}  // namespace stdfx
