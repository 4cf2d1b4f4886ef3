#pragma once
// Moves strips of pixels between image columns and contiguous rows, so that a
// filter can run down image columns while reading memory in order.
//
// A pixel is 4 bytes at 32 bits per pixel and 1 byte at 8; any other bit
// count moves nothing and returns false. Strides are in bytes and may be
// negative. Every transfer writes exactly the pixels named: count pixels per
// line (times 8 for the strip forms) and nothing beyond them.

namespace stdfx {

class CMemR2C {
 public:
  // For each of `count` source rows r, the 8 pixels at the start of row r go
  // to destination rows 0..7, column r.
  virtual bool RowsToColumns(unsigned char* dst, int dstStride, const unsigned char* src,
                             int srcStride, int count, unsigned short bitCount);
  // The inverse: destination row r, pixels 0..7, takes source rows 0..7,
  // column r.
  virtual bool ColumnsToRows(unsigned char* dst, int dstStride, const unsigned char* src,
                             int srcStride, int count, unsigned short bitCount);
  // Pixel r of the contiguous run `dst` takes the pixel at src + r * srcStride.
  virtual bool GetColumn(unsigned char* dst, const unsigned char* src, int srcStride, int count,
                         unsigned short bitCount);
  // The pixel at dst + r * dstStride takes pixel r of the contiguous run `src`.
  virtual bool SetColumn(unsigned char* dst, int dstStride, const unsigned char* src, int count,
                         unsigned short bitCount);
  // Declared last: the four transfers keep the first four slots of the table
  // of virtual operations.
  virtual ~CMemR2C() = default;
};

}  // namespace stdfx
