// The "Chroma Mask" record: round trips (through the image's own
// CompressRLE and DecompressRLE), its stored header, and refusals of cut
// and edited records, checked against an independent BI_RLE8 decoder
// (randomly damaged records go through the decoder's fuzz body in the image
// library's tests). Record buffers are exactly as long as the record, so the
// address sanitizer catches any read past its end.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <tuple>
#include <vector>

#include "tests/pixmill/ImageTestUtil.h"
#include "tests/pixmill/Rle8Check.h"
#include "wheel/ChromaMaskRecord.h"
#include "wheel/WheelGeometry.h"

namespace {

namespace wheel = mattix::wheel;
using Bytes = std::vector<std::uint8_t>;
using pixmill_test::PaintedMask, pixmill_test::PixelBytes;

Bytes Encode(const stdfx::CDIB& mask) {
  std::vector<unsigned char> record;
  EXPECT_TRUE(wheel::EncodeRecord(mask, record));
  return Bytes(record.begin(), record.end());
}

TEST(ChromaMaskRecord, RoundTripAndStoredHeader) {
  for (const auto& [w, h] : {std::pair{wheel::kWidth, wheel::kHeight}, {1, 1}, {3, 5}, {600, 4}}) {
    SCOPED_TRACE(testing::Message() << w << " x " << h);
    const stdfx::CDIB mask = PaintedMask(w, h, unsigned(w * h));
    const Bytes record = Encode(mask);
    tagVFBMINFOHEADER stored;
    std::memcpy(&stored, record.data(), sizeof stored);
    // 144-byte header, 8 bits, BI_RLE8 (1), the stream's size, progressive content (1), no plane.
    const unsigned char* plane = stored.vfAlphaBytes;  // by value: the field is unaligned
    EXPECT_EQ(std::tuple(stored.biSize, stored.biWidth, stored.biHeight, stored.biBitCount,
                         stored.biCompression, stored.biSizeImage, stored.vfInterlacedFlag, plane),
              std::tuple(144u, w, h, 8, 1u, record.size() - 144, 1u, nullptr));
    // The stream is plain BI_RLE8: an independent decoder reads the pixels.
    const int stride = mask.DIBBytesPerLine();
    const Bytes stream(record.begin() + 144, record.end());
    EXPECT_TRUE(pixmill_test::ReferenceDecode(stream, w, h, std::size_t(stride)) ==
                PixelBytes(mask));
    EXPECT_TRUE(w * h < 1000 || stream.size() < std::size_t(stride * h)) << "no compression";
    // Decoded, the mask's pixels again, its layout and size restored. Coding
    // changes nothing else in the header, either way.
    stdfx::CDIB decoded;
    ASSERT_TRUE(wheel::DecodeRecord(record.data(), record.size(), decoded));
    EXPECT_EQ(std::tuple(decoded.DIBCompression(), PixelBytes(decoded), decoded.DIBSizeImage()),
              std::tuple(0u, PixelBytes(mask), DWORD(stride * h)));
    for (tagVFBMINFOHEADER other : {stored, *decoded.GetVfBmiHeader()}) {
      other.biCompression = mask.GetVfBmiHeader()->biCompression;
      other.biSizeImage = mask.GetVfBmiHeader()->biSizeImage;
      EXPECT_EQ(std::memcmp(&other, mask.GetVfBmiHeader(), 144), 0);
    }
  }
}

// The empty record, and every cut of a record from 0 bytes to one short of
// the end, are refused and free the mask; spare bytes behind a record are
// not part of it; a mask that is not an 8-bit image gives no record.
TEST(ChromaMaskRecord, EmptyCutAndLongerRecords) {
  stdfx::CDIB out(wheel::MaskHeader());
  EXPECT_FALSE(wheel::DecodeRecord(wheel::kEmptyRecord, wheel::kEmptyRecordSize, out));
  EXPECT_FALSE(out.IsValidDIB());
  std::vector<unsigned char> none{1, 2, 3};
  EXPECT_FALSE(wheel::EncodeRecord(stdfx::CDIB(), none));
  EXPECT_TRUE(none.empty());
  const Bytes record = Encode(PaintedMask(wheel::kWidth, wheel::kHeight, 9));
  for (std::size_t n = 0; n < record.size(); ++n) {
    const Bytes cut(record.begin(), record.begin() + long(n));
    stdfx::CDIB mask(wheel::MaskHeader());
    ASSERT_FALSE(wheel::DecodeRecord(cut.empty() ? nullptr : cut.data(), cut.size(), mask)) << n;
    ASSERT_FALSE(mask.IsValidDIB());
  }
  Bytes longer = record;
  longer.resize(record.size() + 100, 0xFF);
  EXPECT_TRUE(wheel::DecodeRecord(longer.data(), longer.size(), out));
  // A stream of just end-of-bitmap: an all-zero mask.
  Bytes bare(record.begin(), record.begin() + 144);
  bare.insert(bare.end(), {0, 1});
  std::memcpy(bare.data() + 20, "\x02\0\0\0", 4);  // biSizeImage
  EXPECT_TRUE(wheel::DecodeRecord(bare.data(), bare.size(), out));
  EXPECT_EQ(PixelBytes(out), Bytes(out.DIBSize(), 0));
}

// One edit per refusal path; a stale alpha-plane address is ignored.
TEST(ChromaMaskRecord, HeaderEdits) {
  const Bytes good = Encode(PaintedMask(16, 8, 2));
  struct Case {
    const char* name;
    void (*edit)(tagVFBMINFOHEADER&);
    bool accepted;
  };
  const Case cases[] = {
      {"a stale alpha-plane address is ignored",
       [](tagVFBMINFOHEADER& h) {
         h.vfAlphaBytes = reinterpret_cast<unsigned char*>(std::uintptr_t{0xDEADBEEF});
         h.vfAlphaBytesPerLine = 4096;
       },
       true},
      {"biSize 160", [](tagVFBMINFOHEADER& h) { h.biSize = 160; }, false},
      {"not compressed", [](tagVFBMINFOHEADER& h) { h.biCompression = 0; }, false},
      {"32 bits", [](tagVFBMINFOHEADER& h) { h.biBitCount = 32; }, false},
      {"negative width", [](tagVFBMINFOHEADER& h) { h.biWidth = -16; }, false},
      {"top-down", [](tagVFBMINFOHEADER& h) { h.biHeight = -8; }, false},
      {"absurd height", [](tagVFBMINFOHEADER& h) { h.biHeight = 1 << 30; }, false},
      {"size beyond the record", [](tagVFBMINFOHEADER& h) { h.biSizeImage += 1; }, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes record = good;
    tagVFBMINFOHEADER h;
    std::memcpy(&h, record.data(), 144);
    c.edit(h);
    std::memcpy(record.data(), &h, 144);
    stdfx::CDIB out;
    EXPECT_EQ(wheel::DecodeRecord(record.data(), record.size(), out), c.accepted);
    EXPECT_EQ(out.IsValidDIB(), c.accepted);
    EXPECT_TRUE(!c.accepted || out.DIBAlphaBytes() == nullptr);
  }
}

}  // namespace
