// Image headers and the image object's light members. Headers are built as
// raw bytes at the documented offsets and read back through the accessors,
// so the record layout is checked independently of the struct declaration.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "stdfx/DIB.h"

namespace {

using stdfx::CDIB;

// A 160-byte header buffer written byte by byte, little-endian.
struct RawHeader {
  alignas(8) unsigned char bytes[160] = {};
  void Put32(int offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = std::uint8_t(v >> (8 * i));
  }
  void Put16(int offset, std::uint16_t v) {
    bytes[offset] = std::uint8_t(v);
    bytes[offset + 1] = std::uint8_t(v >> 8);
  }
  void Put64(int offset, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes[offset + i] = std::uint8_t(v >> (8 * i));
  }
  std::uint32_t Get32(int offset) const {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | bytes[offset + i];
    return v;
  }
};

// ---- Offsets: each field written at its offset and read by its accessor ----

struct FieldCase {
  const char* name;
  int offset;
  int size;
  std::uint64_t value;
  std::function<std::uint64_t(const CDIB&)> read;
};

class HeaderOffsets : public ::testing::TestWithParam<FieldCase> {};

TEST_P(HeaderOffsets, AccessorReadsItsOffset) {
  const FieldCase& c = GetParam();
  RawHeader raw;
  raw.Put32(0, 160);
  if (c.size == 2) raw.Put16(c.offset, std::uint16_t(c.value));
  if (c.size == 4) raw.Put32(c.offset, std::uint32_t(c.value));
  if (c.size == 8) raw.Put64(c.offset, c.value);
  unsigned char pixel[4] = {};
  CDIB image(raw.bytes, pixel);
  EXPECT_EQ(c.read(image), c.value) << c.name;
}

std::uint64_t Addr(const void* p) { return std::uint64_t(reinterpret_cast<std::uintptr_t>(p)); }

INSTANTIATE_TEST_SUITE_P(
    Vfbmi, HeaderOffsets,
    ::testing::Values(
        FieldCase{"biWidth", 4, 4, 720, [](const CDIB& d) { return std::uint64_t(d.DIBWidth()); }},
        FieldCase{"biHeight", 8, 4, 576, [](const CDIB& d) { return std::uint64_t(d.DIBHeight()); }},
        FieldCase{"biPlanes", 12, 2, 1, [](const CDIB& d) { return std::uint64_t(d.DIBPlanes()); }},
        FieldCase{"biBitCount", 14, 2, 32, [](const CDIB& d) { return std::uint64_t(d.DIBBitCount()); }},
        FieldCase{"biCompression", 16, 4, 0x56555940,
                  [](const CDIB& d) { return std::uint64_t(d.DIBCompression()); }},
        FieldCase{"biSizeImage", 20, 4, 123456,
                  [](const CDIB& d) { return std::uint64_t(d.DIBSizeImage()); }},
        FieldCase{"image flag", 48, 4, 0x8, [](const CDIB& d) { return std::uint64_t(d.DIBImageFlag()); }},
        FieldCase{"alpha flag", 52, 4, 2, [](const CDIB& d) { return std::uint64_t(d.DIBAlphaFlag()); }},
        FieldCase{"format flag", 56, 4, 0x21, [](const CDIB& d) { return std::uint64_t(d.DIBFormatFlag()); }},
        FieldCase{"interlaced flag", 84, 4, 1,
                  [](const CDIB& d) { return std::uint64_t(d.DIBInterlacedFlag()); }},
        FieldCase{"format value", 100, 4, 0x3F800000,
                  [](const CDIB& d) {
                    const float f = d.GetVfBmiHeader()->vfFormatValue;
                    std::uint32_t v;
                    std::memcpy(&v, &f, 4);
                    return std::uint64_t(v);
                  }},
        FieldCase{"reserved 104", 104, 4, 0xFFFFFFFF,
                  [](const CDIB& d) { return std::uint64_t(std::uint32_t(d.GetVfBmiHeader()->vfReserved104)); }},
        FieldCase{"row pitch", 128, 4, 2880,
                  [](const CDIB& d) { return std::uint64_t(d.GetVfBmiHeader()->vfRowPitch); }},
        FieldCase{"alpha plane", 132, 8, 0x0000123456789ABCull,
                  [](const CDIB& d) { return Addr(d.DIBAlphaBytes()); }},
        FieldCase{"alpha stride", 140, 4, 720,
                  [](const CDIB& d) { return std::uint64_t(d.DIBAlphaBytesPerLine()); }},
        FieldCase{"colour-space id", 144, 4, 2,
                  [](const CDIB& d) { return std::uint64_t(d.YUVColorSpaceID()); }},
        FieldCase{"bits per sample", 148, 4, 10,
                  [](const CDIB& d) { return std::uint64_t(d.YUVBitsPerSample()); }},
        FieldCase{"horizontal sub-sampling", 152, 4, 512,
                  [](const CDIB& d) { return std::uint64_t(d.YUVHSubSampling()); }},
        FieldCase{"vertical sub-sampling", 156, 4, 77,
                  [](const CDIB& d) { return std::uint64_t(d.YUVVSubSampling()); }}),
    [](const auto& p) {
      std::string n = p.param.name;
      for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

TEST(HeaderOffsets, SettersWriteTheirOffsets) {
  RawHeader raw;
  raw.Put32(0, 144);
  unsigned char pixel[4] = {};
  CDIB image(raw.bytes, pixel);
  image.ncbwSetAlphaFlag(0x1234);
  image.ncbwSetFormatFlag(0x21);
  image.ncbwSetInterlacedFlag(1);
  image.SetDIBCompression(1, 999);
  image.SetDIBAlphaBytesPerLine(333);
  image.SetDIBAlphaBytes(reinterpret_cast<unsigned char*>(std::uintptr_t{0x1122334455667788}));
  EXPECT_EQ(raw.Get32(52), 0x1234u);
  EXPECT_EQ(raw.Get32(56), 0x21u);
  EXPECT_EQ(raw.Get32(84), 1u);
  EXPECT_EQ(raw.Get32(16), 1u);
  EXPECT_EQ(raw.Get32(20), 999u);
  EXPECT_EQ(raw.Get32(140), 333u);
  EXPECT_EQ(raw.Get32(132), 0x55667788u);
  EXPECT_EQ(raw.Get32(136), 0x11223344u);
  image.ncbwSetAlphaPremultiplied();
  EXPECT_EQ(raw.Get32(52), 2u);
  image.ncbwSetAlphaStraight();
  EXPECT_EQ(raw.Get32(52), 0u);
}

TEST(LayoutCodes, FourCharacterCodesReadInMemoryOrder) {
  const struct {
    DWORD code;
    const char* text;
  } cases[] = {{stdfx::kLayoutYUV, "@YUV"}, {stdfx::kLayoutRGBAZ, "RGBz"}, {stdfx::kLayoutYUVAZ, "YUVz"}};
  for (const auto& c : cases) {
    DWORD v;
    std::memcpy(&v, c.text, 4);
    EXPECT_EQ(v, c.code) << c.text;
  }
}

// ---- No header ----

TEST(NoHeader, ReadersAnswerTheDefaults) {
  const CDIB empty;
  EXPECT_FALSE(empty.IsValidDIB());
  EXPECT_FALSE(empty.IsAttached());
  EXPECT_FALSE(empty.IsCreated());
  EXPECT_EQ(empty.DIBSizeAllocated(), 0);
  EXPECT_EQ(empty.GetVfBmiSize(), 0u);
  EXPECT_EQ(empty.DIBAlphaBytes(), nullptr);
  EXPECT_EQ(empty.DIBAlphaBytesPerLine(), 0u);
  EXPECT_EQ(empty.DIBImageFlag(), 0u);
  EXPECT_FALSE(empty.DIBImageIsBlackTransparent());
  EXPECT_EQ(empty.DIBAlphaFlag(), 0u);
  EXPECT_TRUE(empty.DIBAlphaIsStraight());
  EXPECT_FALSE(empty.DIBAlphaIsOpaque());
  EXPECT_FALSE(empty.DIBAlphaIsPremultiplied());
  EXPECT_EQ(empty.DIBFormatFlag(), 0u);
  EXPECT_FALSE(empty.DIBFormatIs2Fields());
  EXPECT_TRUE(empty.DIBFormatIsInterlaced());
  EXPECT_EQ(empty.DIBInterlacedFlag(), 0u);
  EXPECT_FALSE(empty.DIBContentIsNonInterlaced());
  EXPECT_TRUE(empty.DIBContentIsInterlaced());
  EXPECT_EQ(empty.YUVColorSpaceID(), 0u);
  EXPECT_EQ(empty.YUVBitsPerSample(), 8u);
  EXPECT_EQ(empty.YUVHSubSampling(), 0u);
  EXPECT_EQ(empty.YUVVSubSampling(), 0u);
  EXPECT_EQ(empty.GetBytes(), nullptr);
  EXPECT_EQ(empty.GetVfBmiHeader(), nullptr);
  EXPECT_TRUE(empty.IsDIBEmpty());
  EXPECT_EQ(empty.DIBBytesPerLine(), 0);
  EXPECT_EQ(empty.DIBSize(), 0u);
}

TEST(NoHeader, CopiesZeroFillAndSettersDoNothing) {
  CDIB empty;
  tagVFBMINFOHEADER vf;
  std::memset(&vf, 0xAB, sizeof vf);
  empty.GetVfBmiHeader(vf);
  tagYUVBMINFOHEADER yuv;
  std::memset(&yuv, 0xAB, sizeof yuv);
  empty.GetVfBmiHeader(yuv);
  BITMAPINFOHEADER bih;
  std::memset(&bih, 0xAB, sizeof bih);
  empty.GetBitmapInfoHeader(bih);
  const auto allZero = [](const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i)
      if (b[i]) return false;
    return true;
  };
  EXPECT_TRUE(allZero(&vf, sizeof vf));
  EXPECT_TRUE(allZero(&yuv, sizeof yuv));
  EXPECT_TRUE(allZero(&bih, sizeof bih));
  empty.ncbwSetAlphaFlag(2);
  empty.ncbwSetFormatFlag(1);
  empty.ncbwSetInterlacedFlag(1);
  empty.SetDIBCompression(1, 5);
  EXPECT_EQ(empty.DIBAlphaFlag(), 0u);
  EXPECT_EQ(empty.GetVfBmiHeader(), nullptr);
}

// ---- Geometry edge cases ----

struct GeometryCase {
  int width, height, bits;
  LONG wantHeight;
  bool bottomUp, empty;
};

class Geometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(Geometry, HeightSignAndEmptiness) {
  const GeometryCase& c = GetParam();
  RawHeader raw;
  raw.Put32(0, 144);
  raw.Put32(4, std::uint32_t(c.width));
  raw.Put32(8, std::uint32_t(c.height));
  raw.Put16(14, std::uint16_t(c.bits));
  unsigned char pixel[4] = {};
  CDIB image(raw.bytes, pixel);
  EXPECT_EQ(image.DIBHeight(), c.wantHeight);
  EXPECT_EQ(image.IsDIBBottomUp(), c.bottomUp);
  EXPECT_EQ(image.IsDIBTopDown(), !c.bottomUp);
  EXPECT_EQ(image.IsDIBEmpty(), c.empty);
}

INSTANTIATE_TEST_SUITE_P(Cases, Geometry,
                         ::testing::Values(GeometryCase{720, -576, 32, 576, false, false},
                                           GeometryCase{720, 576, 32, 576, true, false},
                                           GeometryCase{720, 0, 32, 0, true, true},
                                           GeometryCase{0, 576, 32, 576, true, true},
                                           GeometryCase{720, 576, 0, 576, true, true},
                                           GeometryCase{1, -1, 8, 1, false, false}));

// ---- Header copies ----

TEST(HeaderCopies, YuvCopyOfA144ByteHeaderLeavesTheYuvFieldsZero) {
  // The image's header storage is longer than 144 bytes and holds junk
  // behind them; biSize says 144, so only 144 bytes are copied.
  RawHeader raw;
  std::memset(raw.bytes, 0x5A, sizeof raw.bytes);
  raw.Put32(0, 144);
  unsigned char pixel[4] = {};
  CDIB image(raw.bytes, pixel);
  tagYUVBMINFOHEADER yuv;
  std::memset(&yuv, 0xAB, sizeof yuv);
  image.GetVfBmiHeader(yuv);
  EXPECT_EQ(yuv.yuvColorSpaceID, 0u);
  EXPECT_EQ(yuv.yuvBitsPerSample, 0u);
  EXPECT_EQ(yuv.yuvHSubSampling, 0u);
  EXPECT_EQ(yuv.yuvVSubSampling, 0u);
  EXPECT_EQ(0, std::memcmp(&yuv, raw.bytes, 144));
  CDIB copy(&yuv, pixel);
  EXPECT_EQ(copy.YUVBitsPerSample(), 8u);
}

TEST(HeaderCopies, YuvCopyNeverExceeds160Bytes) {
  RawHeader raw;
  for (int i = 0; i < 160; ++i) raw.bytes[i] = std::uint8_t(i);
  raw.Put32(0, 1000);  // a lie: the copy still stops at 160
  unsigned char pixel[4] = {};
  CDIB image(raw.bytes, pixel);
  struct {
    tagYUVBMINFOHEADER h;
    unsigned char guard[16];
  } target;
  std::memset(&target, 0xEE, sizeof target);
  image.GetVfBmiHeader(target.h);
  EXPECT_EQ(0, std::memcmp(&target.h, raw.bytes, 160));
  for (unsigned char g : target.guard) EXPECT_EQ(g, 0xEE);
}

TEST(HeaderCopies, VfbmiCopyTakes144Bytes) {
  RawHeader raw;
  for (int i = 0; i < 160; ++i) raw.bytes[i] = std::uint8_t(200 - i);
  unsigned char pixel[4] = {};
  CDIB image(raw.bytes, pixel);
  tagVFBMINFOHEADER vf;
  image.GetVfBmiHeader(vf);
  EXPECT_EQ(0, std::memcmp(&vf, raw.bytes, 144));
}

TEST(HeaderCopies, BitmapInfoHeaderOfA160ByteHeader) {
  RawHeader raw;
  for (int i = 0; i < 160; ++i) raw.bytes[i] = std::uint8_t(i * 7 + 3);
  raw.Put32(0, 160);
  unsigned char pixel[4] = {};
  CDIB image(raw.bytes, pixel);
  BITMAPINFOHEADER bih;
  image.GetBitmapInfoHeader(bih);
  EXPECT_EQ(bih.biSize, 40u);
  EXPECT_EQ(0, std::memcmp(reinterpret_cast<const unsigned char*>(&bih) + 4, raw.bytes + 4, 36));
  EXPECT_EQ(image.GetVfBmiSize(), 160u);
}

// ---- Colour space and sampling ----

struct SamplingCase {
  DWORD layout;
  DWORD hsub;
  int bits;
  DWORD id;
  // Expected: 444, 422, UYVY, UYVY_ALPHA, UYVY_NOALPHA, 411, 420
  bool s444, s422, uyvy, uyvyAlpha, uyvyNoAlpha, s411, s420;
  // Expected: 601, 709, normalised, 601or709
  bool c601, c709, norm, c601or709;
};

class Sampling : public ::testing::TestWithParam<SamplingCase> {};

TEST_P(Sampling, TestsFollowLayoutAndCodes) {
  const SamplingCase& c = GetParam();
  RawHeader raw;
  raw.Put32(0, 160);
  raw.Put32(4, 8);
  raw.Put32(8, 2);
  raw.Put16(14, std::uint16_t(c.bits));
  raw.Put32(16, c.layout);
  raw.Put32(144, c.id);
  raw.Put32(152, c.hsub);
  unsigned char pixels[64] = {};
  CDIB image(raw.bytes, pixels);
  EXPECT_EQ(image.IsYUV444(), c.s444);
  EXPECT_EQ(image.IsYUV422(), c.s422);
  EXPECT_EQ(image.IsYUV422UYVY(), c.uyvy);
  EXPECT_EQ(image.IsYUV422UYVY_ALPHA(), c.uyvyAlpha);
  EXPECT_EQ(image.IsYUV422UYVY_NOALPHA(), c.uyvyNoAlpha);
  EXPECT_EQ(image.IsYUV411(), c.s411);
  EXPECT_EQ(image.IsYUV420(), c.s420);
  EXPECT_EQ(image.IsYUVCCIR601(), c.c601);
  EXPECT_EQ(image.IsYUV601(), c.c601);
  EXPECT_EQ(image.IsYUVITU709(), c.c709);
  EXPECT_EQ(image.IsYUV709(), c.c709);
  EXPECT_EQ(image.IsYUVNormalized(), c.norm);
  EXPECT_EQ(image.IsYUV601or709(), c.c601or709);
}

constexpr DWORD YUV = stdfx::kLayoutYUV, YUVz = stdfx::kLayoutYUVAZ, RGBz = stdfx::kLayoutRGBAZ;

INSTANTIATE_TEST_SUITE_P(
    Cases, Sampling,
    ::testing::Values(
        //           layout hsub bits id   444    422    uyvy   uA     uN     411    420    601    709    norm   6or7
        SamplingCase{YUV, 512, 32, 0, false, true, true, true, false, false, false, true, false, false, true},
        SamplingCase{YUV, 512, 24, 2, false, true, true, false, true, false, false, false, true, false, true},
        SamplingCase{YUV, 0, 24, 1, false, true, false, false, false, false, false, false, false, true, false},
        SamplingCase{YUV, 16, 32, 3, true, false, false, false, false, false, false, false, false, true, false},
        SamplingCase{YUV, 32, 24, 0, false, false, false, false, false, true, false, true, false, false, true},
        SamplingCase{YUV, 64, 24, 0, false, false, false, false, false, false, true, true, false, false, true},
        // "YUVz": only the 4:4:4 test and the colour-space tests accept it.
        SamplingCase{YUVz, 512, 32, 0, false, false, false, false, false, false, false, true, false, false, true},
        SamplingCase{YUVz, 0, 32, 2, false, false, false, false, false, false, false, false, true, false, true},
        SamplingCase{YUVz, 16, 32, 0, true, false, false, false, false, false, false, true, false, false, true},
        SamplingCase{YUVz, 32, 32, 0, false, false, false, false, false, false, false, true, false, false, true},
        // Neither YUV layout: every test false, whatever the codes say.
        SamplingCase{RGBz, 16, 32, 0, false, false, false, false, false, false, false, false, false, false, false},
        SamplingCase{0, 512, 32, 0, false, false, false, false, false, false, false, false, false, false, false}));

struct LayoutCase {
  DWORD code;
  bool rgb, yuv, rgbaz, yuvaz, compressed;
};

class LayoutTests : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTests, ExactlyOneAnswer) {
  const LayoutCase& c = GetParam();
  RawHeader raw;
  raw.Put32(0, 144);
  raw.Put32(16, c.code);
  unsigned char pixel[4] = {};
  CDIB image(raw.bytes, pixel);
  EXPECT_EQ(image.DIBColorSpaceRGB(), c.rgb);
  EXPECT_EQ(image.DIBColorSpaceYUV(), c.yuv);
  EXPECT_EQ(image.DIBColorSpaceRGBAZ(), c.rgbaz);
  EXPECT_EQ(image.DIBColorSpaceYUVAZ(), c.yuvaz);
  EXPECT_EQ(image.DIBCompressedFormat(), c.compressed);
}

INSTANTIATE_TEST_SUITE_P(Cases, LayoutTests,
                         ::testing::Values(LayoutCase{0, true, false, false, false, false},
                                           LayoutCase{YUV, false, true, false, false, false},
                                           LayoutCase{RGBz, false, false, true, false, false},
                                           LayoutCase{YUVz, false, false, false, true, false},
                                           LayoutCase{1, false, false, false, false, true},
                                           LayoutCase{0x32595559, false, false, false, false, true}));

TEST(Sampling, A144ByteHeaderHasNoYuvFieldsToRead) {
  // Bytes 144..159 lie outside a 144-byte header; they must not be read.
  RawHeader raw;
  std::memset(raw.bytes + 144, 0xFF, 16);
  raw.Put32(0, 144);
  raw.Put32(16, YUV);
  unsigned char pixel[4] = {};
  CDIB image(raw.bytes, pixel);
  EXPECT_EQ(image.YUVColorSpaceID(), 0u);
  EXPECT_EQ(image.YUVBitsPerSample(), 8u);
  EXPECT_EQ(image.YUVHSubSampling(), 0u);
  EXPECT_TRUE(image.IsYUV422());
  EXPECT_FALSE(image.IsYUV422UYVY());
}

// ---- Flags ----

TEST(Flags, ReadersInterpretTheirBits) {
  const struct {
    int offset;
    std::uint32_t value;
    std::function<bool(const CDIB&)> test;
    bool want;
  } cases[] = {
      {48, 8, [](const CDIB& d) { return d.DIBImageIsBlackTransparent(); }, true},
      {48, 0xF7, [](const CDIB& d) { return d.DIBImageIsBlackTransparent(); }, false},
      {52, 0, [](const CDIB& d) { return d.DIBAlphaIsStraight(); }, true},
      {52, 1, [](const CDIB& d) { return d.DIBAlphaIsOpaque(); }, true},
      {52, 1, [](const CDIB& d) { return d.DIBAlphaIsStraight(); }, false},
      {52, 2, [](const CDIB& d) { return d.DIBAlphaIsPremultiplied(); }, true},
      {52, 3, [](const CDIB& d) { return d.DIBAlphaIsPremultiplied(); }, false},
      {56, 0x21, [](const CDIB& d) { return d.DIBFormatIs2Fields(); }, true},
      {56, 0x20, [](const CDIB& d) { return d.DIBFormatIs2Fields(); }, false},
      {56, 0x20, [](const CDIB& d) { return d.DIBFormatIsInterlaced(); }, true},
      {84, 1, [](const CDIB& d) { return d.DIBContentIsNonInterlaced(); }, true},
      {84, 1, [](const CDIB& d) { return d.DIBContentIsInterlaced(); }, false},
      {84, 2, [](const CDIB& d) { return d.DIBContentIsInterlaced(); }, true},
  };
  for (const auto& c : cases) {
    RawHeader raw;
    raw.Put32(0, 144);
    raw.Put32(c.offset, c.value);
    unsigned char pixel[4] = {};
    CDIB image(raw.bytes, pixel);
    EXPECT_EQ(c.test(image), c.want) << "offset " << c.offset << " value " << c.value;
  }
}

// A derived image reaching the protected members, and one that overrides
// the image flag, to check that the black-transparency test goes through
// the virtual reader.
class ProbeDIB : public CDIB {
 public:
  using CDIB::CDIB;
  LONG Increment(LONG* v) { return xInterlockedIncrement(v); }
  LONG Decrement(LONG* v) { return xInterlockedDecrement(v); }
  stdfx::CDibData* Data() const { return _IGetData(); }
};

class BlackDIB : public CDIB {
 public:
  DWORD DIBImageFlag() const override { return stdfx::kImageFlagBlackTransparent; }
};

TEST(Flags, BlackTransparencyReadsTheVirtualFlag) {
  const BlackDIB image;  // no header at all
  EXPECT_TRUE(image.DIBImageIsBlackTransparent());
}

// ---- Record and reference count ----

TEST(Record, CountIsAtomicAndLockIsBit31) {
  ProbeDIB image;
  ASSERT_NE(image.Data(), nullptr);
  EXPECT_EQ(image.GetRefs(), 1);
  EXPECT_EQ(image.IsLocked(), 0);
  LONG count = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        image.Increment(&count);
        image.Increment(&count);
        image.Decrement(&count);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(count, 4 * 20000);
  EXPECT_EQ(image.Increment(&count), 80001);
  EXPECT_EQ(image.Decrement(&count), 80000);
  const LONG saved = image.Data()->m_nRefs;
  image.Data()->m_nRefs = LONG(std::uint32_t(saved) | 0x80000000u);
  EXPECT_EQ(image.IsLocked(), 1);
  EXPECT_EQ(image.GetRefs(), LONG(std::uint32_t(saved) | 0x80000000u));
  image.Data()->m_nRefs = saved;
}

// ---- Which members are virtual ----

// Slot index of a pointer to member function (Itanium ABI: 1 + byte offset
// of the slot for a virtual member), or -1 when it is not virtual.
template <class Pmf>
std::ptrdiff_t Slot(Pmf pmf) {
  static_assert(sizeof(Pmf) == 2 * sizeof(std::ptrdiff_t));
  std::ptrdiff_t words[2];
  std::memcpy(words, &pmf, sizeof words);
  return (words[0] & 1) ? (words[0] - 1) / std::ptrdiff_t(sizeof(void*)) : -1;
}

TEST(VirtualMembers, TheListedMembersAreVirtualAndTheLibrarysExtrasAreNot) {
  using VfCopy = void (CDIB::*)(tagVFBMINFOHEADER&) const;
  using YuvCopy = void (CDIB::*)(tagYUVBMINFOHEADER&) const;
  using BihCopy = void (CDIB::*)(BITMAPINFOHEADER&) const;
  using ResById = bool (CDIB::*)(unsigned int, HINSTANCE);
  using CreateH = bool (CDIB::*)(const tagVFBMINFOHEADER&);
  const std::ptrdiff_t virtuals[] = {
      Slot(&CDIB::GetRefs), Slot(&CDIB::IsLocked), Slot(ResById(&CDIB::CreateFromResource)),
      Slot(&CDIB::DIBSizeAllocated), Slot(&CDIB::DIBField1stLine), Slot(&CDIB::DIBFieldLstLine),
      Slot(&CDIB::DIBFieldOffset), Slot(&CDIB::DIBFieldOffset1), Slot(&CDIB::DIBFieldOffsetL),
      Slot(&CDIB::DIBAlphaFieldOffset), Slot(&CDIB::DIBAlphaFieldOffset1),
      Slot(&CDIB::DIBAlphaFieldOffsetL), Slot(&CDIB::IsDIBEmpty), Slot(&CDIB::IsDIBBottomUp),
      Slot(&CDIB::IsDIBTopDown), Slot(&CDIB::GetVfBmiSize), Slot(VfCopy(&CDIB::GetVfBmiHeader)),
      Slot(YuvCopy(&CDIB::GetVfBmiHeader)), Slot(BihCopy(&CDIB::GetBitmapInfoHeader)),
      Slot(&CDIB::SetDIBCompression), Slot(&CDIB::DIBImageFlag),
      Slot(&CDIB::DIBImageIsBlackTransparent), Slot(&CDIB::FreeDIB), Slot(&CDIB::CopyDIB),
      Slot(&CDIB::ConvertAlphaToStraight), Slot(CreateH(&CDIB::Create))};
  for (std::size_t i = 0; i < std::size(virtuals); ++i) EXPECT_GE(virtuals[i], 0) << "member #" << i;
  // Implemented in separate sources of the library: kept out of the table.
  EXPECT_EQ(Slot(&CDIB::CompressRLE), -1);
  EXPECT_EQ(Slot(&CDIB::DecompressRLE), -1);
  EXPECT_EQ(Slot(&CDIB::IsValidDIB), -1);
}

}  // namespace
