#include "host/serve/ViewRenderer.h"

#include "host/base/RowBands.h"
#include "host/effect/KeyingEffect.h"
#include "host/matte/MatteFinish.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace mattix::serve {

struct CViewRenderer::Instance {
  std::unique_ptr<host::CKeyingEffect> effect;
  // What the effect was last configured with (what a render reads of it).
  std::optional<project::ProjectSettings> configured;
  std::vector<std::uint8_t> band;  // a band and its margin, keyed

  // Configures the effect unless it holds these settings already (a
  // configuration decodes the mask record).
  void Configure(const project::ProjectSettings& s) {
    if (configured && host::CKeyingEffect::ConfiguresAlike(*configured, s)) return;
    configured.reset();  // until the effect has them all
    effect->Configure(s);
    configured = s;
  }
};

CViewRenderer::CViewRenderer(std::shared_ptr<host::CHostModule> module, int threads) {
  for (int i = 0; i < std::max(1, threads); ++i) {
    auto instance = std::make_unique<Instance>();
    instance->effect = std::make_unique<host::CKeyingEffect>(module);
    m_instances.push_back(std::move(instance));
  }
}

CViewRenderer::~CViewRenderer() = default;

project::MatteFinishing LevelFinishing(const project::MatteFinishing& finishing, int scale) {
  project::MatteFinishing f = finishing;
  if (scale == 1) return f;
  f.shrinkGrow /= scale;
  f.feather /= scale;
  f.despillEdge /= scale;
  f.refine /= scale;
  for (project::MatteShape& shape : f.shapes)
    for (std::array<double, 2>& p : shape.points) {
      p[0] /= scale;
      p[1] /= scale;
    }
  return f;
}

media::BgraImage CViewRenderer::Render(const ViewFrame& frame, const PartPlace& place,
                                       const project::ProjectSettings& settings) {
  const project::MatteFinishing finishing = LevelFinishing(settings.finishing, place.scale);
  const int reach = matte::FinishReach(finishing);
  // The part and the margin the finishing reads, within the level.
  PartPlace box = place;
  box.left = std::max(0, place.left - reach);
  box.top = std::max(0, place.top - reach);
  box.width = std::min(LevelWidth(frame, place.scale), place.left + place.width + reach) - box.left;
  box.height =
      std::min(LevelHeight(frame, place.scale), place.top + place.height + reach) - box.top;
  // Its pixels: the frame's, or its view's, when the box is all of them;
  // else a copy.
  const bool whole = box.left == 0 && box.top == 0 && box.width == LevelWidth(frame, place.scale) &&
                     box.height == LevelHeight(frame, place.scale);
  media::BgraImage copy;
  if (!(whole && (place.scale == 1 || place.scale == frame.scale))) copy = LevelPixels(frame, box);
  const media::BgraImage& source = !copy.pixels.empty() ? copy
                                   : place.scale == 1   ? frame.full
                                                        : frame.image;
  const int dx = place.left - box.left, dy = place.top - box.top;
  const std::size_t stride = source.Stride();

  media::BgraImage out(place.width, place.height);
  host::ForEachBand(place.height, int(m_instances.size()), [&](int band, int first, int count) {
    Instance& instance = *m_instances[std::size_t(band)];
    instance.Configure(settings);
    if (reach == 0) {
      // The box is the part: its rows are keyed and finished in place.
      instance.effect->Key(source.pixels.data(), out.pixels.data(), out.width, out.height, stride,
                           -1, host::FrameRows{first, count});
      matte::FinishMatte(out.Row(first), source.Row(first), out.width, count, stride, finishing,
                         box.left, box.top + first);
      return;
    }
    // The band with the margin around it, keyed and finished apart; its
    // middle is the part's.
    const int from = std::max(0, dy + first - reach);
    const int to = std::min(source.height, dy + first + count + reach);
    instance.band.resize(stride * std::size_t(to - from));
    instance.effect->Key(source.Row(from), instance.band.data(), source.width, to - from, stride);
    matte::FinishMatte(instance.band.data(), source.Row(from), source.width, to - from, stride,
                       finishing, box.left, box.top + from);
    for (int y = first; y < first + count; ++y)
      std::memcpy(out.Row(y),
                  instance.band.data() + stride * std::size_t(dy + y - from) + std::size_t(dx) * 4,
                  std::size_t(out.width) * 4);
  });
  return out;
}

}  // namespace mattix::serve
