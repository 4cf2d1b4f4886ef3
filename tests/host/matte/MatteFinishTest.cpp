// Matte finishing against its definitions on small pictures: clip levels
// worked by hand, shrink/grow against a brute-force disc, feather against
// the Gaussian pixel by pixel, despill of a
// screen colour and of greys, shapes against the drawing layer's own polygon
// fill; a part with its reach finished as the whole frame, on the fuzz
// target's seeds. (Every step off leaves the frame as keyed: a render
// without a project gives back its input, the render command's test.)
#include "host/matte/MatteFinish.h"
#include "tests/FuzzSeeds.h"
#include "tests/host/matte/FinishPartsCheck.h"
#include "tests/platform/TestWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "win/Windows.h"

namespace mattix::matte {
namespace {

using media::BgraImage;

// A frame of random colours, input alpha 255 and keyed alpha `alpha(x, y)`.
template <class Alpha>
std::pair<BgraImage, BgraImage> Frames(int w, int h, Alpha alpha) {
  std::mt19937 random(7);
  BgraImage input(w, h);
  for (std::uint8_t& b : input.pixels) b = std::uint8_t(random());
  BgraImage keyed = input;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      input.Row(y)[x * 4 + 3] = 255;
      keyed.Row(y)[x * 4 + 3] = std::uint8_t(alpha(x, y));
    }
  return {input, keyed};
}

int AlphaAt(const BgraImage& image, int x, int y) { return image.Row(y)[x * 4 + 3]; }

TEST(MatteFinish, ClipStretchesTheLevelsBetweenItsThresholds) {
  // clipBlack 20 %, clipWhite 80 %: levels 51 and 204; between them
  // round(255 (a - 51) / 153), worked by hand.
  const std::pair<int, int> cases[] = {{0, 0},     {51, 0},    {52, 2},    {100, 82},  {127, 127},
                                       {128, 128}, {203, 253}, {204, 255}, {255, 255}, {153, 170}};
  auto [input, keyed] = Frames(10, 1, [&](int x, int) { return cases[x].first; });
  FinishMatte(keyed, input, {.clipBlack = 20, .clipWhite = 80, .shapes = {}});
  for (int x = 0; x < 10; ++x) EXPECT_EQ(AlphaAt(keyed, x, 0), cases[x].second) << cases[x].first;
}

// The smallest (largest) level over the disc of radius r, by brute force.
int DiscLevel(const BgraImage& image, int x, int y, int r, bool grow) {
  int v = grow ? 0 : 255;
  for (int dy = -r; dy <= r; ++dy)
    for (int dx = -r; dx <= r; ++dx) {
      const int u = x + dx, w = y + dy;
      if (dx * dx + dy * dy > r * r || u < 0 || w < 0 || u >= image.width || w >= image.height)
        continue;
      v = grow ? std::max(v, AlphaAt(image, u, w)) : std::min(v, AlphaAt(image, u, w));
    }
  return v;
}

TEST(MatteFinish, ShrinkAndGrowTakeTheDiscsExtremeBlendingFractionalRadii) {
  std::mt19937 random(3);
  auto [input, keyed] = Frames(13, 11, [&](int, int) { return int(random() % 256); });
  for (double radius : {-2.0, -1.0, -0.5, 1.0, 1.5, 3.0}) {
    BgraImage out = keyed;
    FinishMatte(out, input, {.shrinkGrow = radius, .shapes = {}});
    const bool grow = radius > 0;
    const int whole = int(std::floor(std::fabs(radius)));
    const double fraction = std::fabs(radius) - whole;
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < 13; ++x) {
        const double want = (1 - fraction) * DiscLevel(keyed, x, y, whole, grow) +
                            fraction * DiscLevel(keyed, x, y, whole + 1, grow);
        ASSERT_EQ(AlphaAt(out, x, y), std::lround(want)) << radius << " at " << x << "," << y;
      }
  }
}

// Feather by its definition, pixel by pixel: a Gaussian of deviation sigma
// over taps -r..r (r = ceil(3 sigma)) normalised by their sum, across then
// down, each sum from tap -r up, edges clamped, rounded half up.
int FeatherLevel(const BgraImage& image, int x, int y, double sigma) {
  const int r = int(std::ceil(3.0 * sigma));
  std::vector<double> k;
  double sum = 0.0;
  for (int i = -r; i <= r; ++i) sum += k.emplace_back(std::exp(-0.5 * i * i / (sigma * sigma)));
  double down = 0.0;
  for (int j = -r; j <= r; ++j) {
    double across = 0.0;
    for (int i = -r; i <= r; ++i)
      across += k[std::size_t(i + r)] / sum *
                AlphaAt(image, std::clamp(x + i, 0, image.width - 1),
                        std::clamp(y + j, 0, image.height - 1));
    down += k[std::size_t(j + r)] / sum * across;
  }
  return int(std::min(std::lround(down), 255L));
}

