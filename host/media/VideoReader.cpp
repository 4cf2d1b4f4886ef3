#include "host/media/VideoReader.h"

#include "host/base/HostError.h"
#include "host/media/DeepKey.h"
#include "host/media/internal/AvLog.h"
#include "host/media/internal/Rotate.h"
#include "host/media/internal/YuvTable.h"

#include <algorithm>
#include <atomic>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace mattix::media {

namespace {

// Decode errors in a row after which the stream is taken as ended.
constexpr int kMaxErrorsInARow = 1000;

// swscale's flags for a conversion to RGB: MLT's for frames of the same size
// (the nearest chroma sample, accurate rounding, chroma interpolated to every
// pixel), bicubic with the same rounding when the frame is stretched.
int ConversionFlags(bool sameSize) {
  return sameSize ? internal::kToBgraFlags
                  : SWS_BICUBIC | SWS_FULL_CHR_H_INP | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND;
}

std::atomic<std::int64_t> g_pixelsBeforeTable{std::int64_t(1) << 24};
std::atomic<std::uint64_t> g_framesThroughTable{0};

}  // namespace

struct VideoReader::Decoder {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  SwsContext* sws = nullptr;
  const SwsContext* swsColoured = nullptr;  // the context whose colour details are set
  int stream = -1;
  std::size_t logMark = 0;
  bool draining = false;
  double startTime = 0.0;  // seconds: the container's first timestamp
  std::vector<std::uint8_t> converted;
  // 4:2:0 frames at their own size are converted through a table of
  // swscale's conversion once as many pixels as it holds have been
  // converted directly (which bounds what it costs a short clip); its first
  // frame is converted both ways, and a table that differs is dropped.
  std::uint64_t pixelsDirect = 0;
  std::unique_ptr<internal::YuvTable> table;
  bool tableChecked = false;
  bool tableRefused = false;

  ~Decoder() {
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }

  // The next decoded frame into `frame`; false at the end of the stream.
  bool Next() {
    int errors = 0;
    for (;;) {
      const int received = avcodec_receive_frame(codec, frame);
      if (received == 0) return true;
      if (received == AVERROR_EOF) return false;
      if (received != AVERROR(EAGAIN)) {
        if (++errors > kMaxErrorsInARow) return false;
        continue;
      }
      if (draining) return false;
      const int read = av_read_frame(format, packet);
      if (read < 0) {
        // The end, or a read error that ends the file as ffmpeg ends it.
        if (read != AVERROR_EOF)
          av_log(format, AV_LOG_ERROR, "Error reading the file: %s\n",
                 internal::AvErrorText(read).c_str());
        avcodec_send_packet(codec, nullptr);
        draining = true;
        continue;
      }
      if (packet->stream_index == stream) {
        const int sent = avcodec_send_packet(codec, packet);
        if (sent < 0 && sent != AVERROR(EAGAIN))
          av_log(codec, AV_LOG_ERROR, "Error while decoding: %s\n",
                 internal::AvErrorText(sent).c_str());
      }
      av_packet_unref(packet);
    }
  }
};

