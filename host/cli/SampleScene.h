#pragma once
// The sample that ships with the project: a green-screen picture with the
// hard cases of keying, and a chroma mask that keys its green.
//
// The picture: an unevenly lit green backdrop; a subject (face, shoulders)
// whose edges carry green spill; fine hair-like strands, one pixel wide and
// less, anti-aliased over the green; and a tinted glass pane through which
// the green shows at half strength (a semi-transparent region).
#include "host/cli/Image.h"
#include "picker/WheelGeometry.h"

namespace mattix::cli {

// The key weight (0 to 255) of a colour in the sample mask: full for hues
// within 0.08 turns of the backdrop's hue 0.36 (green) and saturation 0.5 or
// more, fading out over 0.04 turns of hue and down to saturation 0.2 (the
// glass pane, at about 0.35, is keyed by half).
int SampleKeyWeight(float hue, float saturation);

// The sample mask as a 241 x 209 picture as displayed (row 0 at the top):
// every wheel pixel holds the largest SampleKeyWeight of the colours that
// fall on it, sampled on a grid of 4000 hues by 601 saturations.
GreyImage SampleMaskPicture();

enum class Backdrop { Green, Blue };

// A picture of the scene and its true alpha: the fraction of each pixel that
// the subject, the hair and the glass cover, 255 where no backdrop shows
// through, 0 where only backdrop shows (the glass alone: 128). This is the
// matte a perfect key would give.
struct SampleFrame {
  BgraImage picture;  // opaque
  GreyImage alpha;
};

// The scene before a green or a blue screen (spill of the same colour).
SampleFrame ScreenScene(int width, int height, Backdrop backdrop);

// The green-screen picture (opaque).
BgraImage GreenScreenPicture(int width, int height);

}  // namespace mattix::cli
