// Image headers and the image object's light members. Headers are built as
// raw bytes at the documented offsets and read back through the accessors,
// so the record layout is checked independently of the struct declaration.
#include <gtest/gtest.h>

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
  void Put(int offset, std::uint64_t v, int size) {
    for (int i = 0; i < size; ++i) bytes[offset + i] = std::uint8_t(v >> (8 * i));
  }
  void Put32(int offset, std::uint32_t v) { Put(offset, v, 4); }
  void Put16(int offset, std::uint16_t v) { Put(offset, v, 2); }
  std::uint32_t Get32(int offset) const {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | bytes[offset + i];
    return v;
  }
};

// Every field written at its offset with a distinct value, then read back
// through its accessor: a wrong or overlapping offset shows up as a mismatch.
TEST(HeaderOffsets, AccessorsReadTheirOffsets) {
  RawHeader raw;
  raw.Put32(0, 160);
  raw.Put32(4, 720);
  raw.Put32(8, 576);
  raw.Put16(12, 1);
  raw.Put16(14, 32);
  raw.Put32(16, 0x56555940);
  raw.Put32(20, 123456);
  raw.Put32(48, 0x8);
  raw.Put32(52, 2);
  raw.Put32(56, 0x21);
  raw.Put32(84, 3);
  raw.Put32(100, 0x3F800000);  // 1.0f
  raw.Put32(104, 0xFFFFFFFF);
  raw.Put32(128, 2880);
  raw.Put(132, 0x0000123456789ABCull, 8);
  raw.Put32(140, 719);
  raw.Put32(144, 2);
  raw.Put32(148, 10);
  raw.Put32(152, 512);
  raw.Put32(156, 77);
  unsigned char pixel[4] = {};
  const CDIB d(raw.bytes, pixel);
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
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(d.DIBAlphaBytes()), 0x0000123456789ABCull);
  EXPECT_EQ(d.DIBAlphaBytesPerLine(), 719u);
  EXPECT_EQ(d.YUVColorSpaceID(), 2u);
  EXPECT_EQ(d.YUVBitsPerSample(), 10u);
  EXPECT_EQ(d.YUVHSubSampling(), 512u);
  EXPECT_EQ(d.YUVVSubSampling(), 77u);
}

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
  } cases[] = {
      {stdfx::kLayoutYUV, "@YUV"}, {stdfx::kLayoutRGBAZ, "RGBz"}, {stdfx::kLayoutYUVAZ, "YUVz"}};
  for (const auto& c : cases) {
    DWORD v;
    std::memcpy(&v, c.text, 4);
    EXPECT_EQ(v, c.code) << c.text;
  }
}

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
  empty.ncbwSetFormatFlag(1);
  empty.ncbwSetInterlacedFlag(1);
  empty.SetDIBCompression(1, 5);
  EXPECT_EQ(empty.DIBAlphaFlag(), 0u);
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
    RawHeader raw;
    raw.Put32(0, 144);
    raw.Put32(4, std::uint32_t(c.width));
    raw.Put32(8, std::uint32_t(c.height));
    raw.Put16(14, std::uint16_t(c.bits));
    unsigned char pixel[4] = {};
    const CDIB d(raw.bytes, pixel);
    EXPECT_EQ(d.DIBHeight(), c.wantHeight);
    EXPECT_EQ(d.IsDIBBottomUp(), c.bottomUp);
    EXPECT_EQ(d.IsDIBTopDown(), !c.bottomUp);
    EXPECT_EQ(d.IsDIBEmpty(), c.empty) << c.width << "x" << c.height << "x" << c.bits;
  }
}

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

