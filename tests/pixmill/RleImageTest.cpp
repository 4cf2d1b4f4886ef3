// CDIB::CompressRLE / DecompressRLE: headers after each step, refusals that
// leave the image untouched, and a wrapped record that stays as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "ImageTestUtil.h"
#include "Rle8Reference.h"
#include "stdfx/DIB.h"
#include "stdfx/Rle8.h"

namespace {

using pixmill_test::Bytes;

tagVFBMINFOHEADER MaskHeader(int width, int height) {
  tagVFBMINFOHEADER h = pixmill_test::MakeHeader(width, height, 8);
  h.vfInterlacedFlag = 1;
  return h;
}

// A mask like the wheel's: a few filled discs on zero, plus some noise rows.
void PaintMask(stdfx::CDIB& mask, unsigned seed) {
  std::mt19937 rng(seed);
  const int w = mask.DIBWidth();
  const int h = mask.DIBHeight();
  const int stride = mask.DIBBytesPerLine();
  for (int disc = 0; disc < 6; ++disc) {
    const int cx = static_cast<int>(rng() % w), cy = static_cast<int>(rng() % h);
    const int r = 3 + static_cast<int>(rng() % 40);
    const auto v = static_cast<std::uint8_t>(rng() % 256);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) mask.GetBytes()[y * stride + x] = v;
  }
  for (int x = 0; x < w; ++x)
    mask.GetBytes()[(h / 2) * stride + x] = static_cast<std::uint8_t>(rng());
}

// The header and pixel bytes of an image, to check that a refusal changed
// nothing.
struct Snapshot {
  std::vector<unsigned char> header;
  std::vector<unsigned char> pixels;
  unsigned char* bitsAddress;
  explicit Snapshot(const stdfx::CDIB& image)
      : header(reinterpret_cast<const unsigned char*>(image.GetVfBmiHeader()),
               reinterpret_cast<const unsigned char*>(image.GetVfBmiHeader()) + 144),
        pixels(image.GetBytes(), image.GetBytes() + image.DIBSize()),
        bitsAddress(image.GetBytes()) {}
  bool operator==(const Snapshot&) const = default;
};

// The record a wheel stores: the 144-byte header then DIBSize encoded bytes.
Bytes RecordOf(const stdfx::CDIB& encoded) {
  Bytes record(144 + encoded.DIBSize());
  std::memcpy(record.data(), encoded.GetVfBmiHeader(), 144);
  std::memcpy(record.data() + 144, encoded.GetBytes(), encoded.DIBSize());
  return record;
}

struct Geometry {
  int w;
  int h;
};

class RleImage : public ::testing::TestWithParam<Geometry> {};

