// PNG reading and writing. Test pictures are written here straight through
// libpng's low-level API (an encoder independent of ours) and our output is
// read back through its simplified API; expected pixels come from the sample
// values by the PNG rules (scaling of low and high bit depths, tRNS).
#include "host/base/HostError.h"
#include "host/media/PngFile.h"
#include "host/media/internal/PngRows.h"
#include "tests/FuzzSeeds.h"
#include "tests/host/TestSupport.h"
#include "tests/host/media/PictureCheck.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <csetjmp>
#include <random>

namespace mattix::media {
namespace {

using namespace internal;

constexpr int kW = 7, kH = 5;

void Append(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

// Encodes rows of samples (one unsigned per sample) at any depth and type.
std::vector<std::uint8_t> WritePng(int w, int h, int type, int depth, bool adam7,
                                   const std::vector<std::vector<unsigned>>& rows,
                                   const std::vector<png_color>& palette = {},
                                   const std::vector<png_byte>& alphas = {},
                                   const png_color_16* trns = nullptr) {
  std::vector<std::uint8_t> bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "test encoder failed";
    return {};
  }
  png_set_write_fn(png, &bytes, Append, nullptr);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, type,
               adam7 ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
  if (!alphas.empty() || trns) png_set_tRNS(png, info, alphas.data(), int(alphas.size()), trns);
  png_write_info(png, info);
  png_set_interlace_handling(png);
  // Each row's samples as a stream of bits, most significant first.
  std::vector<std::vector<std::uint8_t>> packed;
  std::vector<png_bytep> pointers;
  for (const std::vector<unsigned>& row : rows) {
    std::vector<std::uint8_t>& p = packed.emplace_back((row.size() * std::size_t(depth) + 7) / 8);
    std::size_t bit = 0;
    for (const unsigned sample : row)
      for (int b = depth - 1; b >= 0; --b, ++bit)
        p[bit / 8] |= std::uint8_t((sample >> b & 1) << (7 - bit % 8));
    pointers.push_back(p.data());
  }
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

// Random samples of every colour type and depth, with and without tRNS:
// our decoder agrees with libpng's simplified reader on the plain file, and
// the Adam7 file gives the same pixels. (That reader is not used on Adam7
// 16-bit files, which it decodes wrongly: libpng issue #853.)
TEST(Png, DecodesEveryColourTypeAsTheSimplifiedReaderDoes) {
  const int G = PNG_COLOR_TYPE_GRAY, GA = PNG_COLOR_TYPE_GRAY_ALPHA, C = PNG_COLOR_TYPE_RGB,
            CA = PNG_COLOR_TYPE_RGB_ALPHA, P = PNG_COLOR_TYPE_PALETTE;
  // clang-format off
  const struct { int type, depth, channels; } cases[] = {{G, 1, 1}, {G, 2, 1}, {G, 4, 1}, {G, 8, 1},
      {G, 16, 1}, {GA, 8, 2}, {GA, 16, 2}, {C, 8, 3}, {C, 16, 3}, {CA, 8, 4}, {CA, 16, 4},
      {P, 1, 1}, {P, 4, 1}, {P, 8, 1}};
  // clang-format on
  std::mt19937 rng(11);
  for (const auto& c : cases)
    for (const bool trns : {false, true}) {
      if (trns && (c.channels == 2 || c.channels == 4)) continue;  // alpha types take no tRNS
      const unsigned max = (1u << c.depth) - 1;
      std::vector<std::vector<unsigned>> rows(kH, std::vector<unsigned>(kW * c.channels));
      for (auto& row : rows)
        for (unsigned& v : row) v = rng() % 3 ? rng() % (max + 1) : (rng() % 2) * max;
      std::vector<png_color> palette;
      std::vector<png_byte> alphas;  // with tRNS, the first half of the entries carry alpha
      for (unsigned i = 0; c.type == PNG_COLOR_TYPE_PALETTE && i <= max; ++i) {
        palette.push_back({png_byte(rng()), png_byte(rng()), png_byte(rng())});
        if (trns && i <= max / 2) alphas.push_back(png_byte(rng()));
      }
      // For grey and RGB, the transparent colour is the first pixel's, which
      // the last one repeats.
      std::copy_n(rows[0].begin(), c.channels, rows[kH - 1].end() - c.channels);
      png_color_16 key{0, png_uint_16(rows[0][0]), png_uint_16(rows[0][c.channels > 2]),
                       png_uint_16(rows[0][c.channels > 2 ? 2 : 0]), png_uint_16(rows[0][0])};
      const bool keyed = trns && c.type != PNG_COLOR_TYPE_PALETTE;
      std::vector<std::uint8_t> files[2];
      for (const bool adam7 : {false, true})
        files[adam7] =
            WritePng(kW, kH, c.type, c.depth, adam7, rows, palette, alphas, keyed ? &key : nullptr);
      png_image img{};
      img.version = PNG_IMAGE_VERSION;
      ASSERT_TRUE(png_image_begin_read_from_memory(&img, files[0].data(), files[0].size()));
      // Samples as stored, no gamma conversion.
      img.format = PNG_FORMAT_BGRA;
      img.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
      std::vector<std::uint8_t> expected(PNG_IMAGE_SIZE(img));
      ASSERT_TRUE(png_image_finish_read(&img, nullptr, expected.data(), 0, nullptr));
      for (const auto& file : files)
        ASSERT_EQ(DecodePng(file.data(), file.size(), "case.png").pixels, expected)
            << "type " << c.type << ", depth " << c.depth << (trns ? ", tRNS" : "")
            << (&file == &files[1] ? ", Adam7" : "");
    }
}

// A 16-bit file from the independent encoder: its 8-bit view, and every
// sample kept at full precision (its round trip through our writer is the
// deep pictures' test).
TEST(Png, SixteenBitSamplesAreKeptAndEmptyPicturesNotWritten) {
  const auto file = WritePng(1, 1, PNG_COLOR_TYPE_RGB, 16, false, {{0x1234, 0xc8c8, 0x0101}});
  std::optional<DeepImage> deep;
  EXPECT_EQ(DecodePng(file.data(), file.size(), "deep.png", &deep).pixels,
            (std::vector<std::uint8_t>{1, 200, 18, 255}));
  ASSERT_TRUE(deep);
  std::vector<long> samples;
  for (float v : deep->samples) samples.push_back(std::lround(v * 65535.0f));
  EXPECT_EQ(samples, (std::vector<long>{0x1234, 0xc8c8, 0x0101, 0xffff}));
  // An empty picture is not written. (What is written reads back exactly:
  // the fuzz seeds' round trips in the fast mode, the frame pipeline's
  // inputs in libpng's and its outputs; grey pictures are the mattes and
  // masks of the command tests.)
  EXPECT_THROW(EncodePng(BgraImage(), "nothing.png"), host::HostError);
}

// Damaged files give a host::HostError that names the file; none crashes
// (the fuzz body over the fuzz target's seeds, PNG, TIFF, OpenEXR and DPX,
// and their fixed damage; random damage is the fuzz target's, picture_fuzz).
TEST(Png, DamagedFilesAreRefusedWithTheirName) {
  mattix::test::ExpectSeedsHold("tests/host/media/fuzz", test::CheckPictureRoundTrip);
  // A byte changed anywhere is refused (the CRCs and the image data's own check).
  BgraImage small(13, 11);
  for (std::size_t i = 0; i < small.pixels.size(); ++i) small.pixels[i] = std::uint8_t(i * 7);
  const std::vector<std::uint8_t> valid = EncodePng(small, "valid.png");
  for (std::size_t at = 0; at < valid.size(); ++at) {
    std::vector<std::uint8_t> bytes = valid;
    bytes[at] ^= 0x5A;
    EXPECT_NE(test::ErrorOf([&] { DecodePng(bytes.data(), bytes.size(), "f"); }), "(no error)")
        << "byte " << at << " of " << valid.size();
  }
  EXPECT_TRUE(test::Throws([] { ReadPng("/nonexistent/folder/shot_0001.png"); },
                           "/nonexistent/folder/shot_0001.png"));
}

// Writes v big-endian (as PNG stores numbers) at bytes[at..at+3].
void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, uLong v) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = std::uint8_t(v >> (24 - 8 * i));
}

// A PNG whose IHDR is made to claim w x h pixels (its CRC made good), to
// test what is refused from the header alone.
std::vector<std::uint8_t> PngClaiming(std::vector<std::uint8_t> png, std::uint32_t w,
                                      std::uint32_t h) {
  // The CRC is over "IHDR" and its data.
  PutU32(png, 16, w);
  PutU32(png, 20, h);
  PutU32(png, 29, crc32(0, &png[12], 17));
  return png;
}

// Frames up to 16384 a side and 2^26 pixels are read; larger ones are
// refused from their header with a message about the size, not libpng's. An
// animated PNG (an acTL chunk after IHDR declaring three frames) is refused,
// a one-frame one read; a small file claiming a large picture is refused for
// its short image data (before the picture is allocated).
TEST(Png, PicturesMattixDoesNotKeyAreRefusedBeforeDecoding) {
  const auto real = [&](int w, int h) {
    return WritePng(w, h, PNG_COLOR_TYPE_GRAY, 1, false,
                    std::vector<std::vector<unsigned>>(h, std::vector<unsigned>(w)));
  };
  const std::vector<std::uint8_t> still = real(2, 2);
  const auto animated = [&](std::uint8_t frames) {
    std::vector<std::uint8_t> png = still,
                              chunk = {0, 0, 0, 8, 'a', 'c', 'T', 'L', 0, 0, 0, frames, 0, 0, 0, 0};
    chunk.resize(20);
    PutU32(chunk, 16, crc32(0, &chunk[4], 12));
    png.insert(png.begin() + 33, chunk.begin(), chunk.end());  // after IHDR
    return png;
  };
  const std::string tooLarge = " pixels; Mattix keys frames up to 16384 pixels a side";
  const struct {
    std::vector<std::uint8_t> bytes;
    std::string error;  // the message's start
  } cases[] = {{real(16384, 2), "(no error)"},
               {real(2, 16384), "(no error)"},
               {real(17000, 4), "a.png: the picture is 17000 x 4" + tooLarge},
               {PngClaiming(still, 16385, 1), "a.png: the picture is 16385 x 1" + tooLarge},
               {PngClaiming(still, 8193, 8192), "a.png: the picture is 8193 x 8192" + tooLarge},
               {PngClaiming(still, 65535, 65535), "a.png: the picture is 65535 x 65535" + tooLarge},
               {animated(3),
                "a.png: an animated PNG of 3 frames; Mattix reads still pictures (ffmpeg -i a.png "
                "frame_%04d.png turns it into a sequence)"},
               {animated(1), "(no error)"},
               {PngClaiming(still, 8192, 8192),
                "a.png: corrupt or unreadable PNG (its image data is too short for its size: "
                "truncated or damaged)"}};
  EXPECT_LT(std::size(cases[8].bytes), 80u);
  for (const auto& c : cases) {
    const auto error = test::ErrorOf([&] { DecodePng(c.bytes.data(), c.bytes.size(), "a.png"); });
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

std::vector<std::uint8_t> Row(std::mt19937& rng, std::size_t bytes, bool extremes) {
  std::vector<std::uint8_t> row(bytes);
  for (auto& v : row)
    v = extremes ? std::uint8_t(rng() % 3 * 127 + rng() % 2) : std::uint8_t(rng());
  return row;
}

// The fast writer's row kernels against their plain forms, on random rows
// and on rows of extremes (ties of the Paeth predictor, distances past 255),
// every length from 1 to 70 pixels; the filter undone as a reader undoes it
// (predicting from the rebuilt bytes) gives the row back.
TEST(PngRows, FastFormsEqualThePlainOnesAndTheFilterIsUndone) {
  std::mt19937 rng(9);
  for (bool extremes : {false, true})
    for (std::size_t pixels = 1; pixels <= 70; ++pixels) {
      const std::size_t bytes = 4 * pixels;
      const auto row = Row(rng, bytes, extremes), above = Row(rng, bytes, extremes);
      std::vector<std::uint8_t> fast(bytes), plain(bytes);
      BgraToRgba(fast.data(), row.data(), pixels);
      BgraToRgba_ref(plain.data(), row.data(), pixels);
      ASSERT_EQ(fast, plain) << pixels;
      for (const std::uint8_t* prior : {above.data(), static_cast<const std::uint8_t*>(nullptr)}) {
        PaethFilterRow(fast.data(), row.data(), prior, bytes);
        PaethFilterRow_ref(plain.data(), row.data(), prior, bytes);
        ASSERT_EQ(fast, plain) << pixels << (prior ? "" : ", first row");
        std::vector<std::uint8_t> back(bytes);
        for (std::size_t i = 0; i < bytes; ++i) {
          const int a = i >= 4 ? back[i - 4] : 0, b = prior ? prior[i] : 0,
                    c = prior && i >= 4 ? prior[i - 4] : 0;
          const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
          back[i] = std::uint8_t(fast[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
        }
        ASSERT_EQ(back, row) << pixels;
      }
    }
}

// The checksum equals zlib's: lengths around the 16-byte steps and the 5552-byte runs, all-255 data
// (the largest sums) and random data, from the start value and from a running one.
TEST(PngRows, Adler32EqualsZlibs) {
  std::mt19937 rng(4);
  std::vector<std::uint8_t> random(40000), full(40000, 255);
  for (auto& v : random) v = std::uint8_t(rng());
  for (const auto* data : {&random, &full})
    for (std::size_t bytes : {0, 1, 15, 16, 17, 100, 5551, 5552, 5553, 11104, 11121, 40000})
      for (std::uint32_t start : {1u, 0xFFF0FFF0u}) {
        const uLong expected = adler32(start, data->data(), uInt(bytes));
        ASSERT_EQ(Adler32(start, data->data(), bytes), expected) << bytes;
        ASSERT_EQ(Adler32_ref(start, data->data(), bytes), expected) << bytes;
      }
}

// A palette TIFF, read through libtiff's own conversion, gives the pixels
// of the same picture as a palette PNG made by ffmpeg.
TEST(Tiff, PaletteReadsAsThePngOfTheSamePicture) {
  MATTIX_SKIP_WITHOUT_FFMPEG("TIFF read through libtiff's conversion");
  test::TempDir dir;
  for (const char* name : {"p.png", "p.tif"})
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=s=40x30:d=0.04 -frames:v 1 -pix_fmt pal8 '" +
                             dir / name + "'"));
  EXPECT_EQ(test::ReadFrames(dir / "p.tif").at(0).pixels, ReadPng(dir / "p.png").pixels);
}

}  // namespace
}  // namespace mattix::media
