// Images from module resources and drawing to the desktop surface.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

#include "ImageTestUtil.h"
#include "stdfx/DIB.h"
#include "win/WinDesktop.h"
#include "win/WinResource.h"

namespace {

using pixmill_test::MakeHeader, stdfx::CDIB;

void Put(std::vector<std::uint8_t>& v, std::size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) v[at + i] = std::uint8_t(value >> (8 * i));
}

// A bitmap file (with `fileHeader`) or packed bitmap of w x h pixels whose
// stored row r, byte k holds r * 37 + k.
std::vector<std::uint8_t> MakeBitmap(int w, int h, int bits, bool fileHeader,
                                     std::uint32_t infoSize = 40) {
  const std::size_t stride = std::size_t((w * bits + 31) / 32 * 4), rows = std::size_t(std::abs(h));
  const std::size_t pre = fileHeader ? 14 : 0, offBits = pre + infoSize + (bits == 8 ? 1024 : 0);
  std::vector<std::uint8_t> v(offBits + stride * rows, 0);
  if (fileHeader) {
    v[0] = 'B';
    v[1] = 'M';
    Put(v, 2, v.size(), 4);
    Put(v, 10, offBits, 4);
  }
  // The info header's size, width, height, planes and bits per pixel.
  Put(v, pre, infoSize, 4);
  Put(v, pre + 4, unsigned(w), 4);
  Put(v, pre + 8, unsigned(h), 4);
  Put(v, pre + 12, 1, 2);
  Put(v, pre + 14, unsigned(bits), 2);
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t k = 0; k < stride; ++k) v[offBits + r * stride + k] = std::uint8_t(r * 37 + k);
  return v;
}

// A fake module handle: any distinct address identifies a module.
HINSTANCE Module(int n) {
  static char modules[8];
  return reinterpret_cast<HINSTANCE>(&modules[n]);
}

class Resources : public ::testing::Test {
 protected:
  // Registers `file` as resource 1030 of module 1 and loads it into image.
  bool Load(const std::vector<std::uint8_t>& file, CDIB& image, unsigned type = 8000) {
    table_ = {{type, 1030, file.data(), DWORD(file.size())}};
    EXPECT_TRUE(RegisterModuleResources(Module(1), table_.data(), 1));
    return image.CreateFromResource(1030, Module(1));
  }
  void TearDown() override { UnregisterModuleResources(Module(1)); }
  std::vector<RESOURCE_ENTRY> table_;
};

// Files with and without the file header, palettes, top-down rows and a
// 124-byte info header: pixels and geometry as stored.
TEST_F(Resources, LoadsPixelsAndGeometry) {
  const struct {
    int w, h, bits;
    bool fileHeader;
    std::uint32_t infoSize;
  } cases[] = {
      {5, -3, 24, true, 40}, {7, 4, 8, true, 40}, {3, 2, 32, true, 124}, {6, -2, 8, false, 40}};
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> file = MakeBitmap(c.w, c.h, c.bits, c.fileHeader, c.infoSize);
    CDIB image;
    ASSERT_TRUE(Load(file, image, c.fileHeader ? 8000u : 2u)) << c.w;
    // Created, RGB, straight alpha, not interlaced.
    EXPECT_EQ(std::tuple(image.IsCreated(), image.DIBColorSpaceRGB(), image.DIBAlphaIsStraight(),
                         image.DIBContentIsNonInterlaced()),
              std::tuple(true, true, true, true));
    // Planes, header size, width, signed height, bits per pixel.
    EXPECT_EQ(std::tuple(image.DIBPlanes(), image.GetVfBmiSize(), image.DIBWidth(),
                         image.GetVfBmiHeader()->biHeight, image.DIBBitCount()),
              std::tuple(1, 144u, c.w, c.h, c.bits));
    const std::size_t offBits = file.size() - image.DIBSize();
    EXPECT_EQ(0, std::memcmp(image.GetBytes(), file.data() + offBits, image.DIBSize()));
  }
}

