#include "host/media/Video.h"

#include "host/base/HostError.h"
#include "host/base/Json.h"
#include "host/media/FrameSequence.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

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

// "30000/1001" -> 29.97; 0 when malformed.
double RateValue(const std::string& rate) {
  const std::size_t slash = rate.find('/');
  double num = 0.0, den = 1.0;
  const char* end = rate.data() + (slash == std::string::npos ? rate.size() : slash);
  if (std::from_chars(rate.data(), end, num).ec != std::errc()) return 0.0;
  if (slash != std::string::npos &&
      std::from_chars(rate.data() + slash + 1, rate.data() + rate.size(), den).ec != std::errc())
    return 0.0;
  return den > 0.0 ? num / den : 0.0;
}

}  // namespace

std::string FfmpegMissingMessage(const std::string& program, const std::string& forWhat) {
  return forWhat + ": video needs " + program +
         ", which is not installed; install it with: apt-get install ffmpeg";
}

MediaKind InputKindOf(const std::string& path) {
  if (ParseSequencePattern(path)) return MediaKind::Sequence;
  if (LowerExtension(path) == "png") return MediaKind::Picture;
  return MediaKind::Video;
}

OutputFormat OutputFormatOf(const std::string& path) {
  if (ParseSequencePattern(path)) return OutputFormat::PngSequence;
  const std::string ext = LowerExtension(path);
  if (ext == "png") return OutputFormat::Png;
  if (ext == "mov") return OutputFormat::ProRes4444;
  if (ext == "webm") return OutputFormat::Vp9Alpha;
  const std::string hint =
      "; use .mov (ProRes 4444), .webm (VP9 with alpha), .png, or a PNG sequence (name_%04d.png)";
  if (ext == "mp4" || ext == "m4v" || ext == "mkv" || ext == "avi" || ext == "jpg" ||
      ext == "jpeg" || ext == "gif" || ext == "mpg" || ext == "ts")
    throw host::HostError(path + ": ." + ext + " output cannot keep the keyed alpha" + hint);
  throw host::HostError(path + ": unknown output type" + (ext.empty() ? "" : " ." + ext) + hint);
}

namespace {

// ffmpeg's muxer for an opaque video's extension, or empty.
std::string OpaqueMuxer(const std::string& extension) {
  static const std::pair<const char*, const char*> kMuxers[] = {
      {"mp4", "mp4"},  {"m4v", "mp4"},   {"mkv", "matroska"}, {"avi", "avi"},
      {"mpg", "mpeg"}, {"ts", "mpegts"}, {"gif", "gif"}};
  for (const auto& [ext, muxer] : kMuxers)
    if (extension == ext) return muxer;
  return {};
}

}  // namespace

OutputFormat PreviewFormatOf(const std::string& path) {
  if (!ParseSequencePattern(path) && !OpaqueMuxer(LowerExtension(path)).empty())
    return OutputFormat::OpaqueVideo;
  return OutputFormatOf(path);
}

