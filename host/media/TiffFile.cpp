#include "host/media/TiffFile.h"

#include "host/base/HostError.h"
#include "host/media/DeepKey.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace mattix::media {

namespace {

// The file in memory that libtiff reads or writes through its client
// procedures.
struct MemoryFile {
  std::vector<std::uint8_t> bytes;     // written
  const std::uint8_t* data = nullptr;  // read
  std::size_t size = 0;
  std::size_t pos = 0;
  bool writing = false;
  std::string error;  // libtiff's first error
};

tmsize_t ReadProc(thandle_t h, void* out, tmsize_t count) {
  auto* f = static_cast<MemoryFile*>(h);
  const std::size_t n =
      std::min<std::size_t>(std::size_t(count), f->size - std::min(f->pos, f->size));
  std::memcpy(out, f->data + f->pos, n);
  f->pos += n;
  return tmsize_t(n);
}

tmsize_t WriteProc(thandle_t h, void* in, tmsize_t count) {
  auto* f = static_cast<MemoryFile*>(h);
  if (!f->writing) return -1;
  const std::size_t end = f->pos + std::size_t(count);
  if (end > f->bytes.size()) f->bytes.resize(end);
  std::memcpy(f->bytes.data() + f->pos, in, std::size_t(count));
  f->pos = end;
  return count;
}

toff_t SeekProc(thandle_t h, toff_t offset, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  const std::size_t length = f->writing ? f->bytes.size() : f->size;
  const std::size_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? length : 0;
  f->pos = base + std::size_t(offset);
  return toff_t(f->pos);
}

int CloseProc(thandle_t) { return 0; }

toff_t SizeProc(thandle_t h) {
  auto* f = static_cast<MemoryFile*>(h);
  return toff_t(f->writing ? f->bytes.size() : f->size);
}

// libtiff's printf-style message, formatted with its own arguments.
__attribute__((format(printf, 4, 0))) int OnError(TIFF*, void* user, const char* module,
                                                  const char* format, va_list args) {
  auto* f = static_cast<MemoryFile*>(user);
  if (f->error.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    f->error = std::string(module ? module : "libtiff") + ": " + text;
  }
  return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle Open(MemoryFile& file, const char* mode) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &file);
  TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &file);
  TIFF* t = TIFFClientOpenExt("memory", mode, &file, ReadProc, WriteProc, SeekProc, CloseProc,
                              SizeProc, nullptr, nullptr, options);
  TIFFOpenOptionsFree(options);
  return TiffHandle(t);
}

}  // namespace

bool IsTiff(const std::uint8_t* data, std::size_t size) {
  return size >= 4 && (std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0);
}

