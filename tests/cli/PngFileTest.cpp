// PNG reading and writing. Test pictures are written here straight through
// libpng's low-level API (an encoder independent of ours) and our output is
// read back through its simplified API; expected pixels come from the sample
// values by the PNG rules (scaling of low and high bit depths, tRNS).
#include "host/cli/CliError.h"
#include "host/cli/PngFile.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <csetjmp>
#include <random>

namespace mattix::cli {
namespace {

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
  std::vector<std::vector<std::uint8_t>> packed;
  for (const std::vector<unsigned>& row : rows) {
    std::vector<std::uint8_t> p((row.size() * std::size_t(depth) + 7) / 8);
    for (std::size_t i = 0; i < row.size(); ++i)
      if (depth == 16)
        p[i * 2] = std::uint8_t(row[i] >> 8), p[i * 2 + 1] = std::uint8_t(row[i]);
      else
        p[i * std::size_t(depth) / 8] |= std::uint8_t(row[i] << (8 - depth - i * depth % 8));
    packed.push_back(p);
  }
  std::vector<png_bytep> pointers;
  for (auto& p : packed) pointers.push_back(p.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

TEST(Png, DecodesEveryColourTypeToStraightBgra) {
  const struct {
    int type, depth;
    bool adam7, trns;
  } cases[] = {
      {PNG_COLOR_TYPE_GRAY, 1, false, false},       {PNG_COLOR_TYPE_GRAY, 2, true, false},
      {PNG_COLOR_TYPE_GRAY, 4, false, false},       {PNG_COLOR_TYPE_GRAY, 8, false, true},
      {PNG_COLOR_TYPE_GRAY, 16, false, true},       {PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false},
      {PNG_COLOR_TYPE_GRAY_ALPHA, 16, true, false}, {PNG_COLOR_TYPE_RGB, 8, true, true},
      {PNG_COLOR_TYPE_RGB, 16, false, false},       {PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false},
      {PNG_COLOR_TYPE_RGB_ALPHA, 16, true, false},  {PNG_COLOR_TYPE_PALETTE, 1, false, false},
      {PNG_COLOR_TYPE_PALETTE, 2, false, true},     {PNG_COLOR_TYPE_PALETTE, 8, true, true}};
  for (const auto& c : cases) {
    const unsigned max = (1u << c.depth) - 1;
    const auto to8 = [&](unsigned v) { return unsigned(std::lround(v * 255.0 / max)); };
    const int channels = c.type == PNG_COLOR_TYPE_GRAY_ALPHA  ? 2
                         : c.type == PNG_COLOR_TYPE_RGB       ? 3
                         : c.type == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                                                              : 1;
    std::vector<png_color> palette;
    std::vector<png_byte> alphas;  // the first half of the entries carry alpha
    for (unsigned i = 0; c.type == PNG_COLOR_TYPE_PALETTE && i <= max; ++i) {
      palette.push_back({png_byte(i * 40 + 3), png_byte(255 - i * 17), png_byte(i * 91)});
      if (c.trns && i <= max / 2) alphas.push_back(png_byte(255 - i * 29));
    }
    // Samples covering the whole range, 0 first and max last.
    std::vector<std::array<unsigned, 4>> samples;
    std::vector<std::vector<unsigned>> rows(kH);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        std::array<unsigned, 4> s{};
        for (int k = 0; k < channels; ++k)
          s[std::size_t(k)] =
              (x == 0 && y == 0) ? 0
              : (x == kW - 1 && y == kH - 1)
                  ? max
                  : (unsigned(x * 37 + y * 101 + k * 53) * 2654435761u >> 7) % (max + 1);
        samples.push_back(s);
        rows[std::size_t(y)].insert(rows[std::size_t(y)].end(), s.begin(), s.begin() + channels);
      }
    // For grey and RGB, the transparent colour is the pixel at (1, 1).
    const std::array<unsigned, 4> key = samples[kW + 1];
    png_color_16 trns{};
    trns.gray = trns.red = png_uint_16(key[0]);
    trns.green = png_uint_16(key[1]), trns.blue = png_uint_16(key[2]);
    const bool keyed = c.trns && c.type != PNG_COLOR_TYPE_PALETTE;
    const std::vector<std::uint8_t> bytes =
        WritePng(kW, kH, c.type, c.depth, c.adam7, rows, palette, alphas, keyed ? &trns : nullptr);
    const BgraImage image = DecodePng(bytes.data(), bytes.size(), "case.png");
    ASSERT_EQ(image.width, kW);
    ASSERT_EQ(image.height, kH);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      const std::array<unsigned, 4>& s = samples[i];
      std::array<unsigned, 4> expected;  // R, G, B, A in 8 bits
      if (c.type == PNG_COLOR_TYPE_PALETTE)
        expected = {palette[s[0]].red, palette[s[0]].green, palette[s[0]].blue,
                    s[0] < alphas.size() ? alphas[s[0]] : 255u};
      else if (channels <= 2)
        expected = {to8(s[0]), to8(s[0]), to8(s[0]), channels == 2 ? to8(s[1]) : 255};
      else
        expected = {to8(s[0]), to8(s[1]), to8(s[2]), channels == 4 ? to8(s[3]) : 255};
      if (keyed && s == key) expected[3] = 0;
      const std::uint8_t* p = &image.pixels[i * 4];
      ASSERT_EQ((std::array<unsigned, 4>{p[2], p[1], p[0], p[3]}), expected)
          << "type " << c.type << ", depth " << c.depth << ", pixel " << i;
    }
  }
}

// 16-bit samples scale to 8 bits by rounding to nearest, at every level.
TEST(Png, SixteenBitScalingRoundsToNearestEverywhere) {
  std::vector<std::vector<unsigned>> rows(256, std::vector<unsigned>(256));
  for (unsigned v = 0; v < 65536; ++v) rows[v >> 8][v & 255] = v;
  const std::vector<std::uint8_t> bytes = WritePng(256, 256, PNG_COLOR_TYPE_GRAY, 16, false, rows);
  const BgraImage image = DecodePng(bytes.data(), bytes.size(), "ramp.png");
  int wrong = 0;
  for (int v = 0; v < 65536; ++v)
    wrong += image.pixels[std::size_t(v) * 4] != std::lround(v * 255.0 / 65535.0);
  EXPECT_EQ(wrong, 0);
}

// What we write is 8-bit RGBA or grey, lossless; colour under zero alpha
// survives (straight alpha), and both compression modes read back the same.
TEST(Png, EncodedPicturesReadBackExactly) {
  std::mt19937 rng(5);
  for (const auto [w, h, level] : {std::array{1, 1, 6}, {3, 2, 0}, {241, 209, 9}, {640, 3, 3}}) {
    BgraImage colour(w, h);
    GreyImage grey(w, h);
    for (auto& b : colour.pixels) b = std::uint8_t(rng());
    for (auto& b : grey.pixels) b = std::uint8_t(rng());
    colour.pixels[3] = 0;
    for (const bool isGrey : {false, true}) {
      const std::vector<std::uint8_t> bytes =
          isGrey ? EncodePngGrey(grey, "m.png", level) : EncodePng(colour, "k.png", level);
      png_image img{};
      img.version = PNG_IMAGE_VERSION;
      ASSERT_TRUE(png_image_begin_read_from_memory(&img, bytes.data(), bytes.size()));
      EXPECT_EQ(img.format, isGrey ? png_uint_32(PNG_FORMAT_GRAY) : png_uint_32(PNG_FORMAT_RGBA));
      img.format = isGrey ? PNG_FORMAT_GRAY : PNG_FORMAT_BGRA;
      std::vector<std::uint8_t> back(PNG_IMAGE_SIZE(img));
      ASSERT_TRUE(png_image_finish_read(&img, nullptr, back.data(), 0, nullptr));
      EXPECT_EQ(back, isGrey ? grey.pixels : colour.pixels) << w << " x " << h;
    }
  }
  EXPECT_THROW(EncodePng(BgraImage(), "nothing.png"), CliError);
}

std::vector<std::uint8_t> Chunk(const char* type, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> out;
  for (int s = 24; s >= 0; s -= 8) out.push_back(std::uint8_t(data.size() >> s));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc =
      crc32(crc32(0, reinterpret_cast<const Bytef*>(type), 4), data.data(), uInt(data.size()));
  for (int s = 24; s >= 0; s -= 8) out.push_back(std::uint8_t(crc >> s));
  return out;
}

// Every damaged file gives a CliError that names the file; none crashes.
TEST(Png, DamagedFilesAreRefusedWithTheirName) {
  BgraImage small(13, 11);
  for (std::size_t i = 0; i < small.pixels.size(); ++i) small.pixels[i] = std::uint8_t(i * 7);
  const std::vector<std::uint8_t> valid = EncodePng(small, "valid.png");
  std::vector<std::vector<std::uint8_t>> damaged;
  // Cuts: empty, in the signature, after it, in IHDR, mid-data, before the
  // end, without the 12-byte IEND.
  for (std::size_t cut : {std::size_t(0), std::size_t(5), std::size_t(8), std::size_t(20),
                          valid.size() / 2, valid.size() - 1, valid.size() - 12})
    damaged.emplace_back(valid.begin(), valid.begin() + std::ptrdiff_t(cut));
  // Flips: signature, IHDR width, IHDR CRC, an ancillary chunk (sRGB, 33..45), IDAT.
  for (const std::size_t at :
       {std::size_t(1), std::size_t(18), std::size_t(30), std::size_t(41), valid.size() - 20}) {
    damaged.push_back(valid);
    damaged.back()[at] ^= 0x5A;
  }
  // A well-formed IHDR for a 60000 x 60000 RGBA picture (14 GB decoded).
  damaged.push_back({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
  for (const auto& c :
       {Chunk("IHDR", {0, 0, 0xEA, 0x60, 0, 0, 0xEA, 0x60, 8, 6, 0, 0, 0}), Chunk("IEND", {})})
    damaged.back().insert(damaged.back().end(), c.begin(), c.end());
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    try {
      DecodePng(damaged[i].data(), damaged[i].size(), "shot_0003.png");
      ADD_FAILURE() << "damaged file " << i << " was accepted";
    } catch (const CliError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("shot_0003.png: ", 0), 0u) << e.what();
    }
  }
  std::mt19937 rng(12345);
  int refused = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<std::uint8_t> bytes = valid;
    for (int k = 0, flips = 1 + int(rng() % 4); k < flips; ++k)
      bytes[8 + rng() % (bytes.size() - 8)] ^= std::uint8_t(1 + rng() % 255);
    if (rng() % 4 == 0) bytes.resize(8 + rng() % (bytes.size() - 8));
    try {
      const BgraImage image = DecodePng(bytes.data(), bytes.size(), "fuzz.png");
      EXPECT_EQ(image.pixels.size(), std::size_t(image.width) * image.height * 4);
    } catch (const CliError&) {
      ++refused;
    }
  }
  // CRCs catch nearly every flip; a file passing all of them is a fluke.
  EXPECT_GT(refused, 390);
  try {
    ReadPng("/nonexistent/folder/shot_0001.png");
    ADD_FAILURE() << "a missing file was read";
  } catch (const CliError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/folder/shot_0001.png"), std::string::npos);
  }
}

}  // namespace
}  // namespace mattix::cli
