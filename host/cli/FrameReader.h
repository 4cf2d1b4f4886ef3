#pragma once
// The frames of a render's input, whatever it is: one PNG picture, a PNG
// sequence (shot_%04d.png) or a video read through ffmpeg.
//
// Next() is called serially and in order (it may read a stream); Load() may
// run on worker threads: for a sequence it decodes the frame's file there,
// so that pictures decode in parallel. Every frame must have the size of the
// first one. Errors name the file and the frame: "shot_0003.png: frame 3:
// corrupt or unreadable PNG (...)", "clip.mov: frame 12: ...".
#include "host/cli/FrameSequence.h"
#include "host/cli/Image.h"
#include "host/cli/Video.h"

#include <memory>
#include <optional>
#include <string>

namespace mattix::cli {

struct InputFrame {
  long index = 0;     // position in the input, from 0
  long number = 0;    // the frame's number: the sequence number, else index + 1
  std::string label;  // "shot_0003.png: frame 3", starts messages about the frame
  std::string path;   // the picture to decode in Load, or empty
  BgraImage image;    // the decoded frame when the reader had to decode it
};

class FrameReader {
 public:
  // Opens the input and reads its first frame (for the size). Throws
  // CliError naming the input.
  static std::unique_ptr<FrameReader> Open(const std::string& input, const FfmpegTools& tools = {});
  virtual ~FrameReader() = default;

  int width() const { return m_width; }
  int height() const { return m_height; }
  // Frames in the input, or -1 when a video does not say.
  long frameCount() const { return m_frameCount; }
  // Frames per second for video outputs ("25" for pictures).
  const std::string& frameRate() const { return m_frameRate; }
  // Bits of each sample of the input (of its first frame): 8, or up to 16;
  // frames are read at 8 bits whatever it is.
  int sampleBits() const { return m_sampleBits; }
  // The files read, for the output-is-not-an-input checks.
  const std::vector<std::string>& files() const { return m_files; }

  // The next frame, or nullopt at the end. Serial.
  virtual std::optional<InputFrame> Next() = 0;
  // The frame's pixels (decoding its picture if needed). Thread-safe.
  BgraImage Load(InputFrame& frame) const;

 protected:
  int m_width = 0;
  int m_height = 0;
  long m_frameCount = -1;
  std::string m_frameRate = "25";
  int m_sampleBits = 8;
  std::vector<std::string> m_files;
};

// One frame of an input: a picture (`number` absent or 1), the frame of a
// sequence with that file number, or the frame of a video counted from 1;
// absent, the first frame. Throws CliError naming the input when the frame
// does not exist.
BgraImage ReadInputFrame(const std::string& input, std::optional<long> number,
                         const FfmpegTools& tools = {});

}  // namespace mattix::cli
