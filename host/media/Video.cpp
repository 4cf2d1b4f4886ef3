#include "host/media/Video.h"

#include "host/base/HostError.h"
#include "host/base/Json.h"
#include "host/media/FrameSequence.h"
#include "host/media/PictureFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
}

namespace mattix::media {

namespace {

std::string LowerExtension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return ext;
}

std::string WithTail(const std::string& message, const Subprocess& p) {
  const std::string tail = p.ErrorTail();
  return tail.empty() ? message : message + ":\n" + tail;
}

// ffmpeg reads a name as a URL: "a:b.mov" would be protocol "a", and
// "-x.mov" an option. The file protocol takes any path literally.
std::string FileUrl(const std::string& path) { return "file:" + path; }

// No video has more frames a second; a rate above it is malformed.
constexpr double kMaxFrameRate = 1e6;

// "30000/1001" -> 29.97; 0 when malformed.
double RateValue(const std::string& rate) {
  const std::size_t slash = rate.find('/');
  double num = 0.0, den = 1.0;
  const char* end = rate.data() + (slash == std::string::npos ? rate.size() : slash);
  if (std::from_chars(rate.data(), end, num).ec != std::errc()) return 0.0;
  if (slash != std::string::npos &&
      std::from_chars(rate.data() + slash + 1, rate.data() + rate.size(), den).ec != std::errc())
    return 0.0;
  const double value = den > 0.0 ? num / den : 0.0;
  return std::isfinite(value) && value > 0.0 && value <= kMaxFrameRate ? value : 0.0;
}

}  // namespace

int MatrixFor(int tagged, int width, int height) {
  switch (tagged) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_FCC:
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_SMPTE240M:
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      return tagged;
    default:
      return std::int64_t(width) * height > 750000 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
  }
}

VideoColour ColourOf(const std::string& space, const std::string& range,
                     const std::string& transfer, const std::string& primaries,
                     const std::string& pixelFormat, int width, int height) {
  // libavutil's parsers return a negative number for a name they do not know.
  const auto known = [](int value, int otherwise) { return value < 0 ? otherwise : value; };
  VideoColour colour;
  colour.matrix = MatrixFor(known(av_color_space_from_name(space.c_str()), AVCOL_SPC_UNSPECIFIED),
                            width, height);
  colour.fullRange = range == "pc" || pixelFormat.rfind("yuvj", 0) == 0;
  colour.transfer = known(av_color_transfer_from_name(transfer.c_str()), AVCOL_TRC_UNSPECIFIED);
  colour.primaries = known(av_color_primaries_from_name(primaries.c_str()), AVCOL_PRI_UNSPECIFIED);
  return colour;
}

std::string FfmpegMissingMessage(const std::string& program, const std::string& forWhat) {
  return forWhat + ": video needs " + program +
         ", which is not installed; install it with: apt-get install ffmpeg";
}

MediaKind InputKindOf(const std::string& path) {
  if (ParseSequencePattern(path)) return MediaKind::Sequence;
  if (PictureTypeOf(path)) return MediaKind::Picture;
  return MediaKind::Video;
}

OutputFormat OutputFormatOf(const std::string& path) {
  const std::optional<SequencePattern> pattern = ParseSequencePattern(path);
  const std::string ext = LowerExtension(path);
  if (pattern && !PictureTypeOf(path))
    throw host::HostError(path + ": a sequence of ." + ext +
                          " pictures cannot be written; name it .png, .tif, .exr or .dpx");
  if (pattern) return OutputFormat::PictureSequence;
  if (PictureTypeOf(path)) return OutputFormat::Picture;
  if (ext == "mov") return OutputFormat::ProRes4444;
  if (ext == "webm") return OutputFormat::Vp9Alpha;
  const std::string hint =
      "; use .mov (ProRes 4444), .webm (VP9 with alpha), .png, .tif, .exr, .dpx, or a sequence of "
      "them (name_%04d.png)";
  if (ext == "mp4" || ext == "m4v" || ext == "mkv" || ext == "avi" || ext == "jpg" ||
      ext == "jpeg" || ext == "gif" || ext == "mpg" || ext == "ts")
    throw host::HostError(path + ": ." + ext + " output cannot keep the keyed alpha" + hint);
  throw host::HostError(path + ": unknown output type" + (ext.empty() ? "" : " ." + ext) + hint);
}

