#pragma once
// Host objects of rendering: frames (images) with their format and alpha
// facets, the sources that hand them out, the render context and the output
// request.
#include "tarn/PIM.h"

#include <cstdint>

namespace Tarn {

// Layout codes of frames (IFXImage::LayoutCode).
inline constexpr std::int32_t kLayoutBgra32 = 4;  // 32 bits: blue, green, red, alpha bytes
inline constexpr std::int32_t kLayoutUyvy = 1;    // packed 4:2:2 YUV, bytes U Y0 V Y1
// A code with any of these bits set is of the YUV family.
inline constexpr std::int32_t kLayoutYuvBits = 0x3;
inline constexpr bool IsYuvLayout(std::int32_t code) { return (code & kLayoutYuvBits) != 0; }

// Kinds of alpha a frame carries (IFXImage::AlphaKind).
inline constexpr std::int32_t kAlphaNoPlane = 2;           // no separate plane to look for
inline constexpr std::int32_t kAlphaBlackTransparent = 3;  // black may be transparent

class IFXImage : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x59, 0xA4, 0x5D, 0x3D, 0x28, 0x79, 0xF0, 0x4A, 0xC1, 0xC9, 0x31,
                                  0x2F, 0x19, 0xBE, 0x0C, 0x06}};

  virtual std::int32_t Width() = 0;   // 4, pixels
  virtual std::int32_t Height() = 0;  // 5, rows
  virtual void Reserved6() {}
  virtual std::int32_t BytesPerRow() = 0;  // 7
  virtual void Reserved8() {}
  virtual void Reserved9() {}
  // 10. Address of the pixel memory, owned by the host.
  virtual void* Pixels() = 0;
  virtual void Reserved11() {}
  virtual void Reserved12() {}
  // 13. Layout code: kLayoutBgra32, or a code of the YUV family.
  virtual std::int32_t LayoutCode() = 0;
  virtual void Reserved14() {}
  virtual void Reserved15() {}
  virtual void Reserved16() {}
  virtual void Reserved17() {}
  virtual void Reserved18() {}
  virtual void Reserved19() {}
  virtual void Reserved20() {}
  // 21. A facet of the frame (IFXImageFormat, IFXAlphaSource); the caller
  // releases it.
  virtual PIM::Status GetFacet(const PIM::IID& iid, void** out) = 0;
  virtual void Reserved22() {}
  virtual void Reserved23() {}
  virtual void Reserved24() {}
  virtual void Reserved25() {}
  virtual void Reserved26() {}
  virtual void Reserved27() {}
  virtual void Reserved28() {}
  virtual void Reserved29() {}
  virtual void Reserved30() {}
  virtual void Reserved31() {}
  // 32. Kind of alpha the frame carries (kAlphaNoPlane, kAlphaBlackTransparent
  // or another value of the host's).
  virtual std::int32_t AlphaKind() = 0;

 protected:
  ~IFXImage() = default;
};

class IFXImageFormat : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x4A, 0x1E, 0x2F, 0xD3, 0x4C, 0xB1, 0x3D, 0xF4, 0xAE, 0x72, 0xD8,
                                  0x4F, 0xAF, 0x4C, 0xB6, 0x31}};

  virtual void Reserved4() {}
  virtual void Reserved5() {}
  virtual void Reserved6() {}
  virtual void Reserved7() {}
  virtual void Reserved8() {}
  virtual std::int32_t IsBottomUp() = 0;       // 9, non-zero: rows bottom-up
  virtual std::int32_t IsPremultiplied() = 0;  // 10, 1: premultiplied alpha
  virtual std::int32_t IsInterlaced() = 0;     // 11, 1: interlaced
  virtual std::int32_t InterlaceDetail() = 0;  // 12
  virtual float FormatValue() = 0;             // 13
  virtual void Reserved14() {}
  virtual std::int32_t IsBlackTransparent() = 0;  // 15, 1: black is transparent
  virtual void Reserved16() {}
  virtual void Reserved17() {}
  virtual void Reserved18() {}
  virtual void Reserved19() {}
  virtual void Reserved20() {}
  virtual void Reserved21() {}
  virtual void Reserved22() {}
  virtual void Reserved23() {}
  virtual void SetFormatOption(std::int32_t value) = 0;  // 24

 protected:
  ~IFXImageFormat() = default;
};

class IFXAlphaSource : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0xDB, 0xEB, 0x8D, 0xE7, 0x42, 0xDA, 0x73, 0xAB, 0x90, 0x4A, 0x6A,
                                  0x39, 0x32, 0x30, 0x2A, 0xFA}};

  virtual bool HasAlpha() = 0;  // 4
  // 5. The separate alpha plane as an image (borrowed), or null.
  virtual IFXImage* AlphaPlane() = 0;

 protected:
  ~IFXAlphaSource() = default;
};

class IFXImageSource : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x06, 0x29, 0xDE, 0x6E, 0x15, 0x87, 0xC7, 0x26, 0xEC, 0xBB, 0x39,
                                  0xBA, 0x0C, 0x74, 0x7E, 0x01}};

  // 4. The frame (borrowed), or null.
  virtual IFXImage* GetImage() = 0;

 protected:
  ~IFXImageSource() = default;
};

// The inputs of a render: the first member points to an array of sources.
struct TSourceList {
  IFXImageSource** sources;
  std::int32_t count;
};

class IFXRenderContext : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x81, 0x3C, 0xB7, 0x2E, 0xA2, 0x7F, 0x97, 0x12, 0xCC, 0x7D, 0xB8,
                                  0x17, 0xF2, 0x4D, 0xEA, 0x31}};

  virtual void Reserved4() {}
  virtual void Reserved5() {}
  virtual void Reserved6() {}
  virtual void Reserved7() {}
  virtual void Reserved8() {}
  virtual void Reserved9() {}
  virtual std::int32_t Mode() = 0;   // 10, 0: whole frame, 1: one field
  virtual std::int32_t Field() = 0;  // 11, the field (0 or 1) in mode 1

 protected:
  ~IFXRenderContext() = default;
};

class IFXOutputRequest : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0xB7, 0x76, 0xD6, 0x32, 0xCE, 0xA6, 0xD2, 0xCE, 0xBE, 0xC5, 0xD2,
                                  0x63, 0x1E, 0x3C, 0xEA, 0x7F}};
  // The host's identifier of an output-format request.
  static constexpr PIM::IID kFormatRequest{{0x4A, 0x48, 0x27, 0x81, 0xDE, 0x33, 0x8A, 0x8C, 0x58,
                                            0xD6, 0xB0, 0x2F, 0x22, 0x2D, 0x46, 0x70}};
  // The two numbers an effect passes with a format request (a, b).
  static constexpr std::int32_t kFormatRequestA = 512;
  static constexpr std::int32_t kFormatRequestB = 64;

  virtual void Reserved4() {}
  virtual void Reserved5() {}
  // 6. Asks the host to give the output (its opaque handle) a format.
  virtual PIM::Status Request(const PIM::IID& id, void* output, IFXImageFormat* format,
                              std::int32_t a, std::int32_t b) = 0;

 protected:
  ~IFXOutputRequest() = default;
};

}  // namespace Tarn