// Another id or module, no module, a string name, BI_RLE8, 1 bit per pixel,
// no "BM", masks other than the standard ones: nothing is loaded and the
// image stays as it was. The standard masks load.
TEST_F(Resources, MissingForeignOrRefusedFormatsLeaveTheImage) {
  std::vector<std::uint8_t> file = MakeBitmap(4, 4, 32, true, 124);
  CDIB image(MakeHeader(2, 2, 8)), loaded;
  unsigned char* before = image.GetBytes();
  ASSERT_TRUE(Load(file, loaded));  // found as itself only
  EXPECT_FALSE(image.CreateFromResource(1031, Module(1)));
  EXPECT_FALSE(image.CreateFromResource(1030, Module(2)));
  EXPECT_FALSE(image.CreateFromResource(1030, nullptr));
  EXPECT_FALSE(image.CreateFromResource(L"WHEEL", Module(1)));
  const struct {
    std::size_t at;
    std::uint32_t value;
    int bytes;
  } edits[] = {{30, 1, 4}, {28, 1, 2}, {0, 'X', 1}, {30, BI_BITFIELDS, 4}};
  for (const auto& e : edits) {
    std::vector<std::uint8_t> bad = file;
    Put(bad, e.at, e.value, e.bytes);
    if (e.value == BI_BITFIELDS) Put(bad, 54, 0x000000FF, 4);  // red in the low byte
    EXPECT_FALSE(Load(bad, image)) << e.at;
  }
  EXPECT_EQ(image.GetBytes(), before);
  EXPECT_EQ(image.DIBWidth(), 2);
  Put(file, 30, BI_BITFIELDS, 4);
  for (int k = 0; k < 3; ++k) Put(file, 54 + 4 * k, 0xFF0000u >> (8 * k), 4);
  EXPECT_TRUE(Load(file, image));
}

// Masks show as grey, the alpha plane as grey, packed YUV as its RGB
// conversion; drawing clips to the surface.
TEST(Desktop, DrawsMasksAlphaAndYuvAndClips) {
  // The `n` pixels from (x, y) on.
  auto at = [](int x, int y, int n = 1) {
    std::vector<std::uint32_t> v(std::size_t(n), 0xDEADBEEF);
    EXPECT_TRUE(WinDesktopRead(x, y, n, 1, v.data(), 4 * n));
    return v;
  };
  using Pixels = std::vector<std::uint32_t>;
  WinDesktopClear(0xFFFFFFFF);
  ASSERT_TRUE(WinDesktopResize(64, 48));  // a new surface, cleared
  EXPECT_EQ(at(63, 47), Pixels{0});
  CDIB mask(MakeHeader(2, -1, 8));
  mask.GetBytes()[0] = 0x10;
  mask.GetBytes()[1] = 0xF0;
  ASSERT_TRUE(mask.DrawToDesktop(0, 0, 0, 0));
  EXPECT_EQ(at(0, 0, 2), (Pixels{0xFF101010u, 0xFFF0F0F0u}));
  CDIB image(MakeHeader(2, -1, 32));
  image.ClearDIB(-1, 0x7F123456);
  ASSERT_TRUE(image.DrawDIBsAlphaToDesktop(10, 10, 0, 0));
  EXPECT_EQ(at(10, 10, 2), Pixels(2, 0xFF7F7F7Fu));
  CDIB yuv(pixmill_test::MakeYUVHeader(4, -2, 24, stdfx::kSub422UYVY).vf), rgb;
  for (DWORD i = 0; i < yuv.DIBSize(); ++i) yuv.GetBytes()[i] = std::uint8_t(40 + 13 * i);
  ASSERT_TRUE(rgb.CreateAndConvert(MakeHeader(4, -2, 32), yuv, -1));
  ASSERT_TRUE(yuv.DrawToDesktop(0, 0, 0, 0));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      int r, g, b;
      ASSERT_TRUE(rgb.GetDIBColor(x, y, r, g, b));
      EXPECT_EQ(at(x, y), Pixels{0xFF000000u | std::uint32_t(r << 16 | g << 8 | b)});
    }
  WinDesktopClear(0x00000000);
  CDIB square(MakeHeader(10, 10, 32));
  square.ClearDIB(-1, 0xFF0000FF);
  ASSERT_TRUE(square.DrawToDesktop(60, 45, 0, 0));
  ASSERT_TRUE(square.DrawToDesktop(-8, -8, 0, 0));
  EXPECT_EQ(at(63, 47), Pixels{0xFF0000FFu});
  EXPECT_EQ(at(0, 0), Pixels{0xFF0000FFu});
  EXPECT_EQ(at(2, 2), Pixels{0});
  const CDIB empty;
  EXPECT_FALSE(empty.DrawToDesktop(0, 0, 0, 0));
  EXPECT_FALSE(empty.DrawDIBsAlphaToDesktop(0, 0, 0, 0));
}

}  // namespace
