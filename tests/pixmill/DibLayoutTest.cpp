// Strides, sizes, limits and fields of image headers, and CopyBack.
// Expected strides use the Windows formula ((w * bits + 31) / 32) * 4 and
// expected line positions are written out per layout, independently of the
// library's arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "ImageTestUtil.h"
#include "stdfx/DIB.h"
#include "stdfx/DibFunctions.h"

namespace {

using pixmill_test::MakeHeader;
using pixmill_test::MakeYUVHeader;
using stdfx::CDIB;

int WindowsStride(int width, int bits) { return (width * bits + 31) / 32 * 4; }

constexpr DWORD RGB = stdfx::kLayoutRGB, YUV = stdfx::kLayoutYUV;

TEST(Strides, StrideAndSize) {
  const struct {
    int width, height, bits;
    DWORD layout, hsub, rowPitch;  // hsub: YUV only; rowPitch: byte 128
    bool twoFields;
    int wantBytesPerPixel, wantStride;
    DWORD wantSize;
  } cases[] = {
      // Windows rows: padded to 4 bytes.
      {1, 3, 8, RGB, 0, 0, false, 1, WindowsStride(1, 8), 3u * WindowsStride(1, 8)},
      {241, 209, 8, RGB, 0, 0, false, 1, WindowsStride(241, 8), 209u * WindowsStride(241, 8)},
      {241, 209, 32, RGB, 0, 0, false, 4, 964, 209u * 964},
      {3, -4, 24, RGB, 0, 0, false, 3, WindowsStride(3, 24), 4u * WindowsStride(3, 24)},
      {33, 1, 1, RGB, 0, 0, false, 0, WindowsStride(33, 1), 8},
      {3, 1, 16, RGB, 0, 0, false, 2, WindowsStride(3, 16), 8},
      // A host pitch at least the row payload is the row distance, padded or
      // not; one below the payload is ignored.
      {720, 576, 32, RGB, 0, 3000, false, 4, 3000, 576u * 3000},
      {3, 2, 24, RGB, 0, 9, false, 3, 9, 18},
      {720, 576, 32, RGB, 0, 2000, false, 4, 2880, 576u * 2880},
      // Two fields: the line pitch is half the buffer row pitch, the size the same.
      {720, 576, 32, RGB, 0, 0, true, 4, 1440, 576u * 2880},
      {241, 5, 8, RGB, 0, 0, true, 1, 122, 5u * 244},
      {720, 576, 32, RGB, 0, 3000, true, 4, 1500, 576u * 3000},
      {720, 576, 32, RGB, 0, 3001, true, 4, 1440, 576u * 2880},
      // Packed 4:2:2: four bytes per pair of pixels, whatever biBitCount says.
      {720, 576, 24, YUV, 512, 0, false, 2, 1440, 576u * 1440},
      {7, 1, 24, YUV, 512, 0, false, 2, 16, 16},
      {720, 1, 24, YUV, 16, 0, false, 3, 2160, 2160},
      {5, 1, 32, stdfx::kLayoutYUVAZ, 512, 0, false, 4, 20, 20},
      // The largest sides.
      {16384, -16384, 8, RGB, 0, 0, false, 1, 16384, 16384u * 16384},
      {16384, -16384, 32, RGB, 0, 0, false, 4, 65536, 65536u * 16384}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << "x" << c.bits << " pitch "
                                      << c.rowPitch << (c.twoFields ? " fields" : ""));
    tagYUVBMINFOHEADER y = MakeYUVHeader(c.width, c.height, c.bits, c.hsub);
    y.vf.biCompression = c.layout;
    if (c.layout != stdfx::kLayoutYUV && c.layout != stdfx::kLayoutYUVAZ) y.vf.biSize = 144;
    y.vf.vfRowPitch = c.rowPitch;
    y.vf.vfFormatFlag = c.twoFields ? stdfx::kFormatTwoFields : 0;
    EXPECT_TRUE(stdfx::IsDIBHeaderSane(&y.vf));
    EXPECT_EQ(std::tuple(stdfx::DIBBytesPerPixel(&y.vf), stdfx::DIBBytesPerLine(&y.vf),
                         stdfx::DIBSize(&y.vf)),
              std::tuple(c.wantBytesPerPixel, c.wantStride, c.wantSize));
  }
}

