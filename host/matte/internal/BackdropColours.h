#pragma once
// Finding a frame's backdrop (BackdropCluster.h) in two steps, so that a
// caller that converts every pixel of a frame anyway (UnmixKey) converts
// each once, on every processor: the colours that take part, then the
// cluster among them.
#include "host/matte/BackdropCluster.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace mattix::matte::internal {

// A colour as stdfx::CHSL::RGBtoHLS gives it: hue in turns (-1: none),
// lightness and saturation 0 to 1.
struct Hls {
  float h, l, s;
};

// True for a colour that takes part: a hue that is not noise (saturation
// 0.2 or more), neither nearly black nor nearly white, where 8-bit hues
// scatter.
bool TakesPart(const Hls& c);

// The backdrop of a frame of `pixels` pixels (at least 1) whose colours
// that take part are those of `colours`, in any order, in parts that are
// each gone through on a thread of their own; nullopt when fewer than a
// tenth of its pixels are saturated colours of one hue cluster.
std::optional<BackdropCluster> FindBackdropIn(const std::vector<std::vector<Hls>>& colours,
                                              std::size_t pixels);

}  // namespace mattix::matte::internal
