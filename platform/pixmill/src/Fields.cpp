// Copying the lines of a field between two images (CopyBack).
#include <algorithm>
#include <cstring>

#include "DibStorage.h"
#include "stdfx/DibFunctions.h"

namespace stdfx {

bool CopyBack(const tagVFBMINFOHEADER* dstHeader, void* dstBits, const tagVFBMINFOHEADER* srcHeader,
              const void* srcBits, int field) {
  internal::Layout d, s;
  if (!dstBits || !srcBits || !internal::Describe(dstHeader, d) ||
      !internal::Describe(srcHeader, s) || d.compressed || s.compressed || d.height != s.height) {
    return false;
  }
  auto* dst = static_cast<unsigned char*>(dstBits);
  const auto* src = static_cast<const unsigned char*>(srcBits);
  const std::size_t n = std::size_t(std::min(d.rowBytes, s.rowBytes));
  const int first = DIBField1stLine(dstHeader, field);
  const int step = field == 0 || field == 1 ? 2 : 1;
  for (int y = first; y < d.height; y += step) {
    std::memmove(dst + internal::LineOffset(d.pitch, d.height, d.twoFields, y),
                 src + internal::LineOffset(s.pitch, s.height, s.twoFields, y), n);
  }
  // Separate alpha planes, one byte per pixel, when both have one wide enough.
  const std::size_t an = std::size_t(std::min(d.width, s.width));
  unsigned char* da = dstHeader->vfAlphaBytes;
  const unsigned char* sa = srcHeader->vfAlphaBytes;
  const DWORD dap = dstHeader->vfAlphaBytesPerLine, sap = srcHeader->vfAlphaBytesPerLine;
  if (da && sa && dap >= an && sap >= an) {
    for (int y = first; y < d.height; y += step) {
      std::memmove(da + internal::LineOffset(dap, d.height, d.twoFields, y),
                   sa + internal::LineOffset(sap, s.height, s.twoFields, y), an);
    }
  }
  return true;
}

}  // namespace stdfx
