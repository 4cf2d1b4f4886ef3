#pragma once
// Helpers of the image library tests: headers built field by field.
#include <cstring>

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

}  // namespace pixmill_test