TEST_P(RleImage, CompressThenDecompressRestoresPixelsAndHeader) {
  const auto [w, h] = GetParam();
  stdfx::CDIB mask(MaskHeader(w, h));
  ASSERT_TRUE(mask.IsValidDIB());
  PaintMask(mask, static_cast<unsigned>(w * 7 + h));
  const int stride = mask.DIBBytesPerLine();
  const Bytes original(mask.GetBytes(), mask.GetBytes() + mask.DIBSize());
  const tagVFBMINFOHEADER before = *mask.GetVfBmiHeader();

  ASSERT_TRUE(mask.CompressRLE());
  const tagVFBMINFOHEADER* enc = mask.GetVfBmiHeader();
  EXPECT_EQ(enc->biCompression, 1u);
  EXPECT_EQ(mask.DIBSize(), enc->biSizeImage);
  tagVFBMINFOHEADER same = *enc;  // everything else as it was
  same.biCompression = before.biCompression;
  same.biSizeImage = before.biSizeImage;
  EXPECT_EQ(std::memcmp(&same, &before, 144), 0);
  if (w * h >= 1000) {
    EXPECT_LT(enc->biSizeImage, static_cast<DWORD>(stride * h));  // masks compress
  }
  // Other tools read it: the independent decoder gives the pixels back.
  const Bytes stream(mask.GetBytes(), mask.GetBytes() + mask.DIBSize());
  const auto ref = pixmill_test::ReferenceDecode(stream, w, h, static_cast<std::size_t>(stride));
  ASSERT_TRUE(ref.has_value());
  EXPECT_EQ(*ref, original);

  ASSERT_TRUE(mask.DecompressRLE());
  EXPECT_EQ(mask.DIBCompression(), 0u);
  EXPECT_EQ(mask.DIBSizeImage(), static_cast<DWORD>(stride * h));
  EXPECT_EQ(mask.DIBBytesPerLine(), stride);
  EXPECT_EQ(Bytes(mask.GetBytes(), mask.GetBytes() + mask.DIBSize()), original);
  tagVFBMINFOHEADER after = *mask.GetVfBmiHeader();
  after.biSizeImage = before.biSizeImage;
  EXPECT_EQ(std::memcmp(&after, &before, 144), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RleImage,
                         ::testing::Values(Geometry{241, 209}, Geometry{1, 1}, Geometry{3, 5},
                                           Geometry{600, 4}));

TEST(RleImage, RefusalsLeaveTheImageUntouched) {
  struct Case {
    const char* name;
    tagVFBMINFOHEADER header;
    bool compressedFirst;  // compress a valid mask first, then edit its header
    void (*edit)(tagVFBMINFOHEADER&);
    bool (stdfx::CDIB::*op)();
  };
  auto noEdit = [](tagVFBMINFOHEADER&) {};
  const std::vector<Case> cases = {
      {"compress 32-bit",
       [] {
         auto h = MaskHeader(8, 4);
         h.biBitCount = 32;
         return h;
       }(),
       false, noEdit, &stdfx::CDIB::CompressRLE},
      {"compress twice", MaskHeader(8, 4), true, noEdit, &stdfx::CDIB::CompressRLE},
      {"decompress plain", MaskHeader(8, 4), false, noEdit, &stdfx::CDIB::DecompressRLE},
      {"decompress wider than the limit", MaskHeader(8, 4), true,
       [](tagVFBMINFOHEADER& h) { h.biWidth = 16385; }, &stdfx::CDIB::DecompressRLE},
      {"decompress truncated stream", MaskHeader(8, 4), true,
       [](tagVFBMINFOHEADER& h) { h.biSizeImage -= 1; }, &stdfx::CDIB::DecompressRLE},
      {"decompress taller than the data", MaskHeader(8, 4), true,
       [](tagVFBMINFOHEADER& h) { h.biHeight = 3; }, &stdfx::CDIB::DecompressRLE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    stdfx::CDIB image(c.header);
    ASSERT_TRUE(image.IsValidDIB());
    std::memset(image.GetBytes(), 0x3C, image.DIBSize());
    if (c.compressedFirst) {
      ASSERT_TRUE(image.CompressRLE());
      c.edit(*image.GetVfBmiHeader());
    }
    const Snapshot before(image);
    EXPECT_FALSE((image.*c.op)());
    EXPECT_TRUE(Snapshot(image) == before);
  }
  stdfx::CDIB empty;
  EXPECT_FALSE(empty.CompressRLE());
  EXPECT_FALSE(empty.DecompressRLE());
}

// A record wrapped without copying (as a host parameter is): decoding makes
// the image its own and leaves the record as it was.
TEST(RleImage, AttachedRecordIsNotTouched) {
  stdfx::CDIB mask(MaskHeader(241, 209));
  PaintMask(mask, 5);
  const Bytes original(mask.GetBytes(), mask.GetBytes() + mask.DIBSize());
  ASSERT_TRUE(mask.CompressRLE());
  Bytes record = RecordOf(mask);
  const Bytes kept = record;
  stdfx::CDIB wrapper(record.data(), record.data() + 144);
  ASSERT_TRUE(wrapper.IsAttached());
  ASSERT_TRUE(wrapper.DecompressRLE());
  EXPECT_TRUE(wrapper.IsCreated());
  EXPECT_EQ(Bytes(wrapper.GetBytes(), wrapper.GetBytes() + wrapper.DIBSize()), original);
  EXPECT_EQ(record, kept);
}

}  // namespace
