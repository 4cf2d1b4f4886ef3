// Matte finishing against its definitions on small pictures: clip levels
// worked by hand, close holes and shrink/grow against brute-force discs,
// feather against the Gaussian pixel by pixel, despill of a screen colour
// and of greys, shapes against the drawing layer's own polygon fill; a part
// with its reach finished as the whole frame, on the fuzz target's seeds. (Every step off
// leaves the frame as keyed: a render without a project gives back its
// input, the render command's test.)
// The edge's colours: depth against a brute-force search, a spilled rim
// brought back to the subject's own colour while a rim of another colour
// keeps the classic limit, the screen's light on a rim taken out of every
// channel, the limit moved by 0 being the classic one, and mixes of known
// colours unmixed.
// Refine's guided filter against its definition solved directly: each
// window's least-squares fit of the matte to the colour, from the 4 x 4
// normal equations of the window's pixels, averaged over the windows that
// hold a pixel.
#include "host/matte/MatteFinish.h"
#include "host/matte/internal/EdgeColour.h"
#include "host/matte/internal/FinishKernels.h"
#include "host/matte/internal/GuidedFilter.h"
#include "tests/FuzzSeeds.h"
#include "tests/host/matte/FinishPartsCheck.h"
#include "tests/platform/TestWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <utility>
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
  for (std::size_t i = 0; i < input.pixels.size(); ++i)
    input.pixels[i] = i % 4 == 3 ? 255 : std::uint8_t(random());
  BgraImage keyed = input;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) keyed.Row(y)[x * 4 + 3] = std::uint8_t(alpha(x, y));
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
int DiscLevel(const BgraImage& image, int x, int y, double r, bool grow) {
  int v = grow ? 0 : 255;
  for (int dy = -int(r); dy <= int(r); ++dy)
    for (int dx = -int(r); dx <= int(r); ++dx) {
      const int u = x + dx, w = y + dy;
      if (dx * dx + dy * dy > r * r || u < 0 || w < 0 || u >= image.width || w >= image.height)
        continue;
      v = grow ? std::max(v, AlphaAt(image, u, w)) : std::min(v, AlphaAt(image, u, w));
    }
  return v;
}

TEST(MatteFinish, CloseHolesFillsPixelsUpToTwoStepsFromAFullOneAwayFromClearOnes) {
  // Matte of seed 9 has a candidate on the first column, of seed 21 one on
  // the row before last, that only the picture's edge keeps from filling.
  for (const unsigned seed : {5u, 9u, 21u}) {
    std::mt19937 random(seed);
    auto [input, keyed] = Frames(17, 13, [&](int, int) {
      // Clear and full pixels sparse enough to leave some two steps apart,
      // and many levels about the threshold.
      const int r = int(random() % 10);
      return r < 1 ? 0 : r < 2 ? 255 : r < 6 ? int(152 + random() % 3) : int(random() % 256);
    });
    BgraImage out = keyed;
    FinishMatte(out, input, {.closeHoles = 59.9, .shapes = {}});  // levels from 153
    // Two passes pixel by pixel over each one's 3 x 3 square (the disc of
    // radius 1.5): at or above the level, a full pixel in it and no clear one.
    BgraImage want = keyed;
    for (int pass = 0; pass < 2; ++pass) {
      const BgraImage before = want;
      for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 17; ++x)
          if (AlphaAt(before, x, y) >= 153 && DiscLevel(before, x, y, 1.5, true) == 255 &&
              DiscLevel(before, x, y, 1.5, false) > 0)
            want.Row(y)[x * 4 + 3] = 255;
    }
    EXPECT_EQ(out.pixels, want.pixels) << seed;
  }
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
  using project::ScreenChannel;
  const struct {
    ScreenChannel screen;
    double amount;
    std::array<int, 3> bgr, want;
  } cases[] = {
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
  for (const auto& c : cases) {
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
          ASSERT_EQ(AlphaAt(keyed, x, y), keep ? (inside ? 255 : 100) : (inside ? 100 : 0))
              << trial << " keep " << keep << " at " << x << "," << y;
        }
    }
  }
}

