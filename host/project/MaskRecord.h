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
// proportion to the key weight); black outside the wheel's hexagon. Throws
// host::HostError for a mask of another size than the wheel's.
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

// The mask picture of a record, 241 x 209; the empty record gives a black
// picture. Throws host::HostError naming `name` for a record that
// ValidateMaskRecord refuses.
media::GreyImage PictureFromMaskRecord(const std::vector<std::uint8_t>& record,
                                       const std::string& name);

// The one rule for the mask record of a project, which every reader of
// projects applies: a record of exactly 144 bytes holds no mask; a shorter
// one is refused; a longer one must be the wheel's 241 x 209 mask (checked
// from its header before anything is decoded, so that a record that claims a
// larger mask costs nothing) and decode completely (the keying engine would
// otherwise key nothing, silently). Throws host::HostError "NAME: ...".
void ValidateMaskRecord(const std::vector<std::uint8_t>& record, const std::string& name);

}  // namespace mattix::project
