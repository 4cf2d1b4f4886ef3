#pragma once
// DPX reading and writing through libavcodec's DPX decoder and encoder, in
// memory. Reading takes what the decoder takes (RGB and RGBA at 8, 10, 12
// and 16 bits, grey); samples are taken as coded (a log-encoded scan stays
// log-encoded). Writing gives RGBA: 8-bit, or 16-bit from a deep picture.
#include "host/media/Image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mattix::media {

// The file starts as a DPX does ("SDPX", or "XPDS" little-endian).
bool IsDpx(const std::uint8_t* data, std::size_t size);

// Decodes a DPX held in memory; `name` is the file named in errors.
// Pictures of more than 8 bits also go to *deep at full precision, when
// given, and the result is their 8-bit view.
BgraImage DecodeDpx(const std::uint8_t* data, std::size_t size, const std::string& name,
                    std::optional<DeepImage>* deep = nullptr);

// Encodes `image`, or `deep` when given (at 16 bits).
std::vector<std::uint8_t> EncodeDpx(const BgraImage& image, const DeepImage* deep,
                                    const std::string& name);

}  // namespace mattix::media
