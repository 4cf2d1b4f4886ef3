#include "host/media/PngFile.h"

#include "host/base/FileBytes.h"
#include "host/base/HostError.h"
#include "host/media/DeepKey.h"
#include "host/media/internal/PngRows.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace mattix::media {

namespace {

// libpng reports errors through these callbacks; the message is kept in a
// plain buffer and control returns to the setjmp in the calling stage. The
// stages hold no C++ objects of their own across libpng calls: everything
// with a destructor lives in the caller, so the longjmp skips nothing that
// needs destroying.
struct ErrorSink {
  char message[256];
  // Set when the picture is larger than the command keys.
  png_uint_32 tooLargeWidth, tooLargeHeight;
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
  auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
  std::snprintf(sink->message, sizeof sink->message, "%s", message ? message : "unknown error");
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

struct MemoryReader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (count > reader->size - reader->pos) png_error(png, "file is truncated");
  std::memcpy(out, reader->data + reader->pos, count);
  reader->pos += count;
}

class ReadStructs {
 public:
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~ReadStructs() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

std::uint32_t BigEndian(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// What the chunk list says before any pixel is decoded: the bytes of image
// data (IDAT) the file holds, and the frames an animated PNG (APNG, its
// acTL chunk) declares, 0 for a still picture. Chunks cut by the file's end
// count as far as they go; the decoder reports them.
struct ChunkFacts {
  std::uint64_t imageDataBytes = 0;
  std::uint32_t frames = 0;
};

ChunkFacts ScanChunks(const std::uint8_t* data, std::size_t size) {
  ChunkFacts facts;
  std::size_t pos = 8;  // after the signature
  while (size - pos >= 8) {
    const std::uint32_t length = BigEndian(data + pos);
    const std::uint8_t* type = data + pos + 4;
    const std::size_t present = std::min<std::size_t>(length, size - pos - 8);
    if (std::memcmp(type, "IDAT", 4) == 0) facts.imageDataBytes += present;
    if (std::memcmp(type, "acTL", 4) == 0 && present >= 4) facts.frames = BigEndian(data + pos + 8);
    if (std::memcmp(type, "IEND", 4) == 0 || length > size - pos - 8) break;
    pos += 8 + std::size_t(length);
    if (size - pos < 4) break;
    pos += 4;  // the CRC
  }
  return facts;
}

// Deflate stores at most 258 bytes in 2 bits (a length and a distance code),
// so no stream expands more than 1032 times; a file whose image data is
// shorter than that allows for its pixels is refused before the picture's
// memory is taken.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// Sets up the transforms to 8-bit BGRA, sizes the image and reads it; with
// `wide` a 16-bit picture is read as 16-bit RGBA into `samples` instead
// (`image` gets its size only). Returns false when libpng reported an error
// (message in the sink).
bool DecodeStage(png_structp png, png_infop info, const ChunkFacts& facts, bool wide,
                 BgraImage& image, std::vector<std::uint16_t>& samples,
                 std::vector<png_bytep>& rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (!FrameSizeAllowed(width, height)) {
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    sink->tooLargeWidth = width;
    sink->tooLargeHeight = height;
    png_error(png, "picture is too large");
  }
  const int colorType = png_get_color_type(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  // The pixels' bits alone, without filter bytes or row padding: the least
  // any row layout (interlaced or not) decompresses to.
  const std::uint64_t leastRaw =
      std::uint64_t(width) * height * png_get_channels(png, info) * std::uint64_t(bitDepth) / 8;
  if ((facts.imageDataBytes + 64) * kMaxDeflateRatio < leastRaw)
    png_error(png, "its image data is too short for its size: truncated or damaged");

  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  wide = wide && bitDepth == 16;
  if (bitDepth == 16 && !wide) png_set_scale_16(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  if (!wide) png_set_bgr(png);
  // Adds an opaque alpha sample where the picture has none (a no-op otherwise).
  png_set_add_alpha(png, wide ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
  if (wide) png_set_swap(png);  // 16-bit samples in this machine's order
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != std::size_t(width) * (wide ? 8 : 4))
    png_error(png, "unexpected row layout after conversion");

  rows.resize(height);
  if (wide) {
    image.width = int(width);
    image.height = int(height);
    samples.resize(std::size_t(width) * height * 4);
    for (png_uint_32 y = 0; y < height; ++y)
      rows[y] = reinterpret_cast<png_bytep>(samples.data() + std::size_t(y) * width * 4);
  } else {
    image = BgraImage(int(width), int(height));
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = image.Row(int(y));
  }
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  return true;
}

// The encoded file, written by libpng's write callback into a buffer sized
// for the largest file the picture can give; running past it is a libpng
// error, never a C++ exception through libpng.
struct MemoryWriter {
  std::uint8_t* data;
  std::size_t capacity;
  std::size_t size;
};

void WriteToMemory(png_structp png, png_bytep in, png_size_t count) {
  auto* writer = static_cast<MemoryWriter*>(png_get_io_ptr(png));
  if (count > writer->capacity - writer->size) png_error(png, "encoded picture overflows");
  std::memcpy(writer->data + writer->size, in, count);
  writer->size += count;
}

void FlushMemory(png_structp) {}

class WriteStructs {
 public:
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteStructs() {
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
  }
};

// Writes the header, an sRGB chunk and the rows (`rows` points at each).
// Returns false when libpng reported an error (message in the sink).
bool EncodeStage(png_structp png, png_infop info, int width, int height, int colorType,
                 int zlibLevel, png_bytepp rows, int bitDepth = 8) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bitDepth, colorType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  if (zlibLevel <= 3) {
    // The fast mode for grey pictures (BGRA ones: EncodeFastBgra).
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, Z_RLE);
  } else {
    png_set_compression_level(png, zlibLevel > 9 ? 9 : zlibLevel);
  }
  png_write_info(png, info);
  if (colorType == PNG_COLOR_TYPE_RGBA && bitDepth == 8) png_set_bgr(png);
  if (bitDepth == 16) png_set_swap(png);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

// Encodes the rows into a buffer of `capacity` bytes, which the caller
// makes large enough for the file; the file's bytes.
std::vector<std::uint8_t> EncodeToMemory(const std::string& name, int width, int height,
                                         int colorType, int zlibLevel, png_bytepp rows,
                                         int bitDepth, std::size_t capacity) {
  const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[capacity]);
  ErrorSink sink{};
  WriteStructs s;
  s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnPngError, OnPngWarning);
  if (!s.png) throw host::HostError(name + ": out of memory");
  s.info = png_create_info_struct(s.png);
  if (!s.info) throw host::HostError(name + ": out of memory");
  MemoryWriter writer{buffer.get(), capacity, 0};
  png_set_write_fn(s.png, &writer, WriteToMemory, FlushMemory);
  if (!EncodeStage(s.png, s.info, width, height, colorType, zlibLevel, rows, bitDepth))
    throw host::HostError(name + ": cannot encode PNG: " + sink.message);
  return std::vector<std::uint8_t>(buffer.get(), buffer.get() + writer.size);
}

// The fast mode for BGRA pictures, written without libpng: the rows turned
// to RGBA and Paeth-filtered by the row kernels (PngRows.h), deflated in
// zlib's run-length mode into one IDAT chunk, with the zlib stream's
// checksum from the row kernels too (zlib's own was a tenth of a render). One filter for every row,
// no per-row trial of the five, and run-length matches only: on keyed 1080p frames of camera
// pictures (a photograph, a green screen) libpng takes a seventh to a third of the time of its
// default (all filters tried, level 6) this way, for 1 to 4 % more bytes, and half of what is left
// is its scalar Paeth filter. Paeth comes closest to the default's size; flat synthetic pictures,
// where long-distance matches pay, grow more (three times on bench_cli's scene). The file has
// libpng's layout (signature, IHDR, sRGB, IDAT, IEND); a picture within kMaxPngPixels deflates to
// well under the 2^31 - 1 bytes a chunk may hold.
void PutBigEndian(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v >> 24);
  p[1] = std::uint8_t(v >> 16);
  p[2] = std::uint8_t(v >> 8);
  p[3] = std::uint8_t(v);
}

// Length, type and data are in place at `chunk`; appends the CRC of type and
// data and returns the chunk's whole size.
std::size_t SealChunk(std::uint8_t* chunk, std::uint32_t length) {
  const uLong crc = crc32_z(crc32(0, Z_NULL, 0), chunk + 4, std::size_t(length) + 4);
  PutBigEndian(chunk + 8 + length, std::uint32_t(crc));
  return 12 + std::size_t(length);
}

class Deflater {
 public:
  explicit Deflater(const std::string& name) {
    // A raw stream (negative window bits): the zlib header and the Adler-32
    // trailer are written here, the checksum by the row kernels.
    if (deflateInit2(&m_z, 1, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK)
      throw host::HostError(name + ": cannot encode PNG: out of memory");
  }
  ~Deflater() { deflateEnd(&m_z); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;
  z_stream& z() { return m_z; }

 private:
  z_stream m_z{};
};

std::vector<std::uint8_t> EncodeFastBgra(int width, int height, const std::uint8_t* pixels,
                                         std::size_t stride, const std::string& name) {
  const std::size_t rowBytes = std::size_t(width) * 4;
  Deflater deflater(name);
  z_stream& z = deflater.z();
  const std::size_t rawBytes = (rowBytes + 1) * std::size_t(height);
  const std::size_t bound = deflateBound(&z, uLong(rawBytes));
  constexpr std::size_t kHead = 8 + 25 + 13 + 8;  // signature, IHDR, sRGB, IDAT's length and type
  // Left uninitialised: only the pages written are backed by memory.
  const std::size_t capacity = kHead + 2 + bound + 4 + 4 + 12;
  const std::unique_ptr<std::uint8_t[]> file(new std::uint8_t[capacity]);
  std::uint8_t* p = file.get();
  static constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  std::memcpy(p, kSignature, 8);
  std::uint8_t* ihdr = p + 8;
  PutBigEndian(ihdr, 13);
  std::memcpy(ihdr + 4, "IHDR", 4);
  PutBigEndian(ihdr + 8, std::uint32_t(width));
  PutBigEndian(ihdr + 12, std::uint32_t(height));
  const std::uint8_t ihdrRest[5] = {8, 6, 0, 0, 0};  // 8 bits, RGBA, deflate, filters, progressive
  std::memcpy(ihdr + 16, ihdrRest, 5);
  std::uint8_t* srgb = ihdr + SealChunk(ihdr, 13);
  PutBigEndian(srgb, 1);
  std::memcpy(srgb + 4, "sRGB", 4);
  srgb[8] = 0;  // perceptual rendering intent
  std::uint8_t* idat = srgb + SealChunk(srgb, 1);
  std::memcpy(idat + 4, "IDAT", 4);

  std::vector<std::uint8_t> rgba(2 * rowBytes), line(rowBytes + 1);
  line[0] = 4;     // Paeth
  idat[8] = 0x78;  // deflate, 32 KiB window
  idat[9] = 0x01;  // fastest; header check
  std::uint32_t adler = 1;
  z.next_out = idat + 10;
  z.avail_out = uInt(bound);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* current = rgba.data() + (y % 2) * rowBytes;
    const std::uint8_t* above = y > 0 ? rgba.data() + ((y + 1) % 2) * rowBytes : nullptr;
    internal::BgraToRgba(current, pixels + std::size_t(y) * stride, std::size_t(width));
    internal::PaethFilterRow(line.data() + 1, current, above, rowBytes);
    adler = internal::Adler32(adler, line.data(), line.size());
    z.next_in = line.data();
    z.avail_in = uInt(line.size());
    const int flush = y + 1 == height ? Z_FINISH : Z_NO_FLUSH;
    int result;
    do result = deflate(&z, flush);
    while (result == Z_OK && (z.avail_in > 0 || flush == Z_FINISH) && z.avail_out > 0);
    if (flush == Z_FINISH ? result != Z_STREAM_END : result != Z_OK || z.avail_in > 0)
      throw host::HostError(name + ": cannot encode PNG: deflate failed");
  }
  PutBigEndian(idat + 10 + z.total_out, adler);
  const std::uint32_t idatLength = std::uint32_t(2 + z.total_out + 4);
  PutBigEndian(idat, idatLength);
  std::uint8_t* iend = idat + SealChunk(idat, idatLength);
  PutBigEndian(iend, 0);
  std::memcpy(iend + 4, "IEND", 4);
  const std::size_t size = std::size_t(iend + SealChunk(iend, 0) - file.get());
  return std::vector<std::uint8_t>(file.get(), file.get() + size);
}

// Encodes `pixels` (8 bits per sample, BGRA or grey, rows `stride` bytes
// apart).
std::vector<std::uint8_t> Encode(int width, int height, bool colour, const std::uint8_t* pixels,
                                 std::size_t stride, const std::string& name, int zlibLevel) {
  // What the reader refuses is not written either; the limits also keep
  // libpng's 32-bit size macros below from overflowing.
  if (width <= 0 || height <= 0 || !FrameSizeAllowed(std::uint64_t(width), std::uint64_t(height)))
    throw host::HostError(name + ": cannot write a " + std::to_string(width) + " x " +
                          std::to_string(height) + " picture as PNG");
  if (colour && zlibLevel <= 3) return EncodeFastBgra(width, height, pixels, stride, name);
  // The bound of libpng's simplified writer, which writes through the same
  // code: the rows stored uncompressed, with zlib's and the chunks' overhead.
  png_image bound{};
  bound.version = PNG_IMAGE_VERSION;
  bound.width = png_uint_32(width);
  bound.height = png_uint_32(height);
  bound.format = colour ? PNG_FORMAT_RGBA : PNG_FORMAT_GRAY;
  // The buffer is left uninitialised, so only the pages written are ever
  // backed by memory.
  const std::size_t capacity = PNG_IMAGE_PNG_SIZE_MAX(bound) + 1024;
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y)
    rows[std::size_t(y)] = const_cast<png_bytep>(pixels + std::size_t(y) * stride);
  return EncodeToMemory(name, width, height, colour ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_GRAY,
                        zlibLevel, rows.data(), 8, capacity);
}

}  // namespace

