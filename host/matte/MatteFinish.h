#pragma once
// Matte finishing of a keyed frame, in the host after the effect module has
// keyed it (the settings: host/project/MatteFinishing.h). In order:
//   0. refine: the matte refined by a guided filter of the input's colour;
//   1. clip black / clip white: the matte's levels stretched between them;
//      then closing holes: levels at or above its level made full beside
//      full pixels and no clear one, up to two pixels in;
//   2. shrink or grow: the matte's smallest (largest) level over a disc of
//      the radius, fractional radii blended between the two whole radii
//      around them, then a Gaussian feather;
//      no step makes a pixel more opaque than the input frame;
//   3. unmixing: the clear screen's colour nearby taken out of the pixels
//      the matte leaves partly transparent;
//   4. despill: the screen channel limited toward the other two; within
//      the despill edge's width of the matte's edge, the screen's light
//      taken out of a rim pixel that mixes it with the subject's own colour
//      further in, and the limit moved to that colour's balance;
//   5. shapes: outside the garbage mattes alpha 0; inside a keep shape the
//      input pixel as it was, colour and alpha.
// With every step off the frame is left exactly as the module keyed it.
#include "host/media/Image.h"
#include "host/project/MatteFinishing.h"

#include <cstddef>
#include <cstdint>

namespace mattix::matte {

// keyed: the module's output for `input` (same size), finished in place.
void FinishMatte(media::BgraImage& keyed, const media::BgraImage& input,
                 const project::MatteFinishing& finishing);
// The same on frames in memory that others own: top-down 32-bit BGRA rows of
// `width` pixels, `stride` bytes apart.
void FinishMatte(std::uint8_t* keyed, const std::uint8_t* input, int width, int height,
                 std::size_t stride, const project::MatteFinishing& finishing);
// The same on a part of a frame whose top-left pixel is the frame's pixel
// (left, top): the shapes stay in the frame's coordinates. Shrink/grow and
// feather see only the part: keyed with FinishReach more of the frame's
// pixels on every side (those it has), a part is finished exactly as the
// same pixels of the whole frame.
void FinishMatte(std::uint8_t* keyed, const std::uint8_t* input, int width, int height,
                 std::size_t stride, const project::MatteFinishing& finishing, int left, int top);

// How far from a pixel finishing reads (pixels): twice the refine radius,
// the shrink/grow disc's radius, rounded up, the feather's 3 sigma, rounded
// up, and the larger of the despill edge's reach and that of the screen's
// colour carried inward (by unmixing, or by the edge itself without it);
// 0 when only per-pixel steps are on.
int FinishReach(const project::MatteFinishing& finishing);

}  // namespace mattix::matte
