#include "host/media/VideoWriter.h"

#include "host/base/HostError.h"
#include "host/media/DeepKey.h"
#include "host/media/internal/AvLog.h"
#include "host/media/internal/YuvaTable.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libswscale/swscale.h>
}

namespace mattix::media {

class VideoPicture {
 public:
  VideoPicture() : frame(av_frame_alloc()) {}
  ~VideoPicture() { av_frame_free(&frame); }
  VideoPicture(const VideoPicture&) = delete;
  VideoPicture& operator=(const VideoPicture&) = delete;
  AVFrame* frame;
};

namespace {

constexpr int kIoBufferBytes = 1 << 16;

std::atomic<std::int64_t> g_pixelsBeforeTable{std::int64_t(1) << 24};
std::atomic<std::uint64_t> g_framesThroughTable{0};

// libavformat's output: the descriptor, written at its offset and sought in
// (a .mov is completed by seeking back to its header).
int WriteToFile(void* opaque, std::uint8_t* data, int size) {
  const int fd = *static_cast<int*>(opaque);
  int left = size;
  while (left > 0) {
    const ssize_t n = ::write(fd, data, std::size_t(left));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return AVERROR(errno);
    data += n;
    left -= int(n);
  }
  return size;
}

std::int64_t SeekInFile(void* opaque, std::int64_t offset, int whence) {
  const int fd = *static_cast<int*>(opaque);
  if (whence & AVSEEK_SIZE) {
    struct stat st;
    return ::fstat(fd, &st) == 0 ? std::int64_t(st.st_size) : AVERROR(errno);
  }
  const off_t at = ::lseek(fd, off_t(offset), whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : std::int64_t(at);
}

}  // namespace

struct VideoWriter::Encoder {
  int fd = -1;
  AVFormatContext* format = nullptr;
  AVIOContext* io = nullptr;
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  AVPacket* packet = nullptr;
  AVPixelFormat pixels = AV_PIX_FMT_NONE;
  // The encoder's frames, each one buffer of every plane: a buffer comes
  // back to the pool when the encoder and the pipeline have let go of it, so
  // its pages are not faulted in anew for every frame.
  AVBufferPool* pool = nullptr;
  int linesize[4] = {};
  int width = 0;  // the encoded size (a 4:2:0 preview's sides padded to even)
  int height = 0;
  bool padded = false;
  VideoColour colour;
  std::size_t logMark = 0;
  mutable std::mutex mutex;                  // guards the idle converters and the table
  mutable std::vector<SwsContext*> idle[2];  // from BGRA, from 16-bit RGBA
  // 8-bit frames to yuva444p10 go through a table of swscale's conversion
  // once as many pixels as it holds went through swscale (which bounds what
  // it costs a short video); its first frame is converted both ways, and a
  // table that differs is dropped.
  mutable std::uint64_t pixelsDirect = 0;
  mutable std::shared_ptr<const internal::YuvaTable> table;
  mutable bool tableChecked = false;
  mutable bool tableRefused = false;

  ~Encoder() {
    for (auto& list : idle)
      for (SwsContext* c : list) sws_freeContext(c);
    av_buffer_pool_uninit(&pool);  // freed when the last frame lets go
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    if (format) {
      format->pb = nullptr;
      avformat_free_context(format);
    }
    if (io) av_freep(&io->buffer);
    avio_context_free(&io);
  }

