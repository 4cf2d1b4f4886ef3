#pragma once
// The BI_RLE8 decoders checked against a decoder written here from the
// format's definition, pixel by pixel. One body serves the libFuzzer target
// (Rle8Fuzz.cpp) and the unit test's fixed seed set (Rle8Test.cpp). The
// reference applies the strictness rules documented in stdfx/Rle8.h: every
// pixel written lies inside the image, moves may reach the end of a row but
// not beyond, the stream ends with end-of-bitmap and at most 3 zero bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "stdfx/DIB.h"
#include "stdfx/Rle8.h"
#include "wheel/ChromaMaskRecord.h"

namespace pixmill_test {

using Bytes = std::vector<std::uint8_t>;

// Rows of stride bytes, zero where the stream writes nothing; nullopt when
// the stream is refused.
inline std::optional<Bytes> ReferenceDecode(const Bytes& s, int w, int h, std::size_t stride) {
  Bytes img(stride * static_cast<std::size_t>(h), 0);
  long row = 0, col = 0;
  std::size_t i = 0;
  auto put = [&](std::uint8_t v) {
    if (row >= h || col >= w) return false;
    img[static_cast<std::size_t>(row) * stride + static_cast<std::size_t>(col++)] = v;
    return true;
  };
  auto next = [&]() -> int { return i < s.size() ? s[i++] : -1; };  // -1 past the end
  for (;;) {
    const int first = next(), second = next();
    if (second < 0) return std::nullopt;
    if (first > 0) {
      for (int k = 0; k < first; ++k)
        if (!put(std::uint8_t(second))) return std::nullopt;
    } else if (second == 0) {  // end of line
      if (row >= h) return std::nullopt;
      ++row;
      col = 0;
    } else if (second == 1) {  // end of bitmap
      const Bytes rest(s.begin() + static_cast<long>(i), s.end());
      if (rest.size() > 3 || rest != Bytes(rest.size(), 0)) return std::nullopt;
      return img;
    } else if (second == 2) {  // delta
      const int dx = next(), dy = next();
      if (dy < 0 || row >= h) return std::nullopt;
      col += dx;
      row += dy;
      if (col > w || row >= h) return std::nullopt;
    } else {  // literal, padded to an even length
      for (int k = 0; k < second; ++k) {
        const int v = next();
        if (v < 0 || !put(std::uint8_t(v))) return std::nullopt;
      }
      if ((second & 1) && next() < 0) return std::nullopt;
    }
  }
}

// data[0] and data[1] give the geometry (1 + data[0] % 64 by 1 + data[1] %
// 16, stride rounded up to 4), the rest is a stream. The library decoder
// must accept exactly what the reference accepts, give its pixels, and leave
// zeros when it refuses. The stream lies in a buffer of its exact length, so
// the address sanitizer sees any read past it. The result is what went wrong,
// null when the decoder behaved (as for the record check below).
inline const char* CheckRle8Decode(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return nullptr;
  const int w = 1 + data[0] % 64, h = 1 + data[1] % 16;
  const std::size_t stride = (static_cast<std::size_t>(w) + 3) & ~std::size_t{3};
  const Bytes stream(data + 2, data + size);
  Bytes out(stride * static_cast<std::size_t>(h), 0xCD);
  const bool ok = stdfx::DecodeRle8(stream.empty() ? nullptr : stream.data(), stream.size(),
                                    out.data(), w, h, stride);
  const auto ref = ReferenceDecode(stream, w, h, stride);
  if (ok != ref.has_value()) return "accepts what the reference refuses, or the reverse";
  if (ok && out != *ref) return "pixels differ from the reference";
  if (!ok && out != Bytes(out.size(), 0)) return "a refused stream left pixels behind";
  return nullptr;
}

// data is a stored mask record (the wheel's record decoder): the 144-byte header, then the stream.
// A decoded record is an 8-bit image of the header's size whose pixels are what the reference makes
// of biSizeImage stream bytes; a refused one leaves no image. Records claiming more than 1 << 22
// pixels are skipped, so that a fuzzer explores parsing rather than allocation.
inline const char* CheckRle8Record(const std::uint8_t* data, std::size_t size) {
  tagVFBMINFOHEADER h;
  if (size < sizeof h) return nullptr;
  std::memcpy(&h, data, sizeof h);
  if (static_cast<long long>(h.biWidth) * h.biHeight > (1 << 22)) return nullptr;
  const Bytes record(data, data + size);
  stdfx::CDIB out;
  if (!mattix::wheel::DecodeRecord(record.data(), record.size(), out))
    return out.IsValidDIB() ? "a refused record left an image" : nullptr;
  if (out.DIBBitCount() != 8 || out.DIBCompression() != 0 || out.DIBWidth() != h.biWidth ||
      out.DIBHeight() != h.biHeight || h.biHeight <= 0 || h.biSizeImage > size - sizeof h)
    return "decoded image does not match its header";
  const Bytes stream(record.begin() + sizeof h, record.begin() + sizeof h + h.biSizeImage);
  // Buffer rows are coded in memory order, whatever the field layout.
  const std::size_t pitch = out.DIBSize() / static_cast<std::size_t>(h.biHeight);
  const auto ref = ReferenceDecode(stream, h.biWidth, h.biHeight, pitch);
  if (!ref || Bytes(out.GetBytes(), out.GetBytes() + out.DIBSize()) != *ref)
    return "decoded record differs from the reference";
  return nullptr;
}

// A mask like the wheel's (8-bit, its header), width x height, of filled
// discs on zero and a row of noise: runs and literals for the encoder.
inline stdfx::CDIB PaintedMask(int width, int height, unsigned seed) {
  tagVFBMINFOHEADER h = mattix::wheel::MaskHeader();
  h.biWidth = width;
  h.biHeight = height;
  stdfx::CDIB mask(h);
  std::mt19937 rng(seed);
  const int stride = mask.DIBBytesPerLine();
  std::memset(mask.GetBytes(), 0, mask.DIBSize());
  for (int disc = 0; disc < 5; ++disc) {
    const int cx = int(rng() % unsigned(width)), cy = int(rng() % unsigned(height));
    const int r = 2 + int(rng() % 40);
    const auto v = std::uint8_t(rng());
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) mask.GetBytes()[y * stride + x] = v;
  }
  for (int x = 0; x < width; ++x) mask.GetBytes()[(height / 2) * stride + x] = std::uint8_t(rng());
  return mask;
}

// The wheel's record of a width x height mask whose byte at buffer row r,
// column c is f(r, c) (empty if it cannot be encoded).
template <class F>
Bytes MaskRecordOf(int width, int height, F f) {
  tagVFBMINFOHEADER h = mattix::wheel::MaskHeader();
  h.biWidth = width;
  h.biHeight = height;
  stdfx::CDIB mask(h);
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) mask.GetBytes()[r * mask.DIBBytesPerLine() + c] = f(r, c);
  Bytes record;
  if (!mattix::wheel::EncodeRecord(mask, record)) record.clear();
  return record;
}

}  // namespace pixmill_test
