#include "host/media/internal/Rotate.h"

#include <cstring>

namespace mattix::media::internal {

void RotatePixels(const std::uint8_t* in, std::uint8_t* out, int width, int height,
                  std::size_t pixelBytes, int rotation) {
  const std::size_t w = std::size_t(width), h = std::size_t(height);
  if (rotation == 0) {
    std::memcpy(out, in, w * h * pixelBytes);
    return;
  }
  // Each output pixel (row r, column c) from the input pixel it shows.
  const bool turned = rotation == 90 || rotation == 270;
  const std::size_t outWidth = turned ? h : w, outHeight = turned ? w : h;
  for (std::size_t r = 0; r < outHeight; ++r) {
    std::uint8_t* row = out + r * outWidth * pixelBytes;
    for (std::size_t c = 0; c < outWidth; ++c) {
      std::size_t y = 0, x = 0;
      if (rotation == 90) {  // the right column on top
        y = c;
        x = w - 1 - r;
      } else if (rotation == 270) {  // the left column on top, upwards
        y = h - 1 - c;
        x = r;
      } else {  // 180
        y = h - 1 - r;
        x = w - 1 - c;
      }
      std::memcpy(row + c * pixelBytes, in + (y * w + x) * pixelBytes, pixelBytes);
    }
  }
}

}  // namespace mattix::media::internal
