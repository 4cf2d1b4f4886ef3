#pragma once
// CViewRenderer: keys the parts of the frame shown that the keyer page asks
// for, on every processor: a part's rows are split into bands, a thread and
// an effect instance a band (an instance keys on one thread at a time).
// Each band is keyed with the margin that its matte finishing reads around
// it (matte::FinishReach), then finished (matte::FinishMatte) in the
// frame's coordinates, so that a part at scale 1 holds exactly the pixels
// that `mattix render` makes of the same frame. At larger scales the
// finishing's radii and shapes are scaled down with the picture.
//
// One render at a time: the caller serialises them.
#include "host/effect/HostModule.h"
#include "host/media/Image.h"
#include "host/project/Project.h"
#include "host/serve/ViewFrame.h"

#include <memory>
#include <vector>

namespace mattix::serve {

class CViewRenderer {
 public:
  // An effect instance of module for each of `threads` bands (at least 1).
  CViewRenderer(std::shared_ptr<host::CHostModule> module, int threads);
  ~CViewRenderer();
  CViewRenderer(const CViewRenderer&) = delete;
  CViewRenderer& operator=(const CViewRenderer&) = delete;

  // The part of frame at `place` keyed with settings and finished. Throws
  // host::HostError when the effect refuses.
  media::BgraImage Render(const ViewFrame& frame, const PartPlace& place,
                          const project::ProjectSettings& settings);

 private:
  struct Instance;
  std::vector<std::unique_ptr<Instance>> m_instances;
};

// The finishing of a frame as it applies to the frame reduced by `scale`:
// its distances (shrink/grow, feather, the despill edge, refine) and the
// shapes' points divided by it. Levels (the clips, close holes) stay, though
// closing holes reaches two pixels of the reduced frame, not of the frame.
project::MatteFinishing LevelFinishing(const project::MatteFinishing& finishing, int scale);

}  // namespace mattix::serve
