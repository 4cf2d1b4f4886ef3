#pragma once
// stdfx::CDIB, the image object: a pointer to a CDibData record, which points
// to a header (tagVFBMINFOHEADER, or its 160-byte YUV form) and a pixel
// buffer. An image is valid when record, header and pixels are all present.
//
// Two libraries implement it. The light members (accessors, flag setters,
// header copies, forwarding members) are the module's own, in stdfx/DIB.cpp
// (static library mattix_stdfx, exported by the module). The heavy members
// (construction, allocation, copies, fields, conversion, compression,
// drawing) are the image library's, in platform/pixmill (libpixmill.so).
// Users link both: the CMake target mattix_images.
//
// Ownership. An image is either empty, created (the library allocated header
// and pixels and frees them) or attached (CDIB(header, bits): a wrapper over
// memory owned by the caller, never copied nor freed; setters and pixel
// operations write through to that memory). Copies (copy constructor,
// CopyDIB, operator=) are always created images with their own header and
// pixels. Operations that reallocate (Create, CompressRLE, DecompressRLE,
// CreateAndConvert) leave an attached image created; the caller's memory is
// not touched.
//
// Coordinates of the per-pixel members (GetDIBByte, GetDIBColor,
// CopyDIBOffset) are as displayed: x from the left, y from the top line,
// whatever the row order.
#include <cstddef>

#include "stdfx/DibData.h"
#include "stdfx/DibFunctions.h"
#include "stdfx/StdfxApi.h"
#include "stdfx/VfbmiHeader.h"
#include "win/WinGdiTypes.h"
#include "win/WinTypes.h"

namespace stdfx {

class STDFX_API CDIB {
 public:
  // ---- Construction and ownership (image library) ----

  // An empty image: a record without header or pixels (not valid).
  CDIB();
  // Attaches to the caller's header and pixels without copying. The header
  // must hold at least 144 bytes (160 when its biSize is 160) and the pixels
  // DIBSize(header) bytes for as long as the image is used; for a record
  // from outside, check DIBSize against the bytes at hand before copying it.
  // A header that is not empty (IsDIBEmpty) and that the library cannot
  // address (IsDIBHeaderSane false) is not attached: the image stays invalid.
  // Setters write into this header although it is passed as const.
  CDIB(const void* header, void* bits);
  // Creates an image of the header's format (see Create); not valid when
  // the header is refused or memory is short.
  explicit CDIB(const tagVFBMINFOHEADER& header);
  // An independent copy of header and pixels (empty when other is not valid).
  CDIB(const CDIB& other);
  // Makes this image a copy of other (CopyDIB).
  CDIB& operator=(const CDIB& other);
  virtual ~CDIB();

  // Allocates a header and zero-filled pixels of DIBSize(header) bytes
  // (at least 1), freeing what the image held before. Copies 160 bytes of the
  // header when its biSize is 160, else 144. False, and the image invalid,
  // when the header is not sane or memory is short. The header may be the
  // image's own.
  virtual bool Create(const tagVFBMINFOHEADER& header);
  // Releases owned header and pixels (attached memory is only forgotten);
  // the image becomes invalid. Safe to call repeatedly.
  virtual void FreeDIB();
  // Makes this image an independent copy of other's header and pixels
  // (DIBSize bytes). Copying an invalid image frees this one and returns
  // false; copying itself does nothing and returns true.
  virtual bool CopyDIB(const CDIB& other);

  // Loads a bitmap resource of the module `instance` (see win/WinResource.h):
  // type 8000 (a bitmap file) is looked for first, then RT_BITMAP (a packed
  // bitmap without file header). Uncompressed 8, 24 and 32-bit bitmaps of
  // either row order are accepted (palettes are ignored); the image is
  // created with a 144-byte header of the same size and row order, alpha
  // flag straight. False, image unchanged, when the resource is missing,
  // truncated or of another format.
  bool CreateFromResource(LPCWSTR name, HINSTANCE instance);

  // ---- Pixels (image library) ----

