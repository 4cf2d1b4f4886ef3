// BI_RLE8 encoder and decoder over byte buffers (format and contract in
// stdfx/Rle8.h), and the image members built on them: CDIB::CompressRLE,
// CDIB::DecompressRLE.
//
// Images. Only 8-bit bottom-up images are coded (the format has no top-down
// form); their buffer rows are coded in memory order with the row pitch of
// the header's layout, so a two-field buffer is coded as it lies. The
// encoded image keeps its header except biCompression (1), biSizeImage (the
// encoded length, which DIBSize then reports) and the alpha-plane pointer
// and stride, which are cleared: a stored record must not carry an address.
// Decoding restores biCompression 0 and biSizeImage = pitch x height. Both
// build the new pixels beside the image and take them over only on success,
// so a failure leaves the image exactly as it was; an attached image
// becomes a created one and the caller's memory is not touched.
#include <algorithm>
#include <cstring>

#include "DibStorage.h"
#include "stdfx/DIB.h"
#include "stdfx/Rle8.h"

namespace stdfx {
namespace {

bool GeometryOk(int width, int height, std::size_t stride) {
  return width >= 1 && width <= kRle8MaxSide && height >= 1 && height <= kRle8MaxSide &&
         stride >= static_cast<std::size_t>(width) && stride <= kRle8MaxStride;
}

// Appends bytes while there is room and remembers overflow instead of
// writing; without a buffer it only counts.
class Sink {
 public:
  Sink(unsigned char* dst, std::size_t capacity) : m_dst(dst), m_capacity(capacity) {}
  void Put(unsigned char a, unsigned char b) {
    const unsigned char pair[2] = {a, b};
    PutBytes(pair, 2);
  }
  void PutBytes(const unsigned char* p, std::size_t n) {
    if (m_dst) {
      if (m_capacity - m_size < n) {
        m_overflow = true;
        return;
      }
      std::memcpy(m_dst + m_size, p, n);
    }
    m_size += n;
  }
  bool Overflow() const { return m_overflow; }
  std::size_t Size() const { return m_size; }

