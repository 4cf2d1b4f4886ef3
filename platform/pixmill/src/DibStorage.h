#pragma once
// Internal to the image library: the allocator of image storage and the
// layout of a header worked out once. Every operation that allocates image
// memory goes through AllocHeader/AllocBits and hands the result to an image
// with CDIB::_IAdopt (or frees it with FreeHeader/FreeBits).
#include <cstddef>
#include <cstdint>

#include "stdfx/VfbmiHeader.h"

namespace stdfx::internal {

// Largest pixel allocation, so that sizes fit the record's signed 32-bit
// count.
inline constexpr std::int64_t kMaxAllocation = 0x7FFFFFFF;

// 160 bytes of zeroed storage holding a copy of the header: 160 bytes when
// its biSize is 160, else 144. Null when memory is short.
tagVFBMINFOHEADER* AllocHeader(const tagVFBMINFOHEADER& source);
void FreeHeader(tagVFBMINFOHEADER* header);

// Zeroed pixel storage of `bytes` (at least 1 byte is allocated, so that an
// empty image still has a pixel pointer). Null when bytes is negative,
// above kMaxAllocation, or memory is short.
unsigned char* AllocBits(std::int64_t bytes);
void FreeBits(unsigned char* bits);

// A header's layout, computed once with all the limits checked.
struct Layout {
  int width = 0;
  int height = 0;  // |biHeight|
  bool bottomUp = true;
  int bitCount = 0;
  bool compressed = false;
  bool packedYUV422 = false;
  bool twoFields = false;
  std::int64_t rowBytes = 0;   // payload of one line
  std::int64_t pitch = 0;      // bytes between buffer rows
  std::int64_t linePitch = 0;  // DIBBytesPerLine: pitch, or pitch / 2 for two fields
  std::int64_t size = 0;       // DIBSize
};

// False (layout untouched) for a null or insane header.
bool Describe(const tagVFBMINFOHEADER* header, Layout& out);

// Offset of line y of a plane with row pitch `pitch` and height `height`.
inline std::int64_t LineOffset(std::int64_t pitch, int height, bool twoFields, int y) {
  if (!twoFields) return y * pitch;
  return (y & 1) * std::int64_t((height + 1) / 2) * pitch + std::int64_t(y >> 1) * pitch;
}

// Buffer line shown at display row y (0 = top).
inline int DisplayToLine(const Layout& l, int y) { return l.bottomUp ? l.height - 1 - y : y; }

// Whether the field (-1, 0, 1; other values count as -1) contains line y.
inline bool FieldHasLine(int field, int y) {
  return (field != 0 && field != 1) || (y & 1) == field;
}

}  // namespace stdfx::internal