  // Fills every pixel of the field (-1: all lines) with value: a pixel's
  // bytes are value's low bytes in little-endian order (8-bit: the low byte;
  // 32-bit: 0xAARRGGBB). Row padding is left alone; uncompressed layouts
  // only. False when the image is invalid or compressed.
  bool ClearDIB(int field, unsigned int value);
  // This image becomes src moved by dx columns right and dy lines down (as
  // displayed), with src's header; pixels that no source pixel reaches are
  // 0. Images of whole bytes per pixel, uncompressed; src may be this image.
  bool CopyDIBOffset(const CDIB& src, int dx, int dy);
  // The first byte of the pixel at (x, y) (the byte itself for 8-bit
  // images); 0 outside the image or when it is invalid or compressed.
  BYTE GetDIBByte(int x, int y) const;
  // Red, green and blue of the pixel at (x, y): 24 and 32-bit RGB (bytes
  // blue, green, red), 8-bit read as grey. False, outputs unchanged, outside
  // the image or for other layouts.
  bool GetDIBColor(int x, int y, int& r, int& g, int& b) const;

  // Premultiplied colour made straight, in place, for the lines of the field
  // (-1: all): c = min(255, round(c' * 255 / a)) with halves up; alpha 0
  // makes the colour 0 (nothing survives a premultiplication by 0). For the
  // whole frame the alpha flag becomes straight. 32-bit RGB only; false for
  // other layouts or an invalid image.
  virtual bool ConvertAlphaToStraight(int field);
  // Straight colour premultiplied by alpha, in place: c' = round(c * a / 255)
  // (exact rounded division, halves up). For the whole frame the alpha flag
  // becomes premultiplied. Premultiplying a straightened premultiplied pixel
  // gives it back exactly. 32-bit RGB only.
  bool ConvertAlphaToPremultiplied(int field);

  // ---- Conversion and compression (image library, see Convert.cpp, Rle.cpp) ----

  // Creates this image with `header` and fills it with src converted to that
  // layout, for the lines of the field (-1: all).
  bool CreateAndConvert(const tagVFBMINFOHEADER& header, const CDIB& src, int field);
  // Converts src into this image's own layout and buffer (this image keeps
  // its header and memory, which may be attached), for the lines of the
  // field; flags bit 0: keep this image's header as it is.
  bool Convert(const CDIB& src, int field, int flags);
  // Replaces 8-bit pixels by their BI_RLE8 encoding (biCompression 1,
  // biSizeImage the encoded size), or restores them.
  bool CompressRLE();
  bool DecompressRLE();

  // ---- Diagnostic display on the Windows layer's desktop surface ----

  // Draws the image with its top-left corner at (x, y) of the desktop,
  // clipped to w x h pixels (0 for the image's own size) and to the desktop.
  // 8-bit images show as grey, 24 and 32-bit RGB as colour (opaque), packed
  // 4:2:2 YUV as its conversion to RGB.
  bool DrawToDesktop(int x, int y, int w, int h) const;
  // The same for the alpha: the alpha byte of 32-bit RGB, or the separate
  // alpha plane when there is one, shown as grey.
  bool DrawDIBsAlphaToDesktop(int x, int y, int w, int h) const;

  // ---- Validity and ownership (module) ----

  bool IsValidDIB() const;
  bool IsAttached() const;
  bool IsCreated() const;
  virtual LONG DIBSizeAllocated() const;  // pixel bytes allocated, when created
  virtual LONG GetRefs() const;           // the count word; 0 without a record
  virtual LONG IsLocked() const;          // bit 31 of the count word
  virtual bool IsDIBEmpty() const;        // no bits, width or height; true without a header

  // ---- Geometry (module; these require a header) ----

  LONG DIBWidth() const;
  LONG DIBHeight() const;  // |biHeight|
  WORD DIBPlanes() const;
  WORD DIBBitCount() const;
  DWORD DIBCompression() const;
  DWORD DIBSizeImage() const;
  virtual bool IsDIBBottomUp() const;
  virtual bool IsDIBTopDown() const;
  int DIBBytesPerPixel() const;
  int DIBBytesPerLine() const;
  DWORD DIBSize() const;
  unsigned char* GetBytes() const;
  tagVFBMINFOHEADER* GetVfBmiHeader() const;
  tagYUVBMINFOHEADER* GetYUVBmiHeader() const;
  BITMAPINFOHEADER* GetBitmapInfoHeader() const;

  // ---- Fields (module, forwarding to the free functions) ----

  virtual int DIBField1stLine(int field) const;
  virtual int DIBFieldLstLine(int field) const;
  virtual int DIBFieldOffset(int field) const;  // = DIBFieldOffset1
  virtual int DIBFieldOffset1(int field) const;
  virtual int DIBFieldOffsetL(int field) const;
  virtual int DIBAlphaFieldOffset(int field) const;  // = DIBAlphaFieldOffset1
  virtual int DIBAlphaFieldOffset1(int field) const;
  virtual int DIBAlphaFieldOffsetL(int field) const;

