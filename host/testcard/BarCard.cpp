// mattix_barcard OUTDIR: drives the lightness bar in a 255 x 44 window as a
// host does (pointer moved with SetCursorPos, then the bar's pointer events
// with the window and its device context) and saves screenshots with the
// cursor drawn at the pointer: bar-before.png (idle, label under the
// pointer), bar-during.png (L2 dragged: highlighted, its label),
// bar-after.png (released) and bar-shift.png (L3 dragged with Shift, the
// inner handles following).
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/media/PngFile.h"
#include "picker/WndLightness.h"
#include "win/Windows.h"

// This program stands for the module: its application object makes the
// linked-in resource table the bar's own.
CWinApp g_app("mattix_barcard");

namespace {

constexpr int kWidth = CWndLightness::kWidth;
constexpr int kHeight = CWndLightness::kHeight;

struct Host {
  HWND hwnd;
  HDC hdc;
  CWndLightness& bar;
  POINT pointer{0, 0};

  void Point(int x, int y) {
    pointer = POINT{x, y};
    SetCursorPos(x, y);  // the window's client area starts at screen (0, 0)
  }
  void Press(int x, int y) {
    Point(x, y);
    bool handled = false;
    bar.OnButtonDown(hwnd, hdc, pointer, handled);
  }
  void Move(int x, int y, bool shift = false) {
    Point(x, y);
    WinSetAsyncKeyState(VK_SHIFT, shift);
    bool handled = false;
    bar.OnMouseMove(hwnd, hdc, pointer, handled);
    bar.OnSetCursor(hwnd, 1);
  }
  void Release(int x, int y) {
    Point(x, y);
    bool handled = false;
    bar.OnButtonUp(hwnd, hdc, pointer, handled);
    WinSetAsyncKeyState(VK_SHIFT, FALSE);
  }

  // The window's pixels with the current cursor drawn over them.
  void Save(const std::filesystem::path& path) const {
    mattix::media::BgraImage image(kWidth, kHeight);
    WinReadWindowPixels(hwnd, image.pixels.data(), long(image.Stride()));
    std::vector<std::uint32_t> cursor(32 * 32);
    POINT hot{};
    if (WinGetCursorImage(cursor.data(), &hot)) {
      for (int cy = 0; cy < 32; ++cy) {
        for (int cx = 0; cx < 32; ++cx) {
          const std::uint32_t c = cursor[std::size_t(cy) * 32 + std::size_t(cx)];
          const int x = pointer.x - hot.x + cx, y = pointer.y - hot.y + cy;
          if ((c >> 24) < 128 || x < 0 || y < 0 || x >= kWidth || y >= kHeight) continue;
          std::uint8_t* p = &image.pixels[(std::size_t(y) * kWidth + std::size_t(x)) * 4];
          p[0] = std::uint8_t(c);
          p[1] = std::uint8_t(c >> 8);
          p[2] = std::uint8_t(c >> 16);
        }
      }
    }
    const std::vector<std::uint8_t> png = mattix::media::EncodePng(image, path.string());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    out.close();
    if (!out) throw std::runtime_error(path.string() + ": cannot write");
    double v[4];
    bar.GetValues(v);
    std::printf("%s  L0..L3 %.2f %.2f %.2f %.2f\n", path.string().c_str(), v[0], v[1], v[2], v[3]);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mattix_barcard OUTDIR\n");
    return 2;
  }
  HWND hwnd = WinCreateWindow(0, 0, kWidth, kHeight);
  HDC hdc = hwnd != nullptr ? GetDC(hwnd) : nullptr;
  if (hdc == nullptr) {
    std::fprintf(stderr, "mattix_barcard: cannot create a window\n");
    return 1;
  }
  int status = 0;
  try {
    const std::filesystem::path dir(argv[1]);
    std::filesystem::create_directories(dir);
    CWndLightness bar;
    Host host{hwnd, hdc, bar};
    const double values[] = {10, 30, 60, 90};
    bar.SetValues(values);
    bar.EraseBackground(hwnd, hdc);
    bar.Draw(hwnd, hdc);

    host.Move(127, 30);  // idle: the label shows 50 %
    host.Save(dir / "bar-before.png");

    host.Press(151, 12);  // L2 at 60 %
    for (int x = 155; x <= 199; x += 4) host.Move(x, 14);
    host.Save(dir / "bar-during.png");
    for (int x = 203; x <= 215; x += 4) host.Move(x, 14);
    host.Release(215, 14);
    host.Save(dir / "bar-after.png");

    host.Press(223, 16);  // L3 at 90 %, dragged left with Shift
    for (int x = 219; x >= 175; x -= 4) host.Move(x, 18, true);
    host.Save(dir / "bar-shift.png");
    host.Release(175, 18);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mattix_barcard: %s\n", e.what());
    status = 1;
  }
  ReleaseDC(hwnd, hdc);
  WinDestroyWindow(hwnd);
  return status;
}
