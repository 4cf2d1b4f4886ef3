// The edge's colours against their definitions: depth against a
// brute-force search, a spilled rim brought back to the subject's own
// colour while a rim of another colour keeps the classic limit, the
// screen's light on a rim taken out of every channel, the limit
// moved by 0 being the classic one, and mixes of known colours unmixed.
#include "host/matte/MatteFinish.h"
#include "host/matte/internal/EdgeColour.h"
#include "host/matte/internal/FinishKernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace mattix::matte {
namespace {

TEST(EdgeDespill, DepthIsTheChessboardDistanceToTheNearestPixelNotOpaque) {
  struct Case {
    int w, h, cap, sparseness;  // one pixel in `sparseness` not opaque
  };
  for (const Case& c : {Case{23, 17, 6, 12}, Case{1, 9, 3, 4}, Case{40, 3, 33, 50},
                        Case{64, 40, 13, 400}, Case{7, 7, 1, 3}}) {
    std::mt19937 random(3);
    std::vector<std::uint8_t> alpha(c.w * c.h), depth(c.w * c.h);
    for (std::uint8_t& a : alpha)
      a = random() % c.sparseness == 0 ? std::uint8_t(random() % 255) : 255;
    internal::OpaqueDepth(alpha.data(), c.w, c.h, c.cap, depth.data());
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        int nearest = c.cap;
        for (int v = 0; v < c.h; ++v)
          for (int u = 0; u < c.w; ++u)
            if (alpha[v * c.w + u] < 255)
              nearest = std::min(nearest, std::max(abs(u - x), abs(v - y)));
        ASSERT_EQ(depth[y * c.w + x], nearest) << c.w << "x" << c.h << " at " << x << "," << y;
      }
  }
}

// Screen on the left 10 columns; skin (B, G, R 148, 178, 222: green 7
// below the mean of the others) beyond, its first 6 columns with green
// spilled onto it, fading inward; one rim pixel of another colour whose
// green lies just under the mean of the others.
TEST(EdgeDespill, TheRimTakesTheSubjectsOwnBalanceAndOtherColoursTheClassicLimit) {
  constexpr int w = 40, h = 12;
  media::BgraImage input(w, h), keyed(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int spill = x >= 10 && x < 16 ? 30 - 5 * (x - 10) : 0;
      const std::array<int, 4> bgra{148, 178 + spill, 222, 255};
      std::copy(bgra.begin(), bgra.end(), input.Row(y) + x * 4);
    }
  std::copy_n(std::array<std::uint8_t, 3>{200, 128, 60}.data(), 3, input.Row(6) + 12 * 4);
  keyed = input;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 10; ++x) keyed.Row(y)[x * 4 + 3] = 0;
  for (const double edge : {0.0, 6.0}) {  // 6: the spill's last column is the rim's deepest
    media::BgraImage out = keyed;
    FinishMatte(out, input, {.despill = 100.0, .despillEdge = edge, .shapes = {}});
    for (int y = 0; y < h; ++y)
      for (int x = 10; x < w; ++x) {
        const std::uint8_t* p = out.Row(y) + x * 4;
        const int spill = x < 16 ? 30 - 5 * (x - 10) : 0;
        // The classic limit: green at most the mean of the others, 185.
        const int want = y == 6 && x == 12 ? 128 : edge > 0 ? 178 : std::min(178 + spill, 185);
        ASSERT_EQ(p[1], want) << "edge " << edge << " at " << x << "," << y;
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

}  // namespace
}  // namespace mattix::matte
