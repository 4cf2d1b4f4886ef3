// The image object's light members that interpret headers: layout,
// sampling and flag tests, and the record's count and lock. Headers are
// built as raw bytes at the documented offsets. (Plain field readers and
// setters are left to the static_asserts on the record's layout.)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "stdfx/DIB.h"

namespace {

using stdfx::CDIB;

// A 160-byte header buffer written field by field, little-endian.
struct RawHeader {
  alignas(8) unsigned char bytes[160] = {};
  RawHeader(std::initializer_list<std::pair<int, std::uint64_t>> fields) {
    for (const auto& [offset, v] : fields)
      for (int i = 0; i < (offset == 12 || offset == 14 ? 2 : offset == 132 ? 8 : 4); ++i)
        bytes[offset + i] = std::uint8_t(v >> (8 * i));
  }
};

unsigned char g_pixels[64];

std::string Answers(std::initializer_list<bool> answers) {
  std::string s;
  for (bool b : answers) s += b ? '1' : '0';
  return s;
}

// The flag tests in the order black-transparent, straight, opaque,
// premultiplied, two fields, interlaced format, progressive content,
// interlaced content.
std::string Flags(const CDIB& d) {
  return Answers({d.DIBImageIsBlackTransparent(), d.DIBAlphaIsStraight(), d.DIBAlphaIsOpaque(),
                  d.DIBAlphaIsPremultiplied(), d.DIBFormatIs2Fields(), d.DIBFormatIsInterlaced(),
                  d.DIBContentIsNonInterlaced(), d.DIBContentIsInterlaced()});
}

constexpr DWORD YUV = stdfx::kLayoutYUV, YUVz = stdfx::kLayoutYUVAZ, RGBz = stdfx::kLayoutRGBAZ;

// Answers in the order 444 422 UYVY UYVY_ALPHA UYVY_NOALPHA 411 420 /
// 601 709 normalised 601or709; "YUVz" only passes the 4:4:4 and colour-space
// tests. Then one layout answer per code: RGB, YUV, RGBAZ, YUVAZ, compressed.
TEST(Sampling, TestsFollowLayoutAndCodes) {
  const struct {
    DWORD layout, hsub, bits, id;
    const char* want;
  } cases[] = {{YUV, 512, 32, 0, "0111000/1001"}, {YUV, 512, 24, 2, "0110100/0101"},
               {YUV, 16, 32, 3, "1000000/0010"},  {YUV, 32, 24, 0, "0000010/1001"},
               {YUV, 64, 24, 0, "0000001/1001"},  {YUVz, 512, 32, 0, "0000000/1001"},
               {YUVz, 16, 32, 0, "1000000/1001"}, {RGBz, 16, 32, 0, "0000000/0000"}};
  for (const auto& c : cases) {
    RawHeader raw(
        {{0, 160}, {4, 8}, {8, 2}, {14, c.bits}, {16, c.layout}, {144, c.id}, {152, c.hsub}});
    const CDIB d(raw.bytes, g_pixels);
    const std::string got =
        Answers({d.IsYUV444(), d.IsYUV422(), d.IsYUV422UYVY(), d.IsYUV422UYVY_ALPHA(),
                 d.IsYUV422UYVY_NOALPHA(), d.IsYUV411(), d.IsYUV420()}) +
        '/' + Answers({d.IsYUVCCIR601(), d.IsYUVITU709(), d.IsYUVNormalized(), d.IsYUV601or709()});
    EXPECT_EQ(got, c.want) << c.layout << " " << c.hsub << " " << c.bits << " " << c.id;
  }
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
  RawHeader plain({{0, 144}, {16, YUV}});  // no sampling fields: plain 4:2:2, 8 bits
  const CDIB d(plain.bytes, g_pixels);
  EXPECT_EQ(std::tuple(d.IsYUV422(), d.IsYUV422UYVY(), d.YUVBitsPerSample()),
            std::tuple(true, false, 8u));
}

// Each flag word read at its offset.
TEST(Flags, ReadersInterpretTheirBits) {
  const std::tuple<int, std::uint32_t, const char*> cases[] = {
      {48, 8, "11000101"},    {48, 0xF7, "01000101"}, {52, 1, "00100101"},
      {52, 2, "00010101"},    {52, 3, "00000101"},    {56, 0x21, "01001001"},
      {56, 0x20, "01000101"}, {84, 1, "01000110"},    {84, 2, "01000101"}};
  for (const auto& [offset, value, want] : cases) {
    RawHeader raw({{0, 144}, {offset, value}});
    EXPECT_EQ(Flags(CDIB(raw.bytes, g_pixels)), want) << offset << " " << value;
  }
}

// A derived image reaching the protected members.
struct ProbeDIB : CDIB {
  LONG Increment(LONG* v) { return xInterlockedIncrement(v); }
  LONG Decrement(LONG* v) { return xInterlockedDecrement(v); }
  stdfx::CDibData* Data() const { return _IGetData(); }
};

TEST(Record, CountIsAtomicAndLockIsBit31) {
  ProbeDIB image;
  ASSERT_EQ(std::tuple(image.Data() != nullptr, image.GetRefs(), image.IsLocked()),
            std::tuple(true, 1, 0));
  LONG count = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        image.Increment(&count);
        image.Increment(&count);
        image.Decrement(&count);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(count, 4 * 5000);
  EXPECT_EQ(image.Increment(&count), 20001);
  EXPECT_EQ(image.Decrement(&count), 20000);
  const LONG saved = image.Data()->m_nRefs;
  image.Data()->m_nRefs = LONG(std::uint32_t(saved) | 0x80000000u);
  EXPECT_EQ(image.IsLocked(), 1);
  EXPECT_EQ(image.GetRefs(), image.Data()->m_nRefs);
  image.Data()->m_nRefs = saved;
}

}  // namespace