VideoInfo ProbeVideo(const std::string& path, const FfmpegTools& tools) {
  Subprocess probe({tools.ffprobe, "-v", "error", "-select_streams", "v:0", "-show_entries",
                    "stream=codec_name,width,height,r_frame_rate,avg_frame_rate,nb_frames,pix_fmt,"
                    "bits_per_raw_sample:"
                    "stream_tags=alpha_mode",
                    "-of", "json", FileUrl(path)},
                   {false, true}, FfmpegMissingMessage(tools.ffprobe, path));
  std::string text;
  char buffer[4096];
  for (;;) {
    const std::size_t n = probe.ReadFull(buffer, sizeof buffer);
    text.append(buffer, n);
    if (n < sizeof buffer) break;
    if (text.size() > (1u << 20)) break;
  }
  if (probe.Wait() != 0) throw host::HostError(WithTail(path + ": cannot read as video", probe));
  const host::JsonValue root = host::JsonValue::Parse(text, path + " (ffprobe output)");
  const host::JsonValue* streams = root.Find("streams");
  if (!streams || streams->kind() != host::JsonValue::Kind::Array || streams->Elements().empty())
    throw host::HostError(path + ": has no video stream");
  const host::JsonValue& s = streams->Elements().front();
  VideoInfo info;
  auto number = [&](const char* key) -> double {
    const host::JsonValue* v = s.Find(key);
    return v && v->kind() == host::JsonValue::Kind::Number ? v->AsNumber() : 0.0;
  };
  auto string = [&](const host::JsonValue& obj, const char* key) -> std::string {
    const host::JsonValue* v = obj.Find(key);
    return v && v->kind() == host::JsonValue::Kind::String ? v->AsString() : std::string();
  };
  info.width = int(number("width"));
  info.height = int(number("height"));
  info.codec = string(s, "codec_name");
  info.frameRate = string(s, "r_frame_rate");
  info.fps = RateValue(info.frameRate);
  info.constantRate = info.fps > 0.0 && info.frameRate == string(s, "avg_frame_rate");
  if (info.fps <= 0.0) {
    info.frameRate = string(s, "avg_frame_rate");
    info.fps = RateValue(info.frameRate);
  }
  if (info.fps <= 0.0) {
    info.frameRate = "25";
    info.fps = 25.0;
  }
  const std::string frames = string(s, "nb_frames");
  long count = 0;
  if (!frames.empty() &&
      std::from_chars(frames.data(), frames.data() + frames.size(), count).ec == std::errc() &&
      count > 0)
    info.frameCount = count;
  if (const host::JsonValue* tags = s.Find("tags")) info.alpha = string(*tags, "alpha_mode") == "1";
  // The depth of a sample: as the decoder states it, else from the pixel
  // format's name (yuv422p10le, rgba64be, gray16le...).
  const std::string bits = string(s, "bits_per_raw_sample");
  int depth = 0;
  if (!bits.empty() &&
      std::from_chars(bits.data(), bits.data() + bits.size(), depth).ec == std::errc() &&
      depth > 8 && depth <= 32)
    info.sampleBits = depth;
  const std::string format = string(s, "pix_fmt");
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
  if (info.width <= 0 || info.height <= 0)
    throw host::HostError(path + ": video has no usable frame size (" + std::to_string(info.width) +
                          " x " + std::to_string(info.height) + ")");
  if (!FrameSizeAllowed(std::uint64_t(info.width), std::uint64_t(info.height)))
    throw host::HostError(FrameTooLargeMessage(path, "video's frame", std::uint64_t(info.width),
                                               std::uint64_t(info.height)));
  return info;
}

VideoReader::VideoReader(const std::string& path, const VideoInfo& info, const FfmpegTools& tools,
                         long first)
    : m_path(path), m_info(info), m_first(first) {
  std::vector<std::string> argv = {tools.ffmpeg, "-v", "error", "-nostdin"};
  // Frame `first` starts at (first - 1) / fps after the stream's start; half
  // a frame earlier keeps it and drops the one before, whatever the rounding
  // of the timestamps. ffmpeg seeks by decoding timestamps, so a seek there
  // can start at a keyframe shown after frames that precede it in display
  // order (B-frames): the input is seeked 2 seconds before, longer than any
  // reordering, and the frames up to `first` are decoded and dropped.
  const bool seek = first > 1 && info.constantRate;
  const double start = (double(first) - 1.5) / info.fps;
  const double preroll = std::max(0.0, start - 2.0);
  const auto seconds = [](double t) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9f", t);
    return std::string(text);
  };
  if (seek && preroll > 0.0) argv.insert(argv.end(), {"-ss", seconds(preroll)});
  // ffmpeg's own VP9 decoder drops the alpha channel; libvpx keeps it.
  if (info.codec == "vp9" && info.alpha) argv.insert(argv.end(), {"-c:v", "libvpx-vp9"});
  argv.insert(argv.end(), {"-i", FileUrl(path), "-map", "0:v:0"});
  if (seek) argv.insert(argv.end(), {"-ss", seconds(start - preroll)});
  if (first > 1 && !seek)  // n counts the decoded frames from 0
    argv.insert(argv.end(), {"-vf", "select=gte(n\\," + std::to_string(first - 1) + ")",
                             "-fps_mode", "passthrough"});
  argv.insert(argv.end(), {"-f", "rawvideo", "-pix_fmt", "bgra", "-s",
                           std::to_string(info.width) + "x" + std::to_string(info.height), "-"});
  m_process = std::make_unique<Subprocess>(argv, Subprocess::Pipes{false, true},
                                           FfmpegMissingMessage(tools.ffmpeg, path));
}