TEST(MatteFinish, FeatherIsTheGaussianAndNeverRaisesAlphaAboveTheInput) {
  // Rows wider than the blur's blocks of 256 pixels, random levels.
  std::mt19937 random(5);
  auto [input, keyed] = Frames(300, 7, [&](int, int) { return int(random() % 256); });
  for (double sigma : {0.4, 1.5}) {
    BgraImage out = keyed;
    FinishMatte(out, input, {.feather = sigma, .shapes = {}});
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 300; ++x)
        ASSERT_EQ(AlphaAt(out, x, y), FeatherLevel(keyed, x, y, sigma)) << x << "," << y;
  }
  // A flat matte stays flat, and the input's own alpha caps the result.
  auto [flatInput, flat] = Frames(8, 6, [](int, int) { return 90; });
  for (int x = 0; x < 8; ++x) flatInput.Row(2)[x * 4 + 3] = 40;
  // The clip would raise 90 to 255.
  FinishMatte(flat, flatInput, {.clipWhite = 30, .feather = 1.5, .shapes = {}});
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(AlphaAt(flat, x, y), y == 2 ? 40 : 255);
}

TEST(MatteFinish, DespillLimitsTheScreenChannelToTheOthers) {
  struct Case {
    project::ScreenChannel screen;
    double amount;
    std::array<int, 3> bgr, want;
  };
  using project::ScreenChannel;
  const Case cases[] = {
      // A green screen turns neutral; half of its excess over the mean of
      // red and blue (200 - 50 = 150) goes at 50 %.
      {ScreenChannel::kGreen, 100, {60, 200, 40}, {60, 50, 40}},
      {ScreenChannel::kGreen, 50, {60, 200, 40}, {60, 125, 40}},
      {ScreenChannel::kGreen, 100, {128, 128, 128}, {128, 128, 128}},  // greys keep
      {ScreenChannel::kGreen, 100, {40, 90, 200}, {40, 90, 200}},      // skin: no excess
      {ScreenChannel::kGreen, 100, {41, 90, 140}, {41, 90, 140}},      // under the mean
      {ScreenChannel::kBlue, 100, {220, 70, 30}, {50, 70, 30}},        // a blue screen
      {ScreenChannel::kBlue, 100, {60, 200, 40}, {60, 200, 40}},       // green is not blue's
      {ScreenChannel::kGreen, 25, {0, 255, 55}, {0, 198, 55}},         // 255 - round(56.875)
      {ScreenChannel::kGreen, 50, {0, 101, 0}, {0, 50, 0}}};  // 101 - round(50.5): away from 0
  for (const Case& c : cases) {
    auto [input, keyed] = Frames(1, 1, [](int, int) { return 255; });
    std::copy(c.bgr.begin(), c.bgr.end(), keyed.pixels.begin());
    FinishMatte(keyed, input, {.despill = c.amount, .screen = c.screen, .shapes = {}});
    EXPECT_EQ((std::array<int, 3>{keyed.pixels[0], keyed.pixels[1], keyed.pixels[2]}), c.want)
        << c.bgr[0] << "," << c.bgr[1] << "," << c.bgr[2];
  }
}

TEST(MatteFinish, APartWithItsReachIsFinishedAsTheWholeFrame) {
  test::ExpectSeedsHold("tests/host/matte/fuzz", test::CheckFinishParts);
}

TEST(MatteFinish, ShapesCoverThePixelsTheDrawingLayerFills) {
  // Random polygons with whole-pixel corners, filled by the drawing layer
  // (even-odd at pixel centres) in a window, and used as garbage and keep
  // shapes: the pixels each covers must be the same.
  constexpr int W = 23, H = 17;
  std::mt19937 random(11);
  const win_test::TestWindow window(0, 0, W, H);
  const HDC dc = window.dc;
  ASSERT_NE(dc, nullptr);
  SelectObject(dc, GetStockObject(NULL_PEN));
  SelectObject(dc, GetStockObject(BLACK_BRUSH));
  for (int trial = 0; trial < 40; ++trial) {
    std::vector<POINT> poly(3 + random() % 5);
    project::MatteShape shape;
    for (POINT& p : poly) {
      p = {LONG(int(random() % (W + 8)) - 4), LONG(int(random() % (H + 8)) - 4)};
      shape.points.push_back({double(p.x), double(p.y)});
    }
    const RECT all{0, 0, W, H};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ASSERT_TRUE(Polygon(dc, poly.data(), int(poly.size())));
    const std::vector<std::uint32_t> drawn = window.Pixels();
    for (const bool keep : {false, true}) {
      auto [input, keyed] = Frames(W, H, [](int, int) { return 100; });
      shape.keep = keep;
      FinishMatte(keyed, input, {.shapes = {shape}});
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const bool inside = (drawn[std::size_t(y) * W + std::size_t(x)] & 0xFFFFFF) == 0;
          const int want = keep ? (inside ? 255 : 100) : (inside ? 100 : 0);
          ASSERT_EQ(AlphaAt(keyed, x, y), want)
              << trial << " keep " << keep << " at " << x << "," << y;
        }
    }
  }
}

}  // namespace
}  // namespace mattix::matte