TEST(EdgeDespill, DepthIsTheChessboardDistanceToTheNearestPixelNotOpaque) {
  // w, h, cap, one pixel in `sparse` not opaque.
  for (const auto& [w, h, cap, sparse] :
       {std::array{23, 17, 6, 12}, std::array{1, 9, 3, 4}, std::array{40, 3, 33, 50},
        std::array{64, 40, 13, 400}, std::array{7, 7, 1, 3}}) {
    std::mt19937 random(3);
    std::vector<std::uint8_t> alpha(w * h), depth(w * h);
    for (std::uint8_t& a : alpha) a = random() % sparse == 0 ? std::uint8_t(random() % 255) : 255;
    internal::OpaqueDepth(alpha.data(), w, h, cap, depth.data());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        int nearest = cap;
        for (int v = 0; v < h; ++v)
          for (int u = 0; u < w; ++u)
            if (alpha[v * w + u] < 255)
              nearest = std::min(nearest, std::max(abs(u - x), abs(v - y)));
        ASSERT_EQ(depth[y * w + x], nearest) << w << "x" << h << " at " << x << "," << y;
      }
  }
}

// Screen on the left 10 columns; skin (B, G, R 148, 178, 222: green 7
// below the mean of the others) beyond, its first 6 columns with green
// spilled onto it, fading inward; one rim pixel of another colour whose
// green lies just under the mean of the others.
TEST(EdgeDespill, TheRimTakesTheSubjectsOwnBalanceAndOtherColoursTheClassicLimit) {
  constexpr int w = 40, h = 12;
  const auto spill = [](int x) { return x >= 10 && x < 16 ? 30 - 5 * (x - 10) : 0; };
  media::BgraImage input(w, h), keyed(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      std::ranges::copy(std::array{148, 178 + spill(x), 222, 255}, input.Row(y) + x * 4);
  std::copy_n(std::array<std::uint8_t, 3>{200, 128, 60}.data(), 3, input.Row(6) + 12 * 4);
  keyed = input;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 10; ++x) keyed.Row(y)[x * 4 + 3] = 0;
  for (const double edge : {0.0, 6.0}) {  // 6: the spill's last column is the rim's deepest
    media::BgraImage out = keyed;
    FinishMatte(out, input, {.despill = 100.0, .despillEdge = edge, .shapes = {}});
    for (int y = 0; y < h; ++y)
      for (int x = 10; x < w; ++x) {
        // The classic limit: green at most the mean of the others, 185.
        const int want = y == 6 && x == 12 ? 128 : edge > 0 ? 178 : std::min(178 + spill(x), 185);
        ASSERT_EQ(out.Row(y)[x * 4 + 1], want) << "edge " << edge << " at " << x << "," << y;
      }
  }
}

