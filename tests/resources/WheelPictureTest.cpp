// The wheel picture against its geometry, with independent formulations: a
// textbook RGB to HLS conversion of sampled pixels against the polar angle
// and the elliptic radius, and the hexagon's alpha against the distance to
// its edges. Then the picture as the loaded module's resource 1030.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "resources/WheelPicture.h"
#include "stdfx/DIB.h"
#include "tests/plugin/ModuleFixture.h"
#include "win/WinKernel.h"
#include "win/WinResource.h"

namespace {

using mattix::resources::WheelPictureFile;

// Hue (turns, -1 for greys) and saturation of an 8-bit colour, from the
// textbook definition of HLS.
void TextbookHls(int r8, int g8, int b8, double& hue, double& saturation) {
  const double r = r8 / 255.0, g = g8 / 255.0, b = b8 / 255.0;
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b}), l = (mx + mn) / 2;
  if (mx == mn) {
    hue = -1;
    saturation = 0;
    return;
  }
  const double d = mx - mn;
  saturation = l <= 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
  double h = mx == r ? (g - b) / d : mx == g ? 2 + (b - r) / d : 4 + (r - g) / d;
  hue = std::fmod(h / 6 + 1, 1.0);
}

// Signed distance in pixels from the hexagon's boundary (negative inside):
// corners at (+-120, 0), flat top and bottom at +-120 sin 60.
double HexagonDistance(double dx, double dy) {
  const double a = 120 * std::sqrt(3.0) / 2;
  double d = std::fabs(dy) - a;
  for (double angle : {30.0, 150.0}) {
    const double t = angle * M_PI / 180;
    d = std::max(d, std::fabs(dx * std::cos(t) + dy * std::sin(t)) - a);
  }
  return d;
}

TEST(WheelPicture, MatchesTheGeometry) {
  const std::vector<std::uint8_t> file = WheelPictureFile();
  ASSERT_EQ(file.size(), 54u + 241u * 209u * 4u);
  auto u32 = [&](std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, file.data() + at, 4);
    return v;
  };
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(u32(10), 54u);   // pixels follow the two headers
  EXPECT_EQ(u32(18), 241u);  // width
  EXPECT_EQ(u32(22), 209u);  // height, positive: bottom-up
  EXPECT_EQ(file[28], 32);   // bits per pixel
  const std::uint8_t* pixels = file.data() + 54;
  for (int r = 0; r < 209; ++r) {
    for (int x = 0; x < 241; ++x) {
      const std::uint8_t* p = pixels + (r * 241 + x) * 4;
      const double dx = x - 120, dy = r - 104;
      const double s = std::min(1.0, std::hypot(dx / 120, dy / 104));
      double hue, saturation;
      TextbookHls(p[2], p[1], p[0], hue, saturation);
      ASSERT_NEAR(saturation, s, 0.01) << x << "," << r;
      if (s > 0.1) {
        const double expected = std::fmod(std::atan2(dy, dx) / (2 * M_PI) + 1, 1.0);
        const double error = std::fabs(hue - expected);
        ASSERT_LT(std::min(error, 1 - error), 0.4 / 360 / s + 0.002) << x << "," << r;
      }
      const double d = HexagonDistance(dx, dy);
      if (d < -0.75) {
        ASSERT_EQ(p[3], 255) << x << "," << r;
      } else if (d > 0.75) {
        ASSERT_EQ(p[3], 0) << x << "," << r;
      }
    }
  }
  const std::uint8_t* centre = pixels + (104 * 241 + 120) * 4;
  EXPECT_EQ(centre[0], 128);
  EXPECT_EQ(centre[1], 128);
  EXPECT_EQ(centre[2], 128);
}

// The loaded module registers the picture under its own handle.
TEST(WheelPicture, IsTheModulesResource) {
  const std::string path = mattix::test::ModulePath();
  if (path.empty()) GTEST_SKIP() << "MATTIX_MODULE is not set";
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  HMODULE handle = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                 static_cast<LPCWSTR>(dlsym(module, "createEffect")), &handle));
  {
    stdfx::CDIB picture;
    ASSERT_TRUE(picture.CreateFromResource(MAKEINTRESOURCEW(1030), handle));
    EXPECT_EQ(picture.DIBWidth(), 241);
    EXPECT_EQ(picture.DIBHeight(), 209);
    const std::vector<std::uint8_t> file = WheelPictureFile();
    EXPECT_EQ(std::memcmp(picture.GetBytes(), file.data() + 54, file.size() - 54), 0);
    stdfx::CDIB missing;
    EXPECT_FALSE(missing.CreateFromResource(MAKEINTRESOURCEW(1031), handle));
  }
  dlclose(module);
}

}  // namespace
