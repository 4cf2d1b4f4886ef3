#pragma once
// Video through ffmpeg processes: frames travel as raw 32-bit BGRA (straight
// alpha) over pipes; ffprobe tells the size and frame rate of an input.
//
// Outputs that keep alpha, chosen by the extension:
//   .mov   ProRes 4444 (prores_ks, yuva444p10le: 10-bit colour, 16-bit alpha)
//   .webm  VP9 with alpha (libvpx-vp9, yuva420p)
//   a name with %d or %0Nd: a PNG sequence (written by us, not by ffmpeg)
//   .png   one picture
#include "host/media/Image.h"
#include "host/media/Subprocess.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mattix::media {

// The programs used; tests replace them to check the "not installed" path.
struct FfmpegTools {
  std::string ffmpeg = "ffmpeg";
  std::string ffprobe = "ffprobe";
};

enum class MediaKind { Picture, Sequence, Video };

// What a path names, from its form: a pattern with %d is a sequence, a .png
// a picture, anything else a video for ffmpeg.
MediaKind InputKindOf(const std::string& path);

// OpaqueVideo: a video without alpha (.mp4, .m4v, .mkv, .avi, .mpg, .ts,
// .gif), for previews only.
enum class OutputFormat { Png, PngSequence, ProRes4444, Vp9Alpha, OpaqueVideo };

// The output format for a path; throws host::HostError naming the path when its
// extension cannot hold alpha (such as .mp4) or is unknown.
OutputFormat OutputFormatOf(const std::string& path);

// The same for a preview, which has no alpha to keep: the video formats
// without alpha are taken too.
OutputFormat PreviewFormatOf(const std::string& path);

// Ten million frames, 92 hours at 30 frames a second.
inline constexpr long kMaxDeclaredFrames = 10000000;

struct VideoInfo {
  // The frames as read: upright and of the size players show (the stored
  // size turned by the rotation, then stretched to square pixels by the
  // pixel aspect ratio, the height kept).
  int width = 0;
  int height = 0;
  int storedWidth = 0;  // as the stream codes its frames
  int storedHeight = 0;
  int rotation = 0;                 // the display rotation, 0, 90, 180 or 270 degrees
  std::string pixelAspect = "1:1";  // the stream's sample aspect ratio
  std::string frameRate;            // as ffprobe gives it, "30000/1001" (the average when variable)
  double fps = 0.0;
  long frameCount = -1;       // -1 when the container does not say (or says more than
                              // kMaxDeclaredFrames)
  std::string codec;          // "prores", "vp9"...
  bool alpha = false;         // the stream carries alpha that needs a special decoder (VP9)
  int sampleBits = 8;         // bits of each colour sample (10 for yuv422p10le)
  bool constantRate = false;  // the stream says its rate and every frame keeps it
  bool audio = false;         // the file has an audio stream too
};

// The arguments of the ffprobe run whose output ParseProbeOutput reads
// (the program and the file come before and after them).
std::vector<std::string> ProbeArguments();

// Reads ffprobe's JSON on a file's streams into the facts of its first video
// stream. Pure: throws host::HostError naming `path` for output that is not
// JSON, a file without video, a rotation that is not a quarter turn, or
// frames of no usable or too large a size.
VideoInfo ParseProbeOutput(std::string_view json, const std::string& path);

// Probes the first video stream. Throws host::HostError naming the file (not a
// video, no video stream, ffprobe missing with how to install it, and the
// refusals of ParseProbeOutput).
VideoInfo ProbeVideo(const std::string& path, const FfmpegTools& tools = {});

// How many of the frames `first` to `last` (counted from 1) that a container
// declaring `frameCount` frames holds are missing when a read from `first`
// gave `arrived` frames; 0 when none are, or when the container does not say
// (frameCount -1).
long MissingFrames(long frameCount, long first, long last, long arrived);

// The error for a missing ffmpeg or ffprobe, naming what needed it.
std::string FfmpegMissingMessage(const std::string& program, const std::string& forWhat);

class VideoReader {
 public:
  // Reads from frame `first` on (counted from 1), every frame the stream
  // holds once (none repeated or dropped for a constant rate), upright and of
  // the displayed size (VideoInfo). A video of constant rate is seeked to 2
  // seconds before it, and ffmpeg decodes and drops the frames in between;
  // another has every frame before it decoded and dropped by ffmpeg's select
  // filter. Frame-accurate either way: frame n is the frame a read from the
  // first frame numbers n.
  VideoReader(const std::string& path, const VideoInfo& info, const FfmpegTools& tools = {},
              long first = 1);
  // Reads the next frame into `frame` (sized to the video). Returns false
  // at the end of the video. Throws host::HostError "PATH: frame N: ..." for a
  // truncated frame or an ffmpeg failure, with ffmpeg's error lines.
  bool ReadFrame(BgraImage& frame);
  long framesRead() const { return m_frames; }  // from `first`
  // After the end: empty when every frame to `last` that the container
  // declares arrived, else a message saying how many did.
  std::string Shortfall(long last) const;
  // After the end: ffmpeg's error lines (it decoded with errors but went
  // on), or empty.
  std::string DecoderErrors() const;

 private:
  std::string m_path;
  VideoInfo m_info;
  long m_first;
  std::unique_ptr<Subprocess> m_process;
  long m_frames = 0;
  bool m_ended = false;
};

class VideoWriter {
 public:
  // `path` is the output named in messages; `writeFd` the open file ffmpeg
  // writes (an OutputFile's temporary), passed as a descriptor rather than
  // a name, so that ffmpeg never makes the file again after an interrupt
  // removed it. The container is given explicitly.
  VideoWriter(const std::string& path, int writeFd, OutputFormat format, int width, int height,
              const std::string& frameRate, const FfmpegTools& tools = {});
  // Throws host::HostError "PATH: frame N: ..." when ffmpeg stopped.
  void WriteFrame(const BgraImage& frame);
  // Ends the stream and waits for ffmpeg; throws host::HostError with its message
  // when it failed.
  void Finish();
  long framesWritten() const { return m_frames; }

 private:
  std::string m_path;
  int m_width;
  int m_height;
  std::unique_ptr<Subprocess> m_process;
  long m_frames = 0;
};

}  // namespace mattix::media
