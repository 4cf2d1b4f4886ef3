#include "host/samples/SampleScene.h"

#include "stdfx/HSL.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace mattix::samples {

namespace {

struct Rgb {
  float r, g, b;
};

Rgb Mix(const Rgb& a, const Rgb& b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// The scene's colours (8-bit scale before rounding). The shirt is blue before
// green and rust before blue, as costumes avoid the screen's colour.
constexpr Rgb kSkin{222, 178, 148}, kHair{62, 42, 28}, kGlass{196, 206, 214};
Rgb Shirt(bool green) { return green ? Rgb{48, 62, 120} : Rgb{120, 62, 48}; }

// The backdrop at a vignette factor (1 at the centre, about 0.72 in the
// corners) and a height `down` (0 at the top, 1 at the bottom): brighter at
// the centre and slightly warmer at the bottom, as lit screens are.
Rgb BackdropColour(bool green, float vignette, float down) {
  return green ? Rgb{(38.0f + 14.0f * down) * vignette, 172.0f * vignette, 64.0f * vignette}
               : Rgb{(26.0f + 14.0f * down) * vignette, 72.0f * vignette, 184.0f * vignette};
}

// Spill: light bounced off the screen, `amount` 0 to 1 (1 at the subject's
// outline), shifts a colour toward the screen's.
Rgb Spilled(Rgb c, bool green, float amount) {
  (green ? c.g : c.b) += 38.0f * amount;
  c.r -= 10.0f * amount;
  (green ? c.b : c.g) -= 8.0f * amount;
  return c;
}

// Distance from p to the segment ab.
float SegmentDistance(float px, float py, float ax, float ay, float bx, float by) {
  const float dx = bx - ax, dy = by - ay;
  const float len2 = dx * dx + dy * dy;
  float t = len2 > 0.0f ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0.0f;
  t = std::clamp(t, 0.0f, 1.0f);
  const float ex = ax + t * dx - px, ey = ay + t * dy - py;
  return std::sqrt(ex * ex + ey * ey);
}

struct Strand {
  float x0, y0, x1, y1, cx, cy;  // quadratic Bezier: start, end, control
  float width;                   // in pixels; below 1 the strand is faint
};

}  // namespace

media::GreyImage SampleMaskPicture() {
  // Each wheel pixel gathers the weights of the colours falling on it: an
  // average over surfaces, the least over edge mixes (-1: none yet).
  constexpr int kPixels = wheel::kWidth * wheel::kHeight;
  std::vector<int> surfaceSum(kPixels, 0), surfaceCount(kPixels, 0), mixLeast(kPixels, -1);
  // The wheel pixel of an 8-bit colour, -1 for greys (not in the scene).
  const auto at = [](int r, int g, int b) {
    float h = 0, l = 0, s = 0;
    stdfx::CHSL::RGBtoHLS(h, l, s, r, g, b);
    if (h < 0) return -1;
    const wheel::Position p = wheel::PositionOf(h, s);
    return (wheel::kHeight - 1 - p.row) * wheel::kWidth + p.column;
  };
  const auto rounded = [](float v) { return int(std::clamp(std::lround(v), 0L, 255L)); };
  // A surface's colour is painted as each channel rounded down and up: the
  // samples then meet every rounding the picture holds, whichever channel
  // crosses a half first.
  const auto surface = [&](const Rgb& c, int weight) {
    for (int k = 0; k < 8; ++k) {
      const auto channel = [&](float v, int bit) {
        return std::clamp(int(std::floor(v)) + (k >> bit & 1), 0, 255);
      };
      if (const int i = at(channel(c.r, 0), channel(c.g, 1), channel(c.b, 2)); i >= 0) {
        surfaceSum[std::size_t(i)] += weight;
        ++surfaceCount[std::size_t(i)];
      }
    }
  };
  const auto mix = [&](const Rgb& c, int weight) {
    if (const int i = at(rounded(c.r), rounded(c.g), rounded(c.b)); i < 0)
      return;
    else if (int& least = mixLeast[std::size_t(i)]; least < 0 || weight < least)
      least = weight;
  };

  // Surfaces, finely sampled: the backdrop (keyed fully), the backdrop
  // through the glass (half), the subject with every amount of spill and with
  // hair over it (not keyed).
  for (int i = 0; i <= 300; ++i)
    for (int j = 0; j <= 50; ++j) {
      const Rgb backdrop = BackdropColour(true, 0.70f + 0.001f * float(i), 0.02f * float(j));
      surface(backdrop, 255);
      surface(Mix(backdrop, kGlass, 0.5f), 127);
      // Purer colours of about the backdrop's hue (within 0.03 turns) are
      // nothing but backdrop: the full key reaches out to the rim and to the
      // sides, so the mask stays full where a softness blurs it.
      if (i % 10 != 0) continue;
      float h = 0, l = 0, s = 0;
      stdfx::CHSL::RGBtoHLS(h, l, s, rounded(backdrop.r), rounded(backdrop.g), rounded(backdrop.b));
      for (float purer = s; purer <= 1.0f; purer += 0.004f)
        for (int d = -15; d <= 15; ++d) {
          const wheel::Position p = wheel::PositionOf(h + 0.002f * float(d), purer);
          int& least =
              mixLeast[std::size_t((wheel::kHeight - 1 - p.row) * wheel::kWidth + p.column)];
          if (least < 0) least = 255;
        }
    }
  for (int i = 0; i <= 200; ++i)
    for (const Rgb& subject : {kSkin, Shirt(true)}) {
      const Rgb spilled = Spilled(subject, true, 0.005f * float(i));
      // Hair over the subject is as opaque as the subject.
      for (int k = 0; k <= 64; ++k) surface(Mix(spilled, kHair, float(k) / 64.0f), 0);
    }

  // Edges: the backdrop mixed with each colour in front of it, keyed by the
  // share of backdrop that shows (255 - alpha). Where the subject covers half
  // a pixel or more, the scene adds its rim's spill to the whole pixel.
  std::vector<Rgb> fronts = {kHair, kGlass};
  for (int i = 0; i <= 10; ++i) {
    fronts.push_back(Spilled(kSkin, true, 0.1f * float(i)));
    fronts.push_back(Spilled(Shirt(true), true, 0.1f * float(i)));
  }
  for (int i = 0; i <= 30; ++i)
    for (int j = 0; j <= 4; ++j) {
      const Rgb backdrop = BackdropColour(true, 0.70f + 0.01f * float(i), 0.25f * float(j));
      for (int k = 1; k < 256; ++k) {
        const float alpha = float(k) / 256.0f;
        const int weight = int(std::lround(255.0f * (1.0f - alpha)));
        for (const Rgb& front : fronts) mix(Mix(backdrop, front, alpha), weight);
        if (k >= 128)
          for (const Rgb& front : {kSkin, Shirt(true)})
            mix(Spilled(Mix(backdrop, front, alpha), true, 1.0f), weight);
      }
    }

  media::GreyImage painted(wheel::kWidth, wheel::kHeight);
  std::vector<bool> reached(kPixels, false);
  for (std::size_t i = 0; i < std::size_t(kPixels); ++i) {
    if (surfaceCount[i] > 0)
      painted.pixels[i] = std::uint8_t((surfaceSum[i] + surfaceCount[i] / 2) / surfaceCount[i]);
    else if (mixLeast[i] >= 0)
      painted.pixels[i] = std::uint8_t(mixLeast[i]);
    reached[i] = surfaceCount[i] > 0 || mixLeast[i] >= 0;
  }
  // Pixels next to the painted ones (within two) take their largest
  // neighbour, so that a colour a little off the scene's is keyed alike.
  media::GreyImage mask = painted;
  for (int y = 0; y < wheel::kHeight; ++y)
    for (int x = 0; x < wheel::kWidth; ++x) {
      if (reached[std::size_t(y * wheel::kWidth + x)]) continue;
      for (int v = std::max(0, y - 2); v <= std::min(wheel::kHeight - 1, y + 2); ++v)
        for (int u = std::max(0, x - 2); u <= std::min(wheel::kWidth - 1, x + 2); ++u)
          if (reached[std::size_t(v * wheel::kWidth + u)])
            mask.Row(y)[x] = std::max(mask.Row(y)[x], painted.Row(v)[u]);
    }
  return mask;
}

media::BgraImage GreenScreenPicture(int width, int height) {
  return ScreenScene(width, height, Backdrop::Green).picture;
}

SampleFrame ScreenScene(int width, int height, Backdrop backdrop) {
  media::BgraImage picture(width, height), foreground(width, height);
  media::GreyImage alpha(width, height);
  const bool green = backdrop == Backdrop::Green;
  const float w = float(width), h = float(height);
  const float headX = 0.40f * w, headY = 0.42f * h, headRx = 0.12f * w, headRy = 0.21f * h;

  // Hair: strands from the crown of the head, curving out over the green.
  std::mt19937 rng(2024);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<Strand> strands;
  for (int i = 0; i < 70; ++i) {
    const float a = 3.4f + 2.6f * u(rng);  // angle on the head outline (upper half)
    const float x0 = headX + std::cos(a) * headRx * 0.9f;
    const float y0 = headY + std::sin(a) * headRy * 0.9f;
    const float reach = (0.10f + 0.12f * u(rng)) * h;
    const float out = a + (u(rng) - 0.5f) * 0.8f;
    const float x1 = x0 + std::cos(out) * reach * 1.3f;
    const float y1 = y0 + std::sin(out) * reach;
    const float bend = (u(rng) - 0.5f) * reach * 0.8f;
    strands.push_back({x0, y0, x1, y1, (x0 + x1) * 0.5f - std::sin(out) * bend,
                       (y0 + y1) * 0.5f + std::cos(out) * bend, 0.35f + 0.9f * u(rng)});
  }

  // Subject: head (ellipse) and shoulders (a wide rounded body); the
  // coverage of each at a pixel.
  const float bodyTop = 0.60f * h;
  const auto covers = [&](float px, float py) {
    const float hx = (px - headX) / headRx, hy = (py - headY) / headRy;
    const float headD = (std::sqrt(hx * hx + hy * hy) - 1.0f) * std::min(headRx, headRy);
    const float bx = (px - headX) / (0.30f * w), by = (py - (bodyTop + 0.30f * h)) / (0.30f * h);
    const float bodyD = (std::sqrt(bx * bx + by * by) - 1.0f) * 0.30f * h;
    return std::pair(std::clamp(0.5f - headD, 0.0f, 1.0f), std::clamp(0.5f - bodyD, 0.0f, 1.0f));
  };
  // The screen's light reaches the subject's rim: spill by the distance
  // from a pixel to the nearest pixel where the screen shows by half or
  // more, so that where the head meets the shoulders (no screen between)
  // there is none. Along the rows first, then the least over the rows
  // within reach.
  constexpr int kSpillReach = 10;
  const std::size_t n = std::size_t(width) * std::size_t(height);
  std::vector<int> across(n, kSpillReach + 1);
  for (int y = 0; y < height; ++y) {
    int* row = &across[std::size_t(y) * std::size_t(width)];
    for (int x = 0; x < width; ++x) {
      const auto [head, body] = covers(float(x) + 0.5f, float(y) + 0.5f);
      if ((1.0f - head) * (1.0f - body) >= 0.5f) row[x] = 0;
    }
    for (int x = 1; x < width; ++x) row[x] = std::min(row[x], row[x - 1] + 1);
    for (int x = width - 2; x >= 0; --x) row[x] = std::min(row[x], row[x + 1] + 1);
  }
  const auto screenDistance = [&](int x, int y) {
    int least = (kSpillReach + 1) * (kSpillReach + 1);
    for (int v = std::max(0, y - kSpillReach); v <= std::min(height - 1, y + kSpillReach); ++v) {
      const int g = across[std::size_t(v) * std::size_t(width) + std::size_t(x)];
      least = std::min(least, g * g + (v - y) * (v - y));
    }
    return std::sqrt(float(least));
  };

  const Rgb shirt = Shirt(green), skin = kSkin, hair = kHair, glass = kGlass;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const float px = float(x) + 0.5f, py = float(y) + 0.5f;
      const float vignette = 1.0f - 0.25f *
                                        (std::pow((px / w - 0.5f) * 2.0f, 2.0f) +
                                         std::pow((py / h - 0.45f) * 2.0f, 2.0f)) /
                                        2.0f;
      Rgb c = BackdropColour(green, vignette, py / h);

      const auto [headCover, bodyCover] = covers(px, py);
      if (bodyCover > 0.0f) c = Mix(c, shirt, bodyCover);
      if (headCover > 0.0f) c = Mix(c, skin, headCover);
      Rgb truth = c;  // the same without spill
      // Spill: light bounced off the screen tints the subject's rim, from
      // the outline (half a pixel from the screen's nearest pixel) inward.
      if (const float depth = screenDistance(x, y) - 0.5f; depth > 0.0f && depth < kSpillReach)
        c = Spilled(c, green, 1.0f - depth / float(kSpillReach));

      // Hair strands: coverage from the distance to the curve, for
      // widths below a pixel too (faint strands).
      float hairCover = 0.0f;
      for (const Strand& s : strands) {
        const float minX = std::min({s.x0, s.x1, s.cx}) - 2,
                    maxX = std::max({s.x0, s.x1, s.cx}) + 2;
        const float minY = std::min({s.y0, s.y1, s.cy}) - 2,
                    maxY = std::max({s.y0, s.y1, s.cy}) + 2;
        if (px < minX || px > maxX || py < minY || py > maxY) continue;
        float d = 1e9f;
        float ax = s.x0, ay = s.y0;
        for (int k = 1; k <= 12; ++k) {
          const float t = float(k) / 12.0f, m = 1.0f - t;
          const float qx = m * m * s.x0 + 2 * m * t * s.cx + t * t * s.x1;
          const float qy = m * m * s.y0 + 2 * m * t * s.cy + t * t * s.y1;
          d = std::min(d, SegmentDistance(px, py, ax, ay, qx, qy));
          ax = qx;
          ay = qy;
        }
        const float cover = std::clamp(
            std::min(s.width, 1.0f) * (1.0f - std::max(0.0f, d - s.width * 0.5f)), 0.0f, 1.0f);
        hairCover = 1.0f - (1.0f - hairCover) * (1.0f - cover);
      }
      if (hairCover > 0.0f) {
        c = Mix(c, hair, hairCover);
        truth = Mix(truth, hair, hairCover);
      }

      // Glass pane on the right: half of the green shows through.
      const float gx0 = 0.68f * w, gx1 = 0.92f * w, gy0 = 0.18f * h, gy1 = 0.62f * h;
      const float inside =
          std::clamp(std::min({px - gx0, gx1 - px, py - gy0, gy1 - py}) + 0.5f, 0.0f, 1.0f);
      if (inside > 0.0f) {
        c = Mix(c, glass, 0.5f * inside);
        truth = Mix(truth, glass, 0.5f * inside);
      }
      // Each layer mixed over the backdrop keeps (1 - cover) of it.
      const float shows =
          (1.0f - bodyCover) * (1.0f - headCover) * (1.0f - hairCover) * (1.0f - 0.5f * inside);
      alpha.Row(y)[x] = std::uint8_t(std::lround(255.0f * (1.0f - shows)));

      const auto put = [](std::uint8_t* p, const Rgb& v) {
        p[0] = std::uint8_t(std::clamp(std::lround(v.b), 0L, 255L));
        p[1] = std::uint8_t(std::clamp(std::lround(v.g), 0L, 255L));
        p[2] = std::uint8_t(std::clamp(std::lround(v.r), 0L, 255L));
        p[3] = 255;
      };
      put(picture.Row(y) + x * 4, c);
      put(foreground.Row(y) + x * 4, truth);
    }
  }
  return {std::move(picture), std::move(alpha), std::move(foreground)};
}

}  // namespace mattix::samples
