#pragma once
// CMattix2: the keying engine. For one frame it turns a 32-bit source into a
// 32-bit target whose colour is the source's and whose alpha is the source
// alpha reduced by the key weight of the pixel's colour: the chroma mask's
// value at the colour's hue and saturation (after the softness blur) times
// the lightness window's weight. With spill suppression, colours that the
// blurred mask keys only partly lose saturation.
//
// Usage (one engine per frame, on the caller's stack):
//   CMattix2 engine;
//   int status = engine.Process(target, source, settings, blob, blobSize, field);
// settings: six doubles, softness and spill suppression (percent, 0..100)
// then the lightness breakpoints L0..L3 (percent); a null pointer means
// 0, 0, 0, 0, 100, 100. blob: the chroma mask record (a 144-byte header of an
// 8-bit image followed by its BI_RLE8 pixels), not owned, never written.
// field: -1 the whole frame, 0 or 1 one field (any other value counts as -1).
//
// Statuses, in order of precedence:
//   27 the source or target has no header or pixels, or a header the image
//      library cannot address (stdfx::IsDIBHeaderSane: a side over 16384
//      pixels, among others); or the source is
//      32-bit premultiplied and cannot be made straight (this converts the
//      source in its own memory, before anything else);
//   48 the source is not plain RGB (biCompression not 0); the target is not
//      written;
//    0 no usable mask: the source is copied to the target unchanged, rows in
//      buffer order, whatever the bit depths; a source taller than the target
//      gives its first rows in buffer order (27 when the copy is impossible:
//      a source shorter than the target, or a compressed target);
//   20 the working copy of the mask could not be made, or the blur failed;
//   27 the target or the source is not 32 bits per pixel, the target is not
//      plain RGB, or the source is smaller than the target;
//    0 keyed;
//   25 an exception escaped (the MMX state is emptied first).
//
// Settings outside their ranges have defined effects (see
// key/internal/KeyMath.h): NaN softness or spill counts as 0, both are
// clamped to 0..100; a NaN breakpoint takes its default, the others are
// limited to -10000..10000 percent.
//
// A mask record counts as no mask unless it decodes as the wheel's record
// decoder accepts it (wheel/ChromaMaskRecord.h); nothing beyond blobSize
// bytes is read. Masks of any size are accepted; the weight of greys is read
// at the wheel's grey position, buffer row 120, column 120 (each limited to
// the mask).
#include <cstdint>

#include "stdfx/DIB.h"

class CMattix2 {
 public:
  static constexpr int kDone = 0;
  static constexpr int kMaskFailed = 20;
  static constexpr int kException = 25;
  static constexpr int kUnusableFrames = 27;  // the frames cannot be keyed or copied as given
  static constexpr int kNotRGB = 48;

  CMattix2();
  CMattix2(const CMattix2&) = delete;
  CMattix2& operator=(const CMattix2&) = delete;
  virtual ~CMattix2();

  virtual int Process(stdfx::CDIB& target, stdfx::CDIB& source, const double* settings,
                      const unsigned char* maskBlob, std::uint32_t maskBlobSize, int field);
  // Decodes the mask record into the mask image, or leaves it empty when the
  // record is missing, unsound or undecodable. Always 1.
  virtual int PrepareMask();
  // Builds the 256-entry lightness weight table from the breakpoints.
  virtual void BuildLightnessTable();
  // Keys the stored field of source into target (see Process for statuses).
  virtual int KeyImage(stdfx::CDIB& target, stdfx::CDIB& source);

  const std::uint32_t* LightnessTable() const { return m_lightnessTable; }
  const stdfx::CDIB& Mask() const { return m_mask; }

 protected:
  double m_softness = 0.0;
  double m_spill = 0.0;
  double m_lightness[4] = {0.0, 0.0, 100.0, 100.0};
  const unsigned char* m_maskBlob = nullptr;
  std::uint32_t m_maskBlobSize = 0;
  int m_field = -1;
  std::uint32_t m_lightnessTable[256] = {};
  stdfx::CDIB m_mask;
};
