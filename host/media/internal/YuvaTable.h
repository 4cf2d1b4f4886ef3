#pragma once
// YuvaTable: libswscale's conversion of BGRA to 10-bit Y'CbCr 4:4:4 with
// alpha (ProRes 4444's pixels) as the video writer makes it (kFromBgraFlags
// and SetFromBgraColour), held as its result for each of the 2^24 colours
// and the 256 alphas. At the frame's own size swscale gives each pixel's
// three samples as a function of its colour alone and its alpha sample as
// one of its alpha; the table is filled by swscale itself, converting
// frames that hold every colour and alpha once, so a frame converted
// through it has swscale's samples (tests/host/media/VideoTest.cpp
// compares the two on random frames). 64 MiB; making one took 0.1 s here,
// as long as swscale took for 12 frames of 1920 x 1080, which through the
// table took about half of that each.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
struct SwsContext;
}

namespace mattix::media::internal {

// swscale's flags for a conversion from RGB: MLT's (bicubic chroma,
// accurate rounding).
extern const int kFromBgraFlags;

// The output's matrix (an AVColorSpace / SWS_CS_ value) and limited range
// on a conversion from full-range RGB.
void SetFromBgraColour(SwsContext* sws, int matrix);

class YuvaTable {
 public:
  // The table for a matrix, or null when swscale cannot make the conversion
  // or memory for it is short.
  static std::unique_ptr<YuvaTable> Make(int matrix);

  // Converts BGRA rows `stride` bytes apart into the four 16-bit planes of
  // a yuva444p10 frame (line sizes in bytes, as libavutil lays them out).
  void Convert(const std::uint8_t* bgra, std::ptrdiff_t stride, int width, int height,
               std::uint8_t* const planes[4], const int lineSizes[4]) const;

 private:
  YuvaTable() = default;
  // Entry b | g << 8 | r << 16: Y' | Cb << 10 | Cr << 20.
  std::vector<std::uint32_t> m_yuv;
  std::uint16_t m_alpha[256] = {};
};

// One row through the table.
void BgraRowToYuva(const std::uint8_t* bgra, int width, const std::uint32_t* yuv,
                   const std::uint16_t* alpha, std::uint16_t* y, std::uint16_t* u, std::uint16_t* v,
                   std::uint16_t* a);

}  // namespace mattix::media::internal
