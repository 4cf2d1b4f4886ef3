// mattix_dragcard MIDDRAG.png PROJECT.json [BASE.json]: drags a lasso
// around the green hues of the hue/saturation wheel as a host would (a
// window, its device context, the pointer and the button events), saves the
// window mid-drag with the cursor drawn at the pointer, and writes the
// project of BASE (default: no key settings) with the mask that the drag
// left, for `mattix render` to key a picture with.
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <numbers>
#include <vector>

#include "host/media/PngFile.h"
#include "host/project/Project.h"
#include "picker/WndHSL.h"
#include "win/Afx.h"
#include "win/Windows.h"

namespace {

CWinApp theApp;  // the module state names this program and its resources

constexpr int kSize = CWndHSL::kSize;
constexpr POINT kOrigin{300, 200};  // the client area on the screen

// A client point of hue `degrees` and saturation s on the wheel (centre
// (120, 104), half-axes 120 and 104, hue counter-clockwise from the right).
POINT OnWheel(double degrees, double s) {
  const double a = degrees * std::numbers::pi / 180.0;
  return POINT{int(std::lround(120.0 + s * 120.0 * std::cos(a))),
               int(std::lround(104.0 - s * 104.0 * std::sin(a)))};
}

bool Write(const char* path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  out.close();
  if (!out) std::fprintf(stderr, "mattix_dragcard: %s: cannot write\n", path);
  return bool(out);
}

// The window's pixels with the current cursor over them at the pointer.
mattix::media::BgraImage Screenshot(HWND hwnd) {
  mattix::media::BgraImage image(kSize, kSize);
  WinReadWindowPixels(hwnd, image.pixels.data(), long(image.Stride()));
  std::vector<std::uint8_t> cursor(32 * 32 * 4);
  POINT hot{0, 0}, at{0, 0};
  if (!WinGetCursorImage(cursor.data(), &hot) || !GetCursorPos(&at)) return image;
  ScreenToClient(hwnd, &at);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const int cx = at.x - hot.x + x, cy = at.y - hot.y + y;
      if (cx < 0 || cy < 0 || cx >= kSize || cy >= kSize) continue;
      const std::uint8_t* c = &cursor[std::size_t(y * 32 + x) * 4];
      std::uint8_t* d = image.Row(cy) + std::size_t(cx) * 4;
      for (int k = 0; k < 3; ++k)
        d[k] = std::uint8_t((c[k] * c[3] + d[k] * (255 - c[3]) + 127) / 255);
    }
  return image;
}

int Run(const char* middrag, const char* projectOut, const char* base) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  mattix::project::ProjectSettings project;
  if (base != nullptr) project = mattix::project::ReadProject(base);
  CWndHSL wheel;
  HWND hwnd = WinCreateWindow(kOrigin.x, kOrigin.y, kSize, kSize);
  if (hwnd == nullptr) {
    std::fprintf(stderr, "mattix_dragcard: cannot create a window\n");
    return 1;
  }
  HDC hdc = GetDC(hwnd);
  wheel.EraseBackground(hwnd, hdc);
  wheel.Draw(hwnd, hdc);

  // The loop: out along the rim beyond the picture from 85 to 165 degrees,
  // back along saturation 0.12.
  std::vector<POINT> loop;
  for (int h = 85; h <= 165; h += 4) loop.push_back(OnWheel(h, 1.2));
  for (int h = 165; h >= 85; h -= 4) loop.push_back(OnWheel(h, 0.12));
  bool handled = false;
  const auto point = [&](POINT p) {
    SetCursorPos(kOrigin.x + p.x, kOrigin.y + p.y);
    wheel.OnSetCursor(hwnd, CWndHSL::kHitClient);
    return p;
  };
  wheel.OnButtonDown(hwnd, hdc, point(loop.front()), handled);
  bool saved = false;
  for (std::size_t i = 1; i < loop.size(); ++i) {
    wheel.OnMouseMove(hwnd, hdc, point(loop[i]), handled);
    if (i == loop.size() * 3 / 4) {
      saved = Write(middrag, mattix::media::EncodePng(Screenshot(hwnd), middrag));
      if (saved) std::printf("%s\n", middrag);
    }
  }
  wheel.OnButtonUp(hwnd, hdc, point(loop.back()), handled);
  std::uint32_t size = 0;
  const std::uint8_t* record = wheel.GetMaskData(size);
  project.chromaMask.assign(record, record + size);
  ReleaseDC(hwnd, hdc);
  WinDestroyWindow(hwnd);
  if (!project.HasMask()) {
    std::fprintf(stderr, "mattix_dragcard: the drag left no mask\n");
    return 1;
  }
  const std::string json = mattix::project::ProjectToJson(project);
  if (!Write(projectOut, {json.begin(), json.end()}) || !saved) return 1;
  std::printf("%s\n", projectOut);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: mattix_dragcard MIDDRAG.png PROJECT.json [BASE.json]\n");
    return 2;
  }
  try {
    return Run(argv[1], argv[2], argc == 4 ? argv[3] : nullptr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mattix_dragcard: %s\n", e.what());
    return 1;
  }
}