BgraImage DecodeTiff(const std::uint8_t* data, std::size_t size, const std::string& name,
                     std::optional<DeepImage>* deep) {
  MemoryFile file;
  file.data = data;
  file.size = size;
  const auto unreadable = [&](const std::string& why) {
    return host::HostError(name + ": corrupt or unreadable TIFF (" +
                           (file.error.empty() ? why : file.error) + ")");
  };
  TiffHandle tiff = Open(file, "rm");
  if (!tiff) throw unreadable("cannot open");
  std::uint32_t width = 0, height = 0;
  std::uint16_t bits = 8, channels = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG,
                photometric = PHOTOMETRIC_RGB;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &channels);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  std::uint16_t extraCount = 0;
  std::uint16_t* extra = nullptr;
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
  if (width == 0 || height == 0) throw unreadable("no picture size");
  if (!FrameSizeAllowed(width, height))
    throw host::HostError(FrameTooLargeMessage(name, "picture", width, height));

  const bool grey = photometric == PHOTOMETRIC_MINISBLACK;
  const int colours = grey ? 1 : 3;
  const bool direct = planar == PLANARCONFIG_CONTIG && (grey || photometric == PHOTOMETRIC_RGB) &&
                      channels >= colours && channels <= colours + 1 &&
                      ((format == SAMPLEFORMAT_UINT && (bits == 8 || bits == 16)) ||
                       (format == SAMPLEFORMAT_IEEEFP && bits == 32));
  if (!direct) {
    if (bits > 8)
      throw host::HostError(name + ": TIFF of " + std::to_string(bits) + "-bit samples in a " +
                            "layout Mattix does not read (it reads RGB, RGBA and grey pictures)");
    // libtiff's reader: ABGR words (R in the low byte), bottom row first
    // unless asked for the top first.
    std::vector<std::uint32_t> words(std::size_t(width) * height);
    if (!TIFFReadRGBAImageOriented(tiff.get(), width, height, words.data(), ORIENTATION_TOPLEFT, 0))
      throw unreadable("cannot decode its pixels");
    BgraImage image(static_cast<int>(width), static_cast<int>(height));
    for (std::size_t i = 0; i < words.size(); ++i) {
      std::uint8_t* p = &image.pixels[i * 4];
      p[0] = std::uint8_t(TIFFGetB(words[i]));
      p[1] = std::uint8_t(TIFFGetG(words[i]));
      p[2] = std::uint8_t(TIFFGetR(words[i]));
      p[3] = std::uint8_t(TIFFGetA(words[i]));
    }
    if (deep) deep->reset();
    return image;
  }
  const bool alpha = channels == colours + 1;
  const bool associated = alpha && extraCount > 0 && extra && extra[0] == EXTRASAMPLE_ASSOCALPHA;
  const tmsize_t lineBytes = TIFFScanlineSize(tiff.get());
  if (lineBytes < tmsize_t(std::size_t(width) * channels * bits / 8))
    throw unreadable("rows shorter than their pixels");
  std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
  DeepImage full(static_cast<int>(width), static_cast<int>(height));
  full.sampleBits = bits;
  full.floating = format == SAMPLEFORMAT_IEEEFP;
  const float scale = bits == 8 ? 255.0f : bits == 16 ? 65535.0f : 1.0f;
  for (std::uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tiff.get(), line.data(), y, 0) < 0)
      throw unreadable("cannot decode row " + std::to_string(y));
    float* out = full.Row(int(y));
    for (std::uint32_t x = 0; x < width; ++x, out += 4) {
      float v[4] = {0, 0, 0, 1};
      for (int c = 0; c < channels; ++c) {
        const std::size_t at = std::size_t(x) * channels + std::size_t(c);
        float s = 0.0f;
        if (bits == 8)
          s = float(line[at]);
        else if (bits == 16)
          s = float(reinterpret_cast<const std::uint16_t*>(line.data())[at]);
        else
          std::memcpy(&s, line.data() + at * 4, 4);
        v[c < colours ? c : 3] = s / scale;
      }
      if (grey) v[1] = v[2] = v[0];
      if (associated && v[3] > 0.0f)
        for (int c = 0; c < 3; ++c) v[c] /= v[3];
      std::copy(v, v + 4, out);
    }
  }
  BgraImage image = EightBitView(full);
  if (deep) {
    deep->reset();
    if (bits > 8) *deep = std::move(full);
  }
  return image;
}

std::vector<std::uint8_t> EncodeTiff(const BgraImage& image, const DeepImage* deep,
                                     const std::string& name) {
  MemoryFile file;
  file.writing = true;
  TiffHandle tiff = Open(file, "w");
  if (!tiff) throw host::HostError(name + ": cannot encode TIFF: " + file.error);
  const int width = deep ? deep->width : image.width, height = deep ? deep->height : image.height;
  const std::uint16_t bits = deep ? 16 : 8;
  const std::uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
  TIFF* t = tiff.get();
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(4));
  TIFFSetField(t, TIFFTAG_EXTRASAMPLES, std::uint16_t(1), extra);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(t, TIFFTAG_ZIPQUALITY, 1);
  TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
  std::vector<std::uint16_t> wide;
  std::vector<std::uint8_t> line(std::size_t(width) * 4);
  if (deep) wide = SixteenBitSamples(*deep);
  for (int y = 0; y < height; ++y) {
    void* row = nullptr;
    if (deep) {
      row = wide.data() + std::size_t(y) * std::size_t(width) * 4;
    } else {
      const std::uint8_t* in = image.Row(y);
      for (int x = 0; x < width; ++x) {
        line[std::size_t(x) * 4 + 0] = in[x * 4 + 2];
        line[std::size_t(x) * 4 + 1] = in[x * 4 + 1];
        line[std::size_t(x) * 4 + 2] = in[x * 4 + 0];
        line[std::size_t(x) * 4 + 3] = in[x * 4 + 3];
      }
      row = line.data();
    }
    if (TIFFWriteScanline(t, row, std::uint32_t(y), 0) < 0)
      throw host::HostError(name + ": cannot encode TIFF: " + file.error);
  }
  if (!TIFFWriteDirectory(t)) throw host::HostError(name + ": cannot encode TIFF: " + file.error);
  tiff.reset();
  return std::move(file.bytes);
}

}  // namespace mattix::media
