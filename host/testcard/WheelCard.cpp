// mattix_wheelcard OUTPUT.png [PROJECT.json]: draws the hue/saturation wheel
// control into a window as the plug-in does, with the project's mask (or a
// few marked colours when none is given), the key colours marked as discs
// and the info lines of a point on the wheel, and saves the window as PNG
// for a person to look at.
#include <cstdio>
#include <exception>
#include <fstream>
#include <vector>

#include "host/media/PngFile.h"
#include "host/project/Project.h"
#include "picker/WndHSL.h"
#include "win/Afx.h"
#include "win/Windows.h"

namespace {

// This program's application object: its module state names the program,
// which registers the module's resources (linked in) under its own handle.
CWinApp theApp;

constexpr int kSize = CWndHSL::kSize;

// Key colours marked as discs: a red, a blue and a yellow.
constexpr int kMarks[][3] = {{220, 40, 40}, {40, 60, 230}, {230, 210, 40}};

// The pointer rests on the green of the sample's key.
constexpr POINT kPointer{70, 30};

int Save(HWND hwnd, const char* path) {
  mattix::media::BgraImage image(kSize, kSize);
  WinReadWindowPixels(hwnd, image.pixels.data(), long(image.Stride()));
  const std::vector<std::uint8_t> png = mattix::media::EncodePng(image, path);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "mattix_wheelcard: %s: cannot write\n", path);
    return 1;
  }
  std::printf("%s\n", path);
  return 0;
}

int Run(const char* output, const char* projectPath) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  mattix::project::ProjectSettings project;
  if (projectPath != nullptr) project = mattix::project::ReadProject(projectPath);
  CWndHSL wheel;
  if (!wheel.SetMaskData(project.chromaMask.data(), std::uint32_t(project.chromaMask.size())) &&
      !project.HasMask()) {
    std::fprintf(stderr, "mattix_wheelcard: the wheel picture is missing\n");
    return 1;
  }
  if (!project.HasMask()) {
    for (int g = 150; g < 256; g += 15) wheel.MarkColour(733, 40, g, 60);
  }
  for (const auto& c : kMarks) wheel.MarkColour(733, c[0], c[1], c[2]);
  const double softness = project.softness;
  wheel.SetKeyParams(&softness);

  HWND hwnd = WinCreateWindow(0, 0, kSize, kSize);
  if (hwnd == nullptr) {
    std::fprintf(stderr, "mattix_wheelcard: cannot create a window\n");
    return 1;
  }
  HDC hdc = GetDC(hwnd);
  wheel.EraseBackground(hwnd, hdc);
  const bool drawn = wheel.Draw(hwnd, hdc);
  bool handled = false;
  wheel.OnMouseMove(hwnd, hdc, kPointer, handled);
  ReleaseDC(hwnd, hdc);
  const int status = drawn ? Save(hwnd, output) : 1;
  if (!drawn) std::fprintf(stderr, "mattix_wheelcard: the wheel could not be drawn\n");
  WinDestroyWindow(hwnd);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: mattix_wheelcard OUTPUT.png [PROJECT.json]\n");
    return 2;
  }
  try {
    return Run(argv[1], argc == 3 ? argv[2] : nullptr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mattix_wheelcard: %s\n", e.what());
    return 1;
  }
}
