#include "filter/MemR2C.h"

#include <cstddef>
#include <cstring>

namespace stdfx {
namespace {

// Bytes per pixel for the bit counts that move, 0 for the others.
int PixelBytes(unsigned short bitCount) { return bitCount == 32 ? 4 : bitCount == 8 ? 1 : 0; }

// Strip transpose with the pixel size fixed at compile time, so that the
// inner copies become single loads and stores.
template <int B>
void Transpose8(unsigned char* dst, std::ptrdiff_t dstStride, const unsigned char* src,
                std::ptrdiff_t srcStride, int count, bool rowsToColumns) {
  for (int r = 0; r < count; ++r) {
    for (int c = 0; c < 8; ++c) {
      if (rowsToColumns)
        std::memcpy(dst + c * dstStride + r * B, src + r * srcStride + c * B, B);
      else
        std::memcpy(dst + r * dstStride + c * B, src + c * srcStride + r * B, B);
    }
  }
}

template <int B>
void Gather(unsigned char* dst, std::ptrdiff_t dstStep, const unsigned char* src,
            std::ptrdiff_t srcStep, int count) {
  for (int r = 0; r < count; ++r) std::memcpy(dst + r * dstStep, src + r * srcStep, B);
}

// A strip of count lines of 8 pixels, either way, for the bit counts that
// move; false for the others.
bool Transpose(unsigned char* dst, int dstStride, const unsigned char* src, int srcStride,
               int count, unsigned short bitCount, bool rowsToColumns) {
  switch (PixelBytes(bitCount)) {
    case 4:
      Transpose8<4>(dst, dstStride, src, srcStride, count, rowsToColumns);
      return true;
    case 1:
      Transpose8<1>(dst, dstStride, src, srcStride, count, rowsToColumns);
      return true;
    default:
      return false;
  }
}

}  // namespace

bool CMemR2C::RowsToColumns(unsigned char* dst, int dstStride, const unsigned char* src,
                            int srcStride, int count, unsigned short bitCount) {
  return Transpose(dst, dstStride, src, srcStride, count, bitCount, true);
}

bool CMemR2C::ColumnsToRows(unsigned char* dst, int dstStride, const unsigned char* src,
                            int srcStride, int count, unsigned short bitCount) {
  return Transpose(dst, dstStride, src, srcStride, count, bitCount, false);
}

bool CMemR2C::GetColumn(unsigned char* dst, const unsigned char* src, int srcStride, int count,
                        unsigned short bitCount) {
  switch (PixelBytes(bitCount)) {
    case 4:
      Gather<4>(dst, 4, src, srcStride, count);
      return true;
    case 1:
      Gather<1>(dst, 1, src, srcStride, count);
      return true;
    default:
      return false;
  }
}

bool CMemR2C::SetColumn(unsigned char* dst, int dstStride, const unsigned char* src, int count,
                        unsigned short bitCount) {
  switch (PixelBytes(bitCount)) {
    case 4:
      Gather<4>(dst, dstStride, src, 4, count);
      return true;
    case 1:
      Gather<1>(dst, dstStride, src, 1, count);
      return true;
    default:
      return false;
  }
}

}  // namespace stdfx
