// The image object's light members: accessors, flag setters, header copies
// and forwarding members. The heavy members live in the image library.
#include "stdfx/DIB.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "win/WinResource.h"

namespace stdfx {

namespace {
bool IsYUVLayout(DWORD c) { return c == kLayoutYUV || c == kLayoutYUVAZ; }

// The YUV fields exist only in a 160-byte header; a shorter one (an attached
// 144-byte record) reads as if they were 0, like its zero-extended copy.
const tagYUVBMINFOHEADER* YUVFields(const tagVFBMINFOHEADER* h) {
  return h && h->biSize >= kHeaderSizeYUV ? reinterpret_cast<const tagYUVBMINFOHEADER*>(h)
                                          : nullptr;
}
}  // namespace

CDibData* CDIB::_IGetData() const { return m_pData; }

LONG CDIB::xInterlockedIncrement(LONG* value) {
  return std::atomic_ref<LONG>(*value).fetch_add(1) + 1;
}
LONG CDIB::xInterlockedDecrement(LONG* value) {
  return std::atomic_ref<LONG>(*value).fetch_sub(1) - 1;
}

// ---- Validity and ownership ----

bool CDIB::IsValidDIB() const { return m_pData && m_pData->m_pHeader && m_pData->m_pBits; }
bool CDIB::IsAttached() const { return IsValidDIB() && !m_pData->m_bCreated; }
bool CDIB::IsCreated() const { return IsValidDIB() && m_pData->m_bCreated; }
LONG CDIB::DIBSizeAllocated() const { return IsCreated() ? m_pData->m_nAllocated : 0; }
LONG CDIB::GetRefs() const { return m_pData ? m_pData->m_nRefs : 0; }
LONG CDIB::IsLocked() const { return m_pData ? LONG(std::uint32_t(m_pData->m_nRefs) >> 31) : 0; }
bool CDIB::IsDIBEmpty() const {
  const tagVFBMINFOHEADER* h = GetVfBmiHeader();
  return !h || h->biBitCount == 0 || h->biWidth == 0 || h->biHeight == 0;
}

// ---- Geometry ----

LONG CDIB::DIBWidth() const { return GetVfBmiHeader()->biWidth; }
LONG CDIB::DIBHeight() const {
  // |INT32_MIN| does not fit: computed in unsigned arithmetic, it stays
  // INT32_MIN, which no sane header has (IsDIBHeaderSane refuses it).
  const LONG h = GetVfBmiHeader()->biHeight;
  return h < 0 ? LONG(0u - std::uint32_t(h)) : h;
}
WORD CDIB::DIBPlanes() const { return GetVfBmiHeader()->biPlanes; }
WORD CDIB::DIBBitCount() const { return GetVfBmiHeader()->biBitCount; }
DWORD CDIB::DIBCompression() const { return GetVfBmiHeader()->biCompression; }
DWORD CDIB::DIBSizeImage() const { return GetVfBmiHeader()->biSizeImage; }
bool CDIB::IsDIBBottomUp() const { return GetVfBmiHeader()->biHeight >= 0; }
bool CDIB::IsDIBTopDown() const { return GetVfBmiHeader()->biHeight < 0; }
int CDIB::DIBBytesPerPixel() const { return stdfx::DIBBytesPerPixel(GetVfBmiHeader()); }
int CDIB::DIBBytesPerLine() const { return stdfx::DIBBytesPerLine(GetVfBmiHeader()); }
DWORD CDIB::DIBSize() const { return stdfx::DIBSize(GetVfBmiHeader()); }
unsigned char* CDIB::GetBytes() const { return m_pData ? m_pData->m_pBits : nullptr; }
tagVFBMINFOHEADER* CDIB::GetVfBmiHeader() const { return m_pData ? m_pData->m_pHeader : nullptr; }
tagYUVBMINFOHEADER* CDIB::GetYUVBmiHeader() const {
  return reinterpret_cast<tagYUVBMINFOHEADER*>(GetVfBmiHeader());
}
BITMAPINFOHEADER* CDIB::GetBitmapInfoHeader() const {
  return reinterpret_cast<BITMAPINFOHEADER*>(GetVfBmiHeader());
}

// ---- Fields ----

int CDIB::DIBField1stLine(int field) const {
  return stdfx::DIBField1stLine(GetVfBmiHeader(), field);
}
int CDIB::DIBFieldLstLine(int field) const {
  return stdfx::DIBFieldLstLine(GetVfBmiHeader(), field);
}
int CDIB::DIBFieldOffset(int field) const { return DIBFieldOffset1(field); }
int CDIB::DIBFieldOffset1(int field) const {
  return stdfx::DIBFieldOffset1(GetVfBmiHeader(), field);
}
int CDIB::DIBFieldOffsetL(int field) const {
  return stdfx::DIBFieldOffsetL(GetVfBmiHeader(), field);
}
int CDIB::DIBAlphaFieldOffset(int field) const { return DIBAlphaFieldOffset1(field); }
int CDIB::DIBAlphaFieldOffset1(int field) const {
  return stdfx::DIBAlphaFieldOffset1(GetVfBmiHeader(), field);
}
int CDIB::DIBAlphaFieldOffsetL(int field) const {
  return stdfx::DIBAlphaFieldOffsetL(GetVfBmiHeader(), field);
}

// ---- Header copies ----

DWORD CDIB::GetVfBmiSize() const {
  const tagVFBMINFOHEADER* h = GetVfBmiHeader();
  return h ? h->biSize : 0;
}

void CDIB::GetVfBmiHeader(tagVFBMINFOHEADER& out) const {
  std::memset(&out, 0, sizeof out);
  if (const tagVFBMINFOHEADER* h = GetVfBmiHeader()) std::memcpy(&out, h, sizeof out);
}

void CDIB::GetVfBmiHeader(tagYUVBMINFOHEADER& out) const {
  std::memset(&out, 0, sizeof out);
  if (const tagVFBMINFOHEADER* h = GetVfBmiHeader()) {
    // biSize bytes, never more than the target holds.
    const std::size_t n = h->biSize < sizeof out ? h->biSize : sizeof out;
    std::memcpy(&out, h, n);
  }
}

void CDIB::GetBitmapInfoHeader(BITMAPINFOHEADER& out) const {
  std::memset(&out, 0, sizeof out);
  if (const tagVFBMINFOHEADER* h = GetVfBmiHeader()) {
    std::memcpy(&out, h, sizeof out);
    out.biSize = sizeof out;
  }
}

// ---- Alpha plane ----

unsigned char* CDIB::DIBAlphaBytes() const {
  const tagVFBMINFOHEADER* h = GetVfBmiHeader();
  return h ? h->vfAlphaBytes : nullptr;
}
DWORD CDIB::DIBAlphaBytesPerLine() const {
  const tagVFBMINFOHEADER* h = GetVfBmiHeader();
  return h ? h->vfAlphaBytesPerLine : 0;
}
void CDIB::SetDIBAlphaBytes(unsigned char* bytes) { GetVfBmiHeader()->vfAlphaBytes = bytes; }
void CDIB::SetDIBAlphaBytesPerLine(unsigned int bytesPerLine) {
  GetVfBmiHeader()->vfAlphaBytesPerLine = bytesPerLine;
}

// ---- Flags ----

DWORD CDIB::DIBImageFlag() const {
  const tagVFBMINFOHEADER* h = GetVfBmiHeader();
  return h ? h->vfImageFlag : 0;
}
bool CDIB::DIBImageIsBlackTransparent() const {
  return (DIBImageFlag() & kImageFlagBlackTransparent) != 0;
}
DWORD CDIB::DIBAlphaFlag() const {
  const tagVFBMINFOHEADER* h = GetVfBmiHeader();
  return h ? h->vfAlphaFlag : 0;
}
bool CDIB::DIBAlphaIsStraight() const { return DIBAlphaFlag() == kAlphaStraight; }
bool CDIB::DIBAlphaIsOpaque() const { return DIBAlphaFlag() == kAlphaOpaque; }
bool CDIB::DIBAlphaIsPremultiplied() const { return DIBAlphaFlag() == kAlphaPremultiplied; }
void CDIB::ncbwSetAlphaFlag(unsigned long flag) {
  if (tagVFBMINFOHEADER* h = GetVfBmiHeader()) h->vfAlphaFlag = DWORD(flag);
}
void CDIB::ncbwSetAlphaStraight() { ncbwSetAlphaFlag(kAlphaStraight); }
void CDIB::ncbwSetAlphaPremultiplied() { ncbwSetAlphaFlag(kAlphaPremultiplied); }
DWORD CDIB::DIBFormatFlag() const {
  const tagVFBMINFOHEADER* h = GetVfBmiHeader();
  return h ? h->vfFormatFlag : 0;
}
bool CDIB::DIBFormatIs2Fields() const { return (DIBFormatFlag() & kFormatTwoFields) != 0; }
bool CDIB::DIBFormatIsInterlaced() const { return (DIBFormatFlag() & kFormatTwoFields) == 0; }
void CDIB::ncbwSetFormatFlag(unsigned long flag) {
  if (tagVFBMINFOHEADER* h = GetVfBmiHeader()) h->vfFormatFlag = DWORD(flag);
}
DWORD CDIB::DIBInterlacedFlag() const {
  const tagVFBMINFOHEADER* h = GetVfBmiHeader();
  return h ? h->vfInterlacedFlag : 0;
}
bool CDIB::DIBContentIsNonInterlaced() const {
  return (DIBInterlacedFlag() & kContentProgressive) != 0;
}
bool CDIB::DIBContentIsInterlaced() const {
  return (DIBInterlacedFlag() & kContentProgressive) == 0;
}
void CDIB::ncbwSetInterlacedFlag(unsigned long flag) {
  if (tagVFBMINFOHEADER* h = GetVfBmiHeader()) h->vfInterlacedFlag = DWORD(flag);
}
void CDIB::SetDIBCompression(unsigned int compression, unsigned int sizeImage) {
  if (tagVFBMINFOHEADER* h = GetVfBmiHeader()) {
    h->biCompression = compression;
    h->biSizeImage = sizeImage;
  }
}

// ---- Colour space and sampling ----
// The layout tests read the header unconditionally; the YUV field readers
// answer the no-header defaults (0, and 8 bits per sample).

bool CDIB::DIBColorSpaceRGB() const { return DIBCompression() == kLayoutRGB; }
bool CDIB::DIBColorSpaceYUV() const { return DIBCompression() == kLayoutYUV; }
bool CDIB::DIBColorSpaceRGBAZ() const { return DIBCompression() == kLayoutRGBAZ; }
bool CDIB::DIBColorSpaceYUVAZ() const { return DIBCompression() == kLayoutYUVAZ; }
bool CDIB::DIBCompressedFormat() const {
  const DWORD c = DIBCompression();
  return c != kLayoutRGB && c != kLayoutYUV && c != kLayoutRGBAZ && c != kLayoutYUVAZ;
}
DWORD CDIB::YUVColorSpaceID() const {
  const tagYUVBMINFOHEADER* h = YUVFields(GetVfBmiHeader());
  return h ? h->yuvColorSpaceID : 0;
}
bool CDIB::IsYUVCCIR601() const {
  return IsYUVLayout(DIBCompression()) && YUVColorSpaceID() == kYUVCCIR601;
}
bool CDIB::IsYUV601() const { return IsYUVCCIR601(); }
bool CDIB::IsYUVITU709() const {
  return IsYUVLayout(DIBCompression()) && YUVColorSpaceID() == kYUVITU709;
}
bool CDIB::IsYUV709() const { return IsYUVITU709(); }
bool CDIB::IsYUVNormalized() const {
  return IsYUVLayout(DIBCompression()) && (YUVColorSpaceID() & kYUVNormalized) != 0;
}
bool CDIB::IsYUV601or709() const {
  const DWORD id = YUVColorSpaceID();
  return IsYUVLayout(DIBCompression()) && (id == kYUVCCIR601 || id == kYUVITU709);
}
DWORD CDIB::YUVBitsPerSample() const {
  const tagYUVBMINFOHEADER* h = YUVFields(GetVfBmiHeader());
  const DWORD bits = h ? h->yuvBitsPerSample : 0;
  return bits == 0 ? 8 : bits;
}
DWORD CDIB::YUVHSubSampling() const {
  const tagYUVBMINFOHEADER* h = YUVFields(GetVfBmiHeader());
  return h ? h->yuvHSubSampling : 0;
}
DWORD CDIB::YUVVSubSampling() const {
  const tagYUVBMINFOHEADER* h = YUVFields(GetVfBmiHeader());
  return h ? h->yuvVSubSampling : 0;
}
bool CDIB::IsYUV444() const {
  return IsYUVLayout(DIBCompression()) && YUVHSubSampling() == kSub444;
}
bool CDIB::IsYUV422() const {
  const DWORD s = YUVHSubSampling();
  return DIBCompression() == kLayoutYUV && (s == kSub422 || s == kSub422UYVY);
}
bool CDIB::IsYUV422UYVY() const {
  return DIBCompression() == kLayoutYUV && YUVHSubSampling() == kSub422UYVY;
}
bool CDIB::IsYUV422UYVY_ALPHA() const { return IsYUV422UYVY() && DIBBitCount() == 32; }
bool CDIB::IsYUV422UYVY_NOALPHA() const { return IsYUV422UYVY() && DIBBitCount() == 24; }
bool CDIB::IsYUV411() const {
  return DIBCompression() == kLayoutYUV && YUVHSubSampling() == kSub411;
}
bool CDIB::IsYUV420() const {
  return DIBCompression() == kLayoutYUV && YUVHSubSampling() == kSub420;
}
const wchar_t* CDIB::GetCompressionSamplingFormatString() const {
  return stdfx::GetCompressionSamplingFormatString(GetVfBmiHeader());
}

// ---- Forwarding ----

bool CDIB::Create(const CDIB& other) {
  const tagVFBMINFOHEADER* h = other.GetVfBmiHeader();
  return h ? Create(*h) : false;
}
bool CDIB::Create(const tagYUVBMINFOHEADER& header) { return Create(header.vf); }
bool CDIB::CreateFromResource(unsigned int id, HINSTANCE instance) {
  return CreateFromResource(MAKEINTRESOURCEW(id), instance);
}

}  // namespace stdfx
