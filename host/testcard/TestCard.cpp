// mattix_testcard OUTPUT.png: draws a test card with every drawing call of
// the Windows layer into a window and saves the window's pixels as PNG, for
// a person to look at.
#include <cstdio>
#include <exception>
#include <fstream>
#include <vector>

#include "host/media/PngFile.h"
#include "win/AfxWin.h"
#include "win/Vfw.h"
#include "win/Windows.h"

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr COLORREF kBackground = RGB(236, 233, 216);

// Lines fanning out from a centre in all octants, end points excluded.
void DrawStar(CDC& dc, int cx, int cy) {
  CPen red(PS_SOLID, 1, RGB(200, 0, 0));
  CPen* old = dc.SelectObject(&red);
  const POINT ends[] = {{40, 0},   {40, 15},  {40, 40},  {15, 40},   {0, 40},    {-15, 40},
                        {-40, 40}, {-40, 15}, {-40, 0},  {-40, -15}, {-40, -40}, {-15, -40},
                        {0, -40},  {15, -40}, {40, -40}, {40, -15}};
  for (const POINT& e : ends) {
    dc.MoveTo(cx, cy);
    dc.LineTo(cx + e.x, cy + e.y);
  }
  dc.SelectObject(old);
}

// The lightness bar's look: a grey ramp of SetPixel columns and triangular
// handles drawn with Polygon, one of them highlighted with LineTo.
void DrawBar(CDC& dc, int x0, int y0) {
  for (int i = 0; i <= 240; ++i) {
    const int v = MulDiv(210, i, 240);
    for (int y = 0; y < 4; ++y) dc.SetPixel(x0 + i + 7, y0 + y, RGB(v, v, v));
  }
  CPen black(PS_SOLID, 1, RGB(0, 0, 0));
  CBrush white(RGB(255, 255, 255));
  CPen* oldPen = dc.SelectObject(&black);
  CBrush* oldBrush = dc.SelectObject(&white);
  const int xs[] = {7, 67, 187, 247};
  for (int x : xs) {
    const POINT tri[] = {{x0 + x, y0 + 5}, {x0 + x - 7, y0 + 12}, {x0 + x + 7, y0 + 12}};
    dc.Polygon(tri, 3);
  }
  CPen yellow(PS_SOLID, 1, RGB(255, 200, 0));
  dc.SelectObject(&yellow);
  const int x = x0 + 187;
  dc.MoveTo(x, y0 + 5);
  dc.LineTo(x - 7, y0 + 12);
  dc.LineTo(x + 7, y0 + 12);
  dc.LineTo(x, y0 + 5);
  dc.SelectObject(oldPen);
  dc.SelectObject(oldBrush);
}

void DrawLabel(CDC& dc, int left, int top, int right, int bottom, const CString& text) {
  const RECT r{left, top, right, bottom};
  dc.ExtTextOut(left, top, ETO_OPAQUE, &r, text, nullptr);
}

