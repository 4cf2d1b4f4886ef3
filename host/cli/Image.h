#pragma once
// In-memory pictures of the command: rows top-down, tightly packed.
// BgraImage holds 32-bit pixels, bytes blue, green, red, alpha, with straight
// (not premultiplied) alpha, the layout the module keys; GreyImage holds one
// byte per pixel (mattes, chroma masks).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mattix::cli {

struct BgraImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // width * height * 4 bytes

  BgraImage() = default;
  BgraImage(int w, int h) : width(w), height(h), pixels(std::size_t(w) * std::size_t(h) * 4) {}
  std::size_t Stride() const { return std::size_t(width) * 4; }
  std::uint8_t* Row(int y) { return pixels.data() + std::size_t(y) * Stride(); }
  const std::uint8_t* Row(int y) const { return pixels.data() + std::size_t(y) * Stride(); }
};

struct GreyImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // width * height bytes

  GreyImage() = default;
  GreyImage(int w, int h) : width(w), height(h), pixels(std::size_t(w) * std::size_t(h)) {}
  std::uint8_t* Row(int y) { return pixels.data() + std::size_t(y) * std::size_t(width); }
  const std::uint8_t* Row(int y) const {
    return pixels.data() + std::size_t(y) * std::size_t(width);
  }
};

}  // namespace mattix::cli
