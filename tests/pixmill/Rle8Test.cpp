// BI_RLE8 codec: encodings worked out by hand, refused geometry, and the fuzz
// body (streams and stored records) over the fuzz target's seeds. (Round trips
// through CDIB::CompressRLE and DecompressRLE, against the reference decoder of
// Rle8Check.h, are the wheel's record tests', which code masks with them.)
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <tuple>

#include "Rle8Check.h"
#include "tests/FuzzSeeds.h"

namespace {

using pixmill_test::Bytes;

std::size_t StrideOf(int width) { return (static_cast<std::size_t>(width) + 3) & ~std::size_t{3}; }

Bytes Encode(const Bytes& img, int w, int h) {
  Bytes out(stdfx::Rle8EncodedBound(w, h));
  out.resize(stdfx::EncodeRle8(img.data(), w, h, StrideOf(w), out.data(), out.size()));
  return out;
}

// A w x h image (stride StrideOf(w), padding bytes 0x5A so that an encoder
// reading them is caught): kind 0 zeros, kind 1 zero left halves and 255
// right halves, else runs of 1, 2, 3 or up to 600 bytes (crossing row ends)
// of 0, 255 or a random byte.
Bytes Fill(int w, int h, std::mt19937& rng, int kind) {
  Bytes img(StrideOf(w) * static_cast<std::size_t>(h), 0x5A);
  int value = 0, left = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (left-- == 0) {
        const unsigned pick = rng() % 4;
        left = pick < 3 ? int(pick) : int(rng() % 600);
        value = rng() % 3 == 0 ? int(rng() % 256) : (rng() & 1) * 255;
      }
      const int v = kind == 0 ? 0 : kind == 1 ? (x < w / 2 ? 0 : 255) : value;
      img[std::size_t(y) * StrideOf(w) + std::size_t(x)] = std::uint8_t(v);
    }
  return img;
}

// Our encoder produces exactly these streams, hand-written from the format
// (an odd literal is padded); masks compress: a zero row of 241 is one run
// and an end of line, two half rows are two runs. Up to 3 zero bytes may
// follow the end.
TEST(Rle8, KnownEncodings) {
  const struct {
    int w, h;
    Bytes image, stream;
  } cases[] = {{4, 1, {5, 5, 5, 5}, {4, 5, 0, 1}},
               {2, 1, {1, 2, 0, 0}, {1, 1, 1, 2, 0, 1}},
               {3, 1, {1, 2, 3, 0}, {0, 3, 1, 2, 3, 0, 0, 1}},
               {6, 1, {1, 2, 3, 9, 9, 9, 0, 0}, {0, 3, 1, 2, 3, 0, 3, 9, 0, 1}},
               {5, 1, {4, 4, 4, 8, 8, 0, 0, 0}, {3, 4, 2, 8, 0, 1}},
               {1, 2, {6, 0, 0, 0, 6, 0, 0, 0}, {1, 6, 0, 0, 1, 6, 0, 1}},
               {300, 1, Bytes(300, 7), {255, 7, 45, 7, 0, 1}}};  // a run of at most 255
  for (const auto& c : cases) EXPECT_EQ(Encode(c.image, c.w, c.h), c.stream) << c.w;
  std::mt19937 rng(1);
  EXPECT_EQ(Encode(Fill(241, 209, rng, 0), 241, 209).size(), 209u * 4);
  EXPECT_EQ(Encode(Fill(241, 209, rng, 1), 241, 209).size(), 209u * 6);
  // Up to 3 zeros after the end, read from a buffer of exactly the stream's
  // length (the sanitizer sees overreads); the padding is zeroed.
  const Bytes s = {2, 9, 0, 0, 0, 1, 0, 0, 0};
  Bytes img(4, 0xCD);
  ASSERT_TRUE(stdfx::DecodeRle8(s.data(), s.size(), img.data(), 2, 1, 4));
  EXPECT_EQ(img, (Bytes{9, 9, 0, 0}));
}

// Geometry the codec refuses leaves the target alone; an output one byte
// short of the encoding is reported, not overrun. (Malformed streams are
// judged by the reference in the fuzz body.)
TEST(Rle8, RefusesGeometryAndShortOutput) {
  // Width, height, stride (the largest is 4 x 16384).
  const std::tuple<int, int, std::size_t> geometry[] = {
      {0, 1, 4}, {1, 0, 4}, {-1, 1, 4}, {16385, 1, 16388}, {1, 16385, 4}, {8, 1, 4}, {1, 1, 65537}};
  const Bytes stream = {0, 1};
  for (const auto& [w, h, stride] : geometry) {
    Bytes dst(64, 0xEE);
    EXPECT_FALSE(stdfx::DecodeRle8(stream.data(), stream.size(), dst.data(), w, h, stride));
    EXPECT_EQ(dst, Bytes(64, 0xEE));
    EXPECT_EQ(stdfx::EncodeRle8(dst.data(), w, h, stride, dst.data(), dst.size()), 0u);
  }
  EXPECT_EQ(stdfx::Rle8EncodedBound(16385, 1), 0u);
  EXPECT_EQ(stdfx::Rle8EncodedBound(16384, 16384), 16384u * (2u * 16384u + 2u));
  std::mt19937 rng(3);
  const Bytes img = Fill(57, 9, rng, 4);
  Bytes out(Encode(img, 57, 9).size() - 1);
  EXPECT_EQ(stdfx::EncodeRle8(img.data(), 57, 9, StrideOf(57), out.data(), out.size()), 0u);
}

// The fuzz body over the fuzz target's seeds (streams and stored records),
// each read both ways, and their fixed damage (random damage is the fuzz
// target's, pixmill_rle_fuzz).
TEST(Rle8, FuzzBodyOnSeedSet) {
  mattix::test::ExpectSeedsHold("tests/pixmill/fuzz",
                                [](const std::uint8_t* data, std::size_t size) {
                                  const char* fault = pixmill_test::CheckRle8Decode(data, size);
                                  if (!fault) fault = pixmill_test::CheckRle8Record(data, size);
                                  return std::string(fault ? fault : "");
                                });
}

}  // namespace