TEST(Strides, CompressedLayoutsMeasureTheEncodedSize) {
  tagVFBMINFOHEADER h = MakeHeader(241, 209, 8, stdfx::kLayoutRLE8);
  h.biSizeImage = 1234;
  h.vfRowPitch = 5000;  // ignored: the stride is that of the decoded image
  EXPECT_TRUE(stdfx::DIBSize(&h) == 1234u && stdfx::DIBBytesPerLine(&h) == WindowsStride(241, 8));
}

TEST(Limits, AbsurdHeadersAreRefusedEverywhere) {
  const struct {
    int width, height, bits;
    DWORD layout, sizeImage, rowPitch;
  } cases[] = {{-1, 4, 8, RGB, 0, 0},
               {16385, 1, 8, RGB, 0, 0},
               {1, -16385, 8, RGB, 0, 0},
               {1, INT_MIN, 8, RGB, 0, 0},
               {INT_MAX, 1, 32, RGB, 0, 0},
               {4, 4, 7, RGB, 0, 0},
               // 16384 lines of 131072 bytes: 2^31, beyond a signed count.
               {16, 16384, 8, RGB, 0, 131072},
               {16, 2, 8, RGB, 0, 0xFFFFFFFF},
               {4, 4, 8, stdfx::kLayoutRLE8, 0xFFFFFFFF, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << "x" << c.bits);
    tagVFBMINFOHEADER h = MakeHeader(c.width, c.height, c.bits, c.layout);
    h.biSizeImage = c.sizeImage;
    h.vfRowPitch = c.rowPitch;
    EXPECT_FALSE(stdfx::IsDIBHeaderSane(&h));
    EXPECT_TRUE(stdfx::DIBSize(&h) == 0u && stdfx::DIBBytesPerLine(&h) == 0 &&
                stdfx::DIBFieldOffsetL(&h, -1) == -1);
    // A refused Create also releases what the image held.
    CDIB held(MakeHeader(4, 4, 8));
    EXPECT_FALSE(held.Create(h) || held.IsValidDIB());
  }
  EXPECT_FALSE(stdfx::IsDIBHeaderSane(nullptr));
  EXPECT_TRUE(stdfx::DIBSize(nullptr) == 0 && stdfx::DIBBytesPerLine(nullptr) == 0 &&
              stdfx::DIBBytesPerPixel(nullptr) == 0 && stdfx::DIBFieldOffset1(nullptr, 0) == 0);
  EXPECT_TRUE(stdfx::DIBField1stLine(nullptr, 0) == -1 && stdfx::DIBFieldLstLine(nullptr, 0) == -1);
}

struct WalkCase {
  bool twoFields;
  bool bottomUp;
  int height;
  int width;
  int bits;
  DWORD rowPitch;
};

// Where line y must sit, from the layout's description: an interleaved frame
// stores line y as buffer row y; a two-field buffer stores the even lines in
// order as rows 0.., then the odd lines as the rows after them.
std::int64_t ExpectedRow(bool twoFields, int height, int y) {
  if (!twoFields) return y;
  const int evenLines = (height + 1) / 2;
  return y % 2 == 0 ? y / 2 : evenLines + y / 2;
}

class FieldWalk : public ::testing::TestWithParam<WalkCase> {
 protected:
  tagVFBMINFOHEADER Header() const {
    const WalkCase& c = GetParam();
    tagVFBMINFOHEADER h = MakeHeader(c.width, c.bottomUp ? c.height : -c.height, c.bits);
    h.vfFormatFlag = c.twoFields ? stdfx::kFormatTwoFields : 0x20;
    h.vfRowPitch = c.rowPitch;
    h.vfAlphaBytesPerLine = 13;
    return h;
  }
  std::int64_t RowPitch() const {
    const WalkCase& c = GetParam();
    return c.rowPitch ? c.rowPitch : WindowsStride(c.width, c.bits);
  }
};