VideoReader::VideoReader(const std::string& path, const VideoInfo& info, long first)
    : m_path(path), m_info(info), m_first(first), m_decoder(std::make_unique<Decoder>()) {
  internal::InstallAvLog();
  Decoder& d = *m_decoder;
  d.logMark = internal::AvLogMark();
  const auto fail = [&](const std::string& what, int code) {
    std::string message = path + ": " + what;
    if (code < 0) message += " (" + internal::AvErrorText(code) + ")";
    throw host::HostError(internal::WithAvLogSince(message, d.logMark));
  };
  if (const int r = avformat_open_input(&d.format, path.c_str(), nullptr, nullptr); r < 0)
    fail("cannot open as video", r);
  if (const int r = avformat_find_stream_info(d.format, nullptr); r < 0)
    fail("cannot read as video", r);
  d.stream = av_find_best_stream(d.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  // The first video stream, as ffprobe describes it (VideoInfo).
  for (unsigned i = 0; i < d.format->nb_streams; ++i)
    if (d.format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      d.stream = int(i);
      break;
    }
  if (d.stream < 0) fail("has no video stream", 0);
  AVStream* stream = d.format->streams[d.stream];
  // libavcodec's own VP9 decoder drops the alpha channel; libvpx keeps it.
  const AVCodec* decoder = info.codec == "vp9" && info.alpha
                               ? avcodec_find_decoder_by_name("libvpx-vp9")
                               : avcodec_find_decoder(stream->codecpar->codec_id);
  if (!decoder) fail("no decoder for its " + info.codec + " video", 0);
  d.codec = avcodec_alloc_context3(decoder);
  d.packet = av_packet_alloc();
  d.frame = av_frame_alloc();
  if (!d.codec || !d.packet || !d.frame) fail("out of memory", 0);
  if (const int r = avcodec_parameters_to_context(d.codec, stream->codecpar); r < 0)
    fail("cannot set up its decoder", r);
  d.codec->thread_count = 0;  // as many as the machine has, as ffmpeg decodes
  d.codec->pkt_timebase = stream->time_base;
  if (const int r = avcodec_open2(d.codec, decoder, nullptr); r < 0)
    fail("cannot open its decoder", r);
  for (unsigned i = 0; i < d.format->nb_streams; ++i)
    if (int(i) != d.stream) d.format->streams[i]->discard = AVDISCARD_ALL;
  if (d.format->start_time != AV_NOPTS_VALUE)
    d.startTime = double(d.format->start_time) / AV_TIME_BASE;

  // Frame `first` starts at (first - 1) / fps after the stream's start; half
  // a frame earlier keeps it and drops the one before, whatever the rounding
  // of the timestamps. A seek lands on a keyframe at or before its time, by
  // decoding timestamps, which can be shown after frames that precede it in
  // display order (B-frames): it goes 2 seconds before, and the frames up to
  // `first` are decoded and dropped.
  if (first > 1 && info.constantRate) {
    const double preroll = std::max(0.0, (double(first) - 1.5) / info.fps - 2.0);
    if (preroll > 0.0) {
      const std::int64_t at = std::int64_t((d.startTime + preroll) * AV_TIME_BASE);
      if (const int r = avformat_seek_file(d.format, -1, INT64_MIN, at, at, 0); r < 0)
        fail("cannot seek to frame " + std::to_string(first), r);
    }
  }
}

VideoReader::~VideoReader() = default;

bool VideoReader::ReadFrame(BgraImage& image, DeepImage* deep) {
  if (m_ended) return false;
  Decoder& d = *m_decoder;
  const bool seek = m_first > 1 && m_info.constantRate;
  const double start = (double(m_first) - 1.5) / m_info.fps;
  const AVRational base = d.format->streams[d.stream]->time_base;
  long decoded = 0;
  for (;;) {
    if (!d.Next()) {
      m_ended = true;
      // Started past the end, a video has no frames left, which is not an error.
      if (m_frames == 0 && m_first == 1) {
        throw host::HostError(
            internal::WithAvLogSince(m_path + ": the video has no frames", d.logMark));
      }
      return false;
    }
    if (m_frames > 0 || m_first == 1) break;  // past the start: every frame
    bool reached = false;
    if (seek) {
      const std::int64_t ts = d.frame->best_effort_timestamp;
      reached = ts == AV_NOPTS_VALUE || double(ts) * av_q2d(base) - d.startTime >= start;
    } else {
      reached = ++decoded >= m_first;  // the decoded frames, counted from 1
    }
    if (reached) break;
    av_frame_unref(d.frame);
  }
  const std::string where = m_path + ": frame " + std::to_string(m_first + m_frames);
  AVFrame* f = d.frame;
  const bool turned = m_info.rotation == 90 || m_info.rotation == 270;
  const int width = turned ? m_info.height : m_info.width;  // before turning
  const int height = turned ? m_info.width : m_info.height;
  const bool full = deep && m_info.sampleBits > 8;
  const AVPixelFormat target = full ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_BGRA;
  const AVPixelFormat source = AVPixelFormat(f->format);
  d.sws = sws_getCachedContext(d.sws, f->width, f->height, source, width, height, target,
                               ConversionFlags(f->width == width && f->height == height), nullptr,
                               nullptr, nullptr);
  if (!d.sws) {
    av_frame_unref(f);
    const char* name = av_get_pix_fmt_name(source);
    throw host::HostError(where + ": cannot convert its pixels (" + (name ? name : "unknown") +
                          ", " + std::to_string(f->width) + " x " + std::to_string(f->height) +
                          ")");
  }
  if (d.swsColoured != d.sws) {
    // The stream's matrix and range (RGB sources take neither).
    internal::SetToBgraColour(d.sws, m_info.colour.matrix, m_info.colour.fullRange);
    d.swsColoured = d.sws;
  }
  const std::size_t pixelBytes = full ? 8 : 4;
  // An upright 8-bit frame is converted straight into the image; the others
  // go through a buffer that is turned or widened.
  const bool direct = !full && m_info.rotation == 0;
  if (direct) {
    if (deep) *deep = DeepImage();
    if (image.width != width || image.height != height) image = BgraImage(width, height);
  } else {
    d.converted.resize(std::size_t(width) * std::size_t(height) * pixelBytes);
  }
  std::uint8_t* planes[4] = {direct ? image.pixels.data() : d.converted.data(), nullptr, nullptr,
                             nullptr};
  const int strides[4] = {int(std::size_t(width) * pixelBytes), 0, 0, 0};
  const bool tabled = direct && source == AV_PIX_FMT_YUV420P && f->width == width &&
                      f->height == height && width % 2 == 0 && height % 2 == 0 && !d.tableRefused;
  const std::int64_t before = g_pixelsBeforeTable.load();
  if (tabled && !d.table && before >= 0 && d.pixelsDirect >= std::uint64_t(before)) {
    d.table = internal::YuvTable::Make(m_info.colour.matrix, m_info.colour.fullRange);
    d.tableRefused = !d.table;
  }
  if (tabled && d.table && d.tableChecked) {
    d.table->Convert(f->data, f->linesize, width, height, planes[0], strides[0]);
    ++g_framesThroughTable;
  } else {
    sws_scale(d.sws, f->data, f->linesize, 0, f->height, planes, strides);
    if (tabled) d.pixelsDirect += std::uint64_t(width) * std::uint64_t(height);
    if (tabled && d.table) {
      std::vector<std::uint8_t> check(image.pixels.size());
      d.table->Convert(f->data, f->linesize, width, height, check.data(), strides[0]);
      d.tableChecked = check == image.pixels;
      if (!d.tableChecked) {
        d.table.reset();
        d.tableRefused = true;
      }
    }
  }
  av_frame_unref(f);
  if (direct) {
    ++m_frames;
    return true;
  }
  if (full) {
    std::vector<std::uint8_t> upright(d.converted.size());
    internal::RotatePixels(d.converted.data(), upright.data(), width, height, pixelBytes,
                           m_info.rotation);
    *deep = DeepImage(m_info.width, m_info.height);
    deep->sampleBits = m_info.sampleBits;
    const auto* samples = reinterpret_cast<const std::uint16_t*>(upright.data());
    for (std::size_t i = 0; i < deep->samples.size(); ++i)
      deep->samples[i] = float(samples[i]) / 65535.0f;
    image = EightBitView(*deep);
  } else {
    if (deep) *deep = DeepImage();
    if (image.width != m_info.width || image.height != m_info.height)
      image = BgraImage(m_info.width, m_info.height);
    internal::RotatePixels(d.converted.data(), image.pixels.data(), width, height, 4,
                           m_info.rotation);
  }
  ++m_frames;
  return true;
}

std::string VideoReader::Shortfall(long last) const {
  const long missing = MissingFrames(m_info.frameCount, m_first, last, m_frames);
  if (missing == 0) return {};
  const long end = std::min(m_info.frameCount, last);
  const std::string wanted =
      m_first == 1 && end == m_info.frameCount
          ? "of its " + std::to_string(m_info.frameCount) + " frames"
          : "of its frames " + std::to_string(m_first) + " to " + std::to_string(end);
  return m_path + ": only " + std::to_string(m_frames) + " " + wanted +
         " arrived: the video ends early (truncated or damaged; its container declares " +
         std::to_string(m_info.frameCount) + " frames)";
}

void VideoReader::SetPixelsBeforeTable(std::int64_t pixels) { g_pixelsBeforeTable.store(pixels); }

std::uint64_t VideoReader::FramesThroughTable() { return g_framesThroughTable.load(); }

std::string VideoReader::DecoderErrors() const { return internal::AvLogSince(m_decoder->logMark); }

}  // namespace mattix::media
