#pragma once
// A bottom-up one-byte picture for the fill tests. Each memory row carries
// padding bytes after the picture's width, holding a marker that no fill may
// change, so a write past the last column shows up even without a sanitizer.
#include <cstddef>
#include <string>
#include <vector>

#include "selection/ScanConvert.h"

namespace scan_test {

class TestMask {
 public:
  static constexpr unsigned char kPadding = 0xA5;

  TestMask(int width, int height, unsigned char background = 0, int padding = 3)
      : m_background(background),
        m_width(width),
        m_height(height),
        m_stride(width + padding),
        m_bytes(std::size_t(m_stride) * std::size_t(height), background) {
    for (int row = 0; row < height; ++row)
      for (int x = width; x < m_stride; ++x) m_bytes[Offset(x, row)] = kPadding;
  }

  MaskRaster Raster() { return MaskRaster{m_bytes.data(), m_width, m_height, m_stride}; }
  const std::vector<unsigned char>& Bytes() const { return m_bytes; }

  // Pixel (x, y) of the picture, y counted from the top.
  unsigned char At(int x, int y) const { return m_bytes[Offset(x, m_height - 1 - y)]; }

  bool PaddingIntact() const {
    for (int row = 0; row < m_height; ++row)
      for (int x = m_width; x < m_stride; ++x)
        if (m_bytes[Offset(x, row)] != kPadding) return false;
    return true;
  }

  // The picture as text, top row first: '#' for 255, '.' for the
  // background, '?' else.
  std::string Picture() const {
    std::string s;
    for (int y = 0; y < m_height; ++y, s += '\n')
      for (int x = 0; x < m_width; ++x)
        s += At(x, y) == 255 ? '#' : At(x, y) == m_background ? '.' : '?';
    return s;
  }

 private:
  std::size_t Offset(int x, int memoryRow) const {
    return std::size_t(memoryRow) * std::size_t(m_stride) + std::size_t(x);
  }

  unsigned char m_background;
  int m_width;
  int m_height;
  int m_stride;
  std::vector<unsigned char> m_bytes;
};

}  // namespace scan_test