  // Sends `frame` (nullptr: the end) and writes the packets it gives.
  // Returns 0 or libav's error.
  int Encode(const AVFrame* frame) {
    int r = avcodec_send_frame(codec, frame);
    if (r < 0) return r;
    for (;;) {
      r = avcodec_receive_packet(codec, packet);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return 0;
      if (r < 0) return r;
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      r = av_interleaved_write_frame(format, packet);  // takes the packet's data
      if (r < 0) return r;
    }
  }
};

VideoWriter::VideoWriter(const std::string& path, int writeFd, OutputFormat format, int width,
                         int height, const std::string& frameRate, const VideoColour& colour)
    : m_path(path), m_width(width), m_height(height), m_encoder(std::make_unique<Encoder>()) {
  internal::InstallAvLog();
  Encoder& e = *m_encoder;
  e.fd = writeFd;
  e.colour = colour;
  e.logMark = internal::AvLogMark();
  const auto fail = [&](const std::string& what, int code) {
    std::string message = path + ": " + what;
    if (code < 0) message += " (" + internal::AvErrorText(code) + ")";
    throw host::HostError(internal::WithAvLogSince(message, e.logMark));
  };
  std::string muxer, encoderName;
  switch (format) {
    case OutputFormat::ProRes4444:
      muxer = "mov";
      encoderName = "prores_ks";
      e.pixels = AV_PIX_FMT_YUVA444P10LE;
      break;
    case OutputFormat::Vp9Alpha:
      muxer = "webm";
      encoderName = "libvpx-vp9";
      e.pixels = AV_PIX_FMT_YUVA420P;
      break;
    case OutputFormat::OpaqueVideo:
      muxer = OpaqueMuxerOf(path);
      if (muxer.empty()) fail("not a video output", 0);
      break;
    default:
      fail("not a video output", 0);
  }
  if (const int r = avformat_alloc_output_context2(&e.format, nullptr, muxer.c_str(), nullptr);
      r < 0 || !e.format)
    fail("cannot write " + muxer, r);
  const AVCodec* encoder = nullptr;
  if (encoderName.empty()) {
    // The muxer's own codec, as ffmpeg chooses it for the name.
    const AVCodecID id =
        av_guess_codec(e.format->oformat, nullptr, path.c_str(), nullptr, AVMEDIA_TYPE_VIDEO);
    encoder = avcodec_find_encoder(id);
    if (encoder) encoderName = encoder->name;
  } else {
    encoder = avcodec_find_encoder_by_name(encoderName.c_str());
  }
  if (!encoder)
    fail("this ffmpeg (libavcodec) has no " +
             (encoderName.empty() ? "encoder for " + muxer : encoderName + " encoder"),
         0);
  if (e.pixels == AV_PIX_FMT_NONE) {
    // 4:2:0 where players expect it; a GIF's palette of its own.
    e.pixels = muxer == "gif" ? avcodec_find_best_pix_fmt_of_list(encoder->pix_fmts,
                                                                  AV_PIX_FMT_BGRA, 1, nullptr)
                              : AV_PIX_FMT_YUV420P;
    e.padded = muxer != "gif";
  }
  e.width = e.padded ? (width + 1) / 2 * 2 : width;
  e.height = e.padded ? (height + 1) / 2 * 2 : height;
  AVRational rate{25, 1};
  if (!frameRate.empty() && (av_parse_video_rate(&rate, frameRate.c_str()) < 0 || rate.num <= 0))
    fail("unusable frame rate " + frameRate, 0);
  e.codec = avcodec_alloc_context3(encoder);
  e.packet = av_packet_alloc();
  e.stream = avformat_new_stream(e.format, nullptr);
  if (!e.codec || !e.packet || !e.stream) fail("out of memory", 0);
  AVCodecContext& c = *e.codec;
  c.width = e.width;
  c.height = e.height;
  c.pix_fmt = e.pixels;
  c.time_base = av_inv_q(rate);
  c.framerate = rate;
  c.sample_aspect_ratio = AVRational{1, 1};
  c.thread_count = 0;  // as many as the machine has, as ffmpeg encodes
  const bool yuv =
      !(av_pix_fmt_desc_get(e.pixels)->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) &&
      av_pix_fmt_desc_get(e.pixels)->nb_components >= 3;
  if (yuv) {
    c.color_range = AVCOL_RANGE_MPEG;
    c.colorspace = AVColorSpace(colour.matrix);
  }
  c.color_trc = AVColorTransferCharacteristic(colour.transfer);
  c.color_primaries = AVColorPrimaries(colour.primaries);
  if (e.format->oformat->flags & AVFMT_GLOBALHEADER) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (encoderName == "prores_ks") av_opt_set(c.priv_data, "profile", "4444", 0);
  if (encoderName == "libvpx-vp9") {
    av_opt_set(c.priv_data, "crf", "24", 0);
    av_opt_set(c.priv_data, "auto-alt-ref", "0", 0);
    c.bit_rate = 0;
  }
  if (const int r = avcodec_open2(e.codec, encoder, nullptr); r < 0)
    fail("cannot open the " + encoderName + " encoder", r);
  {
    // Rows padded to 64 pixels, as av_frame_get_buffer lays them out.
    std::size_t planes[4] = {};
    std::ptrdiff_t lines[4] = {};
    int r = av_image_fill_linesizes(e.linesize, e.pixels, FFALIGN(e.width, 64));
    for (int i = 0; i < 4; ++i) lines[i] = e.linesize[i];
    if (r >= 0) r = av_image_fill_plane_sizes(planes, e.pixels, e.height, lines);
    if (r < 0) fail("cannot lay out the encoder's frames", r);
    std::size_t bytes = 64;  // as av_frame_get_buffer, room for vector reads past the end
    for (std::size_t plane : planes) bytes += plane;
    e.pool = av_buffer_pool_init(bytes, av_buffer_alloc);
    if (!e.pool) fail("out of memory", 0);
  }
  if (const int r = avcodec_parameters_from_context(e.stream->codecpar, e.codec); r < 0)
    fail("cannot set up the stream", r);
  e.stream->time_base = c.time_base;
  e.stream->avg_frame_rate = rate;
  auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
  e.io = buffer ? avio_alloc_context(buffer, kIoBufferBytes, 1, &e.fd, nullptr, WriteToFile,
                                     SeekInFile)
                : nullptr;
  if (!e.io) {
    av_free(buffer);
    fail("out of memory", 0);
  }
  e.format->pb = e.io;
  if (const int r = avformat_write_header(e.format, nullptr); r < 0)
    fail("cannot write the video's header", r);
}

VideoWriter::~VideoWriter() = default;

std::shared_ptr<VideoPicture> VideoWriter::Convert(const BgraImage& frame, long number,
                                                   const DeepImage* deep) const {
  const std::string where = m_path + ": frame " + std::to_string(number);
  const int w = deep ? deep->width : frame.width, h = deep ? deep->height : frame.height;
  if (w != m_width || h != m_height)
    throw host::HostError(where + ": size " + std::to_string(w) + " x " + std::to_string(h) +
                          " differs from the video's " + std::to_string(m_width) + " x " +
                          std::to_string(m_height));
  const Encoder& e = *m_encoder;
  auto picture = std::make_shared<VideoPicture>();
  AVFrame* f = picture->frame;
  if (!f) throw host::HostError(where + ": out of memory");
  f->format = e.pixels;
  f->width = e.width;
  f->height = e.height;
  f->buf[0] = av_buffer_pool_get(e.pool);
  if (!f->buf[0] ||
      av_image_fill_pointers(f->data, e.pixels, e.height, f->buf[0]->data, e.linesize) < 0)
    throw host::HostError(where + ": out of memory");
  for (int i = 0; i < 4; ++i) f->linesize[i] = e.linesize[i];
  f->extended_data = f->data;
  if (e.padded) {
    std::ptrdiff_t lines[4];
    for (int i = 0; i < 4; ++i) lines[i] = f->linesize[i];
    av_image_fill_black(f->data, lines, e.pixels, AVCOL_RANGE_MPEG, e.width, e.height);
  }
  f->color_range = e.codec->color_range;
  f->colorspace = e.codec->colorspace;
  f->color_trc = e.codec->color_trc;
  f->color_primaries = e.codec->color_primaries;

  // The source rows: the frame's BGRA, or the deep frame as 16-bit RGBA.
  std::vector<std::uint16_t> wide;
  const std::uint8_t* source = frame.pixels.data();
  int sourceStride = int(frame.Stride());
  if (deep) {
    wide = SixteenBitSamples(*deep);
    source = reinterpret_cast<const std::uint8_t*>(wide.data());
    sourceStride = w * 8;
  }
  const bool tabled = !deep && e.pixels == AV_PIX_FMT_YUVA444P10LE && !e.padded;
  std::shared_ptr<const internal::YuvaTable> table;
  bool check = false;
  SwsContext* sws = nullptr;
  const int kind = deep ? 1 : 0;
  {
    std::lock_guard<std::mutex> lock(e.mutex);
    const std::int64_t before = g_pixelsBeforeTable.load();
    if (tabled && !e.table && !e.tableRefused && before >= 0 &&
        e.pixelsDirect >= std::uint64_t(before)) {
      e.table = internal::YuvaTable::Make(e.colour.matrix);
      e.tableRefused = !e.table;
    }
    if (tabled) table = e.table;
    check = table && !e.tableChecked;
    if (!(table && !check) && !e.idle[kind].empty()) {
      sws = e.idle[kind].back();
      e.idle[kind].pop_back();
    }
  }
  if (table && !check) {
    table->Convert(source, sourceStride, w, h, f->data, f->linesize);
    ++g_framesThroughTable;
    return picture;
  }
  if (!sws) {
    // MLT's flags from RGB to Y'CbCr: bicubic chroma, accurate rounding.
    sws = sws_getContext(w, h, deep ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_BGRA, w, h, e.pixels,
                         internal::kFromBgraFlags, nullptr, nullptr, nullptr);
    if (!sws) throw host::HostError(where + ": cannot convert to the encoder's pixels");
    internal::SetFromBgraColour(sws, e.colour.matrix);
  }
  const std::uint8_t* planes[4] = {source, nullptr, nullptr, nullptr};
  const int strides[4] = {sourceStride, 0, 0, 0};
  sws_scale(sws, planes, strides, 0, h, f->data, f->linesize);
  bool same = true;
  if (check) {
    // The table's frame against swscale's, plane by plane.
    std::vector<std::uint8_t> buffer(std::size_t(f->linesize[0]) * std::size_t(h) * 4);
    std::uint8_t* tablePlanes[4];
    for (int p = 0; p < 4; ++p)
      tablePlanes[p] =
          buffer.data() + std::size_t(f->linesize[0]) * std::size_t(h) * std::size_t(p);
    const int lines[4] = {f->linesize[0], f->linesize[0], f->linesize[0], f->linesize[0]};
    table->Convert(source, sourceStride, w, h, tablePlanes, lines);
    for (int p = 0; p < 4 && same; ++p)
      for (int y = 0; y < h && same; ++y)
        same =
            std::memcmp(tablePlanes[p] + std::ptrdiff_t(lines[p]) * y,
                        f->data[p] + std::ptrdiff_t(f->linesize[p]) * y, std::size_t(w) * 2) == 0;
  }
  std::lock_guard<std::mutex> lock(e.mutex);
  e.idle[kind].push_back(sws);
  if (tabled) e.pixelsDirect += std::uint64_t(w) * std::uint64_t(h);
  if (check && e.table == table) {
    e.tableChecked = same;
    if (!same) {
      e.table.reset();
      e.tableRefused = true;
    }
  }
  return picture;
}

void VideoWriter::SetPixelsBeforeTable(std::int64_t pixels) { g_pixelsBeforeTable.store(pixels); }

std::uint64_t VideoWriter::FramesThroughTable() { return g_framesThroughTable.load(); }

void VideoWriter::WritePicture(VideoPicture& picture) {
  Encoder& e = *m_encoder;
  picture.frame->pts = m_frames;
  if (const int r = e.Encode(picture.frame); r < 0) {
    throw host::HostError(
        internal::WithAvLogSince(m_path + ": frame " + std::to_string(m_frames + 1) +
                                     ": cannot encode (" + internal::AvErrorText(r) + ")",
                                 e.logMark));
  }
  ++m_frames;
}

void VideoWriter::Finish() {
  Encoder& e = *m_encoder;
  int r = e.Encode(nullptr);
  if (r >= 0) r = av_write_trailer(e.format);
  if (r >= 0) avio_flush(e.io);
  if (r >= 0 && e.io->error < 0) r = e.io->error;
  if (r < 0) {
    throw host::HostError(internal::WithAvLogSince(
        m_path + ": cannot complete the video (" + internal::AvErrorText(r) + ")", e.logMark));
  }
}

}  // namespace mattix::media