bool VideoReader::ReadFrame(BgraImage& frame) {
  if (m_ended) return false;
  if (frame.width != m_info.width || frame.height != m_info.height)
    frame = BgraImage(m_info.width, m_info.height);
  const std::size_t got = m_process->ReadFull(frame.pixels.data(), frame.pixels.size());
  if (got == frame.pixels.size()) {
    ++m_frames;
    return true;
  }
  m_ended = true;
  m_process->CloseOutput();
  const int status = m_process->Wait();
  const std::string where = m_path + ": frame " + std::to_string(m_first + m_frames);
  if (status != 0)
    throw host::HostError(WithTail(where + ": ffmpeg could not decode the video", *m_process));
  if (got != 0)
    throw host::HostError(where + ": truncated frame (" + std::to_string(got) + " of " +
                          std::to_string(frame.pixels.size()) + " bytes)");
  // Started past the end, a video has no frames left, which is not an error.
  if (m_frames == 0 && m_first == 1)
    throw host::HostError(WithTail(m_path + ": the video has no frames", *m_process));
  return false;
}

VideoWriter::VideoWriter(const std::string& path, int writeFd, OutputFormat format, int width,
                         int height, const std::string& frameRate, const FfmpegTools& tools)
    : m_path(path), m_width(width), m_height(height) {
  std::vector<std::string> argv = {tools.ffmpeg,
                                   "-v",
                                   "error",
                                   "-f",
                                   "rawvideo",
                                   "-pix_fmt",
                                   "bgra",
                                   "-s",
                                   std::to_string(width) + "x" + std::to_string(height),
                                   "-framerate",
                                   frameRate.empty() ? "25" : frameRate,
                                   "-i",
                                   "-"};
  switch (format) {
    case OutputFormat::ProRes4444:
      argv.insert(argv.end(), {"-c:v", "prores_ks", "-profile:v", "4444", "-pix_fmt",
                               "yuva444p10le", "-f", "mov"});
      break;
    case OutputFormat::Vp9Alpha:
      argv.insert(argv.end(), {"-c:v", "libvpx-vp9", "-pix_fmt", "yuva420p", "-crf", "24", "-b:v",
                               "0", "-auto-alt-ref", "0", "-f", "webm"});
      break;
    case OutputFormat::OpaqueVideo: {
      const std::string muxer = OpaqueMuxer(LowerExtension(path));
      if (muxer.empty()) throw host::HostError(path + ": not a video output");
      // The muxer's own codec; 4:2:0 (even sides) where players expect it.
      if (muxer != "gif")
        argv.insert(argv.end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-pix_fmt", "yuv420p"});
      argv.insert(argv.end(), {"-f", muxer});
      break;
    }
    default:
      throw host::HostError(path + ": not a video output");
  }
  // The child's descriptor 3, opened again through /dev/fd: the same file,
  // which ffmpeg can seek in (a ProRes .mov is finished by seeking back).
  argv.insert(argv.end(), {"-y", "file:/dev/fd/3"});
  m_process = std::make_unique<Subprocess>(argv, Subprocess::Pipes{true, false, writeFd},
                                           FfmpegMissingMessage(tools.ffmpeg, path));
}

void VideoWriter::WriteFrame(const BgraImage& frame) {
  const std::string where = m_path + ": frame " + std::to_string(m_frames + 1);
  if (frame.width != m_width || frame.height != m_height)
    throw host::HostError(where + ": size " + std::to_string(frame.width) + " x " +
                          std::to_string(frame.height) + " differs from the video's " +
                          std::to_string(m_width) + " x " + std::to_string(m_height));
  if (!m_process->WriteAll(frame.pixels.data(), frame.pixels.size())) {
    m_process->Wait();
    throw host::HostError(WithTail(where + ": ffmpeg stopped while encoding", *m_process));
  }
  ++m_frames;
}

void VideoWriter::Finish() {
  m_process->CloseInput();
  if (m_process->Wait() != 0)
    throw host::HostError(WithTail(m_path + ": ffmpeg could not encode the video", *m_process));
}

}  // namespace mattix::media
