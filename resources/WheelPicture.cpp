#include "resources/WheelPicture.h"

#include <cmath>
#include <cstring>

#include "stdfx/HSL.h"
#include "wheel/WheelGeometry.h"
#include "win/WinGdiTypes.h"

namespace mattix::resources {

namespace {

constexpr double kRadius = 120.0;  // circumradius of the hexagon

// Whether the point (dx, dy) from the centre lies inside the hexagon with
// corners on the horizontal axis: within the apothem of each of the three
// pairs of opposite edges (normals at 30, 90 and 150 degrees).
bool InHexagon(double dx, double dy) {
  const double apothem = kRadius * std::sqrt(3.0) / 2.0;
  const double c30 = std::sqrt(3.0) / 2.0;
  return std::fabs(dy) <= apothem && std::fabs(c30 * dx + 0.5 * dy) <= apothem &&
         std::fabs(-c30 * dx + 0.5 * dy) <= apothem;
}

// Covered fraction of the pixel centred on (dx, dy), sampled 4 x 4.
std::uint8_t HexagonAlpha(double dx, double dy) {
  int inside = 0;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) inside += InHexagon(dx + (i - 1.5) / 4.0, dy + (j - 1.5) / 4.0);
  return std::uint8_t((inside * 255 + 8) / 16);
}

}  // namespace

std::vector<std::uint8_t> WheelPictureFile() {
  constexpr int w = wheel::kWidth, h = wheel::kHeight;
  constexpr std::size_t kHeaders = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  std::vector<std::uint8_t> file(kHeaders + std::size_t(w) * h * 4);

  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;  // "BM"
  fh.bfSize = DWORD(file.size());
  fh.bfOffBits = DWORD(kHeaders);
  BITMAPINFOHEADER ih{};
  ih.biSize = sizeof(BITMAPINFOHEADER);
  ih.biWidth = w;
  ih.biHeight = h;  // positive: bottom-up
  ih.biPlanes = 1;
  ih.biBitCount = 32;
  ih.biCompression = BI_RGB;
  ih.biSizeImage = DWORD(std::size_t(w) * h * 4);
  std::memcpy(file.data(), &fh, sizeof fh);
  std::memcpy(file.data() + sizeof fh, &ih, sizeof ih);

  std::uint8_t* p = file.data() + kHeaders;
  for (int r = 0; r < h; ++r) {
    for (int x = 0; x < w; ++x, p += 4) {
      const double dx = x - wheel::kCentreColumn, dy = r - wheel::kCentreRow;
      double turns = std::atan2(dy, dx) / (2.0 * M_PI);
      if (turns < 0.0) turns += 1.0;
      const double saturation =
          std::fmin(1.0, std::hypot(dx / wheel::kCentreColumn, dy / wheel::kCentreRow));
      int red, green, blue;
      stdfx::CHSL::HLStoRGB(red, green, blue, float(turns), 0.5f, float(saturation));
      p[0] = std::uint8_t(blue);
      p[1] = std::uint8_t(green);
      p[2] = std::uint8_t(red);
      p[3] = HexagonAlpha(dx, dy);
    }
  }
  return file;
}

}  // namespace mattix::resources
