// BI_RLE8 codec over byte buffers: round trips, hand-made streams, refusals,
// every prefix of valid streams, and corrupted streams checked against a
// decoder written here from the format's definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "Rle8Reference.h"
#include "stdfx/Rle8.h"

namespace {

using pixmill_test::Bytes;
using pixmill_test::ReferenceDecode;

std::size_t StrideOf(int width) { return (static_cast<std::size_t>(width) + 3) & ~std::size_t{3}; }

Bytes Encode(const Bytes& img, int w, int h, std::size_t stride) {
  Bytes out(stdfx::Rle8EncodedBound(w, h));
  const std::size_t n = stdfx::EncodeRle8(img.data(), w, h, stride, out.data(), out.size());
  out.resize(n);
  return out;
}

// Decodes from a buffer of exactly the stream's length, so that the address
// sanitizer sees any read past its end.
std::optional<Bytes> Decode(const Bytes& s, int w, int h, std::size_t stride) {
  Bytes exact(s);
  Bytes img(stride * static_cast<std::size_t>(h), 0xCD);
  if (!stdfx::DecodeRle8(exact.empty() ? nullptr : exact.data(), exact.size(), img.data(), w, h,
                         stride)) {
    // A refused stream leaves zeros (the arguments themselves were valid).
    EXPECT_TRUE(std::all_of(img.begin(), img.end(), [](std::uint8_t v) { return v == 0; }));
    return std::nullopt;
  }
  return img;
}

// The image as the decoder returns it: row padding zero.
Bytes WithZeroPadding(Bytes img, int w, int h, std::size_t stride) {
  for (int y = 0; y < h; ++y)
    for (std::size_t x = static_cast<std::size_t>(w); x < stride; ++x) img[y * stride + x] = 0;
  return img;
}

// Fills a w x h image (stride StrideOf(w)) of the given kind; padding bytes
// are 0x5A so that an encoder reading them would be caught.
Bytes Fill(int w, int h, std::mt19937& rng, int kind) {
  const std::size_t stride = StrideOf(w);
  Bytes img(stride * static_cast<std::size_t>(h), 0x5A);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> len(1, 600);
  int current = 0;
  int left = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t v = 0;
      switch (kind) {
        case 0:
          v = 0;
          break;
        case 1:
          v = 255;
          break;
        case 2:
          v = ((x + y) & 1) ? 255 : 0;
          break;  // alternating bytes
        case 3:
          v = static_cast<std::uint8_t>(x * 7 + y * 13);
          break;  // all distinct nearby
        case 4:
          v = static_cast<std::uint8_t>(byte(rng));
          break;  // noise
        case 5:   // long runs crossing row ends
          if (left == 0) {
            current = byte(rng) < 128 ? 0 : 255;
            left = len(rng);
          }
          --left;
          v = static_cast<std::uint8_t>(current);
          break;
        case 6:
          v = ((x / 2) & 1) ? 9 : 200;
          break;  // runs of exactly 2
        case 7:
          v = (x % 5 < 3) ? 1 : static_cast<std::uint8_t>(x);
          break;  // runs of 3 between literals
        default:
          v = (x < w / 2) ? 0 : 255;
          break;  // two half rows
      }
      img[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)] = v;
    }
  return img;
}

class Rle8RoundTrip : public ::testing::TestWithParam<int> {};  // the kind of Fill

