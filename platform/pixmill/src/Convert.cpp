// Conversion between image layouts (CDIB::Convert, CDIB::CreateAndConvert).
//
// Layouts converted, in either direction between any two of them:
//   - RGB, 32 bits (blue, green, red, alpha) or 24 bits (no alpha: read as
//     255, dropped when written), either row order;
//   - packed 4:2:2 Y'CbCr "@YUV" (U Y0 V Y1, sub-sampling code 0 or 512),
//     24 bits without alpha or 32 bits with the separate alpha plane of the
//     header (bytes 132 and 140; a 32-bit image without a plane reads alpha
//     255 and writes none), CCIR 601 (id 0) or ITU 709 (id 2), 8 bits per
//     sample (formulas in stdfx/RGB2YUV.h and stdfx/YUV2RGB.h);
//   - and, as a source only, 8-bit images (read as grey, alpha 255), also in
//     their BI_RLE8 form, which is decoded first.
// Every line passes through one row of 32-bit pixels, except between two
// images of the same layout (and colour space), whose lines are copied.
//
// Lines. Source and destination must have the same width and height. The
// field argument (-1 all lines, 0 or 1 one field, in buffer order) names the
// lines of the destination that are written; each takes the source line
// that shows the same row of the picture, so images of opposite row orders
// end up the same way up (for an even height that source line lies in the
// other field of the source). Lines outside the field are left as they were.
// Both interleaved and two-field buffers are addressed line by line.
//
// Header. With flags bit 0 set (as the frame renderer and CreateAndConvert
// call it) this image's header is left exactly as it is; with bit 0 clear
// its alpha flag becomes the source's, since the colour keeps whatever
// premultiplication it had. Nothing else of the header ever changes.
// CreateAndConvert leaves the image as it was when it fails.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "DibStorage.h"
#include "YuvKernels.h"
#include "stdfx/DIB.h"
#include "stdfx/RGB2YUV.h"
#include "stdfx/YUV2RGB.h"

namespace stdfx {
namespace {

enum class Kind { kUnsupported, kRgb32, kRgb24, kGrey8, kUyvy };

// One image as the converter sees it: layout, where its lines are, and how
// to read or write one line as 32-bit pixels.
struct View {
  internal::Layout layout;
  Kind kind = Kind::kUnsupported;
  unsigned colorSpace = 0;
  unsigned char* bits = nullptr;
  unsigned char* alpha = nullptr;  // separate alpha plane, or null
  std::int64_t alphaPitch = 0;

