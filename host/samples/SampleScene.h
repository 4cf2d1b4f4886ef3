#pragma once
// The sample that ships with the project: a green-screen picture with the
// hard cases of keying, and a chroma mask that keys its green.
//
// The picture: an unevenly lit green backdrop; a subject (face, shoulders)
// whose edges carry green spill; fine hair-like strands, one pixel wide and
// less, anti-aliased over the green; and a tinted glass pane through which
// the green shows at half strength (a semi-transparent region).
#include "host/media/Image.h"
#include "wheel/WheelGeometry.h"

namespace mattix::samples {

// The sample mask as a 241 x 209 picture as displayed (row 0 at the top),
// painted from the green scene's colours as a keyer paints one by hand: each
// wheel pixel holds the weight (255 - alpha) that the colours falling on it
// need. The backdrop is keyed fully, and so are purer colours of about its
// hue (out to the rim); the backdrop seen through the glass by half (127,
// one flat level, so the pane is not banded); the subject, its spill and the
// hair over it not at all. Pixels met only by mixes at edges (the backdrop
// partly covered by hair, skin, shirt or glass) take the weight of the mix's
// coverage; where mixes disagree the least weight wins, keeping the more
// opaque one. Unpainted pixels within two of painted ones take the largest
// of them, so a colour a little off the scene's is keyed alike.
media::GreyImage SampleMaskPicture();

enum class Backdrop { Green, Blue };

// A picture of the scene and its true alpha: the fraction of each pixel that
// the subject, the hair and the glass cover, 255 where no backdrop shows
// through, 0 where only backdrop shows (the glass alone: 128). This is the
// matte a perfect key would give.
struct SampleFrame {
  media::BgraImage picture;  // opaque
  media::GreyImage alpha;
  // The picture without the screen's spill on the subject's rim: the
  // subject's true colour where alpha is 255 (elsewhere the picture's).
  media::BgraImage foreground;
};

// The scene before a green or a blue screen (spill of the same colour).
SampleFrame ScreenScene(int width, int height, Backdrop backdrop);

// The green-screen picture (opaque).
media::BgraImage GreenScreenPicture(int width, int height);

}  // namespace mattix::samples
