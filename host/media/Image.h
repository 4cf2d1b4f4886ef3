#pragma once
// In-memory pictures of the command: rows top-down, tightly packed.
// BgraImage holds 32-bit pixels, bytes blue, green, red, alpha, with straight
// (not premultiplied) alpha, the layout the module keys; GreyImage holds one
// byte per pixel (mattes, chroma masks).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace mattix::media {

// The largest frame the command keys: no side over 16384 pixels, which the
// module's image library addresses (its row stride is 0 beyond; checked
// against the library's own limit where the host wraps frames for it), and
// at most 2^26 pixels (8192 x 8192, 256 MiB as BGRA), which holds 8K
// (8192 x 4320) and bounds the memory of each frame in flight.
inline constexpr int kMaxFrameSide = 16384;
inline constexpr int kMaxFrameSquare = 8192;  // the side of a square of kMaxFramePixels
inline constexpr std::uint64_t kMaxFramePixels = std::uint64_t(kMaxFrameSquare) * kMaxFrameSquare;

inline bool FrameSizeAllowed(std::uint64_t width, std::uint64_t height) {
  return width <= std::uint64_t(kMaxFrameSide) && height <= std::uint64_t(kMaxFrameSide) &&
         width * height <= kMaxFramePixels;
}

// "16384 pixels a side and 8192 x 8192 (67108864 pixels) in all".
inline std::string FrameLimitText() {
  return std::to_string(kMaxFrameSide) + " pixels a side and " + std::to_string(kMaxFrameSquare) +
         " x " + std::to_string(kMaxFrameSquare) + " (" + std::to_string(kMaxFramePixels) +
         " pixels) in all";
}

// "NAME: the picture is W x H pixels; Mattix keys frames up to ...".
inline std::string FrameTooLargeMessage(const std::string& name, const std::string& what,
                                        std::uint64_t width, std::uint64_t height) {
  return name + ": the " + what + " is " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels; Mattix keys frames up to " + FrameLimitText();
}

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

// An allocator whose elements start uninitialised (constructed with no
// arguments they are default-initialised): for buffers that their maker
// writes whole, so that a frame's worth of memory is not zeroed first.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
  using value_type = T;
  template <class U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  UninitialisedAllocator() = default;
  template <class U>
  UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) == 0)
      ::new (static_cast<void*>(p)) U;
    else
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// A frame at the precision of its file (16-bit PNG, TIFF, OpenEXR, DPX, video of
// more than 8 bits): four floats a pixel, red, green, blue and alpha, with
// straight alpha, rows top-down and tightly packed. Colour is as coded, 0 to
// 1 for the file's full scale, except when `linear` (OpenEXR): linear light,
// which may lie outside 0 to 1. The effect keys its 8-bit view (DeepKey.h).
// Samples start uninitialised: whoever makes one writes every sample.
struct DeepImage {
  int width = 0;
  int height = 0;
  int sampleBits = 16;    // of the source: 10, 12 or 16 (integers), 16 (half) or 32 (float)
  bool floating = false;  // the source's samples are floating point
  bool linear = false;
  std::vector<float, UninitialisedAllocator<float>> samples;  // width * height * 4

  DeepImage() = default;
  DeepImage(int w, int h) : width(w), height(h), samples(std::size_t(w) * std::size_t(h) * 4) {}
  float* Row(int y) { return samples.data() + std::size_t(y) * std::size_t(width) * 4; }
  const float* Row(int y) const { return samples.data() + std::size_t(y) * std::size_t(width) * 4; }
};

}  // namespace mattix::media
