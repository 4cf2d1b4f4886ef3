// BI_RLE8 codec: round trips against the reference decoder, hand-made
// streams, refusals, and the fuzz body of Rle8Check.h over a fixed seed set
// of damaged streams and records; then CDIB::CompressRLE / DecompressRLE and
// the stored-record decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "ImageTestUtil.h"
#include "Rle8Check.h"

namespace {

using pixmill_test::Bytes;
using pixmill_test::ReferenceDecode;
using pixmill_test::Rle8Verdict;
using stdfx::CDIB;

std::size_t StrideOf(int width) { return (static_cast<std::size_t>(width) + 3) & ~std::size_t{3}; }

Bytes Encode(const Bytes& img, int w, int h) {
  Bytes out(stdfx::Rle8EncodedBound(w, h));
  out.resize(stdfx::EncodeRle8(img.data(), w, h, StrideOf(w), out.data(), out.size()));
  return out;
}

// Decodes from a buffer of exactly the stream's length (the sanitizer sees
// overreads); a refused stream must leave zeros.
std::optional<Bytes> Decode(Bytes s, int w, int h, std::size_t stride) {
  Bytes img(stride * static_cast<std::size_t>(h), 0xCD);
  if (stdfx::DecodeRle8(s.empty() ? nullptr : s.data(), s.size(), img.data(), w, h, stride))
    return img;
  EXPECT_TRUE(std::all_of(img.begin(), img.end(), [](std::uint8_t v) { return v == 0; }));
  return std::nullopt;
}

// A w x h image of kind 0..8 (stride StrideOf(w)); padding bytes are 0x5A so
// that an encoder reading them would be caught. Kinds: zeros, 255s,
// alternating bytes, all distinct nearby, noise, long runs crossing row
// ends, runs of exactly 2, runs of 3 between literals, two half rows.
Bytes Fill(int w, int h, std::mt19937& rng, int kind) {
  Bytes img(StrideOf(w) * static_cast<std::size_t>(h), 0x5A);
  int current = 0, left = 0;
  auto longRuns = [&] {
    if (left-- == 0) current = (rng() & 1) ? 0 : 255, left = static_cast<int>(rng() % 600);
    return current;
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v[] = {0,
                       255,
                       ((x + y) & 1) * 255,
                       x * 7 + y * 13,
                       int(rng() % 256),
                       longRuns(),
                       ((x / 2) & 1) ? 9 : 200,
                       (x % 5 < 3) ? 1 : x,
                       (x < w / 2) ? 0 : 255};
      img[static_cast<std::size_t>(y) * StrideOf(w) + static_cast<std::size_t>(x)] =
          static_cast<std::uint8_t>(v[kind]);
    }
  return img;
}

Bytes WithZeroPadding(Bytes img, int w, int h) {
  for (int y = 0; y < h; ++y)
    std::fill(img.begin() + y * static_cast<long>(StrideOf(w)) + w,
              img.begin() + (y + 1) * static_cast<long>(StrideOf(w)), 0);
  return img;
}

TEST(Rle8, RoundTripsMatchTheReference) {
  for (int kind = 0; kind < 9; ++kind)
    for (int w : {1, 2, 3, 5, 241, 255, 256, 257, 600})
      for (int h : {1, 7, 209}) {
        SCOPED_TRACE(::testing::Message() << "kind " << kind << " " << w << " x " << h);
        std::mt19937 rng(static_cast<unsigned>(kind * 1000003 + w * 31 + h));
        const Bytes img = Fill(w, h, rng, kind);
        const Bytes enc = Encode(img, w, h);
        ASSERT_GT(enc.size(), 0u);
        EXPECT_LE(enc.size(), stdfx::Rle8EncodedBound(w, h));
        const Bytes expected = WithZeroPadding(img, w, h);
        EXPECT_EQ(ReferenceDecode(enc, w, h, StrideOf(w)), expected);
        EXPECT_EQ(Decode(enc, w, h, StrideOf(w)), expected);
      }
}

// Our encoder produces exactly these streams, hand-written from the format.
TEST(Rle8, KnownEncodings) {
  const struct {
    int w, h;
    Bytes image, stream;
  } cases[] = {
      {4, 1, {5, 5, 5, 5}, {4, 5, 0, 1}},
      {2, 1, {1, 2, 0, 0}, {1, 1, 1, 2, 0, 1}},
      {3, 1, {1, 2, 3, 0}, {0, 3, 1, 2, 3, 0, 0, 1}},  // odd literal padded
      {6, 1, {1, 2, 3, 9, 9, 9, 0, 0}, {0, 3, 1, 2, 3, 0, 3, 9, 0, 1}},
      {5, 1, {4, 4, 4, 8, 8, 0, 0, 0}, {3, 4, 2, 8, 0, 1}},
      {1, 2, {6, 0, 0, 0, 6, 0, 0, 0}, {1, 6, 0, 0, 1, 6, 0, 1}},
  };
  for (const auto& c : cases) EXPECT_EQ(Encode(c.image, c.w, c.h), c.stream) << c.w;
  // Masks compress: a zero row of 241 is one run and an end of line, two
  // half rows are two runs.
  std::mt19937 rng(1);
  EXPECT_EQ(Encode(Fill(241, 209, rng, 0), 241, 209).size(), 209u * 4);
  EXPECT_EQ(Encode(Fill(241, 209, rng, 8), 241, 209).size(), 209u * 6);
}

// Streams other writers produce: deltas, early end of bitmap, zero padding.
TEST(Rle8, DecodesForeignStreams) {
  // 3 x 4, 5 x 6, literal 45 56 67, 2 x 78, delta (5, 1), 2 x 78, end of
  // line, 9 x 1E, end of bitmap.
  const Bytes sample = {0x03, 0x04, 0x05, 0x06, 0x00, 0x03, 0x45, 0x56, 0x67, 0x00, 0x02, 0x78,
                        0x00, 0x02, 0x05, 0x01, 0x02, 0x78, 0x00, 0x00, 0x09, 0x1E, 0x00, 0x01};
  Bytes expected = {4, 4, 4, 6, 6, 6, 6, 6, 0x45, 0x56, 0x67, 0x78, 0x78};
  expected.resize(60, 0);
  expected[38] = expected[39] = 0x78;
  std::fill(expected.begin() + 40, expected.begin() + 49, 0x1E);
  EXPECT_EQ(Decode(sample, 20, 3, 20), expected);
  Bytes padded = sample;
  padded.insert(padded.end(), {0, 0, 0});  // up to 3 zero bytes may follow
  EXPECT_EQ(Decode(padded, 20, 3, 20), expected);
  EXPECT_EQ(Decode({0, 1}, 5, 5, 8), Bytes(40, 0));
  EXPECT_EQ(Decode({2, 9, 0, 0, 0, 1}, 2, 1, 4), (Bytes{9, 9, 0, 0}));  // EOL after last row
}

TEST(Rle8, RefusesMalformedStreamsAndGeometry) {
  const Bytes bad[] = {{},
                       {4, 1, 0, 0, 4, 1},              // no end of bitmap
                       {5, 1, 0, 1},                    // run past row end
                       {0, 5, 1, 2, 3, 4, 5, 0, 0, 1},  // literal past row end
                       {0, 3, 1, 2, 3},                 // literal pad missing
                       {0, 2, 5, 0, 0, 1},              // delta past row end
                       {0, 2, 0, 2, 0, 1},              // delta past last row
                       {0, 0, 0, 0, 1, 1, 0, 1},        // data after last row
                       {0, 0, 0, 0, 0, 0, 0, 1},        // end of line past last row
                       {0, 1, 7}};                      // garbage after end
  for (const Bytes& s : bad) {                          // geometry 4 x 2
    EXPECT_FALSE(ReferenceDecode(s, 4, 2, 4).has_value()) << s.size();
    EXPECT_FALSE(Decode(s, 4, 2, 4).has_value()) << s.size();
  }
  const struct {
    int w, h;
    std::size_t stride;
  } geometry[] = {{0, 1, 4},
                  {1, 0, 4},
                  {-1, 1, 4},
                  {16385, 1, 16388},
                  {1, 16385, 4},
                  {8, 1, 4},
                  {1, 1, stdfx::kRle8MaxStride + 1}};
  const Bytes stream = {0, 1};
  for (const auto& g : geometry) {
    Bytes dst(64, 0xEE);
    EXPECT_FALSE(stdfx::DecodeRle8(stream.data(), stream.size(), dst.data(), g.w, g.h, g.stride));
    EXPECT_EQ(dst, Bytes(64, 0xEE));
    EXPECT_EQ(stdfx::EncodeRle8(dst.data(), g.w, g.h, g.stride, dst.data(), dst.size()), 0u);
  }
  EXPECT_EQ(stdfx::Rle8EncodedBound(16385, 1), 0u);
  EXPECT_EQ(stdfx::Rle8EncodedBound(16384, 16384), 16384u * (2u * 16384u + 2u));
  // An output one byte short of the encoding is reported, not overrun.
  std::mt19937 rng(3);
  const Bytes img = Fill(57, 9, rng, 4);
  const Bytes full = Encode(img, 57, 9);
  Bytes out(full.size() - 1);
  EXPECT_EQ(stdfx::EncodeRle8(img.data(), 57, 9, StrideOf(57), out.data(), out.size()), 0u);
}

tagVFBMINFOHEADER MaskHeader(int width, int height) {
  tagVFBMINFOHEADER h = pixmill_test::MakeHeader(width, height, 8);
  h.vfInterlacedFlag = 1;
  return h;
}

// A mask like the wheel's: filled discs on zero and a noise row.
CDIB PaintedMask(int w, int h, unsigned seed) {
  CDIB mask(MaskHeader(w, h));
  std::mt19937 rng(seed);
  const int stride = mask.DIBBytesPerLine();
  for (int disc = 0; disc < 6; ++disc) {
    const int cx = static_cast<int>(rng() % w), cy = static_cast<int>(rng() % h);
    const int r = 3 + static_cast<int>(rng() % 40);
    const auto v = static_cast<std::uint8_t>(rng());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) mask.GetBytes()[y * stride + x] = v;
  }
  for (int x = 0; x < w; ++x) mask.GetBytes()[(h / 2) * stride + x] = std::uint8_t(rng());
  return mask;
}