BgraImage DecodePng(const std::uint8_t* data, std::size_t size, const std::string& name,
                    std::optional<DeepImage>* deep) {
  if (size == 0) throw host::HostError(name + ": file is empty, not a PNG picture");
  if (size < 8 || png_sig_cmp(data, 0, 8) != 0)
    throw host::HostError(name + ": not a PNG picture (bad signature)");
  ErrorSink sink{};
  ReadStructs s;
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &sink, OnPngError, OnPngWarning);
  if (!s.png) throw host::HostError(name + ": out of memory");
  s.info = png_create_info_struct(s.png);
  if (!s.info) throw host::HostError(name + ": out of memory");
  MemoryReader reader{data, size, 0};
  png_set_read_fn(s.png, &reader, ReadFromMemory);
  // libpng's own limit lies above the command's, so that a large picture
  // gets the command's message rather than libpng's.
  png_set_user_limits(s.png, 4 * kMaxPngSide, 4 * kMaxPngSide);
  // The CRC of ancillary chunks is checked too: a damaged file is refused
  // rather than half trusted.
  png_set_crc_action(s.png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  const ChunkFacts facts = ScanChunks(data, size);
  if (facts.frames > 1)
    throw host::HostError(name + ": an animated PNG of " + std::to_string(facts.frames) +
                          " frames; Mattix reads still pictures (ffmpeg -i " + name +
                          " frame_%04d.png turns it into a sequence)");
  BgraImage image;
  std::vector<std::uint16_t> samples;
  std::vector<png_bytep> rows;
  if (!DecodeStage(s.png, s.info, facts, deep != nullptr, image, samples, rows)) {
    if (sink.tooLargeWidth)
      throw host::HostError(
          FrameTooLargeMessage(name, "picture", sink.tooLargeWidth, sink.tooLargeHeight));
    throw host::HostError(name + ": corrupt or unreadable PNG (" + sink.message + ")");
  }
  if (deep) deep->reset();
  if (samples.empty()) return image;
  DeepImage& full = deep->emplace(image.width, image.height);
  for (std::size_t i = 0; i < samples.size(); ++i) full.samples[i] = float(samples[i]) / 65535.0f;
  return EightBitView(full);
}

