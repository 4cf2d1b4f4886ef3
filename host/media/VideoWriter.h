#pragma once
// A video output, encoded in this process by libavcodec and written by
// libavformat into a descriptor (an OutputFile's temporary: an interrupt
// that removes it leaves nothing that could make it again). The formats
// (Video.h): ProRes 4444 (prores_ks, yuva444p10le: 10-bit colour, alpha),
// VP9 with alpha (libvpx-vp9, yuva420p), and for previews the muxer's own
// codec at 4:2:0 (sides padded to even) or a GIF.
//
// Frames are converted to the encoder's pixels with the matrix and range of
// the input (VideoColour; studio range out), and the stream is tagged with
// them and with the input's transfer and primaries. Deep frames (Image.h)
// are converted from their full precision.
#include "host/media/Image.h"
#include "host/media/Video.h"

#include <cstdint>
#include <memory>
#include <string>

namespace mattix::media {

// A frame converted to the encoder's pixels (libav's frame, hidden).
class VideoPicture;

class VideoWriter {
 public:
  // `path` is the output named in messages, `writeFd` the open file written
  // (not closed here). Throws host::HostError naming the path when the
  // encoder is missing or refuses the size or rate.
  VideoWriter(const std::string& path, int writeFd, OutputFormat format, int width, int height,
              const std::string& frameRate, const VideoColour& colour = {});
  ~VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // Thread-safe: `frame` (or `deep`, when given, at its precision) in the
  // encoder's pixels. Throws host::HostError "PATH: frame N: ..." for a
  // frame of another size than the video's.
  std::shared_ptr<VideoPicture> Convert(const BgraImage& frame, long number,
                                        const DeepImage* deep = nullptr) const;
  // In order: encodes the next frame. Throws host::HostError "PATH: frame N:
  // ..." when the encoder or the file fails.
  void WritePicture(VideoPicture& picture);
  void WriteFrame(const BgraImage& frame) { WritePicture(*Convert(frame, m_frames + 1)); }
  // Ends the stream and completes the file; throws host::HostError naming
  // the path when it cannot.
  void Finish();

  // How many pixels of 8-bit frames a ProRes 4444 writer converts with
  // swscale before it converts through a table of swscale's results
  // (internal/YuvaTable.h): 2^24 by default; 0 at once, a negative count
  // never. For tests and benchmarks, which compare both ways.
  static void SetPixelsBeforeTable(std::int64_t pixels);
  // Frames converted through a table so far, by every reader (writer) of the
  // process: the tests' proof that the table path ran.
  static std::uint64_t FramesThroughTable();

 private:
  struct Encoder;  // the libav objects
  std::string m_path;
  int m_width;
  int m_height;
  std::unique_ptr<Encoder> m_encoder;
  long m_frames = 0;
};

}  // namespace mattix::media