// The record a wheel stores: the 144-byte header then DIBSize encoded bytes.
Bytes RecordOf(const CDIB& encoded) {
  Bytes record(144 + encoded.DIBSize());
  std::memcpy(record.data(), encoded.GetVfBmiHeader(), 144);
  std::memcpy(record.data() + 144, encoded.GetBytes(), encoded.DIBSize());
  return record;
}

// The fuzz body over fixed seeds: token streams that are mostly valid,
// damaged encodings of masks, and damaged records.
TEST(Rle8, FuzzBodyOnSeedSet) {
  std::mt19937 rng(17);
  int accepted = 0, trials = 0;
  auto run = [&](Rle8Verdict (*body)(const std::uint8_t*, std::size_t), const Bytes& in) {
    const Rle8Verdict v = body(in.data(), in.size());
    ASSERT_FALSE(v.fault) << v.fault << " (trial " << trials << ")";
    accepted += v.accepted;
    ++trials;
  };
  for (int t = 0; t < 5000; ++t) {  // 13 x 4: deltas, early ends, literals
    Bytes s = {12, 3};
    for (int c = 1 + static_cast<int>(rng() % 12); c > 0; --c) {
      const auto byte = [&](unsigned mod) { return static_cast<std::uint8_t>(rng() % mod); };
      Bytes literal = {0, std::uint8_t(3 + byte(5))};
      for (int k = 0; k < literal[1] + (literal[1] & 1); ++k) literal.push_back(byte(256));
      const Bytes tokens[] = {{std::uint8_t(1 + byte(6)), byte(256)},
                              {0, 0},
                              {0, 2, byte(5), byte(2)},
                              literal,
                              literal};  // run, EOL, delta
      const Bytes& token = tokens[rng() % 5];
      s.insert(s.end(), token.begin(), token.end());
    }
    if (rng() % 8 != 0) s.insert(s.end(), {0, 1});
    run(pixmill_test::CheckRle8Decode, s);
  }
  for (int kind : {3, 4, 5, 6, 7, 8}) {  // 29 x 5, one to four damaged bytes
    Bytes enc = Encode(Fill(29, 5, rng, kind), 29, 5);
    enc.insert(enc.begin(), {28, 4});
    for (int t = 0; t < 1000; ++t) {
      Bytes bad = enc;
      for (int f = 1 + static_cast<int>(rng() % 4); f > 0; --f) {
        const std::size_t at = 2 + rng() % (bad.size() - 2);
        const unsigned how = rng() % 3;
        bad[at] = how == 0   ? std::uint8_t(rng())
                  : how == 1 ? std::uint8_t(bad[at] ^ (1u << (rng() % 8)))
                             : std::uint8_t(rng() % 3);  // escape codes
      }
      if (rng() % 4 == 0) bad.resize(2 + rng() % (bad.size() - 1));
      run(pixmill_test::CheckRle8Decode, bad);
    }
  }
  // Flipped values inside runs and literals keep a stream valid.
  EXPECT_GT(accepted, trials / 20);
  EXPECT_LT(accepted, trials);
  CDIB mask = PaintedMask(61, 23, 4);
  ASSERT_TRUE(mask.CompressRLE());
  const Bytes good = RecordOf(mask);
  accepted = 0;
  for (int t = 0; t < 3000; ++t) {
    Bytes record = good;
    for (int f = 1 + static_cast<int>(rng() % 3); f > 0; --f)  // half on sizes and codes
      record[(rng() % 2) ? rng() % record.size() : 4 + rng() % 20] = std::uint8_t(rng());
    run(pixmill_test::CheckRle8Record, record);
  }
  EXPECT_GT(accepted, 0);
}

