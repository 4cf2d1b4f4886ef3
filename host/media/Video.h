#pragma once
// Video: what ffprobe tells of an input (size, rate, rotation, colour), the
// output formats, and the facts the reader (VideoReader.h, libavformat and
// libavcodec in this process) and the writer (VideoWriter.h) share.
//
// Outputs that keep alpha, chosen by the extension:
//   .mov   ProRes 4444 (prores_ks, yuva444p10le: 10-bit colour, 16-bit alpha)
//   .webm  VP9 with alpha (libvpx-vp9, yuva420p)
//   a name with %d or %0Nd: a sequence of pictures
//   .png, .tif, .exr, .dpx   one picture
#include "host/media/Image.h"
#include "host/media/Subprocess.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mattix::media {

enum class MediaKind { Picture, Sequence, Video };

// What a path names, from its form: a pattern with %d is a sequence, a
// .png, .tif, .tiff, .exr or .dpx a picture, anything else a video.
MediaKind InputKindOf(const std::string& path);

// OpaqueVideo: a video without alpha (.mp4, .m4v, .mkv, .avi, .mpg, .ts,
// .gif), for previews only.
// Picture: one .png, .tif, .exr or .dpx (PictureFile.h); PictureSequence: a
// numbered sequence of them.
enum class OutputFormat { Picture, PictureSequence, ProRes4444, Vp9Alpha, OpaqueVideo };

// The output format for a path; throws host::HostError naming the path when its
// extension cannot hold alpha (such as .mp4) or is unknown.
OutputFormat OutputFormatOf(const std::string& path);

// ffmpeg's muxer for an opaque video's name (.mp4: "mp4"), or empty.
std::string OpaqueMuxerOf(const std::string& path);

// The same for a preview, which has no alpha to keep: the video formats
// without alpha are taken too.
OutputFormat PreviewFormatOf(const std::string& path);

// How a video's samples stand for colours, as libavutil numbers them
// (AVColorSpace, AVColorTransferCharacteristic, AVColorPrimaries): the
// matrix between RGB and Y'CbCr, whether the samples use the full range
// (else the studio range, 16 to 235 for 8-bit luma), and the transfer and
// primaries, which the frames keep as coded and the outputs are tagged with.
struct VideoColour {
  int matrix = 1;  // BT.709
  bool fullRange = false;
  int transfer = 2;   // unspecified
  int primaries = 2;  // unspecified
  bool operator==(const VideoColour&) const = default;
};

// The matrix of a stream of `width` x `height` tagged with `tagged` (an
// AVColorSpace; 2, unspecified, when untagged): the tag when it names a
// matrix; else BT.709 for HD (more than 750000 pixels, as editors and MLT
// take it) and BT.601 (AVCOL_SPC_SMPTE170M, 6) for smaller frames.
int MatrixFor(int tagged, int width, int height);

// The colour facts of a stream from ffprobe's names ("bt709", "tv"...);
// empty or unknown names count as untagged; `pixelFormat` names full-range
// formats of their own (yuvj420p).
VideoColour ColourOf(const std::string& space, const std::string& range,
                     const std::string& transfer, const std::string& primaries,
                     const std::string& pixelFormat, int width, int height);

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
  VideoColour colour;         // as tagged, or chosen for an untagged stream
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
VideoInfo ProbeVideo(const std::string& path);

// How many of the frames `first` to `last` (counted from 1) that a container
// declaring `frameCount` frames holds are missing when a read from `first`
// gave `arrived` frames; 0 when none are, or when the container does not say
// (frameCount -1).
long MissingFrames(long frameCount, long first, long last, long arrived);

// The error for a missing ffmpeg or ffprobe, naming what needed it.
std::string FfmpegMissingMessage(const std::string& program, const std::string& forWhat);

}  // namespace mattix::media
