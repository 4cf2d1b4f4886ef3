#pragma once
// The matte refined by the picture: He, Sun and Tang's guided filter
// (2010) with the frame's colour as the guide. Within each window of
// (2 radius + 1)^2 pixels the matte is fitted as a linear function of the
// colour, q = a . I + b (least squares, a's size held down by eps); each
// pixel's result is the mean of the fits of the windows that hold it. Noise
// in the key's partly transparent areas (a glass pane's, a ramp's) is
// averaged out, while an edge that the picture shows stays where it is.
// Windows are cut at the frame's sides (means over the pixels inside).
#include <cstddef>
#include <cstdint>

namespace mattix::matte::internal {

// Refines `alpha` (w x h, rows w apart, 0..255) in place, guided by the
// colour of `guide` (32-bit BGRA rows `stride` bytes apart): colours and
// alpha are taken as 0 to 1, eps in those units squared; the result is
// kept to 0..1 and rounded to the nearest level. radius >= 1.
void GuidedFilterAlpha(const std::uint8_t* guide, std::size_t stride, std::uint8_t* alpha, int w,
                       int h, int radius, double eps);

}  // namespace mattix::matte::internal
