#pragma once
// The "Chroma Mask" record and pictures of it. The record is a 144-byte
// tagVFBMINFOHEADER of the 8-bit 241 x 209 mask (bottom-up rows) followed by
// its BI_RLE8-compressed pixels, as the image library's CompressRLE writes
// them; 144 zero bytes mean "no mask". A picture of the mask is as
// displayed: row 0 is the top of the wheel (the mask's last buffer row).
#include "host/media/Image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mattix::project {

// What MaskLevelsFromPicture ignored.
struct IgnoredInPicture {
  bool colour = false;  // a pixel whose red, green and blue differ
  bool alpha = false;   // a pixel that is not opaque
};

// The key weight of each pixel of a painted mask: its brightness, the
// largest of red, green and blue, so that any paint that is not black keys
// and full green keys as fully as white. Hue and alpha are ignored (`ignored`
// tells whether there were any). A grey picture gives its own levels.
media::GreyImage MaskLevelsFromPicture(const media::BgraImage& picture,
                                       IgnoredInPicture* ignored = nullptr);

// The wheel picture as displayed (241 x 209, opaque) with the mask over it,
// to see which hues a mask keys: the wheel's colours at half brightness,
// lifted three quarters of the way to white where the mask keys fully (in
// proportion to the key weight); black outside the wheel's hexagon.
media::BgraImage MaskGuidePicture(const media::GreyImage& mask);

// Compresses a 241 x 209 mask picture into a record. Throws host::HostError naming
// `name` when the size is not the wheel's.
std::vector<std::uint8_t> MaskRecordFromPicture(const media::GreyImage& picture,
                                                const std::string& name);

// A line that says what a mask picture keys: how many wheel pixels (and how
// many fully), the arcs of hue they cover in degrees with the name of each
// arc's colour, and whether greys are keyed: "1201 of the wheel's pixels
// keyed (950 fully): hues 96 to 160 degrees (green)". "nothing keyed" for
// an empty mask.
std::string MaskSummary(const media::GreyImage& picture);

// The mask picture of a record; an empty record (144 bytes or fewer) gives
// a black 241 x 209 picture. Throws host::HostError naming `name` when the record
// cannot be decoded.
media::GreyImage PictureFromMaskRecord(const std::vector<std::uint8_t>& record,
                                       const std::string& name);

// Throws host::HostError naming `name` when a record that is not empty cannot be
// decoded (the keying engine would then key nothing, silently).
void ValidateMaskRecord(const std::vector<std::uint8_t>& record, const std::string& name);

}  // namespace mattix::project