  unsigned char* Line(int y) const {
    return bits + internal::LineOffset(layout.pitch, layout.height, layout.twoFields, y);
  }
  unsigned char* AlphaLine(int y) const {
    return alpha ? alpha + internal::LineOffset(alphaPitch, layout.height, layout.twoFields, y)
                 : nullptr;
  }
  // Bytes of the buffers, to detect a source sharing memory with the target.
  std::int64_t BitsSize() const { return layout.pitch * layout.height; }
  std::int64_t AlphaSize() const { return alpha ? alphaPitch * layout.height : 0; }
};

bool Describe(const CDIB& image, View& v) {
  if (!image.IsValidDIB()) return false;
  const tagVFBMINFOHEADER* h = image.GetVfBmiHeader();
  if (!internal::Describe(h, v.layout) || v.layout.compressed) return false;
  v.bits = image.GetBytes();
  if (h->biCompression == kLayoutRGB) {
    switch (h->biBitCount) {
      case 32:
        v.kind = Kind::kRgb32;
        break;
      case 24:
        v.kind = Kind::kRgb24;
        break;
      case 8:
        v.kind = Kind::kGrey8;
        break;
      default:
        return false;
    }
    return true;
  }
  if (h->biCompression != kLayoutYUV || !v.layout.packedYUV422 ||
      (h->biBitCount != 24 && h->biBitCount != 32) || image.YUVBitsPerSample() != 8)
    return false;
  v.colorSpace = image.YUVColorSpaceID();
  if (v.colorSpace != kYUVCCIR601 && v.colorSpace != kYUVITU709) return false;
  v.kind = Kind::kUyvy;
  if (h->biBitCount == 32 && h->vfAlphaBytes && h->vfAlphaBytesPerLine >= DWORD(v.layout.width)) {
    v.alpha = h->vfAlphaBytes;
    v.alphaPitch = h->vfAlphaBytesPerLine;
  }
  return true;
}

bool Overlap(const unsigned char* a, std::int64_t an, const unsigned char* b, std::int64_t bn) {
  return a && b && an > 0 && bn > 0 && a < b + bn && b < a + an;
}

bool SharesMemory(const View& a, const View& b) {
  return Overlap(a.bits, a.BitsSize(), b.bits, b.BitsSize()) ||
         Overlap(a.alpha, a.AlphaSize(), b.alpha, b.AlphaSize()) ||
         Overlap(a.bits, a.BitsSize(), b.alpha, b.AlphaSize()) ||
         Overlap(a.alpha, a.AlphaSize(), b.bits, b.BitsSize());
}

// Reads line y of the source as width pixels of 4 bytes.
void ReadLine(const View& v, int y, const CYUV2RGB& yuv, std::uint8_t* row) {
  const int w = v.layout.width;
  const unsigned char* in = v.Line(y);
  switch (v.kind) {
    case Kind::kRgb32:
      std::memcpy(row, in, std::size_t(w) * 4);
      break;
    case Kind::kRgb24:
      for (int x = 0; x < w; ++x) {
        row[4 * x] = in[3 * x];
        row[4 * x + 1] = in[3 * x + 1];
        row[4 * x + 2] = in[3 * x + 2];
        row[4 * x + 3] = 255;
      }
      break;
    case Kind::kGrey8:
      for (int x = 0; x < w; ++x) {
        row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = in[x];
        row[4 * x + 3] = 255;
      }
      break;
    case Kind::kUyvy:
      yuv.ConvertRow(in, v.AlphaLine(y), w, row);
      break;
    case Kind::kUnsupported:
      break;
  }
}

// Writes width pixels of 4 bytes into line y of the destination.
void WriteLine(const View& v, int y, const CRGB2YUV& yuv, const std::uint8_t* row) {
  const int w = v.layout.width;
  unsigned char* out = v.Line(y);
  switch (v.kind) {
    case Kind::kRgb32:
      std::memcpy(out, row, std::size_t(w) * 4);
      break;
    case Kind::kRgb24:
      for (int x = 0; x < w; ++x) {
        out[3 * x] = row[4 * x];
        out[3 * x + 1] = row[4 * x + 1];
        out[3 * x + 2] = row[4 * x + 2];
      }
      break;
    case Kind::kUyvy:
      yuv.ConvertRow(row, w, out, v.AlphaLine(y));
      break;
    case Kind::kGrey8:
    case Kind::kUnsupported:
      break;
  }
}

bool SameLayout(const View& a, const View& b) {
  return a.kind == b.kind && a.layout.bitCount == b.layout.bitCount &&
         (a.kind != Kind::kUyvy || a.colorSpace == b.colorSpace);
}

}  // namespace

bool CDIB::Convert(const CDIB& src, int field, int flags) {
  View dst;
  View in;
  if (!Describe(*this, dst) || dst.kind == Kind::kUnsupported || dst.kind == Kind::kGrey8)
    return false;
  // An encoded 8-bit source is decoded into a copy first.
  if (src.IsValidDIB() && src.GetVfBmiHeader()->biCompression == kLayoutRLE8) {
    CDIB decoded(src);
    return decoded.DecompressRLE() && Convert(decoded, field, flags);
  }
  if (!Describe(src, in)) return false;
  if (in.layout.width != dst.layout.width || in.layout.height != dst.layout.height) return false;
  // A source sharing memory with this image (itself, or an image attached to
  // the same buffer) is read from a copy, so no line is overwritten before
  // it is read.
  if (SharesMemory(dst, in)) {
    CDIB copy(src);
    return copy.IsValidDIB() && Convert(copy, field, flags);
  }

  const CRGB2YUV toYuv(dst.colorSpace);
  const CYUV2RGB toRgb(in.colorSpace);
  const bool copyLines = SameLayout(dst, in);
  std::vector<std::uint8_t> row;
  if (!copyLines) row.resize(std::size_t(dst.layout.width) * 4);
  const std::size_t lineBytes = std::size_t(dst.layout.rowBytes);
  const std::size_t alphaBytes = std::size_t(dst.layout.width);
  const int first = DIBField1stLine(field);
  const int step = field == 0 || field == 1 ? 2 : 1;
  for (int y = first; y >= 0 && y < dst.layout.height; y += step) {
    // The source line showing the same row of the picture.
    const int from = internal::DisplayToLine(in.layout, internal::DisplayToLine(dst.layout, y));
    if (copyLines) {
      std::memcpy(dst.Line(y), in.Line(from), lineBytes);
      if (dst.alpha && in.alpha)
        std::memcpy(dst.AlphaLine(y), in.AlphaLine(from), alphaBytes);
      else if (dst.alpha)
        std::memset(dst.AlphaLine(y), 255, alphaBytes);
    } else {
      ReadLine(in, from, toRgb, row.data());
      WriteLine(dst, y, toYuv, row.data());
    }
  }
  if (!(flags & 1)) ncbwSetAlphaFlag(src.DIBAlphaFlag());
  return true;
}

bool CDIB::CreateAndConvert(const tagVFBMINFOHEADER& header, const CDIB& src, int field) {
  // Built beside this image, which stays as it was on failure (and may be
  // the source, or hold the header).
  CDIB out;
  if (!out.Create(header) || !out.Convert(src, field, 1)) return false;
  return _ITakeStorage(out);
}

}  // namespace stdfx