TEST_P(FieldWalk, BothFieldsVisitEveryLineOnceAtItsPlace) {
  const WalkCase& c = GetParam();
  const tagVFBMINFOHEADER h = Header();
  const int stride = stdfx::DIBBytesPerLine(&h);
  const std::int64_t size = stdfx::DIBSize(&h);
  const int rowBytes = (c.width * c.bits + 7) / 8;
  std::vector<int> visits(std::size_t(c.height), 0);
  std::set<std::int64_t> offsets;
  for (int field = 0; field <= 1; ++field) {
    int last = -1;
    std::int64_t lastOffset = -1;
    std::int64_t off = stdfx::DIBFieldOffset1(&h, field);
    std::int64_t alphaOff = stdfx::DIBAlphaFieldOffset1(&h, field);
    // The consumer's walk: start at the field's first line and offset, step
    // two lines and twice the line pitch. The alpha plane of a two-field
    // buffer steps its own pitch per field line (see DibFunctions.h).
    const std::int64_t alphaStep = c.twoFields ? 13 : 26;
    for (int y = stdfx::DIBField1stLine(&h, field); y < c.height; y += 2) {
      ASSERT_GE(y, 0);
      EXPECT_EQ(y % 2, field) << "line " << y;
      ++visits[std::size_t(y)];
      EXPECT_EQ(off, ExpectedRow(c.twoFields, c.height, y) * RowPitch()) << "line " << y;
      EXPECT_EQ(alphaOff, ExpectedRow(c.twoFields, c.height, y) * 13) << "line " << y;
      EXPECT_TRUE(stdfx::DIBLineOffset(&h, y) == off && off + rowBytes <= size) << "line " << y;
      EXPECT_TRUE(offsets.insert(off).second) << "line " << y << " shares its row";
      last = y, lastOffset = off;
      off += 2 * std::int64_t(stride), alphaOff += alphaStep;
    }
    EXPECT_EQ(stdfx::DIBFieldLstLine(&h, field), last) << "field " << field;
    EXPECT_EQ(stdfx::DIBFieldOffsetL(&h, field), lastOffset) << "field " << field;
    EXPECT_EQ(stdfx::DIBAlphaFieldOffsetL(&h, field),
              last < 0 ? -1 : ExpectedRow(c.twoFields, c.height, last) * 13);
  }
  for (int y = 0; y < c.height; ++y) EXPECT_EQ(visits[std::size_t(y)], 1) << "line " << y;
  // The whole frame, also for field numbers other than 0 and 1.
  for (int field : {-1, -2, 7})
    EXPECT_TRUE(stdfx::DIBField1stLine(&h, field) == 0 &&
                stdfx::DIBFieldLstLine(&h, field) == c.height - 1);
  EXPECT_EQ(stdfx::DIBFieldOffset1(&h, -1), 0);
  EXPECT_EQ(stdfx::DIBFieldOffsetL(&h, -1),
            c.height ? ExpectedRow(c.twoFields, c.height, c.height - 1) * RowPitch() : -1);
  EXPECT_TRUE(stdfx::DIBLineOffset(&h, -1) == -1 && stdfx::DIBLineOffset(&h, c.height) == -1);
}

std::vector<WalkCase> WalkCases() {
  std::vector<WalkCase> cases;
  for (bool two : {false, true})
    for (bool up : {true, false})
      for (int height : {0, 1, 2, 5, 8})
        for (DWORD pitch : {0u, 20u}) cases.push_back({two, up, height, 3, 32, pitch});
  cases.push_back({true, true, 7, 241, 8, 0});
  cases.push_back({false, false, 7, 241, 8, 0});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Layouts, FieldWalk, ::testing::ValuesIn(WalkCases()));

// An image whose line y holds bytes (y + 1) * 16 + x, written through the
// field walk of each field.
CDIB LineNumbered(tagVFBMINFOHEADER h) {
  CDIB image(h);
  const int height = image.DIBHeight();
  for (int field = 0; field <= 1; ++field) {
    unsigned char* row = image.GetBytes() + image.DIBFieldOffset1(field);
    for (int y = image.DIBField1stLine(field); y < height; y += 2) {
      for (int x = 0; x < stdfx::DIBRowBytes(&h); ++x) row[x] = std::uint8_t((y + 1) * 16 + x);
      row += 2 * image.DIBBytesPerLine();
    }
  }
  return image;
}

TEST(CopyBack, CopiesTheFieldsLinesInBufferOrder) {
  const struct {
    bool srcTwoFields, dstTwoFields, srcUp, dstUp;
    int field, height;
  } cases[] = {{false, false, true, true, -1, 5}, {true, false, true, true, -1, 5},
               {false, true, false, true, -1, 6}, {true, true, true, false, 0, 5},
               {false, false, false, true, 1, 6}, {true, false, true, true, 1, 7}};
  for (const auto& c : cases) {
    tagVFBMINFOHEADER sh = MakeHeader(3, c.srcUp ? c.height : -c.height, 8);
    sh.vfFormatFlag = c.srcTwoFields ? stdfx::kFormatTwoFields : 0;
    tagVFBMINFOHEADER dh = MakeHeader(3, c.dstUp ? c.height : -c.height, 8);
    dh.vfFormatFlag = c.dstTwoFields ? stdfx::kFormatTwoFields : 0;
    const CDIB src = LineNumbered(sh);
    CDIB dst(dh);
    ASSERT_TRUE(dst.ClearDIB(-1, 0xEE));
    ASSERT_TRUE(stdfx::CopyBack(dst.GetVfBmiHeader(), dst.GetBytes(), src.GetVfBmiHeader(),
                                src.GetBytes(), c.field));
    for (int y = 0; y < c.height; ++y) {
      const unsigned char* row = dst.GetBytes() + stdfx::DIBLineOffset(&dh, y);
      const bool copied = c.field < 0 || y % 2 == c.field;
      for (int x = 0; x < 3; ++x)
        EXPECT_EQ(row[x], copied ? (y + 1) * 16 + x : 0xEE) << "line " << y << " x " << x;
    }
  }
}