class RleImage : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(RleImage, CompressDecompressRestorePixelsAndHeader) {
  const auto [w, h] = GetParam();
  CDIB mask = PaintedMask(w, h, static_cast<unsigned>(w * 7 + h));
  const int stride = mask.DIBBytesPerLine();
  const Bytes original(mask.GetBytes(), mask.GetBytes() + mask.DIBSize());
  const tagVFBMINFOHEADER before = *mask.GetVfBmiHeader();
  ASSERT_TRUE(mask.CompressRLE());
  tagVFBMINFOHEADER enc = *mask.GetVfBmiHeader();
  EXPECT_EQ(enc.biCompression, 1u);
  EXPECT_EQ(mask.DIBSize(), enc.biSizeImage);
  EXPECT_TRUE(w * h < 1000 || enc.biSizeImage < DWORD(stride * h));  // masks compress
  // Other tools read it: the reference gives the pixels back.
  const Bytes stream(mask.GetBytes(), mask.GetBytes() + mask.DIBSize());
  EXPECT_EQ(ReferenceDecode(stream, w, h, std::size_t(stride)), original);
  enc.biCompression = before.biCompression;  // all else as it was
  enc.biSizeImage = before.biSizeImage;
  EXPECT_EQ(std::memcmp(&enc, &before, 144), 0);
  // A record wrapped without copying (as a host parameter is) decodes into
  // an image of its own and stays as it was.
  Bytes record = RecordOf(mask);
  const Bytes kept = record;
  CDIB wrapper(record.data(), record.data() + 144);
  ASSERT_TRUE(wrapper.DecompressRLE());
  EXPECT_TRUE(wrapper.IsCreated());
  EXPECT_EQ(Bytes(wrapper.GetBytes(), wrapper.GetBytes() + wrapper.DIBSize()), original);
  EXPECT_EQ(record, kept);
  ASSERT_TRUE(mask.DecompressRLE());
  EXPECT_EQ(mask.DIBSizeImage(), DWORD(stride * h));
  EXPECT_EQ(Bytes(mask.GetBytes(), mask.GetBytes() + mask.DIBSize()), original);
  tagVFBMINFOHEADER after = *mask.GetVfBmiHeader();
  after.biSizeImage = before.biSizeImage;
  EXPECT_EQ(std::memcmp(&after, &before, 144), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RleImage,
                         ::testing::Values(std::pair{241, 209}, std::pair{1, 1}, std::pair{3, 5},
                                           std::pair{600, 4}));

TEST(RleImage, RefusalsLeaveTheImageUntouched) {
  const struct {
    int bits;
    bool compressFirst;  // then edit the encoded header
    void (*edit)(tagVFBMINFOHEADER&);
    bool (CDIB::*op)();
  } cases[] = {
      {32, false, [](tagVFBMINFOHEADER&) {}, &CDIB::CompressRLE},
      {8, true, [](tagVFBMINFOHEADER&) {}, &CDIB::CompressRLE},  // twice
      {8, false, [](tagVFBMINFOHEADER&) {}, &CDIB::DecompressRLE},
      {8, true, [](tagVFBMINFOHEADER& h) { h.biWidth = 16385; }, &CDIB::DecompressRLE},
      {8, true, [](tagVFBMINFOHEADER& h) { h.biSizeImage -= 1; }, &CDIB::DecompressRLE},
      {8, true, [](tagVFBMINFOHEADER& h) { h.biHeight = 3; }, &CDIB::DecompressRLE},
  };
  for (const auto& c : cases) {
    tagVFBMINFOHEADER header = MaskHeader(8, 4);
    header.biBitCount = WORD(c.bits);
    CDIB image(header);
    std::memset(image.GetBytes(), 0x3C, image.DIBSize());
    if (c.compressFirst) {
      ASSERT_TRUE(image.CompressRLE());
      c.edit(*image.GetVfBmiHeader());
    }
    const Bytes head(reinterpret_cast<const std::uint8_t*>(image.GetVfBmiHeader()),
                     reinterpret_cast<const std::uint8_t*>(image.GetVfBmiHeader()) + 144);
    const Bytes pixels(image.GetBytes(), image.GetBytes() + image.DIBSize());
    unsigned char* address = image.GetBytes();
    EXPECT_FALSE((image.*c.op)());
    EXPECT_EQ(Bytes(reinterpret_cast<const std::uint8_t*>(image.GetVfBmiHeader()),
                    reinterpret_cast<const std::uint8_t*>(image.GetVfBmiHeader()) + 144),
              head);
    EXPECT_EQ(Bytes(image.GetBytes(), image.GetBytes() + image.DIBSize()), pixels);
    EXPECT_EQ(image.GetBytes(), address);
  }
  CDIB empty;
  EXPECT_FALSE(empty.CompressRLE());
  EXPECT_FALSE(empty.DecompressRLE());
}

}  // namespace