// An 8 x 8 grey ramp with a red colour-table entry, drawn scaled 8 times,
// and a 2 x 2 top-down 32-bit picture drawn 16 times larger.
void DrawBitmaps(HDC hdc, int x, int y) {
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD table[256];
  } grey{};
  grey.h = BITMAPINFOHEADER{40, 8, 8, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
  for (int i = 0; i < 256; ++i) grey.table[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  grey.table[255] = RGBQUAD{0, 0, 255, 0};
  unsigned char pixels[64];
  for (int i = 0; i < 64; ++i) pixels[i] = BYTE(i * 4);
  pixels[63] = 255;  // the last memory row is the top line: red at its right
  BITMAPINFOHEADER quad{40, 2, -2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  unsigned char quadPixels[] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
  HDRAWDIB dd = DrawDibOpen();
  DrawDibDraw(dd, hdc, x, y, 64, 64, &grey.h, pixels, 0, 0, 8, 8, 0);
  DrawDibDraw(dd, hdc, x + 72, y, 32, 32, &quad, quadPixels, 0, 0, 2, 2, 0);
  DrawDibClose(dd);
}

void DrawCursor(HDC hdc, int x, int y) {
  std::vector<std::uint32_t> picture(32 * 32);
  POINT hot{};
  if (!WinGetCursorImage(picture.data(), &hot)) return;
  for (int py = 0; py < 32; ++py) {
    for (int px = 0; px < 32; ++px) {
      const std::uint32_t p = picture[std::size_t(py) * 32 + std::size_t(px)];
      if ((p >> 24) >= 128)
        SetPixel(hdc, x + px, y + py, RGB(p >> 16 & 255, p >> 8 & 255, p & 255));
    }
  }
}

void DrawCard(HWND hwnd) {
  HDC hdc = GetDC(hwnd);
  CDC& dc = *CDC::FromHandle(hdc);
  RECT client;
  GetClientRect(hwnd, &client);
  dc.FillSolidRect(&client, kBackground);
  dc.FillSolidRect(10, 10, 60, 30, RGB(0, 90, 160));
  dc.FillSolidRect(70, 10, 60, 30, RGB(255, 255, 255));
  dc.FillSolidRect(130, 10, 60, 30, RGB(0, 0, 0));
  DrawStar(dc, 260, 60);

  CPen blue(PS_SOLID, 1, RGB(0, 0, 160));
  CBrush green(RGB(60, 170, 60));
  CPen* oldPen = dc.SelectObject(&blue);
  CBrush* oldBrush = dc.SelectObject(&green);
  const POINT star[] = {{350, 20}, {365, 95}, {320, 45}, {385, 45}, {335, 95}};
  dc.Polygon(star, 5);  // alternate fill leaves the pentagon in the middle empty
  dc.SelectObject(oldPen);
  dc.SelectObject(oldBrush);

  DrawBar(dc, 10, 120);

  CFont font;
  font.Attach(GetStockObject(DEFAULT_GUI_FONT));
  CFont* oldFont = dc.SelectObject(&font);
  dc.SetTextColor(RGB(0, 0, 0));
  dc.SetBkColor(kBackground);
  CString text;
  text.Format(L"L %3d", 50);
  DrawLabel(dc, 220, 142, 255, 162, text);
  text.Format(L"H %d L %d S %d", 120, 50, 100);
  DrawLabel(dc, 160, 220, 260, 240, text);
  text.Format(L"R %d G %d B %d", 255, 0, 0);
  DrawLabel(dc, 160, 240, 260, 260, text);
  dc.SetTextColor(RGB(255, 255, 255));
  dc.SetBkColor(RGB(0, 90, 160));
  DrawLabel(dc, 10, 270, 390, 290,
            CString(L"The quick brown fox jumps over the lazy dog 0123456789"));
  dc.SelectObject(oldFont);

  DrawBitmaps(hdc, 10, 160);
  DrawCursor(hdc, 290, 160);
  ReleaseDC(hwnd, hdc);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mattix_testcard OUTPUT.png\n");
    return 2;
  }
  HWND hwnd = WinCreateWindow(0, 0, kWidth, kHeight);
  if (hwnd == nullptr) {
    std::fprintf(stderr, "mattix_testcard: cannot create a window\n");
    return 1;
  }
  DrawCard(hwnd);
  mattix::media::BgraImage image(kWidth, kHeight);
  WinReadWindowPixels(hwnd, image.pixels.data(), long(image.Stride()));
  WinDestroyWindow(hwnd);
  try {
    const std::vector<std::uint8_t> png = mattix::media::EncodePng(image, argv[1]);
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "mattix_testcard: %s: cannot write\n", argv[1]);
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mattix_testcard: %s\n", e.what());
    return 1;
  }
  std::printf("%s\n", argv[1]);
  return 0;
}
