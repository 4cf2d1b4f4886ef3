// Image headers and the image object's light members. Headers are built as
// raw bytes at the documented offsets and read back through the accessors,
// so the record layout is checked independently of the struct declaration.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "stdfx/DIB.h"

namespace {

using stdfx::CDIB;

// A 160-byte header buffer written field by field, little-endian.
struct RawHeader {
  alignas(8) unsigned char bytes[160] = {};
  RawHeader(std::initializer_list<std::pair<int, std::uint64_t>> fields, int size = 4) {
    for (const auto& [offset, v] : fields)
      for (int i = 0; i < (offset == 12 || offset == 14 ? 2 : offset == 132 ? 8 : size); ++i)
        bytes[offset + i] = std::uint8_t(v >> (8 * i));
  }
  std::uint32_t Get32(int offset) const {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | bytes[offset + i];
    return v;
  }
};

unsigned char g_pixels[64];

// Every field written at its offset with a distinct value and read back
// through its accessor; setters write back to the same offsets.
TEST(HeaderOffsets, AccessorsAndSettersUseTheirOffsets) {
  RawHeader raw({{0, 160},   {4, 720},         {8, 576},     {12, 1},
                 {14, 32},   {16, 0x56555940}, {20, 123456}, {48, 0x8},
                 {52, 2},    {56, 0x21},       {84, 3},      {100, 0x3F800000},
                 {104, ~0u}, {128, 2880},      {140, 719},   {132, 0x123456789ABCull},
                 {144, 2},   {148, 10},        {152, 512},   {156, 77}});
  CDIB d(raw.bytes, g_pixels);
  EXPECT_EQ(d.DIBWidth(), 720);
  EXPECT_EQ(d.DIBHeight(), 576);
  EXPECT_EQ(d.DIBPlanes(), 1);
  EXPECT_EQ(d.DIBBitCount(), 32);
  EXPECT_EQ(d.DIBCompression(), 0x56555940u);
  EXPECT_EQ(d.DIBSizeImage(), 123456u);
  EXPECT_EQ(d.DIBImageFlag(), 0x8u);
  EXPECT_EQ(d.DIBAlphaFlag(), 2u);
  EXPECT_EQ(d.DIBFormatFlag(), 0x21u);
  EXPECT_EQ(d.DIBInterlacedFlag(), 3u);
  EXPECT_EQ(d.GetVfBmiHeader()->vfFormatValue, 1.0f);
  EXPECT_EQ(std::uint32_t(d.GetVfBmiHeader()->vfReserved104), 0xFFFFFFFFu);
  EXPECT_EQ(d.GetVfBmiHeader()->vfRowPitch, 2880u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(d.DIBAlphaBytes()), 0x123456789ABCull);
  EXPECT_EQ(d.DIBAlphaBytesPerLine(), 719u);
  EXPECT_EQ(d.YUVColorSpaceID(), 2u);
  EXPECT_EQ(d.YUVBitsPerSample(), 10u);
  EXPECT_EQ(d.YUVHSubSampling(), 512u);
  EXPECT_EQ(d.YUVVSubSampling(), 77u);
  d.ncbwSetAlphaFlag(0x1234);
  d.ncbwSetFormatFlag(0x22);
  d.ncbwSetInterlacedFlag(1);
  d.SetDIBCompression(1, 999);
  d.SetDIBAlphaBytesPerLine(333);
  d.SetDIBAlphaBytes(reinterpret_cast<unsigned char*>(std::uintptr_t{0x1122334455667788}));
  const std::pair<int, std::uint32_t> written[] = {{52, 0x1234},      {56, 0x22},       {84, 1},
                                                   {16, 1},           {20, 999},        {140, 333},
                                                   {132, 0x55667788}, {136, 0x11223344}};
  for (const auto& [offset, v] : written) EXPECT_EQ(raw.Get32(offset), v) << offset;
  d.ncbwSetAlphaPremultiplied();
  EXPECT_EQ(raw.Get32(52), 2u);
  d.ncbwSetAlphaStraight();
  EXPECT_EQ(raw.Get32(52), 0u);
  // The four-character layout codes read in memory order.
  const std::pair<DWORD, const char*> codes[] = {
      {stdfx::kLayoutYUV, "@YUV"}, {stdfx::kLayoutRGBAZ, "RGBz"}, {stdfx::kLayoutYUVAZ, "YUVz"}};
  for (const auto& [code, text] : codes) EXPECT_EQ(std::memcmp(&code, text, 4), 0) << text;
}

// Without a header the readers answer the defaults and the setters and
// copies do nothing but zero-fill.
TEST(NoHeader, DefaultsAndZeroFilledCopies) {
  CDIB empty;
  EXPECT_FALSE(empty.IsValidDIB() || empty.IsAttached() || empty.IsCreated());
  EXPECT_TRUE(empty.DIBAlphaIsStraight() && !empty.DIBAlphaIsOpaque() &&
              !empty.DIBAlphaIsPremultiplied());
  EXPECT_TRUE(empty.DIBFormatIsInterlaced() && !empty.DIBFormatIs2Fields());
  EXPECT_TRUE(empty.DIBContentIsInterlaced() && !empty.DIBContentIsNonInterlaced());
  EXPECT_FALSE(empty.DIBImageIsBlackTransparent());
  EXPECT_EQ(empty.YUVBitsPerSample(), 8u);
  EXPECT_TRUE(empty.IsDIBEmpty());
  EXPECT_EQ(empty.DIBSize() + empty.GetVfBmiSize() + empty.DIBAlphaBytesPerLine() +
                empty.YUVColorSpaceID() + empty.YUVHSubSampling() + empty.DIBFormatFlag(),
            0u);
  EXPECT_EQ(empty.GetBytes(), nullptr);
  tagYUVBMINFOHEADER yuv;
  std::memset(&yuv, 0xAB, sizeof yuv);
  empty.GetVfBmiHeader(yuv);
  BITMAPINFOHEADER bih;
  std::memset(&bih, 0xAB, sizeof bih);
  empty.GetBitmapInfoHeader(bih);
  const tagYUVBMINFOHEADER zeroYuv{};
  const BITMAPINFOHEADER zeroBih{};
  EXPECT_EQ(0, std::memcmp(&yuv, &zeroYuv, sizeof yuv));
  EXPECT_EQ(0, std::memcmp(&bih, &zeroBih, sizeof bih));
  empty.ncbwSetAlphaFlag(2);
  empty.SetDIBCompression(1, 5);
  EXPECT_EQ(empty.GetVfBmiHeader(), nullptr);
}

TEST(Geometry, HeightSignAndEmptiness) {
  const struct {
    int width, height, bits;
    LONG wantHeight;
    bool bottomUp, empty;
  } cases[] = {{720, -576, 32, 576, false, false},
               {720, 0, 32, 0, true, true},
               {720, 576, 0, 576, true, true},
               {1, -1, 8, 1, false, false}};
  for (const auto& c : cases) {
    RawHeader raw({{0, 144},
                   {4, std::uint32_t(c.width)},
                   {8, std::uint32_t(c.height)},
                   {14, std::uint16_t(c.bits)}});
    const CDIB d(raw.bytes, g_pixels);
    EXPECT_EQ(d.DIBHeight(), c.wantHeight);
    EXPECT_EQ(d.IsDIBBottomUp(), c.bottomUp);
    EXPECT_EQ(d.IsDIBTopDown(), !c.bottomUp);
    EXPECT_EQ(d.IsDIBEmpty(), c.empty) << c.width << "x" << c.height << "x" << c.bits;
  }
}

// Copies stop at biSize (144 or 160, whatever the storage holds behind),
// and at 160 even when biSize claims more; a bitmap info header keeps 40.
TEST(HeaderCopies, StopAtTheDeclaredOrLargestSize) {
  RawHeader junk({{0, 144}});
  std::memset(junk.bytes + 4, 0x5A, sizeof junk.bytes - 4);
  tagYUVBMINFOHEADER yuv;
  std::memset(&yuv, 0xAB, sizeof yuv);
  CDIB(junk.bytes, g_pixels).GetVfBmiHeader(yuv);
  EXPECT_EQ(0, std::memcmp(&yuv, junk.bytes, 144));
  EXPECT_TRUE(yuv.yuvColorSpaceID == 0 && yuv.yuvBitsPerSample == 0 && yuv.yuvHSubSampling == 0 &&
              yuv.yuvVSubSampling == 0);
  // The YUV readers of a 144-byte header never look past it.
  EXPECT_EQ(CDIB(junk.bytes, g_pixels).YUVBitsPerSample(), 8u);
  EXPECT_EQ(CDIB(&yuv, g_pixels).YUVBitsPerSample(), 8u);

  RawHeader raw({});
  for (int i = 0; i < 160; ++i) raw.bytes[i] = std::uint8_t(i * 7 + 3);
  raw.bytes[0] = 160, raw.bytes[1] = raw.bytes[2] = raw.bytes[3] = 0;
  CDIB image(raw.bytes, g_pixels);
  BITMAPINFOHEADER bih;
  image.GetBitmapInfoHeader(bih);
  EXPECT_EQ(bih.biSize, 40u);
  EXPECT_EQ(0, std::memcmp(reinterpret_cast<const unsigned char*>(&bih) + 4, raw.bytes + 4, 36));
  tagVFBMINFOHEADER vf;
  image.GetVfBmiHeader(vf);
  EXPECT_EQ(0, std::memcmp(&vf, raw.bytes, 144));
  raw.bytes[1] = 3;  // biSize 928, a lie
  struct {
    tagYUVBMINFOHEADER h;
    unsigned char guard[16];
  } target;
  std::memset(&target, 0xEE, sizeof target);
  image.GetVfBmiHeader(target.h);
  EXPECT_EQ(0, std::memcmp(&target.h, raw.bytes, 160));
  for (unsigned char g : target.guard) EXPECT_EQ(g, 0xEE);
}

constexpr DWORD YUV = stdfx::kLayoutYUV, YUVz = stdfx::kLayoutYUVAZ, RGBz = stdfx::kLayoutRGBAZ;

std::string Answers(std::initializer_list<bool> answers) {
  std::string s;
  for (bool b : answers) s += b ? '1' : '0';
  return s;
}

// Answers in the order 444 422 UYVY UYVY_ALPHA UYVY_NOALPHA 411 420 /
// 601 709 normalised 601or709.
TEST(Sampling, TestsFollowLayoutAndCodes) {
  const struct {
    DWORD layout, hsub;
    int bits;
    DWORD id;
    const char* want;
  } cases[] = {{YUV, 512, 32, 0, "0111000/1001"},
               {YUV, 512, 24, 2, "0110100/0101"},
               {YUV, 16, 32, 3, "1000000/0010"},
               {YUV, 32, 24, 0, "0000010/1001"},
               {YUV, 64, 24, 0, "0000001/1001"},
               // "YUVz": only the 4:4:4 test and the colour-space tests accept it.
               {YUVz, 512, 32, 0, "0000000/1001"},
               {YUVz, 16, 32, 0, "1000000/1001"},
               {RGBz, 16, 32, 0, "0000000/0000"}};
  for (const auto& c : cases) {
    RawHeader raw({{0, 160},
                   {4, 8},
                   {8, 2},
                   {14, std::uint32_t(c.bits)},
                   {16, c.layout},
                   {144, c.id},
                   {152, c.hsub}});
    const CDIB d(raw.bytes, g_pixels);
    const std::string got =
        Answers({d.IsYUV444(), d.IsYUV422(), d.IsYUV422UYVY(), d.IsYUV422UYVY_ALPHA(),
                 d.IsYUV422UYVY_NOALPHA(), d.IsYUV411(), d.IsYUV420()}) +
        '/' + Answers({d.IsYUVCCIR601(), d.IsYUVITU709(), d.IsYUVNormalized(), d.IsYUV601or709()});
    EXPECT_EQ(got, c.want) << c.layout << " " << c.hsub << " " << c.bits << " " << c.id;
    EXPECT_EQ(d.IsYUV601(), d.IsYUVCCIR601());
    EXPECT_EQ(d.IsYUV709(), d.IsYUVITU709());
  }
  // One layout answer per code: RGB, YUV, RGBAZ, YUVAZ, compressed.
  const std::pair<DWORD, const char*> layouts[] = {
      {0, "10000"}, {YUV, "01000"}, {RGBz, "00100"}, {YUVz, "00010"}, {0x32595559, "00001"}};
  for (const auto& [code, want] : layouts) {
    RawHeader raw({{0, 144}, {16, code}});
    const CDIB d(raw.bytes, g_pixels);
    EXPECT_EQ(Answers({d.DIBColorSpaceRGB(), d.DIBColorSpaceYUV(), d.DIBColorSpaceRGBAZ(),
                       d.DIBColorSpaceYUVAZ(), d.DIBCompressedFormat()}),
              want)
        << code;
  }
  RawHeader plain({{0, 144}, {16, YUV}});  // no sampling fields: plain 4:2:2
  const CDIB d(plain.bytes, g_pixels);
  EXPECT_TRUE(d.IsYUV422() && !d.IsYUV422UYVY());
}

TEST(Flags, ReadersInterpretTheirBits) {
  const struct {
    int offset;
    std::uint32_t value;
    bool (CDIB::*test)() const;
    bool want;
  } cases[] = {
      {48, 8, &CDIB::DIBImageIsBlackTransparent, true},
      {48, 0xF7, &CDIB::DIBImageIsBlackTransparent, false},
      {52, 0, &CDIB::DIBAlphaIsStraight, true},
      {52, 1, &CDIB::DIBAlphaIsOpaque, true},
      {52, 2, &CDIB::DIBAlphaIsPremultiplied, true},
      {52, 3, &CDIB::DIBAlphaIsPremultiplied, false},
      {56, 0x21, &CDIB::DIBFormatIs2Fields, true},
      {56, 0x20, &CDIB::DIBFormatIsInterlaced, true},
      {84, 1, &CDIB::DIBContentIsNonInterlaced, true},
      {84, 2, &CDIB::DIBContentIsInterlaced, true},
  };
  for (const auto& c : cases) {
    RawHeader raw({{0, 144}, {c.offset, c.value}});
    const CDIB image(raw.bytes, g_pixels);
    EXPECT_EQ((image.*c.test)(), c.want) << "offset " << c.offset << " value " << c.value;
  }
  // The black-transparency test goes through the virtual flag reader.
  struct BlackDIB : CDIB {
    DWORD DIBImageFlag() const override { return stdfx::kImageFlagBlackTransparent; }
  };
  EXPECT_TRUE(BlackDIB().DIBImageIsBlackTransparent());
}

// A derived image reaching the protected members.
struct ProbeDIB : CDIB {
  LONG Increment(LONG* v) { return xInterlockedIncrement(v); }
  LONG Decrement(LONG* v) { return xInterlockedDecrement(v); }
  stdfx::CDibData* Data() const { return _IGetData(); }
};

TEST(Record, CountIsAtomicAndLockIsBit31) {
  ProbeDIB image;
  ASSERT_NE(image.Data(), nullptr);
  EXPECT_EQ(image.GetRefs(), 1);
  EXPECT_EQ(image.IsLocked(), 0);
  LONG count = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 5000; ++i)
        image.Increment(&count), image.Increment(&count), image.Decrement(&count);
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(count, 4 * 5000);
  EXPECT_EQ(image.Increment(&count), 20001);
  EXPECT_EQ(image.Decrement(&count), 20000);
  const LONG saved = image.Data()->m_nRefs;
  image.Data()->m_nRefs = LONG(std::uint32_t(saved) | 0x80000000u);
  EXPECT_EQ(image.IsLocked(), 1);
  EXPECT_EQ(image.GetRefs(), LONG(std::uint32_t(saved) | 0x80000000u));
  image.Data()->m_nRefs = saved;
}

}  // namespace
