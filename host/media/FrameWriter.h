#pragma once
// The frames of a render's output: one picture (PNG, TIFF, OpenEXR), a
// sequence of them or a video (see Video.h for the formats).
//
// Encode() may run on worker threads (compression, and for a video the
// conversion to the encoder's pixels);
// Write() is called on one thread in frame order; Finish() completes the
// output. Every file is written under a temporary name and renamed when
// complete: a PNG when it is written, a video when Finish succeeds. A writer
// destroyed without Finish leaves no video behind (frames of a sequence
// already written stay, each complete).
//
// Grey pictures (mattes) are written as 8-bit grey PNGs, and as opaque grey
// frames in videos, TIFF and OpenEXR. Deep frames (Image.h), when given,
// are written at their precision (PictureFile.h, VideoWriter.h).
#include "host/base/OutputFile.h"
#include "host/base/OutputLock.h"
#include "host/media/FrameSequence.h"
#include "host/media/Image.h"
#include "host/media/PictureFile.h"
#include "host/media/Video.h"
#include "host/media/VideoWriter.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mattix::media {

// A frame ready for Write: a picture file's bytes, or a video's frame.
struct EncodedFrame {
  long number = 0;
  std::vector<std::uint8_t> bytes;
  std::shared_ptr<VideoPicture> video;
};

class FrameWriter {
 public:
  // `output`: the path (a pattern for a sequence). Refuses, before anything
  // is written, an output that is one of `inputs` or that exists without
  // `force` (for a sequence: the frame numbers given in `numbers`, when
  // known). Throws host::HostError naming the output.
  // `opaque`: the frames have no alpha to keep (a preview), so a video
  // format without alpha is taken too. The output is locked against other
  // renders until the writer is destroyed (host::OutputLock): a single file
  // whole, a sequence over the frames in `numbers`, else over `frames`
  // (first and last; absent: every frame). Throws host::HostError naming
  // the output when another render holds it. A video is tagged with
  // `colour` and converted with its matrix (FrameReader::colour).
  FrameWriter(const std::string& output, int width, int height, const std::string& frameRate,
              bool force, const host::InputFiles& inputs, const std::vector<long>& numbers = {},
              bool opaque = false, std::optional<std::pair<long, long>> frames = {},
              const VideoColour& colour = {});
  ~FrameWriter();
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;

  OutputFormat format() const { return m_format; }

  // Thread-safe. `number` is the frame's number (names the file of a
  // sequence frame); `deep`, when given, is the frame at full precision.
  EncodedFrame Encode(const BgraImage& frame, long number, const DeepImage* deep = nullptr) const;
  EncodedFrame EncodeGrey(const GreyImage& frame, long number) const;

  // In frame order. Errors name the file and the frame.
  void Write(EncodedFrame&& frame);
  void Finish();

 private:
  std::string m_output;
  OutputFormat m_format;
  bool m_force;
  const host::InputFiles& m_inputs;
  std::optional<SequencePattern> m_pattern;
  std::optional<PictureType> m_picture;  // of a picture or a sequence
  std::unique_ptr<host::OutputLock> m_lock;
  std::unique_ptr<host::OutputFile> m_file;  // the video or picture being written
  std::unique_ptr<VideoWriter> m_video;
  bool m_wroteSingle = false;
};

}  // namespace mattix::media