TEST(CopyBack, CopiesTheSmallerRowAndTheAlphaPlanes) {
  // Source 5 pixels wide, destination 3: three pixels of each line arrive.
  tagVFBMINFOHEADER sh = MakeHeader(5, 2, 32);
  tagVFBMINFOHEADER dh = MakeHeader(3, 2, 32);
  unsigned char srcAlpha[2 * 8], dstAlpha[2 * 4 + 1];
  for (int i = 0; i < 16; ++i) srcAlpha[i] = std::uint8_t(100 + i);
  std::memset(dstAlpha, 0, sizeof dstAlpha);
  sh.vfAlphaBytes = srcAlpha;
  sh.vfAlphaBytesPerLine = 8;
  dh.vfAlphaBytes = dstAlpha;
  dh.vfAlphaBytesPerLine = 4;
  std::vector<unsigned char> sb(2 * 20), db(2 * 12 + 4, 0);
  for (std::size_t i = 0; i < sb.size(); ++i) sb[i] = std::uint8_t(i + 1);
  ASSERT_TRUE(stdfx::CopyBack(&dh, db.data(), &sh, sb.data(), -1));
  for (int y = 0; y < 2; ++y) {
    for (int i = 0; i < 12; ++i)
      EXPECT_EQ(db[std::size_t(y * 12 + i)], sb[std::size_t(y * 20 + i)]);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(dstAlpha[y * 4 + x], srcAlpha[y * 8 + x]);
    EXPECT_EQ(dstAlpha[y * 4 + 3], 0);
  }
  EXPECT_EQ(db[24], 0);  // nothing beyond the destination's buffer
}

TEST(CopyBack, RefusesMismatchedOrCompressedImages) {
  unsigned char a[64] = {}, b[64];
  std::memset(b, 0x77, sizeof b);
  const tagVFBMINFOHEADER h3 = MakeHeader(4, 3, 8), h4 = MakeHeader(4, 4, 8);
  tagVFBMINFOHEADER rle = MakeHeader(4, 3, 8, stdfx::kLayoutRLE8);
  rle.biSizeImage = 10;
  EXPECT_FALSE(stdfx::CopyBack(&h3, b, &h4, a, -1));
  EXPECT_FALSE(stdfx::CopyBack(&rle, b, &h3, a, -1));
  EXPECT_FALSE(stdfx::CopyBack(&h3, b, &rle, a, -1));
  EXPECT_FALSE(stdfx::CopyBack(&h3, nullptr, &h3, a, -1));
  EXPECT_FALSE(stdfx::CopyBack(nullptr, b, &h3, a, -1));
  for (unsigned char v : b) EXPECT_EQ(v, 0x77);
}

TEST(FormatString, NamesTheLayout) {
  tagYUVBMINFOHEADER y = MakeYUVHeader(8, 2, 24, stdfx::kSub422UYVY);
  EXPECT_STREQ(stdfx::GetCompressionSamplingFormatString(&y.vf), L"YUV 4:2:2 UYVY");
  y.vf.biSize = 144;  // no sampling fields: plain 4:2:2
  EXPECT_STREQ(stdfx::GetCompressionSamplingFormatString(&y.vf), L"YUV 4:2:2");
  const tagVFBMINFOHEADER rgb = MakeHeader(8, 2, 32), rle = MakeHeader(8, 2, 8, stdfx::kLayoutRLE8);
  EXPECT_STREQ(stdfx::GetCompressionSamplingFormatString(&rle), L"RLE 8");
  EXPECT_STREQ(stdfx::GetCompressionSamplingFormatString(nullptr), L"none");
  unsigned char px[64] = {};
  EXPECT_STREQ(CDIB(&rgb, px).GetCompressionSamplingFormatString(), L"RGB 32");
}

}  // namespace
