#pragma once
// `mattix key auto`'s key: each wheel pixel weighted by how much of the
// colours that fall on it is screen, estimated from the frame's own pixels.
//
// A pixel of a green- or blue-screen shot is C = a F + (1 - a) B: the
// subject's colour F over the lit screen B with coverage a. Per pixel:
//   1. the screen's colour B where the screen is seen clearly (its screen
//      channel's lead over the other two, d = c - (o1 + o2) / 2, within a
//      quarter of the frame's high end), spread over the frame by a
//      normalised blur, so that uneven light is followed;
//   2. a colour-difference estimate a = 1 - d(C) / d(B), exact when the
//      subject's own d is 0 (neutral colours: glass, smoke, grey hair);
//   3. for pixels between screen and subject, the unmixing against a
//      subject colour F found nearby: among the pixels within 60 pixels
//      that are surely subject, those that lie on the line from B through C
//      (within the noise), the one farthest from B; a is then the
//      projection of C - B on F - B (Ruzon and Tomasi's and Chuang et al.'s
//      two-colour model, with Wang and Cohen's sampling of candidates); a
//      candidate that is itself a mix (a saturated colour's mixes look
//      solid) passes on its own F, so a long gradient is unmixed against
//      its pure end;
//   4. screen noise (its measured spread) counted as screen; the subject's
//      edge within a few pixels of solid subject, where the screen's light
//      spills onto it and looks like a mix, counted as subject, on bodies
//      at least five pixels thick (not beside an opaque strand of hair,
//      whose translucent neighbours are hair).
// The wheel pixel's weight is then 255 times the mean of the middle third of
// 1 - a over the frame's pixels that fall on it, in order: robust, as a
// median is, to the few pixels of other colours that share a wheel pixel,
// and less grainy than a median where few pixels fall; wheel pixels no
// pixel reaches take the mean of their reached neighbours up to three
// pixels away, else 0.
//
// The lightness window is then the one whose key (mask times window) agrees
// best with the pixels' estimates in squares: subject colours that share a
// wheel pixel with mixes but are darker or lighter than the screen and its
// mixes (black hair, a white collar) stay whole.
//
// Frames wider than 480 pixels are analysed for B and F at a whole-factor
// reduction (means of blocks); a is computed for every pixel of the frame.
// The work is split over the processors (bands of rows); the key is the
// same however it is split.
#include "host/matte/BackdropCluster.h"
#include "host/media/Image.h"
#include "host/project/MatteFinishing.h"

#include <array>
#include <optional>

namespace mattix::matte {

struct UnmixedKey {
  media::GreyImage mask;  // 241 x 209 as displayed (row 0 at the top)
  BackdropCluster backdrop;
  project::ScreenChannel screen = project::ScreenChannel::kGreen;
  std::array<int, 3> screenColour{};  // B, G, R of the screen where seen clearly
  double noise = 0;                   // the screen's spread, in units of a
  // The lightness window L0..L3 in percent (0, 0, 100, 100: open).
  std::array<double, 4> lightness{0.0, 0.0, 100.0, 100.0};
  // The finishing that suits the frame, percent: despill (full unless the
  // subject leads in the screen channel) and its edge, clip black and white (0 and 100
  // unless the key leaves a little on the clear screen or takes a little
  // from the solid subject).
  double despill = 100;
  double despillEdge = 0;  // pixels: the rim the screen's light reaches (0: none)
  double unmix = 100;      // the screen's colour out of the mixes the key leaves
  double refine = 1;       // pixels: the guided filter's radius
  double clipBlack = 0;
  double clipWhite = 100;
};

// The key of `frame`, or nullopt when it has no screen (no backdrop is
// found, or its hue is neither green's nor blue's side of the wheel).
// The work is split into `bands` bands of rows (0: one a processor).
std::optional<UnmixedKey> UnmixKey(const media::BgraImage& frame, int bands = 0);

}  // namespace mattix::matte