// Screen B on the left 10 columns; a subject F beyond whose first 5
// columns are mixed with the screen's light by known shares C = F + t (B -
// F), t 0.30 to 0.10: the edge takes the share out and gives back the
// despilled F within the rounding of C (blown up by 1 / (1 - t)), each
// channel, not the green alone; at amount 50 % half the way. A subject
// that leads in green has it cut to the mean of the others, as deeper in;
// a magenta of full blue, whose blue taken back comes out above 255,
// keeps 255.
TEST(EdgeDespill, LightOfTheScreenOnTheRimIsTakenOutOfEveryChannel) {
  constexpr int w = 30, h = 9;
  const std::array<double, 3> screen{60, 176, 40};
  const auto share = [](int x) { return x >= 10 && x < 15 ? 0.30 - 0.05 * (x - 10) : 0.0; };
  // A rim pixel far off the line from the subject to the screen (a
  // colour whose green is well below the others) is left as it was.
  constexpr int kOffX = 10, kOffY = 4;
  const std::array<std::uint8_t, 3> off{200, 60, 30};
  for (const std::array<double, 3>& subject :
       {std::array<double, 3>{40, 70, 170}, {60, 150, 80}, {255, 40, 252}}) {
    std::array<double, 3> limited = subject;
    limited[1] = std::min(subject[1], (subject[0] + subject[2]) / 2);
    media::BgraImage input(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        for (int c = 0; c < 3; ++c)
          input.Row(y)[x * 4 + c] = std::uint8_t(
              std::lround(x < 10 ? screen[c] : subject[c] + share(x) * (screen[c] - subject[c])));
        input.Row(y)[x * 4 + 3] = x < 10 ? 0 : 255;
      }
    std::copy(off.begin(), off.end(), input.Row(kOffY) + kOffX * 4);
    // Without unmixing and with it (whose fill then carries the screen's
    // colour): the same.
    for (const auto& [amount, unmix] : {std::pair{100.0, 0.0}, {50.0, 0.0}, {100.0, 100.0}}) {
      media::BgraImage out = input;
      FinishMatte(out, input,
                  {.despill = amount, .despillEdge = 6.0, .unmix = unmix, .shapes = {}});
      for (int y = 0; y < h; ++y)
        for (int x = 10; x < w; ++x)
          for (int c = 0; c < 3; ++c) {
            const double was = input.Row(y)[x * 4 + c];
            const bool odd = x == kOffX && y == kOffY;
            const double want = odd ? was : was + amount / 100 * (limited[c] - was);
            ASSERT_LE(std::fabs(out.Row(y)[x * 4 + c] - want), odd ? 0 : 0.5 / (1 - share(x)) + 0.5)
                << "subject green " << subject[1] << " amount " << amount << " unmix " << unmix
                << " at " << x << "," << y << " channel " << c;
          }
    }
  }
}

// Clear screen B in the first 4 columns, then mixes C = a F + (1 - a) B at
// four coverages, then the subject F: unmixing gives F back within the
// rounding of C, blown up by 1 / a (halfway at amount 50 %).
TEST(EdgeUnmix, MixesOfTheScreenGiveTheSubjectsColourBack) {
  constexpr int w = 12, h = 5;
  const std::array<double, 3> screen{70, 180, 40}, subject{150, 90, 210};
  const int alphas[] = {0, 0, 0, 0, 200, 128, 64, 32, 255, 255, 255, 255};
  media::BgraImage input(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        const double a = alphas[x] / 255.0;
        input.Row(y)[x * 4 + c] = std::uint8_t(std::lround(a * subject[c] + (1 - a) * screen[c]));
        input.Row(y)[x * 4 + 3] = std::uint8_t(alphas[x]);
      }
  for (const double amount : {100.0, 50.0}) {
    media::BgraImage out = input;
    FinishMatte(out, input, {.unmix = amount, .shapes = {}});
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) {
          const double a = alphas[x] / 255.0, was = input.Row(y)[x * 4 + c];
          const double want = a == 0 || a == 1 ? was : was + amount / 100 * (subject[c] - was);
          ASSERT_LE(std::fabs(out.Row(y)[x * 4 + c] - want), amount / 100 * 0.5 / a + 0.5)
              << "amount " << amount << " at " << x << "," << y << " channel " << c;
        }
  }
}

TEST(EdgeDespill, NoOffsetIsTheClassicLimit) {
  std::mt19937 random(5);
  std::vector<std::uint8_t> row(4 * 4096);
  for (std::uint8_t& b : row) b = std::uint8_t(random());
  const std::vector<float> zero(4096, 0.0f);
  for (const int channel : {0, 1})
    for (const double amount : {0.25, 0.5, 0.8, 1.0}) {
      std::vector<std::uint8_t> classic = row, moved = row;
      internal::DespillRow(classic.data(), 4096, channel, internal::DespillReductions(amount));
      internal::DespillRowWithOffsets(moved.data(), 4096, channel, amount, zero.data());
      ASSERT_EQ(classic, moved) << channel << " " << amount;
    }
}