TEST(HeaderCopies, CopiesStopAt160And144BytesAndBitmapInfoKeeps40) {
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
  tagVFBMINFOHEADER vf;
  image.GetVfBmiHeader(vf);
  EXPECT_EQ(0, std::memcmp(&vf, raw.bytes, 144));
  raw.Put32(0, 1000);  // a lie: the copy still stops at 160
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

// Answers as a string of 0/1, in the order 444 422 UYVY UYVY_ALPHA
// UYVY_NOALPHA 411 420 / 601 709 normalised 601or709.
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
               // Neither YUV layout: every test false, whatever the codes say.
               {RGBz, 16, 32, 0, "0000000/0000"}};
  for (const auto& c : cases) {
    RawHeader raw;
    raw.Put32(0, 160);
    raw.Put32(4, 8);
    raw.Put32(8, 2);
    raw.Put16(14, std::uint16_t(c.bits));
    raw.Put32(16, c.layout);
    raw.Put32(144, c.id);
    raw.Put32(152, c.hsub);
    unsigned char pixels[64] = {};
    const CDIB d(raw.bytes, pixels);
    std::string got;
    for (bool b : {d.IsYUV444(), d.IsYUV422(), d.IsYUV422UYVY(), d.IsYUV422UYVY_ALPHA(),
                   d.IsYUV422UYVY_NOALPHA(), d.IsYUV411(), d.IsYUV420()})
      got += b ? '1' : '0';
    got += '/';
    for (bool b : {d.IsYUVCCIR601(), d.IsYUVITU709(), d.IsYUVNormalized(), d.IsYUV601or709()})
      got += b ? '1' : '0';
    EXPECT_EQ(got, c.want) << c.layout << " " << c.hsub << " " << c.bits << " " << c.id;
    EXPECT_EQ(d.IsYUV601(), d.IsYUVCCIR601());
    EXPECT_EQ(d.IsYUV709(), d.IsYUVITU709());
  }
  // Exactly one layout answer per code: RGB, YUV, RGBAZ, YUVAZ, compressed.
  const struct {
    DWORD code;
    const char* want;
  } layouts[] = {
      {0, "10000"}, {YUV, "01000"}, {RGBz, "00100"}, {YUVz, "00010"}, {0x32595559, "00001"}};
  for (const auto& c : layouts) {
    RawHeader raw;
    raw.Put32(0, 144);
    raw.Put32(16, c.code);
    unsigned char pixel[4] = {};
    const CDIB d(raw.bytes, pixel);
    std::string got;
    for (bool b : {d.DIBColorSpaceRGB(), d.DIBColorSpaceYUV(), d.DIBColorSpaceRGBAZ(),
                   d.DIBColorSpaceYUVAZ(), d.DIBCompressedFormat()})
      got += b ? '1' : '0';
    EXPECT_EQ(got, c.want) << c.code;
  }
}

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
      {52, 2, [](const CDIB& d) { return d.DIBAlphaIsPremultiplied(); }, true},
      {52, 3, [](const CDIB& d) { return d.DIBAlphaIsPremultiplied(); }, false},
      {56, 0x21, [](const CDIB& d) { return d.DIBFormatIs2Fields(); }, true},
      {56, 0x20, [](const CDIB& d) { return d.DIBFormatIsInterlaced(); }, true},
      {84, 1, [](const CDIB& d) { return d.DIBContentIsNonInterlaced(); }, true},
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

TEST(Record, CountIsAtomicAndLockIsBit31) {
  ProbeDIB image;
  ASSERT_NE(image.Data(), nullptr);
  EXPECT_EQ(image.GetRefs(), 1);
  EXPECT_EQ(image.IsLocked(), 0);
  LONG count = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        image.Increment(&count);
        image.Increment(&count);
        image.Decrement(&count);
      }
    });
  }
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
  const std::ptrdiff_t virtuals[] = {Slot(&CDIB::GetRefs),
                                     Slot(&CDIB::IsLocked),
                                     Slot(ResById(&CDIB::CreateFromResource)),
                                     Slot(&CDIB::DIBSizeAllocated),
                                     Slot(&CDIB::DIBField1stLine),
                                     Slot(&CDIB::DIBFieldLstLine),
                                     Slot(&CDIB::DIBFieldOffset),
                                     Slot(&CDIB::DIBFieldOffset1),
                                     Slot(&CDIB::DIBFieldOffsetL),
                                     Slot(&CDIB::DIBAlphaFieldOffset),
                                     Slot(&CDIB::DIBAlphaFieldOffset1),
                                     Slot(&CDIB::DIBAlphaFieldOffsetL),
                                     Slot(&CDIB::IsDIBEmpty),
                                     Slot(&CDIB::IsDIBBottomUp),
                                     Slot(&CDIB::IsDIBTopDown),
                                     Slot(&CDIB::GetVfBmiSize),
                                     Slot(VfCopy(&CDIB::GetVfBmiHeader)),
                                     Slot(YuvCopy(&CDIB::GetVfBmiHeader)),
                                     Slot(BihCopy(&CDIB::GetBitmapInfoHeader)),
                                     Slot(&CDIB::SetDIBCompression),
                                     Slot(&CDIB::DIBImageFlag),
                                     Slot(&CDIB::DIBImageIsBlackTransparent),
                                     Slot(&CDIB::FreeDIB),
                                     Slot(&CDIB::CopyDIB),
                                     Slot(&CDIB::ConvertAlphaToStraight),
                                     Slot(CreateH(&CDIB::Create))};
  for (std::size_t i = 0; i < std::size(virtuals); ++i)
    EXPECT_GE(virtuals[i], 0) << "member #" << i;
  // Implemented in separate sources of the library: kept out of the table.
  EXPECT_EQ(Slot(&CDIB::CompressRLE), -1);
  EXPECT_EQ(Slot(&CDIB::DecompressRLE), -1);
  EXPECT_EQ(Slot(&CDIB::IsValidDIB), -1);
}

}  // namespace
