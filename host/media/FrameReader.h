#pragma once
// The frames of a render's input, whatever it is: one picture (PNG, TIFF,
// OpenEXR, DPX), a sequence of them (shot_%04d.png) or a video decoded in
// process by FFmpeg's libraries.
//
// Next() is called serially and in order (it may read a stream); Load() may
// run on worker threads: for a sequence it decodes the frame's file there,
// so that pictures decode in parallel. Every frame must have the size of the
// first one. Errors name the file and the frame: "shot_0003.png: frame 3:
// corrupt or unreadable PNG (...)", "clip.mov: frame 12: ...".
#include "host/media/FrameSequence.h"
#include "host/media/Image.h"
#include "host/media/Video.h"
#include "host/media/VideoReader.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mattix::media {

struct InputFrame {
  long index = 0;                 // position in the input, from 0
  long number = 0;                // the frame's number: the sequence number, else index + 1
  std::string label;              // "shot_0003.png: frame 3", starts messages about the frame
  std::string path;               // the picture to decode in Load, or empty
  BgraImage image;                // the decoded frame when the reader had to decode it
  std::optional<DeepImage> deep;  // the same at full precision, for deep inputs
};

// Which frames of an input are read.
struct FrameSelection {
  // Only frames first to last (numbers as InputFrame::number: a sequence's
  // file numbers, a video's from 1); for sequences and videos only.
  std::optional<std::pair<long, long>> range;
  bool allowGaps = false;  // a sequence may miss numbers (see gaps())
  // A video may end before the frames its container declares: the frames
  // that arrive are read, with a warning (see warnings()), rather than the
  // read failing at its end.
  bool allowShort = false;
};

class FrameReader {
 public:
  // Opens the input and reads its first frame (for the size). Throws
  // host::HostError naming the input, also when `selection` has a range for a
  // single picture or one that holds none of a sequence's frames.
  static std::unique_ptr<FrameReader> Open(const std::string& input,
                                           const FrameSelection& selection = {});
  virtual ~FrameReader() = default;

  int width() const { return m_width; }
  int height() const { return m_height; }
  // Frames to read (those of the range), or -1 when a video does not say.
  long frameCount() const { return m_frameCount; }
  // The numbers of the frames to read, when known (empty for a video that
  // does not say how many frames it has).
  const std::vector<long>& numbers() const { return m_numbers; }
  // With gaps allowed, the missing frames of a sequence as an error would
  // name them; else empty.
  const std::string& gaps() const { return m_gaps; }
  // Frames per second for video outputs ("25" for pictures).
  const std::string& frameRate() const { return m_frameRate; }
  // Bits of each sample of the input (of its first frame): 8, or up to 16
  // (32 for float); Load gives the 8-bit view and, when asked, the frame at
  // full precision.
  int sampleBits() const { return m_sampleBits; }
  // The colour facts outputs are tagged with: a video's own (Video.h), for
  // pictures sRGB with the matrix MatrixFor chooses for their size.
  const VideoColour& colour() const { return m_colour; }
  // The files read, for the output-is-not-an-input checks.
  const std::vector<std::string>& files() const { return m_files; }
  // The input has sound, which the frames do not carry.
  bool audio() const { return m_audio; }
  // What the end of the input found that did not stop the read: a video
  // shorter than its container declares (with allowShort), errors that
  // ffmpeg reported while it decoded. Complete once Next has returned
  // nullopt.
  const std::vector<std::string>& warnings() const { return m_warnings; }

  // Before the first Next: frames numbered below `number` are not wanted;
  // a video then starts there instead of decoding them.
  virtual void StartAt(long number) { (void)number; }
  // The next frame of the range, or nullopt at the end. Serial.
  std::optional<InputFrame> Next();
  // The frame's pixels (decoding its picture if needed), 8 bits a sample.
  // With `deep`, a frame of more than 8 bits also puts its full precision
  // there (else it is left empty). Thread-safe.
  BgraImage Load(InputFrame& frame, std::optional<DeepImage>* deep = nullptr) const;

 protected:
  // The next frame of the whole input.
  virtual std::optional<InputFrame> NextFrame() = 0;

  int m_width = 0;
  int m_height = 0;
  long m_frameCount = -1;
  std::string m_frameRate = "25";
  int m_sampleBits = 8;
  VideoColour m_colour;
  std::vector<std::string> m_files;
  std::vector<long> m_numbers;
  std::string m_gaps;
  bool m_audio = false;
  bool m_allowShort = false;
  std::vector<std::string> m_warnings;
  std::optional<std::pair<long, long>> m_range;
};

// One frame of an input: a picture (`number` absent or 1), the frame of a
// sequence with that file number, or the frame of a video counted from 1;
// absent, the first frame. Throws host::HostError naming the input when the frame
// does not exist.
BgraImage ReadInputFrame(const std::string& input, std::optional<long> number);

}  // namespace mattix::media
