#pragma once
// A bottom-up one-byte picture for the fill tests. Each memory row carries
// padding bytes after the picture's width, holding a marker that no fill may
// change, so a write past the last column shows up even without a sanitizer.
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "selection/ScanConvert.h"

namespace scan_test {

class TestMask {
 public:
  static constexpr int kPad = 3;
  static constexpr unsigned char kMarker = 0xA5;

  TestMask(int width, int height, unsigned char background = 0)
      : m_background(background),
        m_width(width),
        m_height(height),
        m_bytes(std::size_t(width + kPad) * std::size_t(height), background) {
    for (int row = 0; row < height; ++row) std::fill_n(&m_bytes[Offset(width, row)], kPad, kMarker);
  }

  MaskRaster Raster() { return MaskRaster{m_bytes.data(), m_width, m_height, m_width + kPad}; }
  const std::vector<unsigned char>& Bytes() const { return m_bytes; }
  // Pixel (x, y) of the picture, y counted from the top.
  unsigned char At(int x, int y) const { return m_bytes[Offset(x, m_height - 1 - y)]; }

  // The picture as text, top row first: '#' for 255, '.' for the
  // background, '?' else; a row whose padding changed ends in '!'.
  std::string Picture() const {
    std::string s;
    for (int y = 0; y < m_height; ++y, s += '\n') {
      for (int x = 0; x < m_width; ++x)
        s += At(x, y) == 255 ? '#' : At(x, y) == m_background ? '.' : '?';
      const auto pad = m_bytes.begin() + std::ptrdiff_t(Offset(m_width, m_height - 1 - y));
      if (std::count(pad, pad + kPad, kMarker) != kPad) s += '!';
    }
    return s;
  }

 private:
  std::size_t Offset(int x, int memoryRow) const {
    return std::size_t(memoryRow) * std::size_t(m_width + kPad) + std::size_t(x);
  }

  unsigned char m_background;
  int m_width, m_height;
  std::vector<unsigned char> m_bytes;
};

}  // namespace scan_test
