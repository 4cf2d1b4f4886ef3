#pragma once
// PNG reading and writing through libpng.
//
// Reading accepts every PNG colour type at 1 to 16 bits (grey, grey+alpha,
// palette with or without tRNS, RGB, RGBA, interlaced or not) and yields
// 32-bit BGRA with straight alpha; 16-bit samples are scaled to 8 bits with
// rounding (v * 255 / 65535, to nearest). Pictures without alpha get 255.
// Gamma and colour-profile chunks are ignored: samples are taken as stored.
// Corrupt, truncated or too large input gives a host::HostError naming the file;
// the CRCs of ancillary chunks are checked too. Refused before any pixel is
// decoded: an animated PNG (APNG: the frames after its first would be lost),
// and a file whose image data is too short for the size it declares (a
// 74-byte file that claims 8192 x 8192 pixels takes no picture's memory).
//
// Reading uses libpng's low-level API. Its simplified API would convert
// samples by the file's gAMA chunk, drops damaged ancillary chunks silently,
// and libpng 1.6.39 as shipped by Debian decodes interlaced 16-bit pictures
// to wrong 8-bit pixels through it (libpng issue #853).
//
// Writing gives 8-bit RGBA (straight alpha, as held in memory) or 8-bit
// grey, marked sRGB, lossless: through libpng's low-level API (for the
// choice of row filter and deflate strategy), except colour pictures in the
// fast mode, whose rows this file filters itself for zlib.
#include "host/media/Image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mattix::media {

// Largest picture read or written: the largest frame the command keys
// (Image.h). A larger one is refused from its header, before any pixel is
// decoded, with a message that says so.
inline constexpr std::uint64_t kMaxPngPixels = kMaxFramePixels;
inline constexpr std::uint32_t kMaxPngSide = kMaxFrameSide;

// Decodes a PNG held in memory; `name` is the file named in errors. With
// `deep`, a picture of 16-bit samples is also kept at full precision there
// (the result is then its 8-bit view, the same pixels as without); for
// others *deep is left empty.
BgraImage DecodePng(const std::uint8_t* data, std::size_t size, const std::string& name,
                    std::optional<DeepImage>* deep = nullptr);

// Encodes a deep picture as 16-bit RGBA (linear colour through the sRGB
// transfer), in the fast mode's filter and compression.
std::vector<std::uint8_t> EncodePng16(const DeepImage& image, const std::string& name);

// Reads and decodes a PNG file.
BgraImage ReadPng(const std::string& path);

// Encodes as 8-bit RGBA. zlibLevel 0 to 3 selects the fast mode (the Paeth
// filter on every row, deflate's run-length mode: a few percent larger than
// the default on photographs and green screens, several times quicker);
// 4 to 9 libpng's default filter choice with that zlib level.
std::vector<std::uint8_t> EncodePng(const BgraImage& image, const std::string& name,
                                    int zlibLevel = 6);

// Encodes as 8-bit grey.
std::vector<std::uint8_t> EncodePngGrey(const GreyImage& image, const std::string& name,
                                        int zlibLevel = 6);

}  // namespace mattix::media