 private:
  unsigned char* m_dst;
  std::size_t m_capacity;
  std::size_t m_size = 0;
  bool m_overflow = false;
};

// Length of the run of equal bytes starting at row[i], at most 255.
int RunAt(const unsigned char* row, int i, int width) {
  int n = 1;
  while (i + n < width && n < 255 && row[i + n] == row[i]) ++n;
  return n;
}

// True when row[i] starts a run of at least 3, the shortest run that is
// cheaper as a code than inside a literal.
bool LongRunAt(const unsigned char* row, int i, int width) {
  return i + 2 < width && row[i] == row[i + 1] && row[i] == row[i + 2];
}

void EncodeRow(const unsigned char* row, int width, Sink& out) {
  int i = 0;
  while (i < width) {
    if (LongRunAt(row, i, width)) {
      const int n = RunAt(row, i, width);
      out.Put(static_cast<unsigned char>(n), row[i]);
      i += n;
      continue;
    }
    // Literal: everything up to the next long run, at most 255 bytes.
    int j = i + 1;
    while (j < width && j - i < 255 && !LongRunAt(row, j, width)) ++j;
    const int n = j - i;
    if (n >= 3) {
      out.Put(0, static_cast<unsigned char>(n));
      out.PutBytes(row + i, static_cast<std::size_t>(n));
      if (n & 1) {
        const unsigned char pad = 0;
        out.PutBytes(&pad, 1);
      }
      i = j;
      continue;
    }
    // One or two pixels: absolute mode needs 3, so write them as runs.
    while (i < j) {
      const int r = (i + 1 < j && row[i + 1] == row[i]) ? 2 : 1;
      out.Put(static_cast<unsigned char>(r), row[i]);
      i += r;
    }
  }
}

}  // namespace

std::size_t Rle8EncodedBound(int width, int height) {
  if (!GeometryOk(width, height, static_cast<std::size_t>(width > 0 ? width : 0))) return 0;
  return static_cast<std::size_t>(height) * (2 * static_cast<std::size_t>(width) + 2);
}

std::size_t EncodeRle8(const unsigned char* src, int width, int height, std::size_t stride,
                       unsigned char* dst, std::size_t dstCapacity) {
  if (!src || !GeometryOk(width, height, stride)) return 0;
  Sink out(dst, dstCapacity);
  for (int y = 0; y < height && !out.Overflow(); ++y) {
    EncodeRow(src + static_cast<std::size_t>(y) * stride, width, out);
    out.Put(0, y + 1 < height ? 0 : 1);
  }
  return out.Overflow() ? 0 : out.Size();
}

bool DecodeRle8(const unsigned char* src, std::size_t srcSize, unsigned char* dst, int width,
                int height, std::size_t stride) {
  if (!dst || !GeometryOk(width, height, stride)) return false;
  const std::size_t total = stride * static_cast<std::size_t>(height);
  std::memset(dst, 0, total);
  if (!src) return false;  // no stream at all: as truncated
  auto refuse = [&] {
    std::memset(dst, 0, total);
    return false;
  };
  // Invariants: p <= srcSize; 0 <= x <= width; 0 <= y <= height (y == height
  // only after the end-of-line of the last row, when nothing but the end of
  // the bitmap may follow).
  std::size_t p = 0;
  int x = 0;
  int y = 0;
  for (;;) {
    if (srcSize - p < 2) return refuse();
    const unsigned a = src[p];
    const unsigned b = src[p + 1];
    p += 2;
    if (a != 0) {
      if (y >= height || a > static_cast<unsigned>(width - x)) return refuse();
      std::memset(dst + static_cast<std::size_t>(y) * stride + x, static_cast<int>(b), a);
      x += static_cast<int>(a);
      continue;
    }
    switch (b) {
      case 0:  // end of line
        if (y >= height) return refuse();
        ++y;
        x = 0;
        break;
      case 1: {  // end of bitmap: only a little zero padding may follow
        const std::size_t rest = srcSize - p;
        if (rest > 3) return refuse();
        for (std::size_t i = 0; i < rest; ++i)
          if (src[p + i] != 0) return refuse();
        return true;
      }
      case 2: {  // delta
        if (srcSize - p < 2) return refuse();
        const int dx = src[p];
        const int dy = src[p + 1];
        p += 2;
        if (y >= height || dx > width - x || dy > height - 1 - y) return refuse();
        x += dx;
        y += dy;
        break;
      }
      default: {  // literal of b bytes, padded to an even length
        const std::size_t n = b;
        const std::size_t padded = n + (n & 1);
        if (srcSize - p < padded) return refuse();
        if (y >= height || n > static_cast<std::size_t>(width - x)) return refuse();
        std::memcpy(dst + static_cast<std::size_t>(y) * stride + x, src + p, n);
        p += padded;
        x += static_cast<int>(n);
        break;
      }
    }
  }
}

namespace {

// An encoded header we accept: BI_RLE8, 8 bits, bottom-up, sides within the
// limit, and at least the two bytes of an end-of-bitmap.
bool EncodedHeaderOk(const tagVFBMINFOHEADER& h) {
  return h.biCompression == kLayoutRLE8 && h.biBitCount == 8 && h.biWidth >= 1 &&
         h.biWidth <= kRle8MaxSide && h.biHeight >= 1 && h.biHeight <= kRle8MaxSide &&
         h.biSizeImage >= 2;
}

// Decodes srcSize bytes of a stream described by `encoded` (storage of
// min(biSize, 160) bytes) into `out`, created with the decoded header.
// False, and out freed, when the header or the stream is refused.
bool DecodeImage(const tagVFBMINFOHEADER& encoded, const unsigned char* src, std::size_t srcSize,
                 CDIB& out) {
  tagYUVBMINFOHEADER decoded{};
  std::memcpy(&decoded, &encoded,
              encoded.biSize >= kHeaderSizeYUV ? sizeof decoded : sizeof decoded.vf);
  tagVFBMINFOHEADER& h = decoded.vf;
  h.biCompression = kLayoutRGB;
  h.vfAlphaBytes = nullptr;
  h.vfAlphaBytesPerLine = 0;
  internal::Layout l;
  if (!EncodedHeaderOk(encoded) || !internal::Describe(&h, l) || l.pitch < 0 ||
      static_cast<std::size_t>(l.pitch) > kRle8MaxStride) {
    out.FreeDIB();
    return false;
  }
  h.biSizeImage = static_cast<DWORD>(l.size);
  if (!out.Create(h) || !DecodeRle8(src, srcSize, out.GetBytes(), l.width, l.height,
                                    static_cast<std::size_t>(l.pitch))) {
    out.FreeDIB();
    return false;
  }
  return true;
}

}  // namespace

bool CDIB::CompressRLE() {
  if (!IsValidDIB()) return false;
  const tagVFBMINFOHEADER* h = GetVfBmiHeader();
  internal::Layout l;
  if (h->biCompression != kLayoutRGB || h->biBitCount != 8 || h->biHeight < 1 ||
      !internal::Describe(h, l) || l.width < 1 || l.pitch < 0 ||
      static_cast<std::size_t>(l.pitch) > kRle8MaxStride) {
    return false;
  }
  const std::size_t stride = static_cast<std::size_t>(l.pitch);
  const std::size_t length = EncodeRle8(GetBytes(), l.width, l.height, stride, nullptr, 0);
  if (length == 0 || length > static_cast<std::size_t>(internal::kMaxAllocation)) return false;
  tagVFBMINFOHEADER* header = internal::AllocHeader(*h);
  unsigned char* bits = internal::AllocBits(static_cast<std::int64_t>(length));
  bool ok = header && bits;
  if (ok) {
    header->biCompression = kLayoutRLE8;
    header->biSizeImage = static_cast<DWORD>(length);
    header->vfAlphaBytes = nullptr;
    header->vfAlphaBytesPerLine = 0;
    ok = EncodeRle8(GetBytes(), l.width, l.height, stride, bits, length) == length &&
         _IAdopt(header, bits, static_cast<LONG>(length));
  }
  if (!ok) {
    internal::FreeBits(bits);
    internal::FreeHeader(header);
  }
  return ok;
}

bool CDIB::DecompressRLE() {
  if (!IsValidDIB()) return false;
  const tagVFBMINFOHEADER* h = GetVfBmiHeader();
  if (!EncodedHeaderOk(*h)) return false;
  // The stream is biSizeImage bytes; an image of our own allocation cannot
  // hold more than it allocated, whatever its header claims.
  std::size_t available = h->biSizeImage;
  if (IsCreated())
    available =
        std::min(available, static_cast<std::size_t>(std::max<LONG>(0, DIBSizeAllocated())));
  CDIB out;
  if (!DecodeImage(*h, GetBytes(), available, out)) return false;
  return _ITakeStorage(out);
}

}  // namespace stdfx
