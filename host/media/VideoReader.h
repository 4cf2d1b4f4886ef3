#pragma once
// The frames of a video, decoded in this process by libavformat and
// libavcodec and converted by libswscale: upright and of the displayed size
// (VideoInfo), with the stream's own matrix and range (VideoColour), as
// 8-bit BGRA for the effect and, for streams of more than 8 bits, at full
// precision too.
//
// The conversion to RGB is the one MLT's avformat producer makes (nearest
// chroma sample, accurate rounding, full chroma interpolation), so that a
// frame keyed here equals the frame keyed in MLT through the frei0r
// plug-in; a stream whose pixels are not square is stretched (bicubic)
// before it is turned.
#include "host/media/Image.h"
#include "host/media/Video.h"

#include <cstdint>
#include <memory>
#include <string>

namespace mattix::media {

class VideoReader {
 public:
  // Reads from frame `first` on (counted from 1), every frame the stream
  // holds once (none repeated or dropped for a constant rate). A video of
  // constant rate is sought to 2 seconds before it (longer than any
  // reordering of B-frames), and the frames in between are decoded and
  // dropped; another has every frame before it decoded and dropped.
  // Frame-accurate either way: frame n is the frame a read from the first
  // frame numbers n. Throws host::HostError naming the file when it cannot
  // be opened or has no decoder.
  VideoReader(const std::string& path, const VideoInfo& info, long first = 1);
  ~VideoReader();
  VideoReader(const VideoReader&) = delete;
  VideoReader& operator=(const VideoReader&) = delete;

  // Reads the next frame into `frame` (sized to the video) and, when `deep`
  // is given and the stream has more than 8 bits a sample, the same frame
  // at full precision into *deep (left empty otherwise). Returns false at
  // the end of the video. Throws host::HostError "PATH: frame N: ..." for a
  // frame that cannot be converted, "PATH: the video has no frames" for an
  // empty one.
  bool ReadFrame(BgraImage& frame, DeepImage* deep = nullptr);
  long framesRead() const { return m_frames; }  // from `first`
  // After the end: empty when every frame to `last` that the container
  // declares arrived, else a message saying how many did.
  std::string Shortfall(long last) const;
  // libav's error lines since the reader opened (it decoded with errors
  // but went on), or empty.
  std::string DecoderErrors() const;

  // How many pixels of 4:2:0 video a reader converts with swscale before it
  // converts through a table of swscale's results (internal/YuvTable.h):
  // 2^24 by default; 0 at once, a negative count never. For tests and
  // benchmarks, which compare both ways.
  static void SetPixelsBeforeTable(std::int64_t pixels);
  // Frames converted through a table so far, by every reader (writer) of the
  // process: the tests' proof that the table path ran.
  static std::uint64_t FramesThroughTable();

 private:
  struct Decoder;  // the libav objects
  std::string m_path;
  VideoInfo m_info;
  long m_first;
  std::unique_ptr<Decoder> m_decoder;
  long m_frames = 0;
  bool m_ended = false;
};

}  // namespace mattix::media
