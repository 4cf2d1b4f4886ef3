// Strides, sizes and field arithmetic of image headers.
#include "stdfx/DibFunctions.h"

#include <cstdlib>
#include <cstring>

#include "DibStorage.h"

namespace stdfx {

namespace internal {

tagVFBMINFOHEADER* AllocHeader(const tagVFBMINFOHEADER& source) {
  void* p = std::calloc(1, sizeof(tagYUVBMINFOHEADER));
  if (!p) return nullptr;
  const std::size_t n =
      source.biSize == kHeaderSizeYUV ? sizeof(tagYUVBMINFOHEADER) : sizeof(tagVFBMINFOHEADER);
  std::memcpy(p, &source, n);
  return static_cast<tagVFBMINFOHEADER*>(p);
}

void FreeHeader(tagVFBMINFOHEADER* header) { std::free(header); }

unsigned char* AllocBits(std::int64_t bytes) {
  if (bytes < 0 || bytes > kMaxAllocation) return nullptr;
  return static_cast<unsigned char*>(std::calloc(bytes > 0 ? std::size_t(bytes) : 1, 1));
}

void FreeBits(unsigned char* bits) { std::free(bits); }

namespace {
bool IsUncompressed(DWORD code) {
  return code == kLayoutRGB || code == kLayoutYUV || code == kLayoutRGBAZ || code == kLayoutYUVAZ;
}
// The horizontal sub-sampling code; a header shorter than 160 bytes has none
// (reads as 0).
DWORD HSubSampling(const tagVFBMINFOHEADER& h) {
  return h.biSize >= kHeaderSizeYUV ? reinterpret_cast<const tagYUVBMINFOHEADER&>(h).yuvHSubSampling
                                    : 0;
}
}  // namespace

bool Describe(const tagVFBMINFOHEADER* header, Layout& out) {
  if (!header) return false;
  const tagVFBMINFOHEADER& h = *header;
  const std::int64_t w = h.biWidth;
  const std::int64_t sh = h.biHeight;
  if (w < 0 || w > kMaxDIBDimension || sh < -kMaxDIBDimension || sh > kMaxDIBDimension) {
    return false;
  }
  const int bits = h.biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return false;
  }
  Layout l;
  l.width = int(w);
  l.height = int(sh < 0 ? -sh : sh);
  l.bottomUp = sh >= 0;
  l.bitCount = bits;
  l.compressed = !IsUncompressed(h.biCompression);
  const DWORD hsub = HSubSampling(h);
  l.packedYUV422 = h.biCompression == kLayoutYUV && (hsub == kSub422 || hsub == kSub422UYVY);
  l.twoFields = (h.vfFormatFlag & kFormatTwoFields) != 0;
  l.rowBytes = l.packedYUV422 ? (w + 1) / 2 * 4 : (w * bits + 7) / 8;
  const std::int64_t padded = (l.rowBytes + 3) & ~std::int64_t{3};
  l.pitch = padded;
  const std::int64_t hostPitch = h.vfRowPitch;
  if (!l.compressed && hostPitch != 0 && hostPitch >= l.rowBytes &&
      (!l.twoFields || hostPitch % 2 == 0)) {
    l.pitch = hostPitch;
  }
  l.linePitch = l.twoFields ? l.pitch / 2 : l.pitch;
  if (l.compressed) {
    // An encoded size far beyond any encoding of the decoded image is absurd.
    const std::int64_t bound = 4 * padded * l.height + 64;
    if (h.biSizeImage > bound) return false;
    l.size = h.biSizeImage;
  } else {
    l.size = l.pitch * l.height;
  }
  if (l.size > kMaxAllocation) return false;
  out = l;
  return true;
}

}  // namespace internal

using internal::Describe;
using internal::Layout;

bool IsDIBHeaderSane(const tagVFBMINFOHEADER* header) {
  Layout l;
  return Describe(header, l);
}

bool DIBIsPackedYUV422(const tagVFBMINFOHEADER* header) {
  Layout l;
  return Describe(header, l) && l.packedYUV422;
}

int DIBBytesPerPixel(const tagVFBMINFOHEADER* header) {
  Layout l;
  if (!Describe(header, l)) return 0;
  return l.packedYUV422 ? 2 : l.bitCount / 8;
}

