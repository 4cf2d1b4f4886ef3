// PNG reading and writing. Test pictures are written here straight through
// libpng's low-level API (an encoder independent of ours), and our output is
// read back through libpng's simplified API; expected pixels come from the
// sample values by the PNG rules (scaling of low and high bit depths, tRNS).
#include "host/cli/CliError.h"
#include "host/cli/PngFile.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace mattix::cli {
namespace {

struct Rgba16 {
  unsigned r, g, b, a;  // in the picture's own bit depth
};

struct PngCase {
  const char* label;
  int colorType;
  int bitDepth;
  bool interlaced;
  bool withTrns;
};

constexpr int kW = 7;
constexpr int kH = 5;

unsigned MaxSample(int depth) { return (1u << depth) - 1; }

// Deterministic samples covering the whole range of the bit depth.
unsigned Sample(int x, int y, int channel, int depth) {
  const unsigned max = MaxSample(depth);
  const unsigned v = unsigned(x * 37 + y * 101 + channel * 53) * 2654435761u;
  unsigned s = (v >> 7) % (max + 1);
  if (x == 0 && y == 0) s = 0;
  if (x == kW - 1 && y == kH - 1) s = max;
  return s;
}

void WriteToVector(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

void PutSample(std::vector<std::uint8_t>& row, int index, unsigned value, int depth) {
  if (depth == 16) {
    row[std::size_t(index) * 2] = std::uint8_t(value >> 8);
    row[std::size_t(index) * 2 + 1] = std::uint8_t(value & 0xFF);
  } else if (depth == 8) {
    row[std::size_t(index)] = std::uint8_t(value);
  } else {
    const int perByte = 8 / depth;
    const int shift = 8 - depth * (index % perByte + 1);
    row[std::size_t(index / perByte)] |= std::uint8_t(value << shift);
  }
}

// Palette entries and grey/RGB samples of the picture in PNG order, plus the
// transparent colour or palette alphas when tRNS is used.
struct TestPicture {
  std::vector<std::uint8_t> bytes;
  std::vector<std::vector<Rgba16>> expected8;  // expected 8-bit BGRA source values
};

std::uint8_t To8(unsigned v, int depth) {
  if (depth == 16) return std::uint8_t(std::lround(double(v) * 255.0 / 65535.0));
  return std::uint8_t(v * 255 / MaxSample(depth));
}

TestPicture MakePicture(const PngCase& c) {
  TestPicture pic;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "test encoder failed";
    return pic;
  }
  png_set_write_fn(png, &pic.bytes, WriteToVector, NoFlush);
  png_set_IHDR(png, info, kW, kH, c.bitDepth, c.colorType,
               c.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  const int d = c.bitDepth;
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha;
  const unsigned paletteSize = c.colorType == PNG_COLOR_TYPE_PALETTE ? (1u << d) : 0;
  for (unsigned i = 0; i < paletteSize; ++i) {
    palette.push_back({png_byte(i * 40 + 3), png_byte(255 - i * 17), png_byte(i * 91 % 256)});
    paletteAlpha.push_back(png_byte(255 - i * 29 % 256));
  }
  if (paletteSize) png_set_PLTE(png, info, palette.data(), int(paletteSize));
  // The transparent grey or RGB colour is the sample at (1, 1).
  png_color_16 trnsColour{};
  trnsColour.gray = png_uint_16(Sample(1, 1, 0, d));
  trnsColour.red = png_uint_16(Sample(1, 1, 0, d));
  trnsColour.green = png_uint_16(Sample(1, 1, 1, d));
  trnsColour.blue = png_uint_16(Sample(1, 1, 2, d));
  if (c.withTrns) {
    if (paletteSize) {
      // Only the first entries carry alpha; the rest are opaque.
      png_set_tRNS(png, info, paletteAlpha.data(), int(paletteSize > 2 ? paletteSize / 2 : 1),
                   nullptr);
    } else {
      png_set_tRNS(png, info, nullptr, 0, &trnsColour);
    }
  }
  png_write_info(png, info);

  const int channels = png_get_channels(png, info);
  const std::size_t rowBytes = (std::size_t(kW) * channels * d + 7) / 8;
  std::vector<std::vector<std::uint8_t>> rows(kH, std::vector<std::uint8_t>(rowBytes, 0));
  pic.expected8.assign(kH, std::vector<Rgba16>(kW));
  const unsigned trnsCount = paletteSize > 2 ? paletteSize / 2 : 1;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      Rgba16& e = pic.expected8[y][x];
      switch (c.colorType) {
        case PNG_COLOR_TYPE_GRAY: {
          unsigned g = Sample(x, y, 0, d);
          PutSample(rows[y], x, g, d);
          e = {To8(g, d), To8(g, d), To8(g, d), 255};
          if (c.withTrns && g == trnsColour.gray) e.a = 0;
          break;
        }
        case PNG_COLOR_TYPE_GRAY_ALPHA: {
          unsigned g = Sample(x, y, 0, d), a = Sample(x, y, 3, d);
          PutSample(rows[y], x * 2, g, d);
          PutSample(rows[y], x * 2 + 1, a, d);
          e = {To8(g, d), To8(g, d), To8(g, d), To8(a, d)};
          break;
        }
        case PNG_COLOR_TYPE_RGB: {
          unsigned r = Sample(x, y, 0, d), g = Sample(x, y, 1, d), b = Sample(x, y, 2, d);
          PutSample(rows[y], x * 3, r, d);
          PutSample(rows[y], x * 3 + 1, g, d);
          PutSample(rows[y], x * 3 + 2, b, d);
          e = {To8(r, d), To8(g, d), To8(b, d), 255};
          if (c.withTrns && r == trnsColour.red && g == trnsColour.green && b == trnsColour.blue)
            e.a = 0;
          break;
        }
        case PNG_COLOR_TYPE_RGB_ALPHA: {
          unsigned v[4];
          for (int k = 0; k < 4; ++k) {
            v[k] = Sample(x, y, k, d);
            PutSample(rows[y], x * 4 + k, v[k], d);
          }
          e = {To8(v[0], d), To8(v[1], d), To8(v[2], d), To8(v[3], d)};
          break;
        }
        case PNG_COLOR_TYPE_PALETTE: {
          unsigned i = Sample(x, y, 0, d);
          PutSample(rows[y], x, i, d);
          e = {palette[i].red, palette[i].green, palette[i].blue, 255};
          if (c.withTrns && i < trnsCount) e.a = paletteAlpha[i];
          break;
        }
      }
    }
  }
  std::vector<png_bytep> rowPointers;
  for (auto& r : rows) rowPointers.push_back(r.data());
  png_write_image(png, rowPointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return pic;
}

class PngDecodeTest : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngDecodeTest, DecodesToStraightBgra) {
  const PngCase& c = GetParam();
  TestPicture pic = MakePicture(c);
  ASSERT_FALSE(pic.bytes.empty());
  BgraImage image = DecodePng(pic.bytes.data(), pic.bytes.size(), "case.png");
  ASSERT_EQ(image.width, kW);
  ASSERT_EQ(image.height, kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const std::uint8_t* p = image.Row(y) + x * 4;
      const Rgba16& e = pic.expected8[y][x];
      EXPECT_EQ(p[0], e.b) << c.label << " x=" << x << " y=" << y;
      EXPECT_EQ(p[1], e.g) << c.label << " x=" << x << " y=" << y;
      EXPECT_EQ(p[2], e.r) << c.label << " x=" << x << " y=" << y;
      EXPECT_EQ(p[3], e.a) << c.label << " x=" << x << " y=" << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllColourTypes, PngDecodeTest,
    ::testing::Values(PngCase{"grey1", PNG_COLOR_TYPE_GRAY, 1, false, false},
                      PngCase{"grey2", PNG_COLOR_TYPE_GRAY, 2, false, false},
                      PngCase{"grey4", PNG_COLOR_TYPE_GRAY, 4, false, false},
                      PngCase{"grey8", PNG_COLOR_TYPE_GRAY, 8, false, false},
                      PngCase{"grey16", PNG_COLOR_TYPE_GRAY, 16, false, false},
                      PngCase{"grey8_trns", PNG_COLOR_TYPE_GRAY, 8, false, true},
                      PngCase{"grey16_trns", PNG_COLOR_TYPE_GRAY, 16, false, true},
                      PngCase{"greyalpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false},
                      PngCase{"greyalpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, false},
                      PngCase{"rgb8", PNG_COLOR_TYPE_RGB, 8, false, false},
                      PngCase{"rgb16", PNG_COLOR_TYPE_RGB, 16, false, false},
                      PngCase{"rgb8_trns", PNG_COLOR_TYPE_RGB, 8, false, true},
                      PngCase{"rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false},
                      PngCase{"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false, false},
                      PngCase{"palette1", PNG_COLOR_TYPE_PALETTE, 1, false, false},
                      PngCase{"palette2_trns", PNG_COLOR_TYPE_PALETTE, 2, false, true},
                      PngCase{"palette4", PNG_COLOR_TYPE_PALETTE, 4, false, false},
                      PngCase{"palette8_trns", PNG_COLOR_TYPE_PALETTE, 8, false, true},
                      PngCase{"rgb8_adam7", PNG_COLOR_TYPE_RGB, 8, true, false},
                      PngCase{"grey2_adam7", PNG_COLOR_TYPE_GRAY, 2, true, false},
                      PngCase{"rgba16_adam7", PNG_COLOR_TYPE_RGB_ALPHA, 16, true, false}),
    [](const auto& p) { return std::string(p.param.label); });

// 16-bit samples scale to 8 bits by rounding to nearest, at every level.
TEST(PngDecode, SixteenBitScalingRoundsToNearestEverywhere) {
  // A 256 x 256 grey picture holding every 16-bit value once.
  std::vector<std::uint8_t> bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ASSERT_EQ(setjmp(png_jmpbuf(png)), 0);
  png_set_write_fn(png, &bytes, WriteToVector, NoFlush);
  png_set_IHDR(png, info, 256, 256, 16, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<std::uint8_t> row(512);
  for (int hi = 0; hi < 256; ++hi) {
    for (int lo = 0; lo < 256; ++lo) {
      row[std::size_t(lo) * 2] = std::uint8_t(hi);
      row[std::size_t(lo) * 2 + 1] = std::uint8_t(lo);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);

  BgraImage image = DecodePng(bytes.data(), bytes.size(), "ramp.png");
  ASSERT_EQ(image.width, 256);
  ASSERT_EQ(image.height, 256);
  int wrong = 0;
  for (int v = 0; v < 65536; ++v) {
    const int expected = int(std::lround(v * 255.0 / 65535.0));
    const int got = image.Row(v >> 8)[(v & 255) * 4];
    if (got != expected && ++wrong < 5)
      ADD_FAILURE() << "16-bit " << v << " gave " << got << ", expected " << expected;
  }
  EXPECT_EQ(wrong, 0);
}

// Reads a PNG with libpng's simplified API in the given format.
std::vector<std::uint8_t> ReadSimplified(const std::vector<std::uint8_t>& bytes, png_uint_32 format,
                                         png_uint_32* width, png_uint_32* height,
                                         png_uint_32* fileFormat) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) return {};
  *fileFormat = img.format;
  img.format = format;
  std::vector<std::uint8_t> out(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, out.data(), 0, nullptr)) return {};
  *width = img.width;
  *height = img.height;
  return out;
}

struct EncodeCase {
  int width;
  int height;
  int zlibLevel;
};

class PngEncodeTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(PngEncodeTest, RgbaKeepsStraightAlphaExactly) {
  const EncodeCase c = GetParam();
  std::mt19937 rng(c.width * 1000 + c.height);
  BgraImage image(c.width, c.height);
  for (auto& b : image.pixels) b = std::uint8_t(rng());
  // Colour under zero alpha must survive: straight alpha is not premultiplied.
  image.Row(0)[3] = 0;
  image.Row(0)[0] = 200;
  std::vector<std::uint8_t> bytes = EncodePng(image, "out.png", c.zlibLevel);
  png_uint_32 w = 0, h = 0, fileFormat = 0;
  std::vector<std::uint8_t> rgba = ReadSimplified(bytes, PNG_FORMAT_RGBA, &w, &h, &fileFormat);
  ASSERT_EQ(int(w), c.width);
  ASSERT_EQ(int(h), c.height);
  EXPECT_EQ(fileFormat, png_uint_32(PNG_FORMAT_RGBA)) << "file should be 8-bit RGBA";
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    ASSERT_EQ(rgba[i + 0], image.pixels[i + 2]) << i;
    ASSERT_EQ(rgba[i + 1], image.pixels[i + 1]) << i;
    ASSERT_EQ(rgba[i + 2], image.pixels[i + 0]) << i;
    ASSERT_EQ(rgba[i + 3], image.pixels[i + 3]) << i;
  }
}

TEST_P(PngEncodeTest, GreyRoundTrips) {
  const EncodeCase c = GetParam();
  std::mt19937 rng(c.width + c.height * 7);
  GreyImage image(c.width, c.height);
  for (auto& b : image.pixels) b = std::uint8_t(rng());
  std::vector<std::uint8_t> bytes = EncodePngGrey(image, "matte.png", c.zlibLevel);
  png_uint_32 w = 0, h = 0, fileFormat = 0;
  std::vector<std::uint8_t> grey = ReadSimplified(bytes, PNG_FORMAT_GRAY, &w, &h, &fileFormat);
  ASSERT_EQ(int(w), c.width);
  EXPECT_EQ(fileFormat, png_uint_32(PNG_FORMAT_GRAY)) << "file should be 8-bit grey";
  EXPECT_EQ(grey, image.pixels);
  // And through our own reader: grey becomes B = G = R, opaque.
  BgraImage back = DecodePng(bytes.data(), bytes.size(), "matte.png");
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    ASSERT_EQ(back.pixels[i * 4 + 0], image.pixels[i]);
    ASSERT_EQ(back.pixels[i * 4 + 2], image.pixels[i]);
    ASSERT_EQ(back.pixels[i * 4 + 3], 255);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, PngEncodeTest,
                         ::testing::Values(EncodeCase{1, 1, 6}, EncodeCase{3, 2, 0},
                                           EncodeCase{241, 209, 9}, EncodeCase{640, 3, 1}));

TEST(PngEncode, RefusesEmptyPicture) {
  BgraImage empty;
  try {
    EncodePng(empty, "nothing.png");
    FAIL() << "expected an error";
  } catch (const CliError& e) {
    EXPECT_NE(std::string(e.what()).find("nothing.png"), std::string::npos);
  }
}

std::vector<std::uint8_t> SmallValidPng() {
  BgraImage image(13, 11);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = std::uint8_t(i * 7);
  return EncodePng(image, "valid.png");
}

// Every damaged file gives a CliError that names the file; none crashes.
void ExpectRefused(const std::vector<std::uint8_t>& bytes, const char* what) {
  try {
    DecodePng(bytes.data(), bytes.size(), "shot_0003.png");
    ADD_FAILURE() << what << ": damaged file was accepted";
  } catch (const CliError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("shot_0003.png: ", 0), 0u) << e.what();
  }
}

TEST(PngDecode, TruncatedFilesAreRefused) {
  const std::vector<std::uint8_t> valid = SmallValidPng();
  // Cuts: empty, inside the signature, right after it, inside IHDR, in the
  // middle of the data, just before the end, and without the 12-byte IEND.
  const std::size_t cuts[] = {0, 5, 8, 20, valid.size() / 2, valid.size() - 1, valid.size() - 12};
  for (std::size_t cut : cuts) {
    std::vector<std::uint8_t> bytes(valid.begin(), valid.begin() + std::ptrdiff_t(cut));
    ExpectRefused(bytes, ("cut at " + std::to_string(cut)).c_str());
  }
}

TEST(PngDecode, DamagedBytesAreRefused) {
  const std::vector<std::uint8_t> valid = SmallValidPng();
  struct Damage {
    const char* what;
    std::size_t offset;
  };
  // Offsets: signature, IHDR width, IHDR CRC, the first bytes of IDAT data.
  const Damage damages[] = {{"signature", 1},
                            {"ihdr width", 18},
                            {"ihdr crc", 30},
                            {"idat data", 45},
                            {"idat length", 34}};
  for (const Damage& d : damages) {
    std::vector<std::uint8_t> bytes = valid;
    bytes[d.offset] ^= 0x5A;
    ExpectRefused(bytes, d.what);
  }
}

std::vector<std::uint8_t> Chunk(const char* type, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> out;
  const std::uint32_t n = std::uint32_t(data.size());
  for (int s = 24; s >= 0; s -= 8) out.push_back(std::uint8_t(n >> s));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  crc = crc32(crc, data.data(), uInt(data.size()));
  for (int s = 24; s >= 0; s -= 8) out.push_back(std::uint8_t(crc >> s));
  return out;
}

TEST(PngDecode, HugeDeclaredSizeIsRefusedBeforeAllocating) {
  // A well-formed IHDR for a 60000 x 60000 RGBA picture (14 GB decoded).
  std::vector<std::uint8_t> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> ihdr = {0, 0, 0xEA, 0x60, 0, 0, 0xEA, 0x60, 8, 6, 0, 0, 0};
  std::vector<std::uint8_t> c = Chunk("IHDR", ihdr);
  bytes.insert(bytes.end(), c.begin(), c.end());
  c = Chunk("IEND", {});
  bytes.insert(bytes.end(), c.begin(), c.end());
  ExpectRefused(bytes, "huge");
}

TEST(PngDecode, RandomDamageNeverCrashes) {
  const std::vector<std::uint8_t> valid = SmallValidPng();
  std::mt19937 rng(12345);
  int refused = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<std::uint8_t> bytes = valid;
    const int flips = 1 + int(rng() % 4);
    for (int k = 0; k < flips; ++k)
      bytes[8 + rng() % (bytes.size() - 8)] ^= std::uint8_t(1 + rng() % 255);
    if (rng() % 4 == 0) bytes.resize(8 + rng() % (bytes.size() - 8));
    try {
      BgraImage image = DecodePng(bytes.data(), bytes.size(), "fuzz.png");
      EXPECT_EQ(image.pixels.size(), std::size_t(image.width) * image.height * 4);
    } catch (const CliError&) {
      ++refused;
    }
  }
  // CRCs catch nearly every flip; a file passing all of them is a fluke.
  EXPECT_GT(refused, 390);
}

TEST(PngRead, MissingFileIsNamed) {
  try {
    ReadPng("/nonexistent/folder/shot_0001.png");
    FAIL() << "expected an error";
  } catch (const CliError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/folder/shot_0001.png"), std::string::npos);
  }
}

}  // namespace
}  // namespace mattix::cli
