#pragma once
// Pictures in files, whatever their format: PNG (PngFile.h), TIFF
// (TiffFile.h), OpenEXR (ExrFile.h) and DPX (DpxFile.h), told apart by their first bytes when
// read and by their name's extension when written.
#include "host/media/Image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mattix::media {

enum class PictureType { Png, Tiff, Exr, Dpx };

// The type a name's extension gives (.png, .tif or .tiff, .exr, .dpx, any case;
// a sequence pattern's too), or nullopt.
std::optional<PictureType> PictureTypeOf(const std::string& path);

struct Picture {
  BgraImage image;                // 8 bits a sample: what the effect keys
  std::optional<DeepImage> deep;  // the picture at full precision, when deeper than 8 bits
  int sampleBits = 8;
};

// Decodes a picture held in memory; `name` is the file named in errors,
// also when the bytes are of no type read here.
Picture DecodePicture(const std::uint8_t* data, std::size_t size, const std::string& name);

// Encodes `image`, or `deep` when given at its precision (16-bit PNG, TIFF
// and DPX; OpenEXR half or float as its source, half for others; an 8-bit
// picture becomes half OpenEXR too). `zlibLevel` is PNG's (PngFile.h).
std::vector<std::uint8_t> EncodePicture(PictureType type, const BgraImage& image,
                                        const DeepImage* deep, const std::string& name,
                                        int zlibLevel);

}  // namespace mattix::media
