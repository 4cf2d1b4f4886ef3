#pragma once
// Run-length coding of 8-bit images in the Windows BI_RLE8 form, so that a
// stored mask can be read by any tool that reads compressed bitmaps.
//
// The stream is a sequence of two-byte codes:
//   (n, v), n 1..255     n pixels of value v;
//   (0, 0)               end of line: next row, column 0;
//   (0, 1)               end of bitmap;
//   (0, 2, dx, dy)       move dx columns right and dy rows on (pixels skipped
//                        are 0);
//   (0, n, n bytes), n 3..255  n literal pixels, padded with one byte to an
//                        even length.
// Rows are taken in memory order (for a bottom-up image the first row coded
// is the bottom line, as Windows does).
//
// Our encoder writes runs of 3 or more as (n, v), anything else as literals
// (or single runs when fewer than 3), ends every row but the last with
// end-of-line and the last with end-of-bitmap, and never uses deltas. The
// decoder accepts every code above and is strict about everything else:
//   - a run, literal or delta that would leave the row or the image, data
//     after the last row, an end-of-line past the last row, and a stream
//     that ends before end-of-bitmap are refused;
//   - after end-of-bitmap at most 3 bytes may follow, all 0 (padding some
//     writers add to reach a multiple of 4); anything longer is refused;
//   - rows that the stream does not reach stay 0, and so do the padding
//     bytes between width and stride.
// Both read and write only inside the buffers they are given, whatever the
// stream holds.
//
// The image members CDIB::CompressRLE and CDIB::DecompressRLE use this
// codec on 8-bit bottom-up images only (the format has no top-down form),
// sides 1..kRle8MaxSide, buffer rows taken in memory order at the layout's
// row pitch. CompressRLE sets biCompression 1 and biSizeImage to the
// encoded length (DIBSize then reports it) and clears the alpha-plane
// pointer and stride, so that a stored record carries no address.
// DecompressRLE reads at most biSizeImage bytes (and no more than a created
// image allocated), restores biCompression 0 and biSizeImage = pitch x
// height, and also clears the alpha-plane fields. Both build the new pixels
// beside the image and take them over only on success: on false the image
// is exactly as it was. An attached image becomes created; the caller's
// memory is never written.
#include <cstddef>

#include "stdfx/DibFunctions.h"
#include "stdfx/StdfxApi.h"

namespace stdfx {

// Largest width or height accepted by the codec and by the image members
// that use it, the image library's limit: a header claiming more is refused
// as absurd (16384 x 16384 bytes is already 256 MiB of decoded mask).
inline constexpr int kRle8MaxSide = kMaxDIBDimension;

// Largest stride accepted, so that stride x height cannot overflow and a
// stride far wider than any row is refused as absurd.
inline constexpr std::size_t kRle8MaxStride = 4 * static_cast<std::size_t>(kRle8MaxSide);

// Bytes that EncodeRle8 needs at most for a width x height image:
// height x (2 x width + 2). 0 when the geometry is refused.
STDFX_API std::size_t Rle8EncodedBound(int width, int height);

// Encodes height rows of width bytes, row r starting at src + r x stride,
// into dst. Returns the encoded length, or 0 when an argument is refused
// (null src, width or height outside 1..kRle8MaxSide, stride below width or
// above kRle8MaxStride) or dstCapacity is too small; dst is then
// unspecified. With dst null nothing is written and the length that the
// encoding needs is returned (dstCapacity is ignored).
STDFX_API std::size_t EncodeRle8(const unsigned char* src, int width, int height,
                                 std::size_t stride, unsigned char* dst, std::size_t dstCapacity);

// Decodes the stream src[0, srcSize) into height rows of stride bytes at dst
// (dst must hold stride x height bytes; bytes past width in a row are set to
// 0). Never reads past src + srcSize nor writes past dst + stride x height.
// True when the stream is complete and well formed for this geometry; on
// false dst holds stride x height zero bytes, or is untouched when dst or the
// geometry is refused as in EncodeRle8 (a null src counts as an empty,
// truncated stream).
STDFX_API bool DecodeRle8(const unsigned char* src, std::size_t srcSize, unsigned char* dst,
                          int width, int height, std::size_t stride);

}  // namespace stdfx
