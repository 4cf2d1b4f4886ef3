#include "host/media/FramePipeline.h"

#include "host/base/HostError.h"
#include "host/media/Composite.h"
#include "host/media/DeepKey.h"
#include "host/media/JobPool.h"

#include <utility>

namespace mattix::media {

namespace {

struct Encoded {
  EncodedFrame keyed;
  std::optional<EncodedFrame> matte;
  std::optional<EncodedFrame> preview;
};

}  // namespace

long RunFramePipeline(FrameReader& reader, const PipelineOutputs& outputs, int jobs,
                      const FrameTransform& transform, ProgressLine* progress) {
  if (!outputs.keyed) throw host::HostError("no output to write");
  long written = 0;
  const std::function<std::optional<InputFrame>(long)> source = [&](long) { return reader.Next(); };
  const std::function<Encoded(long, InputFrame&&)> work = [&](long, InputFrame&& frame) {
    std::optional<DeepImage> deep;
    const BgraImage input = reader.Load(frame, &deep);
    const BgraImage keyed = transform(input, frame);
    if (keyed.width != input.width || keyed.height != input.height)
      throw host::HostError(frame.label + ": the keyed frame has another size than the input");
    Encoded e;
    if (outputs.matte) e.matte = outputs.matte->EncodeGrey(MakeMatte(keyed), frame.number);
    if (outputs.preview) e.preview = outputs.preview->Encode(MakePreview(keyed), frame.number);
    if (deep) {
      const DeepImage full = ApplyKey(std::move(*deep), input, keyed);
      e.keyed = outputs.keyed->Encode(keyed, frame.number, &full);
    } else {
      e.keyed = outputs.keyed->Encode(keyed, frame.number);
    }
    return e;
  };
  const std::function<void(long, Encoded&&)> sink = [&](long, Encoded&& e) {
    outputs.keyed->Write(std::move(e.keyed));
    if (e.matte) outputs.matte->Write(std::move(*e.matte));
    if (e.preview) outputs.preview->Write(std::move(*e.preview));
    ++written;
    if (progress) progress->Update(written);
  };
  try {
    RunOrdered<InputFrame, Encoded>(jobs, source, work, sink);
    outputs.keyed->Finish();
    if (outputs.matte) outputs.matte->Finish();
    if (outputs.preview) outputs.preview->Finish();
  } catch (...) {
    // End the progress line so that the error starts on a line of its own.
    if (progress) progress->Finish();
    throw;
  }
  if (progress) progress->Finish();
  return written;
}

}  // namespace mattix::media
