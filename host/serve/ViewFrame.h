#pragma once
// The frame the keyer shows, and the parts of it that the page asks for.
//
// A part is asked for as a region of the frame (its own pixels) at a scale:
// frame pixels a pixel of the part, a whole number. Scale 1 is the frame
// itself; a larger one the frame reduced by that factor (the mean of each
// scale x scale block, rounded to nearest; partial blocks at the right and
// bottom are dropped), so a view that shows the frame smaller keys fewer
// pixels. The scales run from 1 to the frame's own view scale, the one
// that brings it to the view's width.
#include "host/media/Image.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace mattix::serve {

// A part of the frame in its own pixels: x, y, width, height.
struct Region {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct ViewFrame {
  long index = 0;  // in the input, from 0
  int scale = 1;   // the view's scale: frame pixels a view pixel
  int width = 0;   // the frame's size in its own pixels
  int height = 0;
  media::BgraImage full;   // the frame, unkeyed
  media::BgraImage image;  // at the view's scale, unkeyed
  // Its colours counted at the wheel positions the keying engine looks
  // them up at (241 x 209, rows top-down as displayed), and its lightness
  // histogram (256 bins, the engine's lightness index), over every pixel of
  // the frame.
  std::vector<std::uint32_t> vectorscope;
  std::vector<std::uint32_t> histogram;
};

// The view frame of frame `index` of the input: reduced to at most
// maxViewWidth pixels wide by a whole factor, and its scopes, counted in
// `threads` bands of rows.
std::shared_ptr<ViewFrame> MakeViewFrame(long index, media::BgraImage frame, int maxViewWidth,
                                         int threads);

// Where a part lies at its scale: the level is the frame reduced by
// `scale` (LevelWidth x LevelHeight), the part its pixels [left, left +
// width) x [top, top + height).
struct PartPlace {
  int scale = 1;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  // The region of the frame it covers.
  Region FrameRegion() const { return {left * scale, top * scale, width * scale, height * scale}; }
};

int LevelWidth(const ViewFrame& frame, int scale);
int LevelHeight(const ViewFrame& frame, int scale);

// The part that covers `region` (the whole frame without one) at `scale`
// (the view's without one; kept within 1 to the view's), widened to whole
// pixels of that scale and kept within the frame. Throws BadRequest for an
// empty region, one outside the frame or a scale below 1.
PartPlace PlacePart(const ViewFrame& frame, std::optional<Region> region, std::optional<int> scale);

// The unkeyed pixels of a place at its scale (width x height; the place
// lies within the level).
media::BgraImage LevelPixels(const ViewFrame& frame, const PartPlace& place);

}  // namespace mattix::serve