  // ---- Header copies (module) ----

  virtual DWORD GetVfBmiSize() const;
  virtual void GetVfBmiHeader(tagVFBMINFOHEADER& out) const;
  virtual void GetVfBmiHeader(tagYUVBMINFOHEADER& out) const;
  virtual void GetBitmapInfoHeader(BITMAPINFOHEADER& out) const;

  // ---- Alpha plane (module) ----

  unsigned char* DIBAlphaBytes() const;
  DWORD DIBAlphaBytesPerLine() const;
  void SetDIBAlphaBytes(unsigned char* bytes);  // require a header
  void SetDIBAlphaBytesPerLine(unsigned int bytesPerLine);

  // ---- Flags (module; readers 0 and setters inert without a header) ----

  virtual DWORD DIBImageFlag() const;
  virtual bool DIBImageIsBlackTransparent() const;
  DWORD DIBAlphaFlag() const;
  bool DIBAlphaIsStraight() const;
  bool DIBAlphaIsOpaque() const;
  bool DIBAlphaIsPremultiplied() const;
  void ncbwSetAlphaFlag(unsigned long flag);
  void ncbwSetAlphaStraight();
  void ncbwSetAlphaPremultiplied();
  DWORD DIBFormatFlag() const;
  bool DIBFormatIs2Fields() const;
  bool DIBFormatIsInterlaced() const;
  void ncbwSetFormatFlag(unsigned long flag);
  DWORD DIBInterlacedFlag() const;
  bool DIBContentIsNonInterlaced() const;
  bool DIBContentIsInterlaced() const;
  void ncbwSetInterlacedFlag(unsigned long flag);
  virtual void SetDIBCompression(unsigned int compression, unsigned int sizeImage);

  // ---- Colour space and sampling (module) ----
  // The layout tests require a header. The four YUV field readers answer 0
  // (8 bits per sample) without a header, and also for a header shorter than
  // 160 bytes (biSize), which has no YUV fields to read.

  bool DIBColorSpaceRGB() const;
  bool DIBColorSpaceYUV() const;
  bool DIBColorSpaceRGBAZ() const;
  bool DIBColorSpaceYUVAZ() const;
  bool DIBCompressedFormat() const;
  DWORD YUVColorSpaceID() const;
  bool IsYUVCCIR601() const;
  bool IsYUV601() const;
  bool IsYUVITU709() const;
  bool IsYUV709() const;
  bool IsYUVNormalized() const;
  bool IsYUV601or709() const;
  DWORD YUVBitsPerSample() const;
  DWORD YUVHSubSampling() const;
  DWORD YUVVSubSampling() const;
  bool IsYUV444() const;
  bool IsYUV422() const;
  bool IsYUV422UYVY() const;
  bool IsYUV422UYVY_ALPHA() const;
  bool IsYUV422UYVY_NOALPHA() const;
  bool IsYUV411() const;
  bool IsYUV420() const;
  const wchar_t* GetCompressionSamplingFormatString() const;

  // ---- Forwarding (module) ----

  // Create with other's header; false when other has none.
  bool Create(const CDIB& other);
  // Create with a YUV header (its biSize decides how much is copied).
  bool Create(const tagYUVBMINFOHEADER& header);
  // The resource-name form with the id as MAKEINTRESOURCE does.
  virtual bool CreateFromResource(unsigned int id, HINSTANCE instance);

 protected:
  CDibData* _IGetData() const;
  // Atomically add or subtract 1 and return the new value.
  virtual LONG xInterlockedIncrement(LONG* value);
  virtual LONG xInterlockedDecrement(LONG* value);

  // Image library: takes ownership of a header (160 bytes of storage from
  // internal::AllocHeader) and pixels (from internal::AllocBits), releasing
  // what the image held; the image is then created. False, nothing taken,
  // when the image has no record.
  bool _IAdopt(tagVFBMINFOHEADER* header, unsigned char* bits, LONG allocated);
  // Takes over the created storage of `from` (built beside this image so
  // that this one stays as it was until the work succeeded); `from` is left
  // without storage. False, nothing taken, when this image has no record.
  bool _ITakeStorage(CDIB& from);

  CDibData* m_pData;
};

}  // namespace stdfx
