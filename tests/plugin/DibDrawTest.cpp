// CDibDraw: what reaches the window for each kind of image.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "plugin/DibDraw.h"
#include "win/Windows.h"

namespace {

using stdfx::CDIB;

constexpr int W = 16;
constexpr int H = 8;

tagVFBMINFOHEADER Header(int width, int height, WORD bits, DWORD size = 144) {
  tagVFBMINFOHEADER h{};
  h.biSize = size, h.biWidth = width, h.biHeight = height, h.biPlanes = 1, h.biBitCount = bits;
  return h;
}

class DibDraw : public ::testing::Test {
 protected:
  void SetUp() override {
    m_wnd = WinCreateWindow(0, 0, W, H);
    m_hdc = GetDC(m_wnd);
    ASSERT_NE(m_hdc, nullptr);
    m_dc = CDC::FromHandle(m_hdc);
  }
  void TearDown() override {
    ReleaseDC(m_wnd, m_hdc);
    WinDestroyWindow(m_wnd);
  }
  COLORREF At(int x, int y) const { return GetPixel(m_hdc, x, y); }
  // Every pixel of the window against want(x, y), each channel within tolerance.
  template <class Want>
  void ExpectWindow(Want want, int tolerance = 0) const {
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        for (int shift : {0, 8, 16})
          EXPECT_NEAR(At(x, y) >> shift & 0xFF, want(x, y) >> shift & 0xFF, tolerance)
              << x << "," << y;
  }
  HWND m_wnd = nullptr;
  HDC m_hdc = nullptr;
  CDC* m_dc = nullptr;
  CDibDraw m_draw;
};

TEST_F(DibDraw, EightBitZeroAnd255ShowBlackAndWhiteWhateverTheColourTable) {
  // Header, a red colour table right behind it, then 4 x 2 pixels bottom-up.
  struct {
    tagVFBMINFOHEADER h;
    RGBQUAD table[256];
  } image{};
  image.h = Header(4, 2, 8);
  image.h.biClrUsed = 256;
  for (RGBQUAD& q : image.table) q = RGBQUAD{0, 0, 255, 0};
  unsigned char pixels[8] = {255, 0, 0, 255, 0, 255, 255, 0};  // bottom line first
  const CDIB dib(&image.h, pixels);
  ASSERT_TRUE(m_draw.DrawDIBWhole(dib, m_dc));
  // Displayed rows: the top one is the second line of pixels; white around the image.
  ExpectWindow([&](int x, int y) {
    return x >= 4 || y >= 2 || pixels[(1 - y) * 4 + x] == 255 ? RGB(255, 255, 255) : RGB(0, 0, 0);
  });
  EXPECT_EQ(image.h.biSize, 144u);
}

TEST_F(DibDraw, YuvImagesAreDrawnThroughTheirRgbConversion) {
  // Black and white survive the round trip through studio-range 4:2:2.
  CDIB rgb(Header(4, 2, 32));
  ASSERT_TRUE(rgb.IsValidDIB());
  for (int i = 0; i < 8; ++i)  // two columns of black, two of white
    reinterpret_cast<std::uint32_t*>(rgb.GetBytes())[i] = i % 4 < 2 ? 0xFF000000u : 0xFFFFFFFFu;
  tagYUVBMINFOHEADER yh{};
  yh.vf = Header(4, 2, 24, 160);
  yh.vf.biCompression = stdfx::kLayoutYUV;
  yh.yuvHSubSampling = stdfx::kSub422UYVY;
  CDIB yuv;
  ASSERT_TRUE(yuv.CreateAndConvert(yh.vf, rgb, -1));
  ASSERT_TRUE(yuv.DIBColorSpaceYUV());
  ASSERT_TRUE(m_draw.DrawDIBWhole(yuv, m_dc));
  ExpectWindow([](int x, int y) { return x < 2 && y < 2 ? RGB(0, 0, 0) : RGB(255, 255, 255); }, 2);
  EXPECT_EQ(yuv.GetVfBmiSize(), 160u);
}

TEST_F(DibDraw, RectanglesSelectTheSourcePartAndTheScaledDestination) {
  CDIB rgb(Header(3, 2, 24));
  ASSERT_TRUE(rgb.IsValidDIB());
  // Displayed (x, y) holds red 10x + 1, green 20y + 2, blue 3.
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      unsigned char* p = rgb.GetBytes() + (1 - y) * rgb.DIBBytesPerLine() + x * 3;
      p[0] = 3, p[1] = BYTE(20 * y + 2), p[2] = BYTE(10 * x + 1);
    }
  // Source columns 1..2 into a 6 x 4 destination at (4, 1): 3 x 2 blocks.
  ASSERT_TRUE(m_draw.DrawDIB(rgb, m_dc, RECT{4, 1, 10, 5}, RECT{1, 0, 3, 2}));
  ExpectWindow([](int x, int y) {
    const bool in = x >= 4 && x < 10 && y >= 1 && y < 5;
    return in ? RGB(10 * (1 + (x - 4) / 3) + 1, 20 * ((y - 1) / 2) + 2, 3) : RGB(255, 255, 255);
  });
  EXPECT_TRUE(m_draw.DrawDIBAt(rgb, m_dc, RECT{0, 0, 3, 2}));
  EXPECT_EQ(At(2, 1), RGB(21, 22, 3));
}

}  // namespace