std::string OpaqueMuxerOf(const std::string& path) {
  const std::string extension = LowerExtension(path);
  static const std::pair<const char*, const char*> kMuxers[] = {
      {"mp4", "mp4"},  {"m4v", "mp4"},   {"mkv", "matroska"}, {"avi", "avi"},
      {"mpg", "mpeg"}, {"ts", "mpegts"}, {"gif", "gif"}};
  for (const auto& [ext, muxer] : kMuxers)
    if (extension == ext) return muxer;
  return {};
}

OutputFormat PreviewFormatOf(const std::string& path) {
  if (!ParseSequencePattern(path) && !OpaqueMuxerOf(path).empty()) return OutputFormat::OpaqueVideo;
  return OutputFormatOf(path);
}

std::vector<std::string> ProbeArguments() {
  return {"-v",
          "error",
          "-show_entries",
          "stream=codec_type,codec_name,width,height,sample_aspect_ratio,r_frame_rate,"
          "avg_frame_rate,nb_frames,duration,pix_fmt,bits_per_raw_sample,color_space,color_range,"
          "color_transfer,color_primaries:"
          "stream_tags=alpha_mode,rotate:stream_side_data=rotation:format=format_name",
          "-of",
          "json"};
}

namespace {

// A JSON number as an int when it is a whole number within `max`, else 0.
int WholeNumber(const host::JsonValue* v, double max) {
  if (!v || v->kind() != host::JsonValue::Kind::Number) return 0;
  const double d = v->AsNumber();
  return d >= 0.0 && d <= max && d == std::floor(d) ? int(d) : 0;
}

std::string StringOf(const host::JsonValue& object, const char* key) {
  const host::JsonValue* v = object.Find(key);
  return v && v->kind() == host::JsonValue::Kind::String ? v->AsString() : std::string();
}

// "N:D" (or "N/D") as two positive numbers up to 2^31, or nullopt.
std::optional<std::pair<long, long>> Ratio(const std::string& text) {
  const std::size_t colon = text.find_first_of(":/");
  if (colon == std::string::npos) return std::nullopt;
  long num = 0, den = 0;
  const char* end = text.data() + text.size();
  const auto a = std::from_chars(text.data(), text.data() + colon, num);
  const auto b = std::from_chars(text.data() + colon + 1, end, den);
  if (a.ec != std::errc() || a.ptr != text.data() + colon || b.ec != std::errc() || b.ptr != end ||
      num <= 0 || den <= 0 || num > (1L << 31) || den > (1L << 31))
    return std::nullopt;
  return std::pair{num, den};
}

// The display rotation in degrees, 0 to 359, from the stream's display
// matrix (as ffprobe reports its angle) or, from older ffprobes, its
// "rotate" tag; nullopt when it is not a number.
std::optional<long> RotationOf(const host::JsonValue& stream) {
  double degrees = 0.0;
  bool found = false;
  if (const host::JsonValue* list = stream.Find("side_data_list");
      list && list->kind() == host::JsonValue::Kind::Array)
    for (const host::JsonValue& entry : list->Elements()) {
      const host::JsonValue* r = entry.Find("rotation");
      if (!r) continue;
      if (r->kind() != host::JsonValue::Kind::Number) return std::nullopt;
      degrees = r->AsNumber();
      found = true;
      break;
    }
  if (const host::JsonValue* tags = stream.Find("tags"); !found && tags) {
    const std::string tag = StringOf(*tags, "rotate");
    if (!tag.empty() &&
        std::from_chars(tag.data(), tag.data() + tag.size(), degrees).ec != std::errc())
      return std::nullopt;
  }
  if (!std::isfinite(degrees) || std::fabs(degrees) > 1e6) return std::nullopt;
  const long whole = std::lround(degrees);
  if (double(whole) != degrees) return std::nullopt;
  return ((whole % 360) + 360) % 360;
}

}  // namespace

