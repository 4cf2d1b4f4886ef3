#include "host/media/Composite.h"

#include <cmath>

namespace mattix::media {

namespace {

inline std::uint8_t SquareGrey(int x, int y, const Checkerboard& board) {
  return ((x / board.cell + y / board.cell) & 1) ? board.light : board.dark;
}

// round(v / 255) for v in 0 .. 65025, halves up (none occur: 255 is odd).
inline std::uint32_t Div255(std::uint32_t v) {
  v += 128;
  return (v + (v >> 8)) >> 8;
}

}  // namespace

void MatteRow(const std::uint8_t* bgra, std::uint8_t* grey, int width) {
  for (int x = 0; x < width; ++x) grey[x] = bgra[x * 4 + 3];
}

void PreviewRow(const std::uint8_t* bgra, std::uint8_t* out, int width, int y,
                const Checkerboard& board) {
  for (int x = 0; x < width; ++x) {
    const std::uint32_t a = bgra[x * 4 + 3];
    const std::uint32_t k = SquareGrey(x, y, board) * (255 - a);
    for (int c = 0; c < 3; ++c) out[x * 4 + c] = std::uint8_t(Div255(bgra[x * 4 + c] * a + k));
    out[x * 4 + 3] = 255;
  }
}

void PreviewRow_ref(const std::uint8_t* bgra, std::uint8_t* out, int width, int y,
                    const Checkerboard& board) {
  for (int x = 0; x < width; ++x) {
    const double a = bgra[x * 4 + 3] / 255.0;
    const double k = SquareGrey(x, y, board);
    for (int c = 0; c < 3; ++c)
      out[x * 4 + c] = std::uint8_t(std::lround(bgra[x * 4 + c] * a + k * (1.0 - a)));
    out[x * 4 + 3] = 255;
  }
}

GreyImage MakeMatte(const BgraImage& keyed) {
  GreyImage matte(keyed.width, keyed.height);
  for (int y = 0; y < keyed.height; ++y) MatteRow(keyed.Row(y), matte.Row(y), keyed.width);
  return matte;
}

BgraImage MakePreview(const BgraImage& keyed, const Checkerboard& board) {
  Checkerboard b = board;
  if (b.cell < 1) b.cell = 1;
  BgraImage preview(keyed.width, keyed.height);
  for (int y = 0; y < keyed.height; ++y)
    PreviewRow(keyed.Row(y), preview.Row(y), keyed.width, y, b);
  return preview;
}

}  // namespace mattix::media
