#pragma once
// OpenEXR reading and writing through the OpenEXR library, in memory.
//
// Reading takes the R, G, B and A channels (Y for grey pictures) of the
// file's data window, half or float, as linear light; the file's
// premultiplied colour is divided by its alpha. Writing gives R, G, B and A
// premultiplied, ZIP-compressed, as half or as float (a float source stays
// float); colour that is not linear goes through the sRGB transfer first.
#include "host/media/Image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mattix::media {

// The file starts with OpenEXR's magic number.
bool IsExr(const std::uint8_t* data, std::size_t size);

// Decodes an OpenEXR file held in memory; `name` is the file named in errors.
DeepImage DecodeExr(const std::uint8_t* data, std::size_t size, const std::string& name);

// Encodes a deep picture.
std::vector<std::uint8_t> EncodeExr(const DeepImage& image, const std::string& name);

}  // namespace mattix::media
