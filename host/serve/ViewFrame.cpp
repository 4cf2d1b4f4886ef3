#include "host/serve/ViewFrame.h"

#include "host/base/RowBands.h"
#include "host/serve/BadRequest.h"
#include "stdfx/HSL.h"
#include "wheel/WheelGeometry.h"

#include <algorithm>
#include <cstring>

namespace mattix::serve {

namespace {

// The whole factor that brings a frame width down to at most maxWidth.
int ShrinkFactor(int width, int maxWidth) { return std::max(1, (width + maxWidth - 1) / maxWidth); }

// Rows [first, first + count) of out, the frame reduced by factor from its
// pixel (left, top) of the level on: each pixel the mean of its factor x
// factor block, rounded to nearest.
void Reduce(const media::BgraImage& frame, int factor, int left, int top, media::BgraImage& out,
            int first, int count) {
  const unsigned area = unsigned(factor * factor);
  std::vector<unsigned> sums(std::size_t(out.width) * 4);
  for (int y = first; y < first + count; ++y) {
    std::fill(sums.begin(), sums.end(), 0u);
    for (int dy = 0; dy < factor; ++dy) {
      const std::uint8_t* in = frame.Row((top + y) * factor + dy) + std::size_t(left) * factor * 4;
      for (int x = 0; x < out.width; ++x)
        for (int dx = 0; dx < factor; ++dx, in += 4)
          for (int c = 0; c < 4; ++c) sums[std::size_t(x) * 4 + std::size_t(c)] += in[c];
    }
    std::uint8_t* o = out.Row(y);
    for (std::size_t i = 0; i < sums.size(); ++i) o[i] = std::uint8_t((sums[i] + area / 2) / area);
  }
}

// Counts the scopes of rows [first, first + count) of the frame into
// wheelCounts and lightnessCounts (sized already): each pixel's hue and
// saturation at its wheel position (colours without hue at the grey
// position), its lightness at trunc(l * 255 + 0.5), as the keying engine
// reads them.
void CountColours(const media::BgraImage& frame, int first, int count,
                  std::vector<std::uint32_t>& wheelCounts,
                  std::vector<std::uint32_t>& lightnessCounts) {
  for (int y = first; y < first + count; ++y) {
    const std::uint8_t* row = frame.Row(y);
    for (int x = 0; x < frame.width; ++x, row += 4) {
      float h = 0, l = 0, s = 0;
      stdfx::CHSL::RGBtoHLS(h, l, s, row[2], row[1], row[0]);
      wheel::Position p{wheel::kGreyRow, wheel::kGreyColumn};
      if (h >= 0.0f) p = wheel::PositionOf(h, s);
      // Buffer rows count from the bottom; the scope's from the top.
      ++wheelCounts[std::size_t(wheel::kHeight - 1 - p.row) * wheel::kWidth +
                    std::size_t(p.column)];
      ++lightnessCounts[std::size_t(std::min(255.0f, l * 255.0f + 0.5f))];
    }
  }
}

}  // namespace

std::shared_ptr<ViewFrame> MakeViewFrame(long index, media::BgraImage frame, int maxViewWidth,
                                         int threads) {
  auto view = std::make_shared<ViewFrame>();
  view->index = index;
  view->width = frame.width;
  view->height = frame.height;
  view->scale = ShrinkFactor(frame.width, maxViewWidth);
  view->full = std::move(frame);
  const int bands = std::max(1, threads);
  std::vector<std::vector<std::uint32_t>> wheels(
      std::size_t(bands), std::vector<std::uint32_t>(std::size_t(wheel::kWidth) * wheel::kHeight));
  std::vector<std::vector<std::uint32_t>> bins(std::size_t(bands), std::vector<std::uint32_t>(256));
  host::ForEachBand(view->height, bands, [&](int band, int first, int count) {
    CountColours(view->full, first, count, wheels[std::size_t(band)], bins[std::size_t(band)]);
  });
  view->vectorscope = wheels[0];
  view->histogram = bins[0];
  for (std::size_t b = 1; b < wheels.size(); ++b) {
    for (std::size_t i = 0; i < view->vectorscope.size(); ++i) view->vectorscope[i] += wheels[b][i];
    for (std::size_t i = 0; i < 256; ++i) view->histogram[i] += bins[b][i];
  }
  if (view->scale == 1) {
    view->image = view->full;
  } else {
    view->image = media::BgraImage(LevelWidth(*view, view->scale), LevelHeight(*view, view->scale));
    host::ForEachBand(view->image.height, bands, [&](int, int first, int count) {
      Reduce(view->full, view->scale, 0, 0, view->image, first, count);
    });
  }
  return view;
}

int LevelWidth(const ViewFrame& frame, int scale) { return frame.width / scale; }
int LevelHeight(const ViewFrame& frame, int scale) { return frame.height / scale; }

PartPlace PlacePart(const ViewFrame& frame, std::optional<Region> region,
                    std::optional<int> scale) {
  if (scale && *scale < 1) throw BadRequest("the scale is a whole number from 1");
  const int s = std::min(scale.value_or(frame.scale), frame.scale);
  const Region r = region.value_or(Region{0, 0, frame.width, frame.height});
  const auto text = [](const Region& q) {
    return std::to_string(q.width) + " x " + std::to_string(q.height) + " at (" +
           std::to_string(q.x) + ", " + std::to_string(q.y) + ")";
  };
  if (r.width <= 0 || r.height <= 0) throw BadRequest("the region " + text(r) + " is empty");
  const int levelWidth = LevelWidth(frame, s), levelHeight = LevelHeight(frame, s);
  const auto clampTo = [](long v, int limit) { return int(std::clamp<long>(v, 0, limit)); };
  // Floor of the start and ceiling of the end, in whole pixels of the level.
  const auto down = [s](long v) { return v >= 0 ? v / s : -((-v + s - 1) / s); };
  const int left = clampTo(down(r.x), levelWidth);
  const int top = clampTo(down(r.y), levelHeight);
  const int right = clampTo(-down(-(long(r.x) + r.width)), levelWidth);
  const int bottom = clampTo(-down(-(long(r.y) + r.height)), levelHeight);
  if (right <= left || bottom <= top)
    throw BadRequest("the region " + text(r) + " lies outside the frame (" +
                     std::to_string(frame.width) + " x " + std::to_string(frame.height) + ")");
  return PartPlace{s, left, top, right - left, bottom - top};
}

media::BgraImage LevelPixels(const ViewFrame& frame, const PartPlace& place) {
  media::BgraImage part(place.width, place.height);
  if (place.scale == 1 || place.scale == frame.scale) {
    const media::BgraImage& level = place.scale == 1 ? frame.full : frame.image;
    for (int y = 0; y < place.height; ++y)
      std::memcpy(part.Row(y), level.Row(place.top + y) + std::size_t(place.left) * 4,
                  std::size_t(place.width) * 4);
  } else {
    Reduce(frame.full, place.scale, place.left, place.top, part, 0, place.height);
  }
  return part;
}

}  // namespace mattix::serve
