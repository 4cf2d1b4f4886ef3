#pragma once
// YuvTable: libswscale's conversion of 8-bit 4:2:0 video to BGRA as the
// video reader makes it (kToBgraFlags and SetToBgraColour: the nearest
// chroma sample, accurate rounding, the stream's matrix and range), held as
// its result for each of the 2^24 triples of luma, blue and red difference.
// With that configuration and the frame's own size, swscale gives pixel
// (x, y) as a function of its luma and of chroma sample (x / 2, y / 2)
// alone; the table is filled by swscale itself, converting frames that hold
// every triple once, so a frame converted through it is one look-up a
// pixel with swscale's bytes (tests/host/media/VideoTest.cpp compares
// the two on random frames). 64 MiB; making one took 0.13 s here, as long
// as swscale took for 15 frames of 1920 x 1080, which through the table
// took a quarter of that each.
#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
struct SwsContext;
}

namespace mattix::media::internal {

// swscale's flags for a conversion to RGB at the frame's own size: MLT's.
extern const int kToBgraFlags;

// The stream's matrix (an AVColorSpace / SWS_CS_ value) and range (limited
// or full) on a conversion to RGB.
void SetToBgraColour(SwsContext* sws, int matrix, bool fullRange);

class YuvTable {
 public:
  // The table for a matrix and range, or null when swscale cannot make the
  // conversion or memory for it is short.
  static std::unique_ptr<YuvTable> Make(int matrix, bool fullRange);

  // Converts a 4:2:0 frame of even width and height (planes and line sizes
  // as libavutil lays them out) into BGRA rows `stride` bytes apart.
  void Convert(const std::uint8_t* const planes[3], const int lineSizes[3], int width, int height,
               std::uint8_t* bgra, std::ptrdiff_t stride) const;

 private:
  YuvTable() = default;
  // Entry y | u << 8 | v << 16: the BGRA pixel, blue in the low byte.
  std::vector<std::uint32_t> m_bgra;
};

// One row through the table: luma y[0..width), chroma u and v at x / 2.
void YuvRowToBgra(const std::uint8_t* y, const std::uint8_t* u, const std::uint8_t* v, int width,
                  const std::uint32_t* table, std::uint8_t* bgra);

}  // namespace mattix::media::internal