// x of A x = y by Gaussian elimination with partial pivoting.
std::array<double, 4> Solve(std::array<std::array<double, 5>, 4> m) {
  for (int c = 0; c < 4; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 4; ++r)
      if (std::fabs(m[r][c]) > std::fabs(m[pivot][c])) pivot = r;
    std::swap(m[c], m[pivot]);
    for (int r = 0; r < 4; ++r)
      if (r != c)
        for (int k = 4; k >= c; --k) m[r][k] -= m[r][c] / m[c][c] * m[c][k];
  }
  return {m[0][4] / m[0][0], m[1][4] / m[1][1], m[2][4] / m[2][2], m[3][4] / m[3][3]};
}

// Dense: every pixel's level partly the colour's, partly noise, so that fits
// are neither exact nor flat. Sparse: one level but for a few pixels and a
// column, so that only runs of windows near them are fitted, some at the
// rows' ends.
void CheckAgainstDirectFits(int w, int h, bool sparse, std::initializer_list<int> radii) {
  constexpr double eps = 1e-3;
  std::mt19937 random(11);
  std::vector<std::uint8_t> guide(std::size_t(w * h * 4)), matte(std::size_t(w * h));
  for (std::size_t i = 0; i < matte.size(); ++i) {
    for (int c = 0; c < 3; ++c) guide[i * 4 + c] = std::uint8_t(random());
    matte[i] = sparse ? 200 : std::uint8_t((guide[i * 4 + 1] + random() % 256) / 2);
  }
  if (sparse) {
    for (const int at : {0, 5 * w + 17, 6 * w + 17, 3 * w + w - 1, 8 * w + 30})
      matte[std::size_t(at)] = std::uint8_t(random());
    for (int y = 0; y < h; ++y) matte[std::size_t(y * w + 25)] = 90;  // a change along rows only
  }
  const auto colour = [&](int x, int y, int c) { return guide[(y * w + x) * 4 + c] / 255.0; };
  for (const int r : radii) {
    std::vector<std::array<double, 4>> fit(w * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::array<std::array<double, 5>, 4> m{};
        for (int v = std::max(0, y - r); v <= std::min(h - 1, y + r); ++v)
          for (int u = std::max(0, x - r); u <= std::min(w - 1, x + r); ++u) {
            const double f[4] = {colour(u, v, 0), colour(u, v, 1), colour(u, v, 2), 1.0};
            for (int i = 0; i < 4; ++i) {
              for (int j = 0; j < 4; ++j) m[i][j] += f[i] * f[j] + (i == j && i < 3 ? eps : 0);
              m[i][4] += f[i] * matte[v * w + u] / 255.0;
            }
          }
        fit[y * w + x] = Solve(m);
      }
    std::vector<std::uint8_t> alpha = matte;
    internal::GuidedFilterAlpha(guide.data(), w * 4, alpha.data(), w, h, r, eps);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        double sum = 0;
        int count = 0;
        for (int v = std::max(0, y - r); v <= std::min(h - 1, y + r); ++v)
          for (int u = std::max(0, x - r); u <= std::min(w - 1, x + r); ++u, ++count) {
            const std::array<double, 4>& a = fit[v * w + u];
            sum += a[0] * colour(x, y, 0) + a[1] * colour(x, y, 1) + a[2] * colour(x, y, 2) + a[3];
          }
        const double want = std::clamp(sum / count, 0.0, 1.0) * 255.0;
        ASSERT_NEAR(alpha[y * w + x], want, 0.5 + 1e-6)
            << "radius " << r << " at " << x << "," << y;
      }
  }
}

TEST(GuidedFilter, EachPixelIsTheMeanOfItsWindowsLeastSquaresFits) {
  CheckAgainstDirectFits(13, 11, false, {1, 2});
  CheckAgainstDirectFits(41, 9, true, {1, 3});
}

}  // namespace
}  // namespace mattix::matte
