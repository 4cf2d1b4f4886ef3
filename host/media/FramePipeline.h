#pragma once
// The loop of a render: frames from a FrameReader, keyed by a transform on
// `jobs` threads, written in order to the keyed output and, when asked, to a
// matte (the alpha as grey) and a preview (over a checkerboard).
//
// The transform is the only part that needs the effect: it gets the decoded
// input frame (8 bits a sample) and returns the keyed frame of the same size;
// a deep input frame is keyed through it (DeepKey.h) and written at its
// precision to the keyed output (matte and preview are 8-bit). It throws
// host::HostError naming the frame (InputFrame::label). What is written never
// depends on `jobs`; on a failure at frame i, frames before i are written
// (each file complete), nothing after, videos are not kept, and the error
// of frame i is rethrown.
#include "host/media/FrameReader.h"
#include "host/media/FrameWriter.h"
#include "host/media/Progress.h"

#include <functional>

namespace mattix::media {

using FrameTransform = std::function<BgraImage(const BgraImage& input, const InputFrame& frame)>;

struct PipelineOutputs {
  FrameWriter* keyed = nullptr;    // required
  FrameWriter* matte = nullptr;    // optional
  FrameWriter* preview = nullptr;  // optional
};

// Returns the number of frames written.
long RunFramePipeline(FrameReader& reader, const PipelineOutputs& outputs, int jobs,
                      const FrameTransform& transform, ProgressLine* progress = nullptr);

}  // namespace mattix::media
