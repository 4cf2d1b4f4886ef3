// The module's resources: the wheel picture against its geometry, with
// independent formulations (the HLS of sampled pixels, by the image library's
// conversion, against the polar angle and the elliptic radius, the hexagon's alpha
// against the distance to its edges), and the picture and the cursors as the
// loaded module offers them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "resources/WheelPicture.h"
#include "stdfx/DIB.h"
#include "stdfx/HSL.h"
#include "tests/plugin/ModuleFixture.h"
#include "win/WinKernel.h"
#include "win/WinResource.h"
#include "win/WinUser.h"

namespace {

using mattix::resources::WheelPictureFile;

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
  // "B", pixels after the two headers, width, height (positive: bottom-up), 32 bits.
  EXPECT_EQ(std::tuple(file[0], u32(10), u32(18), u32(22), file[28]),
            std::tuple('B', 54u, 241u, 209u, 32));
  const std::uint8_t* pixels = file.data() + 54;
  for (int r = 0; r < 209; ++r)
    for (int x = 0; x < 241; ++x) {
      const std::uint8_t* p = pixels + (r * 241 + x) * 4;
      const double dx = x - 120, dy = r - 104, s = std::min(1.0, std::hypot(dx / 120, dy / 104));
      float hue, lightness, saturation;  // the image library's HLS, checked on its own
      stdfx::CHSL::RGBtoHLS(hue, lightness, saturation, p[2], p[1], p[0]);
      ASSERT_NEAR(saturation, s, 0.01) << x << "," << r;
      if (s > 0.1) {
        const double expected = std::fmod(std::atan2(dy, dx) / (2 * M_PI) + 1, 1.0);
        const double error = std::fabs(hue - expected);
        ASSERT_LT(std::min(error, 1 - error), 0.4 / 360 / s + 0.002) << x << "," << r;
      }
      // Opaque inside the hexagon, transparent outside, either on its edge.
      const double d = HexagonDistance(dx, dy);
      ASSERT_TRUE(std::fabs(d) <= 0.75 || p[3] == (d < 0 ? 255 : 0))
          << int(p[3]) << " at " << x << "," << r;
    }
  const std::uint8_t* centre = pixels + (104 * 241 + 120) * 4;
  EXPECT_EQ(std::vector(centre, centre + 3), std::vector<std::uint8_t>(3, 128));
}

// The module, loaded as a host loads it, registers its resources under its
// own handle: the picture as made here (and nothing under the next id), and
// the cursors, loaded as the controls load them: each is visible on any
// colour (no black ink pixel touches a transparent one), its hot spot lies
// on or next to ink, and the cursors a user must tell apart differ.
TEST(ModuleResources, PictureAndCursors) {
  HMODULE handle = nullptr;
  try {
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(mattix::test::Module()->CreateEntry()), &handle);
  } catch (const std::exception&) {
  }
  if (!handle) GTEST_SKIP() << "the module (MATTIX_MODULE) cannot be loaded";
  stdfx::CDIB picture, missing;
  ASSERT_TRUE(picture.CreateFromResource(MAKEINTRESOURCEW(1030), handle));
  EXPECT_EQ(std::tuple(picture.DIBWidth(), picture.DIBHeight()), std::tuple(241, 209));
  const std::vector<std::uint8_t> file = WheelPictureFile();
  EXPECT_EQ(std::memcmp(picture.GetBytes(), file.data() + 54, file.size() - 54), 0);
  EXPECT_FALSE(missing.CreateFromResource(MAKEINTRESOURCEW(1031), handle));
  std::map<unsigned, std::vector<std::uint8_t>> pictures;
  for (unsigned id : {3021u, 3022u, 3031u, 3032u, 3033u, 3034u, 3035u, 3036u, 3037u, 3038u, 3039u,
                      3040u, 3041u, 3042u}) {
    SCOPED_TRACE(id);
    std::vector<std::uint8_t>& p = pictures[id] = std::vector<std::uint8_t>(32 * 32 * 4);
    POINT hot{};
    SetCursor(LoadCursorW(handle, MAKEINTRESOURCEW(id)));
    ASSERT_NE(GetCursor(), nullptr);
    ASSERT_TRUE(WinGetCursorImage(p.data(), &hot));
    auto alpha = [&](int x, int y) {
      return x < 0 || y < 0 || x > 31 || y > 31 ? 0 : p[std::size_t((y * 32 + x) * 4 + 3)];
    };
    bool nearInk = false;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        if (alpha(x, y) != 255 || p[std::size_t((y * 32 + x) * 4)] != 0) continue;  // not ink
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) ASSERT_NE(alpha(x + dx, y + dy), 0) << x << "," << y;
        nearInk = nearInk || (std::abs(x - hot.x) <= 1 && std::abs(y - hot.y) <= 1);
      }
    EXPECT_TRUE(nearInk) << "hot spot " << hot.x << "," << hot.y;
  }
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  for (const auto& group : {std::vector<unsigned>{3021, 3022},
                            {3033, 3034, 3035, 3036, 3037, 3038, 3039, 3040, 3041, 3042}}) {
    std::set<std::vector<std::uint8_t>> distinct;
    for (unsigned id : group) distinct.insert(pictures[id]);
    EXPECT_EQ(distinct.size(), group.size()) << "cursors from " << group[0] << " alike";
  }
}

}  // namespace