std::vector<std::uint8_t> EncodePng16(const DeepImage& image, const std::string& name) {
  if (image.width <= 0 || image.height <= 0 ||
      !FrameSizeAllowed(std::uint64_t(image.width), std::uint64_t(image.height)))
    throw host::HostError(name + ": cannot write a " + std::to_string(image.width) + " x " +
                          std::to_string(image.height) + " picture as PNG");
  const std::vector<std::uint16_t> samples = SixteenBitSamples(image);
  const std::size_t rowBytes = std::size_t(image.width) * 8;
  // Stored rows with a filter byte each, and room for zlib's and the chunks'
  // overhead: more than the encoded file can take.
  const std::size_t capacity = (rowBytes + 1) * std::size_t(image.height) * 1001 / 1000 + 4096;
  std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
  for (int y = 0; y < image.height; ++y)
    rows[std::size_t(y)] = reinterpret_cast<png_bytep>(
        const_cast<std::uint16_t*>(samples.data() + std::size_t(y) * std::size_t(image.width) * 4));
  return EncodeToMemory(name, image.width, image.height, PNG_COLOR_TYPE_RGBA, 1, rows.data(), 16,
                        capacity);
}

BgraImage ReadPng(const std::string& path) {
  std::vector<std::uint8_t> bytes = host::ReadFileBytes(path);
  return DecodePng(bytes.data(), bytes.size(), path);
}

std::vector<std::uint8_t> EncodePng(const BgraImage& image, const std::string& name,
                                    int zlibLevel) {
  return Encode(image.width, image.height, true, image.pixels.data(), image.Stride(), name,
                zlibLevel);
}

std::vector<std::uint8_t> EncodePngGrey(const GreyImage& image, const std::string& name,
                                        int zlibLevel) {
  return Encode(image.width, image.height, false, image.pixels.data(), std::size_t(image.width),
                name, zlibLevel);
}

}  // namespace mattix::media