VideoInfo ParseProbeOutput(std::string_view json, const std::string& path) {
  const host::JsonValue root = host::JsonValue::Parse(json, path + " (ffprobe output)");
  const host::JsonValue* streams = root.Find("streams");
  if (!streams || streams->kind() != host::JsonValue::Kind::Array)
    throw host::HostError(path + ": has no video stream");
  const host::JsonValue* video = nullptr;
  VideoInfo info;
  for (const host::JsonValue& s : streams->Elements()) {
    const std::string type = StringOf(s, "codec_type");
    if (type == "video" && !video) video = &s;
    info.audio = info.audio || type == "audio";
  }
  if (!video) throw host::HostError(path + ": has no video stream");
  const host::JsonValue& s = *video;
  info.storedWidth = WholeNumber(s.Find("width"), 1 << 30);
  info.storedHeight = WholeNumber(s.Find("height"), 1 << 30);
  info.codec = StringOf(s, "codec_name");
  info.frameRate = StringOf(s, "r_frame_rate");
  info.fps = RateValue(info.frameRate);
  const std::string average = StringOf(s, "avg_frame_rate");
  info.constantRate = info.fps > 0.0 && info.frameRate == average;
  // Outputs of a variable rate get the average, so that they last as long.
  if (!info.constantRate && RateValue(average) > 0.0) {
    info.frameRate = average;
    info.fps = RateValue(average);
  }
  if (info.fps <= 0.0) {
    info.frameRate = "25";
    info.fps = 25.0;
  }
  // A count beyond kMaxDeclaredFrames is not believed: the frames' numbers
  // are listed for the outputs' checks.
  const std::string frames = StringOf(s, "nb_frames");
  long count = 0;
  if (!frames.empty() &&
      std::from_chars(frames.data(), frames.data() + frames.size(), count).ec == std::errc() &&
      count > 0 && count <= kMaxDeclaredFrames)
    info.frameCount = count;
  // A still read by one of FFmpeg's picture demuxers (a .jpg, .bmp, .webp:
  // "image2" or "NAME_pipe") declares no count: it is one frame.
  const host::JsonValue* container = root.Find("format");
  const std::string demuxer = container ? StringOf(*container, "format_name") : "";
  if (info.frameCount < 0 &&
      (demuxer == "image2" || (demuxer.size() > 5 && demuxer.ends_with("_pipe"))))
    info.frameCount = 1;
  // A stream whose frame count and duration disagree with its rate has
  // frames of other lengths: it is not sought by time.
  const std::string duration = StringOf(s, "duration");
  double seconds = 0.0;
  if (info.constantRate && info.frameCount > 0 && !duration.empty() &&
      std::from_chars(duration.data(), duration.data() + duration.size(), seconds).ec ==
          std::errc() &&
      std::isfinite(seconds) && seconds > 0.0 &&
      std::fabs(seconds * info.fps - double(info.frameCount)) > 1.0)
    info.constantRate = false;
  if (const host::JsonValue* tags = s.Find("tags"))
    info.alpha = StringOf(*tags, "alpha_mode") == "1";
  // The depth of a sample: as the decoder states it, else from the pixel
  // format's name (yuv422p10le, rgba64be, gray16le...).
  const std::string bits = StringOf(s, "bits_per_raw_sample");
  int depth = 0;
  if (!bits.empty() &&
      std::from_chars(bits.data(), bits.data() + bits.size(), depth).ec == std::errc() &&
      depth > 8 && depth <= 32)
    info.sampleBits = depth;
  const std::string format = StringOf(s, "pix_fmt");
  for (const auto& [name, depthOf] : {std::pair<const char*, int>{"p10", 10},
                                      {"p12", 12},
                                      {"p16", 16},
                                      {"48", 16},
                                      {"64", 16},
                                      {"16le", 16},
                                      {"16be", 16},
                                      {"12le", 12},
                                      {"10le", 10}})
    if (info.sampleBits == 8 && format.find(name) != std::string::npos) info.sampleBits = depthOf;
  if (info.storedWidth <= 0 || info.storedHeight <= 0)
    throw host::HostError(path + ": video has no usable frame size (" +
                          std::to_string(info.storedWidth) + " x " +
                          std::to_string(info.storedHeight) + ")");

  // As players show it: turned upright, then stretched to square pixels.
  const std::optional<long> rotation = RotationOf(s);
  if (!rotation || *rotation % 90 != 0)
    throw host::HostError(
        path + ": the video is to be shown turned by " +
        (rotation ? std::to_string(*rotation) + " degrees" : "an unreadable angle") +
        "; Mattix reads videos turned by quarter turns only");
  info.rotation = int(*rotation);
  const std::optional<std::pair<long, long>> aspect = Ratio(StringOf(s, "sample_aspect_ratio"));
  if (aspect)
    info.pixelAspect = std::to_string(aspect->first) + ":" + std::to_string(aspect->second);
  const double stretched = std::round(
      double(info.storedWidth) * (aspect ? double(aspect->first) / double(aspect->second) : 1.0));
  const bool turned = info.rotation == 90 || info.rotation == 270;
  const std::uint64_t shownWidth = stretched < 1.0 ? 0 : std::uint64_t(std::min(stretched, 1e9));
  const std::uint64_t width = turned ? std::uint64_t(info.storedHeight) : shownWidth;
  const std::uint64_t height = turned ? shownWidth : std::uint64_t(info.storedHeight);
  if (width == 0 || height == 0)
    throw host::HostError(path + ": the video's pixel aspect ratio " + info.pixelAspect +
                          " leaves its frames no size");
  if (!FrameSizeAllowed(width, height))
    throw host::HostError(FrameTooLargeMessage(path, "video's frame", width, height));
  info.width = int(width);
  info.height = int(height);
  info.colour = ColourOf(StringOf(s, "color_space"), StringOf(s, "color_range"),
                         StringOf(s, "color_transfer"), StringOf(s, "color_primaries"), format,
                         info.storedWidth, info.storedHeight);
  return info;
}

