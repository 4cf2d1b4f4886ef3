#pragma once
// TIFF reading and writing through libtiff, in memory.
//
// Reading takes RGB, RGBA, grey and grey with alpha pictures (contiguous
// samples) at 8 or 16 bits or 32-bit floating point, any compression libtiff
// has; other 8-bit layouts (palette, Y'CbCr, separate planes...) through
// libtiff's RGBA reader. Associated (premultiplied) alpha is divided out.
// Writing gives RGBA with unassociated alpha, deflated: 8-bit, or 16-bit
// from a deep picture.
#include "host/media/Image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mattix::media {

// The file starts as a TIFF does ("II*\0" or "MM\0*").
bool IsTiff(const std::uint8_t* data, std::size_t size);

// Decodes a TIFF held in memory (its first picture); `name` is the file
// named in errors. Pictures of more than 8 bits also go to *deep at full
// precision, when given, and the result is their 8-bit view.
BgraImage DecodeTiff(const std::uint8_t* data, std::size_t size, const std::string& name,
                     std::optional<DeepImage>* deep = nullptr);

// Encodes `image`, or `deep` when given (at 16 bits).
std::vector<std::uint8_t> EncodeTiff(const BgraImage& image, const DeepImage* deep,
                                     const std::string& name);

}  // namespace mattix::media
