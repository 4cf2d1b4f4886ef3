// The image object's construction, ownership, allocation, copies and release.
#include "stdfx/DIB.h"

#include <cstring>
#include <new>
#include <utility>

#include "DibStorage.h"

namespace stdfx {

namespace {

CDibData* NewData() { return new (std::nothrow) CDibData{1, false, 0, nullptr, nullptr}; }

// A created image also owns an alpha plane (one byte per pixel, in the same
// allocation behind the pixels) when its header names one or is 32-bit
// packed YUV, whose alpha lives beside the colour. Row pitch: the header's
// when at least the width, else the width padded to 4 bytes.
// Only uncompressed colour images carry a plane: for masks and encoded
// layouts the two fields are meaningless (a stored record may hold anything
// there), so they are neither followed nor kept.
bool CanHaveAlphaPlane(const tagVFBMINFOHEADER& h) {
  const bool colourLayout = h.biCompression == kLayoutRGB || h.biCompression == kLayoutYUV ||
                            h.biCompression == kLayoutRGBAZ || h.biCompression == kLayoutYUVAZ;
  return colourLayout && h.biBitCount >= 24;
}

bool WantsAlphaPlane(const tagVFBMINFOHEADER& h) {
  if (!CanHaveAlphaPlane(h)) return false;
  return h.vfAlphaBytes != nullptr || (h.biCompression == kLayoutYUV && h.biBitCount == 32);
}

// Releases what the record owns and empties it; attached memory is only
// forgotten.
void ReleaseStorage(CDibData* d) {
  if (!d) return;
  if (d->m_bCreated) {
    internal::FreeBits(d->m_pBits);
    internal::FreeHeader(d->m_pHeader);
  }
  d->m_pBits = nullptr;
  d->m_pHeader = nullptr;
  d->m_bCreated = false;
  d->m_nAllocated = 0;
}

}  // namespace

CDIB::CDIB() : m_pData(NewData()) {}

CDIB::CDIB(const void* header, void* bits) : m_pData(NewData()) {
  if (!m_pData || !header) return;
  // A header that names pixels the library cannot address (a side over
  // 16384, a buffer past a signed 32-bit count, an unknown depth) has no
  // stride: every walk would step 0 bytes a line. It is not attached, and
  // the image stays invalid. An empty header names no pixels and is kept.
  const auto* h = static_cast<const tagVFBMINFOHEADER*>(header);
  const bool empty = h->biBitCount == 0 || h->biWidth == 0 || h->biHeight == 0;
  if (!empty && !IsDIBHeaderSane(h)) return;
  m_pData->m_pHeader = static_cast<tagVFBMINFOHEADER*>(const_cast<void*>(header));
  m_pData->m_pBits = static_cast<unsigned char*>(bits);
}

CDIB::CDIB(const tagVFBMINFOHEADER& header) : m_pData(NewData()) { CDIB::Create(header); }

CDIB::CDIB(const CDIB& other) : m_pData(NewData()) { CDIB::CopyDIB(other); }

CDIB& CDIB::operator=(const CDIB& other) {
  CopyDIB(other);
  return *this;
}

CDIB::~CDIB() {
  if (!m_pData) return;
  ReleaseStorage(m_pData);
  if (CDIB::xInterlockedDecrement(&m_pData->m_nRefs) <= 0) delete m_pData;
}

bool CDIB::_IAdopt(tagVFBMINFOHEADER* header, unsigned char* bits, LONG allocated) {
  if (!m_pData) return false;
  ReleaseStorage(m_pData);
  m_pData->m_pHeader = header;
  m_pData->m_pBits = bits;
  m_pData->m_bCreated = true;
  m_pData->m_nAllocated = allocated;
  return true;
}

bool CDIB::_ITakeStorage(CDIB& from) {
  CDibData* d = from.m_pData;
  if (!d || !_IAdopt(d->m_pHeader, d->m_pBits, d->m_nAllocated)) return false;
  d->m_pHeader = nullptr;
  d->m_pBits = nullptr;
  d->m_bCreated = false;
  d->m_nAllocated = 0;
  return true;
}

bool CDIB::Create(const tagVFBMINFOHEADER& source) {
  if (!m_pData && !(m_pData = NewData())) return false;
  // Copy the header first: it may be this image's own.
  tagVFBMINFOHEADER* header = internal::AllocHeader(source);
  internal::Layout l;
  if (!header || !internal::Describe(header, l)) {
    internal::FreeHeader(header);
    FreeDIB();
    return false;
  }
  std::int64_t total = l.size;
  std::int64_t alphaPitch = 0;
  const bool alpha = WantsAlphaPlane(*header);
  if (alpha) {
    alphaPitch = header->vfAlphaBytesPerLine >= DWORD(l.width)
                     ? std::int64_t(header->vfAlphaBytesPerLine)
                     : (std::int64_t(l.width) + 3) & ~std::int64_t{3};
    total += alphaPitch * l.height;
  }
  unsigned char* bits = internal::AllocBits(total);
  if (!bits) {
    internal::FreeHeader(header);
    FreeDIB();
    return false;
  }
  if (alpha) {
    header->vfAlphaBytes = bits + l.size;
    header->vfAlphaBytesPerLine = DWORD(alphaPitch);
  } else {
    header->vfAlphaBytes = nullptr;
    header->vfAlphaBytesPerLine = 0;
  }
  return _IAdopt(header, bits, LONG(total));
}

void CDIB::FreeDIB() { ReleaseStorage(m_pData); }

bool CDIB::CopyDIB(const CDIB& other) {
  if (&other == this) return IsValidDIB();
  if (!other.IsValidDIB()) {
    FreeDIB();
    return false;
  }
  // Build the copy beside this image, so that other may be attached to this
  // image's own memory, then take it over.
  CDIB copy;
  if (!copy.CDIB::Create(*other.GetVfBmiHeader())) {
    FreeDIB();
    return false;
  }
  const tagVFBMINFOHEADER* src = other.GetVfBmiHeader();
  std::memcpy(copy.GetBytes(), other.GetBytes(), stdfx::DIBSize(src));
  internal::Layout l;
  internal::Describe(src, l);
  const tagVFBMINFOHEADER* dst = copy.GetVfBmiHeader();
  if (CanHaveAlphaPlane(*src) && src->vfAlphaBytes && dst->vfAlphaBytes &&
      src->vfAlphaBytesPerLine >= DWORD(l.width)) {
    for (int y = 0; y < l.height; ++y) {
      std::memcpy(dst->vfAlphaBytes + std::int64_t(y) * dst->vfAlphaBytesPerLine,
                  src->vfAlphaBytes + std::int64_t(y) * src->vfAlphaBytesPerLine,
                  std::size_t(l.width));
    }
  }
  std::swap(m_pData, copy.m_pData);
  return true;
}

}  // namespace stdfx