VideoInfo ProbeVideo(const std::string& path) try {
  std::vector<std::string> argv = ProbeArguments();
  argv.insert(argv.begin(), "ffprobe");
  argv.push_back(FileUrl(path));
  Subprocess probe(argv, {true}, FfmpegMissingMessage("ffprobe", path));
  std::string text;
  char buffer[4096];
  for (;;) {
    const std::size_t n = probe.ReadFull(buffer, sizeof buffer);
    text.append(buffer, n);
    if (n < sizeof buffer) break;
    if (text.size() > (1u << 20)) break;
  }
  if (probe.Wait() != 0) throw host::HostError(WithTail(path + ": cannot read as video", probe));
  return ParseProbeOutput(text, path);
} catch (const host::HostError& e) {
  // ffprobe's own failures (it cannot be started or read) name the video too.
  const std::string message = e.what();
  if (message.rfind(path + ": ", 0) == 0) throw;
  throw host::HostError(path + ": " + message);
}

long MissingFrames(long frameCount, long first, long last, long arrived) {
  if (frameCount < 0 || first < 1) return 0;
  const long end = std::min(frameCount, last);
  const long expected = end >= first ? end - first + 1 : 0;
  return arrived < expected ? expected - arrived : 0;
}

}  // namespace mattix::media
