#pragma once
// Frames and mask records for the keying tests: frames attached to test
// memory with guard bytes on both sides, and records built the way the wheel
// builds them (an 8-bit mask, BI_RLE8-compressed by the image library).
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "stdfx/DIB.h"
#include "stdfx/VfbmiHeader.h"
#include "tests/pixmill/ImageTestUtil.h"

namespace keytest {

constexpr std::size_t kGuard = 64;
constexpr std::uint8_t kGuardByte = 0xA5;

// An image attached to a buffer of the test, guarded on both sides.
class Frame {
 public:
  Frame(int width, int height, int bitCount = 32, DWORD compression = stdfx::kLayoutRGB,
        bool topDown = false)
      : m_yuv(compression == stdfx::kLayoutYUV || compression == stdfx::kLayoutYUVAZ),
        m_header{m_yuv ? pixmill_test::MakeYUVHeader(width, topDown ? -height : height, bitCount,
                                                     stdfx::kSub422UYVY)
                       : tagYUVBMINFOHEADER{pixmill_test::MakeHeader(
                                                width, topDown ? -height : height, bitCount),
                                            0, 0, 0, 0}},
        m_stride(m_yuv ? ((width * 2 + 3) & ~3) : ((width * bitCount + 31) / 32) * 4),
        m_size(std::size_t(m_stride) * height),
        m_buffer(m_size + 2 * kGuard, kGuardByte),
        m_dib((m_header.vf.biCompression = compression, &m_header), bits()) {}
  Frame(const Frame&) = delete;

  stdfx::CDIB& dib() { return m_dib; }
  tagVFBMINFOHEADER& header() { return m_header.vf; }
  int stride() const { return m_stride; }
  std::uint8_t* bits() { return m_buffer.data() + kGuard; }
  std::uint8_t* line(int y) { return bits() + std::size_t(y) * m_stride; }
  std::vector<std::uint8_t> pixels() const {
    return {m_buffer.begin() + kGuard, m_buffer.begin() + long(kGuard + m_size)};
  }
  bool GuardsIntact() const {
    for (std::size_t i = 0; i < kGuard; ++i)
      if (m_buffer[i] != kGuardByte || m_buffer[kGuard + m_size + i] != kGuardByte) return false;
    return true;
  }
  void Fill(std::uint32_t seed) {
    std::mt19937 rng(seed);
    for (std::size_t i = 0; i < m_size; ++i) bits()[i] = static_cast<std::uint8_t>(rng());
  }
  void SetPixel(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    const std::uint8_t bgra[4] = {b, g, r, a};
    std::memcpy(line(y) + 4 * x, bgra, 4);
  }

 private:
  bool m_yuv;
  tagYUVBMINFOHEADER m_header;
  int m_stride = 0;
  std::size_t m_size = 0;
  std::vector<std::uint8_t> m_buffer;
  stdfx::CDIB m_dib;
};

// An 8-bit wheel mask of width x height, bytes set by f(row, col) in buffer
// order, and its record: the 144-byte header then the BI_RLE8 pixels.
class MaskRecord {
 public:
  MaskRecord(int width, int height, const std::function<std::uint8_t(int, int)>& f) {
    tagVFBMINFOHEADER h = pixmill_test::MakeHeader(width, height, 8);
    h.vfInterlacedFlag = 1;
    stdfx::CDIB mask(h);
    for (int r = 0; r < height; ++r)
      for (int c = 0; c < width; ++c) mask.GetBytes()[r * mask.DIBBytesPerLine() + c] = f(r, c);
    if (!mask.CompressRLE()) return;
    m_bytes.assign(reinterpret_cast<const std::uint8_t*>(mask.GetVfBmiHeader()),
                   reinterpret_cast<const std::uint8_t*>(mask.GetVfBmiHeader()) + 144);
    m_bytes.insert(m_bytes.end(), mask.GetBytes(), mask.GetBytes() + mask.DIBSize());
  }
  explicit MaskRecord(std::uint8_t value = 255)
      : MaskRecord(241, 209, [value](int, int) { return value; }) {}

  const unsigned char* data() const { return m_bytes.data(); }
  std::uint32_t size() const { return static_cast<std::uint32_t>(m_bytes.size()); }

 private:
  std::vector<std::uint8_t> m_bytes;
};

// The engine's six settings: softness, spill, the four lightness breakpoints.
struct Settings {
  double v[6] = {0, 0, 0, 0, 100, 100};
  Settings& softness(double s) { return v[0] = s, *this; }
  Settings& spill(double s) { return v[1] = s, *this; }
  Settings& lightness(double a, double b, double c, double d) {
    return v[2] = a, v[3] = b, v[4] = c, v[5] = d, *this;
  }
};

}  // namespace keytest
