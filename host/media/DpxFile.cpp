#include "host/media/DpxFile.h"

#include "host/base/HostError.h"
#include "host/media/DeepKey.h"
#include "host/media/internal/AvLog.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace mattix::media {

namespace {

// libav's objects of one picture, freed together.
struct Codec {
  AVCodecContext* context = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* sws = nullptr;
  ~Codec() {
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
  }
};

// The error maker of one decode or encode: "NAME: WHAT (why)", then the
// lines libav logged since it began.
auto Failure(const std::string& name, const char* what) {
  internal::InstallAvLog();
  return [&name, what, mark = internal::AvLogMark()](const std::string& why) {
    return host::HostError(internal::WithAvLogSince(name + ": " + what + " (" + why + ")", mark));
  };
}

}  // namespace

bool IsDpx(const std::uint8_t* data, std::size_t size) {
  return size >= 4 && (std::memcmp(data, "SDPX", 4) == 0 || std::memcmp(data, "XPDS", 4) == 0);
}

BgraImage DecodeDpx(const std::uint8_t* data, std::size_t size, const std::string& name,
                    std::optional<DeepImage>* deep) {
  const auto fail = Failure(name, "corrupt or unreadable DPX");
  Codec c;
  const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_DPX);
  if (!decoder) throw host::HostError(name + ": this libavcodec has no DPX decoder");
  c.context = avcodec_alloc_context3(decoder);
  // A header naming a larger picture is refused before its buffer is made.
  if (c.context) c.context->max_pixels = std::int64_t(kMaxFramePixels);
  if (!c.context || !c.packet || !c.frame || avcodec_open2(c.context, decoder, nullptr) < 0 ||
      size > std::size_t(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE ||
      av_new_packet(c.packet, int(size)) < 0)
    throw host::HostError(name + ": cannot decode DPX: out of memory");
  std::memcpy(c.packet->data, data, size);
  if (int r = avcodec_send_packet(c.context, c.packet); r < 0) throw fail(internal::AvErrorText(r));
  avcodec_send_packet(c.context, nullptr);
  if (int r = avcodec_receive_frame(c.context, c.frame); r < 0)
    throw fail(internal::AvErrorText(r));
  const AVFrame& f = *c.frame;
  if (!FrameSizeAllowed(std::uint64_t(f.width), std::uint64_t(f.height)))
    throw host::HostError(
        FrameTooLargeMessage(name, "picture", std::uint64_t(f.width), std::uint64_t(f.height)));
  const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(AVPixelFormat(f.format));
  if (format && (format->flags & AV_PIX_FMT_FLAG_FLOAT))
    throw host::HostError(name + ": DPX of floating-point samples is not read here");
  const int bits = format ? format->comp[0].depth : 8;
  const bool wide = bits > 8;
  c.sws = sws_getContext(f.width, f.height, AVPixelFormat(f.format), f.width, f.height,
                         wide ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_BGRA, SWS_POINT | SWS_ACCURATE_RND,
                         nullptr, nullptr, nullptr);
  if (!c.sws) throw fail("its pixel layout cannot be converted");
  BgraImage image;
  std::vector<std::uint16_t> samples;
  std::uint8_t* planes[4] = {};
  int strides[4] = {};
  if (wide) {
    samples.resize(std::size_t(f.width) * std::size_t(f.height) * 4);
    planes[0] = reinterpret_cast<std::uint8_t*>(samples.data());
    strides[0] = f.width * 8;
  } else {
    image = BgraImage(f.width, f.height);
    planes[0] = image.pixels.data();
    strides[0] = int(image.Stride());
  }
  sws_scale(c.sws, f.data, f.linesize, 0, f.height, planes, strides);
  if (deep) deep->reset();
  if (!wide) return image;
  DeepImage full(f.width, f.height);
  full.sampleBits = bits;
  for (std::size_t i = 0; i < samples.size(); ++i) full.samples[i] = float(samples[i]) / 65535.0f;
  image = EightBitView(full);
  if (deep) *deep = std::move(full);
  return image;
}

std::vector<std::uint8_t> EncodeDpx(const BgraImage& image, const DeepImage* deep,
                                    const std::string& name) {
  const auto fail = Failure(name, "cannot encode DPX");
  const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_DPX);
  if (!encoder) throw host::HostError(name + ": this libavcodec has no DPX encoder");
  Codec c;
  c.context = avcodec_alloc_context3(encoder);
  if (!c.context || !c.packet || !c.frame) throw fail("out of memory");
  const int width = deep ? deep->width : image.width, height = deep ? deep->height : image.height;
  c.context->width = width;
  c.context->height = height;
  c.context->pix_fmt = deep ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_RGBA;
  c.context->time_base = AVRational{1, 25};
  if (int r = avcodec_open2(c.context, encoder, nullptr); r < 0)
    throw fail(internal::AvErrorText(r));
  c.frame->format = c.context->pix_fmt;
  c.frame->width = width;
  c.frame->height = height;
  if (av_frame_get_buffer(c.frame, 0) < 0) throw fail("out of memory");
  if (deep) {
    const std::vector<std::uint16_t> samples = SixteenBitSamples(*deep);
    for (int y = 0; y < height; ++y)
      std::memcpy(c.frame->data[0] + std::ptrdiff_t(y) * c.frame->linesize[0],
                  samples.data() + std::size_t(y) * std::size_t(width) * 4, std::size_t(width) * 8);
  } else {
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* in = image.Row(y);
      std::uint8_t* out = c.frame->data[0] + std::ptrdiff_t(y) * c.frame->linesize[0];
      for (int x = 0; x < width; ++x, in += 4, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = in[3];
      }
    }
  }
  if (int r = avcodec_send_frame(c.context, c.frame); r < 0) throw fail(internal::AvErrorText(r));
  if (int r = avcodec_receive_packet(c.context, c.packet); r < 0)
    throw fail(internal::AvErrorText(r));
  return std::vector<std::uint8_t>(c.packet->data, c.packet->data + c.packet->size);
}

}  // namespace mattix::media