int DIBRowBytes(const tagVFBMINFOHEADER* header) {
  Layout l;
  return Describe(header, l) ? int(l.rowBytes) : 0;
}

int DIBBytesPerLine(const tagVFBMINFOHEADER* header) {
  Layout l;
  return Describe(header, l) ? int(l.linePitch) : 0;
}

DWORD DIBSize(const tagVFBMINFOHEADER* header) {
  Layout l;
  return Describe(header, l) ? DWORD(l.size) : 0;
}

int DIBLineOffset(const tagVFBMINFOHEADER* header, int line) {
  Layout l;
  if (!Describe(header, l) || line < 0 || line >= l.height) return -1;
  return int(internal::LineOffset(l.pitch, l.height, l.twoFields, line));
}

int DIBAlphaLineOffset(const tagVFBMINFOHEADER* header, int line) {
  Layout l;
  if (!Describe(header, l) || line < 0 || line >= l.height) return -1;
  const std::int64_t off =
      internal::LineOffset(header->vfAlphaBytesPerLine, l.height, l.twoFields, line);
  return off > internal::kMaxAllocation ? -1 : int(off);
}

int DIBField1stLine(const tagVFBMINFOHEADER* header, int field) {
  if (!header) return -1;
  return field == 0 || field == 1 ? field : 0;
}

int DIBFieldLstLine(const tagVFBMINFOHEADER* header, int field) {
  Layout l;
  if (!Describe(header, l) || l.height == 0) return -1;
  const int last = l.height - 1;
  if (field != 0 && field != 1) return last;
  if (last < field) return -1;
  return (last & 1) == field ? last : last - 1;
}

int DIBFieldOffset1(const tagVFBMINFOHEADER* header, int field) {
  const int off = DIBLineOffset(header, DIBField1stLine(header, field));
  return off < 0 ? 0 : off;  // no line: a walk starts nowhere, 0 is harmless
}

int DIBFieldOffsetL(const tagVFBMINFOHEADER* header, int field) {
  return DIBLineOffset(header, DIBFieldLstLine(header, field));
}

int DIBAlphaFieldOffset1(const tagVFBMINFOHEADER* header, int field) {
  const int off = DIBAlphaLineOffset(header, DIBField1stLine(header, field));
  return off < 0 ? 0 : off;
}

int DIBAlphaFieldOffsetL(const tagVFBMINFOHEADER* header, int field) {
  return DIBAlphaLineOffset(header, DIBFieldLstLine(header, field));
}

const wchar_t* GetCompressionSamplingFormatString(const tagVFBMINFOHEADER* header) {
  if (!header) return L"none";
  const DWORD code = header->biCompression;
  const int bits = header->biBitCount;
  if (code == kLayoutRGB) {
    switch (bits) {
      case 1:
        return L"RGB 1";
      case 4:
        return L"RGB 4";
      case 8:
        return L"RGB 8";
      case 16:
        return L"RGB 16";
      case 24:
        return L"RGB 24";
      case 32:
        return L"RGB 32";
      default:
        return L"RGB";
    }
  }
  if (code == kLayoutRGBAZ) return L"RGBAZ";
  if (code == kLayoutRLE8) return L"RLE 8";
  if (code == kLayoutYUV || code == kLayoutYUVAZ) {
    const bool az = code == kLayoutYUVAZ;
    switch (internal::HSubSampling(*header)) {
      case kSub422UYVY:
        return az ? L"YUVAZ 4:2:2 UYVY" : L"YUV 4:2:2 UYVY";
      case kSub422:
        return az ? L"YUVAZ 4:2:2" : L"YUV 4:2:2";
      case kSub444:
        return az ? L"YUVAZ 4:4:4" : L"YUV 4:4:4";
      case kSub411:
        return az ? L"YUVAZ 4:1:1" : L"YUV 4:1:1";
      case kSub420:
        return az ? L"YUVAZ 4:2:0" : L"YUV 4:2:0";
      default:
        return az ? L"YUVAZ" : L"YUV";
    }
  }
  return L"compressed";
}

}  // namespace stdfx
