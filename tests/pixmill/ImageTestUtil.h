#pragma once
// Helpers of the image library tests: headers built field by field, an
// image's bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "stdfx/DIB.h"

namespace pixmill_test {

inline tagVFBMINFOHEADER MakeHeader(int width, int height, int bits,
                                    DWORD layout = stdfx::kLayoutRGB) {
  tagVFBMINFOHEADER h;
  std::memset(&h, 0, sizeof h);
  h.biSize = 144;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = WORD(bits);
  h.biCompression = layout;
  return h;
}

inline tagYUVBMINFOHEADER MakeYUVHeader(int width, int height, int bits, DWORD hsub) {
  tagYUVBMINFOHEADER h;
  std::memset(&h, 0, sizeof h);
  h.vf = MakeHeader(width, height, bits, stdfx::kLayoutYUV);
  h.vf.biSize = 160;
  h.yuvHSubSampling = hsub;
  return h;
}

// An image's DIBSize bytes (its rows with their padding, or its encoded stream).
inline std::vector<std::uint8_t> PixelBytes(const stdfx::CDIB& image) {
  return {image.GetBytes(), image.GetBytes() + image.DIBSize()};
}

}  // namespace pixmill_test
