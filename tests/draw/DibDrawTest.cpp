// CDibDraw: what reaches the window for an 8-bit image (0 and 255 show black
// and white whatever its colour table), a 32-bit one, and a YUV one, drawn through its
// RGB conversion (black and white survive the round trip through
// studio-range 4:2:2). Images of 4 x 2 pixels, white around them.
#include <gtest/gtest.h>

#include <cstdint>

#include "draw/DibDraw.h"
#include "stdfx/DIB.h"
#include "tests/pixmill/ImageTestUtil.h"
#include "win/Windows.h"

namespace {

// Draws the image whole into a 16 x 8 window; every pixel must be black
// where black(x, y) says so, else white (each channel within 2).
template <class Black>
void ExpectDrawn(const stdfx::CDIB& image, Black black) {
  const HWND wnd = WinCreateWindow(0, 0, 16, 8);
  const HDC hdc = GetDC(wnd);
  ASSERT_NE(hdc, nullptr);
  CDibDraw draw;
  EXPECT_TRUE(draw.DrawDIBWhole(image, CDC::FromHandle(hdc)));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x)
      for (int shift : {0, 8, 16})
        EXPECT_NEAR(GetPixel(hdc, x, y) >> shift & 0xFF, x < 4 && y < 2 && black(x, y) ? 0 : 255, 2)
            << x << "," << y;
  ReleaseDC(wnd, hdc);
  WinDestroyWindow(wnd);
}

TEST(DibDraw, EightBitAndYuvImages) {
  // Header, a red colour table right behind it, then the pixels bottom-up.
  struct {
    tagVFBMINFOHEADER h;
    RGBQUAD table[256];
  } image{};
  image.h = pixmill_test::MakeHeader(4, 2, 8);
  image.h.biClrUsed = 256;
  for (RGBQUAD& q : image.table) q = RGBQUAD{0, 0, 255, 0};
  unsigned char pixels[8] = {255, 0, 0, 255, 0, 255, 255, 0};  // bottom line first
  ExpectDrawn(stdfx::CDIB(&image.h, pixels),
              [&](int x, int y) { return !pixels[(1 - y) * 4 + x]; });
  EXPECT_EQ(image.h.biSize, 144u);

  stdfx::CDIB rgb(pixmill_test::MakeHeader(4, 2, 32));
  for (int i = 0; i < 8; ++i)  // two columns of black, two of white
    reinterpret_cast<std::uint32_t*>(rgb.GetBytes())[i] = i % 4 < 2 ? 0xFF000000u : 0xFFFFFFFFu;
  ExpectDrawn(rgb, [](int x, int) { return x < 2; });  // drawn as it is, its header kept
  EXPECT_EQ(rgb.GetVfBmiSize(), 144u);
  stdfx::CDIB yuv;
  const auto yuvHeader = pixmill_test::MakeYUVHeader(4, 2, 24, stdfx::kSub422UYVY);
  ASSERT_TRUE(yuv.CreateAndConvert(yuvHeader.vf, rgb, -1));
  ASSERT_TRUE(yuv.DIBColorSpaceYUV());
  ExpectDrawn(yuv, [](int x, int) { return x < 2; });
  EXPECT_EQ(yuv.GetVfBmiSize(), 160u);
}

}  // namespace
