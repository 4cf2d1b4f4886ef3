// Premultiplied and straight alpha conversions of 32-bit images.
#include "AlphaKernels.h"
#include "DibStorage.h"
#include "stdfx/DIB.h"

namespace stdfx {

namespace internal {

void PremultiplyRow_ref(std::uint8_t* row, int width) {
  for (int x = 0; x < width; ++x, row += 4) {
    const unsigned a = row[3];
    row[0] = std::uint8_t(Div255(row[0] * a));
    row[1] = std::uint8_t(Div255(row[1] * a));
    row[2] = std::uint8_t(Div255(row[2] * a));
  }
}

void StraightenRow_ref(std::uint8_t* row, int width) {
  for (int x = 0; x < width; ++x, row += 4) {
    const unsigned a = row[3];
    for (int c = 0; c < 3; ++c) {
      if (a == 0) {
        row[c] = 0;
        continue;
      }
      // For odd a the quotient is never exactly half-way, so adding a / 2
      // rounds halves up in every case.
      const unsigned v = (row[c] * 255u + a / 2) / a;
      row[c] = std::uint8_t(v > 255 ? 255 : v);
    }
  }
}

}  // namespace internal

namespace {

// Applies a row kernel to the lines of the field of a 32-bit RGB image.
template <typename Kernel>
bool ForEachFieldRow(const CDIB& image, int field, Kernel kernel) {
  internal::Layout l;
  if (!image.IsValidDIB() || !internal::Describe(image.GetVfBmiHeader(), l) ||
      image.GetVfBmiHeader()->biCompression != kLayoutRGB || l.bitCount != 32) {
    return false;
  }
  unsigned char* bits = image.GetBytes();
  for (int y = 0; y < l.height; ++y) {
    if (internal::FieldHasLine(field, y)) {
      kernel(bits + internal::LineOffset(l.pitch, l.height, l.twoFields, y), l.width);
    }
  }
  return true;
}

bool WholeFrame(int field) { return field != 0 && field != 1; }

}  // namespace

bool CDIB::ConvertAlphaToStraight(int field) {
  if (!ForEachFieldRow(*this, field, internal::StraightenRow_ref)) return false;
  if (WholeFrame(field)) ncbwSetAlphaStraight();
  return true;
}

bool CDIB::ConvertAlphaToPremultiplied(int field) {
  if (!ForEachFieldRow(*this, field, internal::PremultiplyRow_ref)) return false;
  if (WholeFrame(field)) ncbwSetAlphaPremultiplied();
  return true;
}

}  // namespace stdfx
