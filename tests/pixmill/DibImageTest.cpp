// The image object: ownership, copies, pixels and alpha conversions.
// Memory errors (a freed attachment, a copy that shares storage) are caught
// by the sanitizer build.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ImageTestUtil.h"
#include "stdfx/DIB.h"
#include "stdfx/DibFunctions.h"

namespace {

using pixmill_test::MakeHeader;
using pixmill_test::MakeYUVHeader;
using stdfx::CDIB;

void FillPattern(CDIB& image, unsigned seed) {
  std::mt19937 rng(seed);
  for (DWORD i = 0; i < image.DIBSize(); ++i) image.GetBytes()[i] = std::uint8_t(rng());
}

TEST(Ownership, CreatedImageOwnsZeroedHeaderAndPixels) {
  const tagVFBMINFOHEADER h = MakeHeader(241, 209, 8);
  const CDIB image(h);
  ASSERT_TRUE(image.IsValidDIB());
  EXPECT_TRUE(image.IsCreated());
  EXPECT_FALSE(image.IsAttached());
  EXPECT_NE(image.GetVfBmiHeader(), &h);
  EXPECT_EQ(0, std::memcmp(image.GetVfBmiHeader(), &h, sizeof h));
  EXPECT_EQ(image.DIBSize(), 244u * 209);
  EXPECT_EQ(image.DIBSizeAllocated(), LONG(244 * 209));
  for (DWORD i = 0; i < image.DIBSize(); ++i) ASSERT_EQ(image.GetBytes()[i], 0) << i;
}

TEST(Ownership, CreateFromItsOwnHeader) {
  CDIB image(MakeHeader(5, 5, 32));
  FillPattern(image, 1);
  ASSERT_TRUE(image.Create(*image.GetVfBmiHeader()));
  EXPECT_EQ(image.DIBWidth(), 5);
  EXPECT_EQ(image.GetBytes()[0], 0);  // a fresh, zeroed image
  ASSERT_TRUE(image.Create(image));
  EXPECT_EQ(image.DIBHeight(), 5);
}

TEST(Ownership, AttachedMemoryIsNeverCopiedNorFreed) {
  tagVFBMINFOHEADER h = MakeHeader(4, 2, 8);
  unsigned char bits[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  {
    CDIB image(&h, bits);
    EXPECT_TRUE(image.IsAttached());
    EXPECT_FALSE(image.IsCreated());
    EXPECT_EQ(image.GetBytes(), bits);
    EXPECT_EQ(image.GetVfBmiHeader(), &h);
    EXPECT_EQ(image.DIBSizeAllocated(), 0);
    image.GetBytes()[0] = 42;  // writes through
    image.ncbwSetAlphaPremultiplied();
    image.FreeDIB();  // forgets, frees nothing (stack memory: ASan would object)
    EXPECT_FALSE(image.IsValidDIB());
    image.FreeDIB();
  }
  EXPECT_EQ(bits[0], 42);
  EXPECT_EQ(h.vfAlphaFlag, stdfx::kAlphaPremultiplied);
  { CDIB image(&h, bits); }  // destroyed while attached
  EXPECT_EQ(bits[7], 8);
}

TEST(Ownership, ReallocatingAnAttachedImageLeavesTheCallersMemory) {
  tagVFBMINFOHEADER h = MakeHeader(4, 2, 8);
  unsigned char bits[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  CDIB image(&h, bits);
  ASSERT_TRUE(image.Create(MakeHeader(2, 2, 32)));
  EXPECT_TRUE(image.IsCreated());
  EXPECT_EQ(h.biWidth, 4);
  EXPECT_EQ(bits[0], 1);
  CDIB other(&h, bits);
  ASSERT_TRUE(other.CopyDIB(image));
  EXPECT_TRUE(other.IsCreated());
  EXPECT_EQ(bits[0], 1);
  EXPECT_EQ(h.biBitCount, 8);
}

enum class CopyWay { Constructor, CopyDIB, Assignment };

class Copies : public ::testing::TestWithParam<CopyWay> {
 protected:
  static CDIB Make(const CDIB& src) {
    switch (GetParam()) {
      case CopyWay::Constructor:
        return CDIB(src);
      case CopyWay::CopyDIB: {
        CDIB d(MakeHeader(1, 1, 8));
        EXPECT_EQ(d.CopyDIB(src), src.IsValidDIB());
        return d;
      }
      case CopyWay::Assignment: {
        CDIB d;
        d = src;
        return d;
      }
    }
    return CDIB();
  }
};

TEST_P(Copies, CopyIsIndependent) {
  CDIB src(MakeHeader(7, -3, 32));
  FillPattern(src, 7);
  src.ncbwSetAlphaPremultiplied();
  CDIB copy = Make(src);
  ASSERT_TRUE(copy.IsCreated());
  EXPECT_NE(copy.GetBytes(), src.GetBytes());
  EXPECT_NE(copy.GetVfBmiHeader(), src.GetVfBmiHeader());
  EXPECT_EQ(0, std::memcmp(copy.GetVfBmiHeader(), src.GetVfBmiHeader(), 144));
  EXPECT_EQ(0, std::memcmp(copy.GetBytes(), src.GetBytes(), src.DIBSize()));
  const std::vector<unsigned char> before(copy.GetBytes(), copy.GetBytes() + copy.DIBSize());
  src.ClearDIB(-1, 0x11223344);
  src.ncbwSetAlphaStraight();
  src.FreeDIB();
  EXPECT_EQ(0, std::memcmp(copy.GetBytes(), before.data(), before.size()));
  EXPECT_TRUE(copy.DIBAlphaIsPremultiplied());
}

TEST_P(Copies, CopyOfAttachedHostFrameKeepsItsPitch) {
  tagVFBMINFOHEADER h = MakeHeader(3, 2, 32);
  h.vfRowPitch = 16;
  unsigned char frame[32];
  for (int i = 0; i < 32; ++i) frame[i] = std::uint8_t(i);
  const CDIB attached(&h, frame);
  CDIB copy = Make(attached);
  ASSERT_TRUE(copy.IsCreated());
  EXPECT_EQ(copy.DIBBytesPerLine(), 16);
  EXPECT_EQ(0, std::memcmp(copy.GetBytes(), frame, 32));
}

INSTANTIATE_TEST_SUITE_P(Ways, Copies,
                         ::testing::Values(CopyWay::Constructor, CopyWay::CopyDIB,
                                           CopyWay::Assignment));

TEST(Copies, SelfCopyChangesNothing) {
  CDIB image(MakeHeader(3, 3, 8));
  FillPattern(image, 3);
  unsigned char* bits = image.GetBytes();
  const std::vector<unsigned char> before(bits, bits + image.DIBSize());
  EXPECT_TRUE(image.CopyDIB(image));
  image = image;
  EXPECT_EQ(image.GetBytes(), bits);
  EXPECT_EQ(0, std::memcmp(bits, before.data(), before.size()));
}

TEST(Copies, CopyFromAnImageAttachedToOwnMemory) {
  CDIB image(MakeHeader(4, 4, 8));
  FillPattern(image, 5);
  const std::vector<unsigned char> before(image.GetBytes(), image.GetBytes() + 16);
  const CDIB view(image.GetVfBmiHeader(), image.GetBytes());
  ASSERT_TRUE(image.CopyDIB(view));  // view's memory is released after copying
  EXPECT_EQ(0, std::memcmp(image.GetBytes(), before.data(), 16));
}

TEST(Copies, CompressedImagesCopyTheirEncodedBytes) {
  tagVFBMINFOHEADER h = MakeHeader(16, 16, 8, stdfx::kLayoutRLE8);
  h.biSizeImage = 6;
  unsigned char record[6] = {16, 9, 0, 0, 0, 1};
  const CDIB attached(&h, record);
  const CDIB copy(attached);
  ASSERT_TRUE(copy.IsValidDIB());
  EXPECT_EQ(copy.DIBSize(), 6u);
  EXPECT_EQ(0, std::memcmp(copy.GetBytes(), record, 6));
}

TEST(Copies, YuvWithAlphaPlaneOwnsItsPlane) {
  tagYUVBMINFOHEADER y = MakeYUVHeader(4, 3, 32, stdfx::kSub422UYVY);
  unsigned char frame[3 * 8] = {};
  unsigned char alpha[3 * 5];
  for (int i = 0; i < 15; ++i) alpha[i] = std::uint8_t(200 + i);
  y.vf.vfAlphaBytes = alpha;
  y.vf.vfAlphaBytesPerLine = 5;
  const CDIB attached(&y, frame);
  const CDIB copy(attached);
  ASSERT_TRUE(copy.IsValidDIB());
  ASSERT_NE(copy.DIBAlphaBytes(), nullptr);
  EXPECT_NE(copy.DIBAlphaBytes(), alpha);
  for (int row = 0; row < 3; ++row)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(copy.DIBAlphaBytes()[row * copy.DIBAlphaBytesPerLine() + x], alpha[row * 5 + x]);
  // A fresh 32-bit packed YUV image gets its own zeroed plane.
  const CDIB fresh(MakeYUVHeader(6, 2, 32, stdfx::kSub422UYVY).vf);
  ASSERT_NE(fresh.DIBAlphaBytes(), nullptr);
  EXPECT_GE(fresh.DIBAlphaBytesPerLine(), 6u);
  EXPECT_EQ(fresh.DIBAlphaBytes()[fresh.DIBAlphaBytesPerLine() + 5], 0);
}

struct Orientation {
  bool bottomUp;
  bool twoFields;
};

class PixelAccess : public ::testing::TestWithParam<Orientation> {};

// (x, y) counts from the top line as displayed: for a bottom-up image that is
// the last buffer row.
TEST_P(PixelAccess, ByteAndColourAtDisplayPosition) {
  const Orientation o = GetParam();
  const int w = 3, h = 5;
  tagVFBMINFOHEADER mh = MakeHeader(w, o.bottomUp ? h : -h, 8);
  mh.vfFormatFlag = o.twoFields ? stdfx::kFormatTwoFields : 0;
  CDIB mask(mh);
  tagVFBMINFOHEADER ch = MakeHeader(w, o.bottomUp ? h : -h, 32);
  ch.vfFormatFlag = mh.vfFormatFlag;
  CDIB colour(ch);
  for (int line = 0; line < h; ++line) {
    const int displayRow = o.bottomUp ? h - 1 - line : line;
    unsigned char* m = mask.GetBytes() + stdfx::DIBLineOffset(&mh, line);
    unsigned char* c = colour.GetBytes() + stdfx::DIBLineOffset(&ch, line);
    for (int x = 0; x < w; ++x) {
      m[x] = std::uint8_t(10 * displayRow + x);
      c[4 * x + 0] = std::uint8_t(displayRow);        // blue
      c[4 * x + 1] = std::uint8_t(x);                 // green
      c[4 * x + 2] = std::uint8_t(100 + displayRow);  // red
    }
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      EXPECT_EQ(mask.GetDIBByte(x, y), 10 * y + x);
      int r = -1, g = -1, b = -1;
      ASSERT_TRUE(colour.GetDIBColor(x, y, r, g, b));
      EXPECT_EQ(r, 100 + y);
      EXPECT_EQ(g, x);
      EXPECT_EQ(b, y);
      ASSERT_TRUE(mask.GetDIBColor(x, y, r, g, b));
      EXPECT_EQ(r, 10 * y + x);
      EXPECT_EQ(g, r);
      EXPECT_EQ(b, r);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, PixelAccess,
                         ::testing::Values(Orientation{true, false}, Orientation{false, false},
                                           Orientation{true, true}, Orientation{false, true}));

TEST(PixelAccess, OutsideTheImage) {
  CDIB mask(MakeHeader(4, 3, 8));
  mask.ClearDIB(-1, 0xFF);
  const int points[][2] = {{-1, 0}, {4, 0}, {0, 3}, {INT_MIN, INT_MIN}, {260, 259}};
  for (const auto& p : points) {
    EXPECT_EQ(mask.GetDIBByte(p[0], p[1]), 0) << p[0] << "," << p[1];
    int r = 7, g = 7, b = 7;
    EXPECT_FALSE(mask.GetDIBColor(p[0], p[1], r, g, b));
    EXPECT_EQ(r, 7);
  }
  const CDIB empty;
  EXPECT_EQ(empty.GetDIBByte(0, 0), 0);
  int r, g, b;
  EXPECT_FALSE(empty.GetDIBColor(0, 0, r, g, b));
  // No colour in a YUV image.
  const CDIB yuv(MakeYUVHeader(4, 2, 24, stdfx::kSub422UYVY).vf);
  EXPECT_FALSE(yuv.GetDIBColor(0, 0, r, g, b));
}

TEST(ClearDIB, FillsPixelsOfTheFieldWithTheValuesBytes) {
  CDIB image(MakeHeader(3, 5, 32));
  ASSERT_TRUE(image.ClearDIB(-1, 0x44332211));
  ASSERT_TRUE(image.ClearDIB(1, 0));
  for (int line = 0; line < 5; ++line) {
    const unsigned char* row = image.GetBytes() + line * 12;
    for (int x = 0; x < 3; ++x) {
      const unsigned char want[4] = {0x11, 0x22, 0x33, 0x44};
      for (int k = 0; k < 4; ++k) EXPECT_EQ(row[4 * x + k], line % 2 ? 0 : want[k]);
    }
  }
  CDIB mask(MakeHeader(5, 2, 8));
  ASSERT_TRUE(mask.ClearDIB(-1, 0x1FF));
  EXPECT_EQ(mask.GetBytes()[4], 0xFF);
  EXPECT_EQ(mask.GetBytes()[5], 0);  // padding left alone
  CDIB none;
  EXPECT_FALSE(none.ClearDIB(-1, 0));
}

// CopyDIBOffset against a direct definition: out(x, y) = in(x - dx, y - dy),
// 0 where that lies outside.
struct Shift {
  int dx, dy;
};

class Offsets : public ::testing::TestWithParam<Shift> {};

TEST_P(Offsets, MovesAsDisplayed) {
  const Shift s = GetParam();
  for (int height : {6, -6}) {
    CDIB src(MakeHeader(7, height, 8));
    FillPattern(src, 11);
    CDIB dst;
    ASSERT_TRUE(dst.CopyDIBOffset(src, s.dx, s.dy));
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 7; ++x) {
        const long long sx = (long long)x - s.dx, sy = (long long)y - s.dy;
        const int want =
            sx >= 0 && sx < 7 && sy >= 0 && sy < 6 ? src.GetDIBByte(int(sx), int(sy)) : 0;
        EXPECT_EQ(dst.GetDIBByte(x, y), want) << x << "," << y;
      }
    }
    // Moving onto itself gives the same picture.
    CDIB self(src);
    ASSERT_TRUE(self.CopyDIBOffset(self, s.dx, s.dy));
    EXPECT_EQ(0, std::memcmp(self.GetBytes(), dst.GetBytes(), dst.DIBSize()));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Offsets,
                         ::testing::Values(Shift{0, 0}, Shift{-2, 3}, Shift{6, 5}, Shift{7, 0},
                                           Shift{INT_MIN, INT_MIN}, Shift{0, INT_MAX}));

// Reference values from real arithmetic: round half up of the exact quotient.
int RoundHalfUp(double v) { return int(std::floor(v + 0.5)); }
int PremultipliedRef(int c, int a) { return RoundHalfUp(c * a / 255.0); }
int StraightRef(int p, int a) { return a == 0 ? 0 : std::min(255, RoundHalfUp(p * 255.0 / a)); }

CDIB OnePixelRows(int width, const std::vector<std::uint32_t>& bgra) {
  CDIB image(MakeHeader(width, int(bgra.size()) / width, 32));
  std::memcpy(image.GetBytes(), bgra.data(), bgra.size() * 4);
  return image;
}

TEST(Alpha, PremultiplyAndStraightenEveryValueAgainstRealArithmetic) {
  // One row per alpha, one pixel per colour value (in all three channels).
  std::vector<std::uint32_t> px;
  for (int a = 0; a < 256; ++a)
    for (int c = 0; c < 256; ++c)
      px.push_back(std::uint32_t(a) << 24 | std::uint32_t(c) * 0x010101u);
  CDIB image = OnePixelRows(256, px);
  ASSERT_TRUE(image.ConvertAlphaToPremultiplied(-1));
  EXPECT_TRUE(image.DIBAlphaIsPremultiplied());
  const unsigned char* p = image.GetBytes();
  for (int a = 0; a < 256; ++a) {
    for (int c = 0; c < 256; ++c) {
      const unsigned char* q = p + (a * 256 + c) * 4;
      ASSERT_EQ(q[0], PremultipliedRef(c, a)) << "c " << c << " a " << a;
      ASSERT_EQ(q[1], q[0]);
      ASSERT_EQ(q[2], q[0]);
      ASSERT_EQ(q[3], a);
    }
  }
  ASSERT_TRUE(image.ConvertAlphaToStraight(-1));
  EXPECT_TRUE(image.DIBAlphaIsStraight());
  for (int a = 0; a < 256; ++a) {
    for (int c = 0; c < 256; ++c) {
      const int s = p[(a * 256 + c) * 4];
      ASSERT_EQ(s, StraightRef(PremultipliedRef(c, a), a)) << "c " << c << " a " << a;
      // The round trip loses at most what the premultiplied byte can hold.
      if (a > 0) {
        ASSERT_LE(std::abs(s - c), int(std::ceil(127.5 / a + 0.5))) << c << " " << a;
      }
    }
  }
}

TEST(Alpha, OneFieldOnlyAndFlagsUntouched) {
  CDIB image(MakeHeader(2, 4, 32));
  image.ClearDIB(-1, 0x80FF40C0);
  ASSERT_TRUE(image.ConvertAlphaToPremultiplied(1));
  EXPECT_TRUE(image.DIBAlphaIsStraight());  // a single field leaves the flag
  for (int line = 0; line < 4; ++line) {
    const unsigned char* q = image.GetBytes() + line * 8;
    EXPECT_EQ(q[2], line % 2 ? PremultipliedRef(0xFF, 0x80) : 0xFF) << line;
    EXPECT_EQ(q[0], line % 2 ? PremultipliedRef(0xC0, 0x80) : 0xC0) << line;
  }
}

TEST(Alpha, RefusesOtherLayouts) {
  CDIB mask(MakeHeader(2, 2, 8));
  EXPECT_FALSE(mask.ConvertAlphaToStraight(-1));
  EXPECT_FALSE(mask.ConvertAlphaToPremultiplied(-1));
  CDIB yuv(MakeYUVHeader(2, 2, 32, stdfx::kSub422UYVY).vf);
  EXPECT_FALSE(yuv.ConvertAlphaToStraight(-1));
  CDIB none;
  EXPECT_FALSE(none.ConvertAlphaToPremultiplied(-1));
}

// A stored mask record comes from outside: whatever its alpha-plane fields
// hold must not be followed when it is copied, since masks and encoded
// layouts have no alpha plane.
TEST(Ownership, CopiesIgnoreAlphaPlaneFieldsOfMasksAndEncodedLayouts) {
  for (const DWORD layout : {stdfx::kLayoutRGB, stdfx::kLayoutRLE8}) {
    tagVFBMINFOHEADER h = pixmill_test::MakeHeader(16, 4, 8, layout);
    unsigned char bits[64] = {1, 2, 3};
    if (layout == stdfx::kLayoutRLE8) {
      const unsigned char eob[] = {0, 1};  // end of bitmap
      std::memcpy(bits, eob, sizeof eob);
      h.biSizeImage = sizeof eob;
    }
    h.vfAlphaBytes = reinterpret_cast<unsigned char*>(std::uintptr_t{0x10});  // wild
    h.vfAlphaBytesPerLine = 4096;
    const stdfx::CDIB record(&h, bits);
    stdfx::CDIB copy;
    ASSERT_TRUE(copy.CopyDIB(record)) << layout;
    EXPECT_EQ(copy.DIBAlphaBytes(), nullptr);
    EXPECT_EQ(copy.DIBAlphaBytesPerLine(), 0u);
    EXPECT_EQ(copy.GetBytes()[0], bits[0]);
  }
}

}  // namespace