TEST_P(Rle8RoundTrip, DecodesToInputAndMatchesReference) {
  const int kind = GetParam();
  for (int w : {1, 2, 3, 5, 241, 255, 256, 257, 600})
    for (int h : {1, 7, 209}) {
      SCOPED_TRACE(::testing::Message() << w << " x " << h);
      std::mt19937 rng(static_cast<unsigned>(kind * 1000003 + w * 31 + h));
      const std::size_t stride = StrideOf(w);
      const Bytes img = Fill(w, h, rng, kind);
      const Bytes enc = Encode(img, w, h, stride);
      ASSERT_GT(enc.size(), 0u);
      EXPECT_LE(enc.size(), stdfx::Rle8EncodedBound(w, h));
      const Bytes expected = WithZeroPadding(img, w, h, stride);
      const auto ref = ReferenceDecode(enc, w, h, stride);
      ASSERT_TRUE(ref.has_value());
      EXPECT_EQ(*ref, expected);
      const auto dec = Decode(enc, w, h, stride);
      ASSERT_TRUE(dec.has_value());
      EXPECT_EQ(*dec, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Masks, Rle8RoundTrip, ::testing::Range(0, 9));

// Compression actually compresses what masks are made of.
TEST(Rle8, LongRunsAreShort) {
  std::mt19937 rng(1);
  const int w = 241;
  const int h = 209;
  const Bytes zero = Encode(Fill(w, h, rng, 0), w, h, StrideOf(w));
  // 241 = 255-limited single run per row, plus end-of-line: 4 bytes a row.
  EXPECT_EQ(zero.size(), static_cast<std::size_t>(h) * 4);
  const Bytes halves = Encode(Fill(w, h, rng, 8), w, h, StrideOf(w));
  EXPECT_EQ(halves.size(), static_cast<std::size_t>(h) * 6);
}

struct KnownStream {
  const char* name;
  int w;
  int h;
  Bytes image;   // w x h, stride w rounded up to 4
  Bytes stream;  // hand-written from the format definition
};

// Our encoder produces exactly these streams.
TEST(Rle8, KnownEncodings) {
  const std::vector<KnownStream> cases = {
      {"run", 4, 1, {5, 5, 5, 5}, {4, 5, 0, 1}},
      {"two singles", 2, 1, {1, 2, 0, 0}, {1, 1, 1, 2, 0, 1}},
      {"odd literal padded", 3, 1, {1, 2, 3, 0}, {0, 3, 1, 2, 3, 0, 0, 1}},
      {"literal then run", 6, 1, {1, 2, 3, 9, 9, 9, 0, 0}, {0, 3, 1, 2, 3, 0, 3, 9, 0, 1}},
      {"run then pair", 5, 1, {4, 4, 4, 8, 8, 0, 0, 0}, {3, 4, 2, 8, 0, 1}},
      {"two rows", 1, 2, {6, 0, 0, 0, 6, 0, 0, 0}, {1, 6, 0, 0, 1, 6, 0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Encode(c.image, c.w, c.h, StrideOf(c.w)), c.stream);
  }
}

// Streams other writers may produce: deltas, early end of bitmap, zero padding.
TEST(Rle8, DecodesForeignStreams) {
  // The textbook example: 3 x 4, 5 x 6, literal 45 56 67, 2 x 78, a delta of
  // 5 right and 1 row on, 2 x 78, end of line, 9 x 1E, end of bitmap.
  const Bytes sample = {0x03, 0x04, 0x05, 0x06, 0x00, 0x03, 0x45, 0x56, 0x67, 0x00, 0x02, 0x78,
                        0x00, 0x02, 0x05, 0x01, 0x02, 0x78, 0x00, 0x00, 0x09, 0x1E, 0x00, 0x01};
  const int w = 20;
  const int h = 3;
  Bytes expected(20 * 3, 0);
  const Bytes row0 = {4, 4, 4, 6, 6, 6, 6, 6, 0x45, 0x56, 0x67, 0x78, 0x78};
  std::copy(row0.begin(), row0.end(), expected.begin());
  expected[20 + 18] = 0x78;
  expected[20 + 19] = 0x78;
  std::fill(expected.begin() + 40, expected.begin() + 49, 0x1E);
  auto dec = Decode(sample, w, h, 20);
  ASSERT_TRUE(dec.has_value());
  EXPECT_EQ(*dec, expected);

  Bytes padded = sample;
  padded.insert(padded.end(), {0, 0});
  dec = Decode(padded, w, h, 20);
  ASSERT_TRUE(dec.has_value());
  EXPECT_EQ(*dec, expected);

  // End of bitmap straight away: all zero.
  dec = Decode(Bytes{0, 1}, 5, 5, 8);
  ASSERT_TRUE(dec.has_value());
  EXPECT_EQ(*dec, Bytes(40, 0));

  // End of line after the last row, then end of bitmap.
  dec = Decode(Bytes{2, 9, 0, 0, 0, 1}, 2, 1, 4);
  ASSERT_TRUE(dec.has_value());
  EXPECT_EQ(*dec, (Bytes{9, 9, 0, 0}));
}

TEST(Rle8, RefusesMalformedStreams) {
  struct Bad {
    const char* name;
    Bytes stream;
  };
  // Geometry 4 x 2, stride 4.
  const std::vector<Bad> cases = {
      {"empty", {}},
      {"no end of bitmap", {4, 1, 0, 0, 4, 1}},
      {"run past row end", {5, 1, 0, 1}},
      {"literal past row end", {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}},
      {"literal pad missing", {0, 3, 1, 2, 3}},
      {"delta past row end", {0, 2, 5, 0, 0, 1}},
      {"delta past last row", {0, 2, 0, 2, 0, 1}},
      {"data after last row", {0, 0, 0, 0, 1, 1, 0, 1}},
      {"end of line past last row", {0, 0, 0, 0, 0, 0, 0, 1}},
      {"garbage after end", {0, 1, 7}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(ReferenceDecode(c.stream, 4, 2, 4).has_value());  // the reference agrees
    EXPECT_FALSE(Decode(c.stream, 4, 2, 4).has_value());
  }
}

TEST(Rle8, RefusesAbsurdGeometryWithoutTouchingBuffers) {
  struct Geo {
    int w;
    int h;
    std::size_t stride;
  };
  const std::vector<Geo> cases = {{0, 1, 4},
                                  {1, 0, 4},
                                  {-1, 1, 4},
                                  {16385, 1, 16388},
                                  {1, 16385, 4},
                                  {8, 1, 4},
                                  {1, 1, stdfx::kRle8MaxStride + 1}};
  const Bytes stream = {0, 1};
  for (const auto& g : cases) {
    Bytes dst(64, 0xEE);
    EXPECT_FALSE(stdfx::DecodeRle8(stream.data(), stream.size(), dst.data(), g.w, g.h, g.stride));
    EXPECT_TRUE(std::all_of(dst.begin(), dst.end(), [](std::uint8_t v) { return v == 0xEE; }));
    EXPECT_EQ(stdfx::EncodeRle8(dst.data(), g.w, g.h, g.stride, dst.data(), dst.size()), 0u);
  }
  EXPECT_EQ(stdfx::Rle8EncodedBound(16385, 1), 0u);
  EXPECT_EQ(stdfx::Rle8EncodedBound(16384, 16384), 16384u * (2u * 16384u + 2u));
}

TEST(Rle8, EncoderReportsTooSmallOutput) {
  std::mt19937 rng(3);
  const Bytes img = Fill(57, 9, rng, 4);
  const Bytes full = Encode(img, 57, 9, StrideOf(57));
  ASSERT_GT(full.size(), 0u);
  Bytes out(full.size() - 1);
  EXPECT_EQ(stdfx::EncodeRle8(img.data(), 57, 9, StrideOf(57), out.data(), out.size()), 0u);
  out.resize(full.size());
  EXPECT_EQ(stdfx::EncodeRle8(img.data(), 57, 9, StrideOf(57), out.data(), out.size()),
            full.size());
}

// Random corruption: the decoder must agree with the reference on accepting
// and on the pixels, and never touch memory outside its buffers.
TEST(Rle8, CorruptedStreamsAgreeWithReference) {
  std::mt19937 rng(11);
  int accepted = 0;
  int trials = 0;
  for (int kind : {3, 4, 5, 6, 7, 8}) {
    const int w = 29;
    const int h = 5;
    const std::size_t stride = StrideOf(w);
    const Bytes enc = Encode(Fill(w, h, rng, kind), w, h, stride);
    for (int t = 0; t < 1500; ++t, ++trials) {
      Bytes bad = enc;
      const int flips = 1 + static_cast<int>(rng() % 4);
      for (int f = 0; f < flips; ++f) {
        const std::size_t at = rng() % bad.size();
        switch (rng() % 3) {
          case 0:
            bad[at] = static_cast<std::uint8_t>(rng());
            break;
          case 1:
            bad[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            break;
          default:
            bad[at] = static_cast<std::uint8_t>(rng() % 3);
            break;  // escape codes
        }
      }
      if (rng() % 4 == 0) bad.resize(rng() % (bad.size() + 1));
      const auto ref = ReferenceDecode(bad, w, h, stride);
      const auto dec = Decode(bad, w, h, stride);
      ASSERT_EQ(ref.has_value(), dec.has_value()) << "trial " << t << " kind " << kind;
      if (dec) {
        ++accepted;
        EXPECT_EQ(*dec, *ref);
      }
    }
  }
  // Flipped values inside runs and literals keep a stream valid, so both
  // outcomes are exercised.
  EXPECT_GT(accepted, trials / 20);
  EXPECT_LT(accepted, trials);
}

// Random token sequences, mostly valid: deltas, early ends, literals.
TEST(Rle8, RandomStreamsAgreeWithReference) {
  std::mt19937 rng(17);
  const int w = 13;
  const int h = 4;
  const std::size_t stride = 16;
  int accepted = 0;
  for (int t = 0; t < 5000; ++t) {
    Bytes s;
    const int codes = 1 + static_cast<int>(rng() % 12);
    for (int c = 0; c < codes; ++c) {
      switch (rng() % 5) {
        case 0:
          s.insert(s.end(),
                   {static_cast<std::uint8_t>(1 + rng() % 6), static_cast<std::uint8_t>(rng())});
          break;
        case 1:
          s.insert(s.end(), {0, 0});
          break;
        case 2:
          s.insert(s.end(), {0, 2, static_cast<std::uint8_t>(rng() % 5),
                             static_cast<std::uint8_t>(rng() % 2)});
          break;
        default: {
          const std::uint8_t n = static_cast<std::uint8_t>(3 + rng() % 5);
          s.insert(s.end(), {0, n});
          for (int k = 0; k < n + (n & 1); ++k) s.push_back(static_cast<std::uint8_t>(rng()));
        }
      }
    }
    if (rng() % 8 != 0) s.insert(s.end(), {0, 1});
    const auto ref = ReferenceDecode(s, w, h, stride);
    const auto dec = Decode(s, w, h, stride);
    ASSERT_EQ(ref.has_value(), dec.has_value()) << "trial " << t;
    if (dec) {
      ++accepted;
      EXPECT_EQ(*dec, *ref);
    }
  }
  EXPECT_GT(accepted, 100);
}

}  // namespace
