#include "host/cli/SampleScene.h"

#include "host/cli/BackdropKey.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace mattix::cli {

namespace {

constexpr float kBackdropHue = 0.36f;

float Smoothstep(float e0, float e1, float x) {
  const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3.0f - 2.0f * t);
}

struct Rgb {
  float r, g, b;
};

Rgb Mix(const Rgb& a, const Rgb& b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
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

int SampleKeyWeight(float hue, float saturation) {
  float d = std::fabs(hue - kBackdropHue);
  d = std::min(d, 1.0f - d);
  const float byHue = 1.0f - Smoothstep(0.08f, 0.12f, d);
  const float bySaturation = Smoothstep(0.20f, 0.50f, saturation);
  return int(std::lround(255.0f * byHue * bySaturation));
}

GreyImage SampleMaskPicture() { return WheelMaskPicture(SampleKeyWeight); }

BgraImage GreenScreenPicture(int width, int height) {
  return ScreenScene(width, height, Backdrop::Green).picture;
}

SampleFrame ScreenScene(int width, int height, Backdrop backdrop) {
  BgraImage picture(width, height);
  GreyImage alpha(width, height);
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

  // The shirt is blue before green and rust before blue, as costumes avoid
  // the screen's colour.
  const Rgb shirt = green ? Rgb{48, 62, 120} : Rgb{120, 62, 48};
  const Rgb skin{222, 178, 148}, hair{62, 42, 28}, glass{196, 206, 214};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const float px = float(x) + 0.5f, py = float(y) + 0.5f;
      // Backdrop: the key green, brighter at the centre, darker at the
      // corners and slightly warmer at the bottom, as lit screens are.
      const float vignette = 1.0f - 0.25f *
                                        (std::pow((px / w - 0.5f) * 2.0f, 2.0f) +
                                         std::pow((py / h - 0.45f) * 2.0f, 2.0f)) /
                                        2.0f;
      Rgb c = green ? Rgb{(38.0f + 14.0f * py / h) * vignette, 172.0f * vignette, 64.0f * vignette}
                    : Rgb{(26.0f + 14.0f * py / h) * vignette, 72.0f * vignette, 184.0f * vignette};

      // Subject: head (ellipse) and shoulders (a wide rounded body).
      const float hx = (px - headX) / headRx, hy = (py - headY) / headRy;
      const float headD = (std::sqrt(hx * hx + hy * hy) - 1.0f) * std::min(headRx, headRy);
      const float bodyTop = 0.60f * h;
      const float bx = (px - headX) / (0.30f * w), by = (py - (bodyTop + 0.30f * h)) / (0.30f * h);
      const float bodyD = (std::sqrt(bx * bx + by * by) - 1.0f) * 0.30f * h;
      const float headCover = std::clamp(0.5f - headD, 0.0f, 1.0f);
      const float bodyCover = std::clamp(0.5f - bodyD, 0.0f, 1.0f);
      const float edge = std::min(headD, bodyD);  // < 0 inside the subject
      if (bodyCover > 0.0f) c = Mix(c, shirt, bodyCover);
      if (headCover > 0.0f) c = Mix(c, skin, headCover);
      // Spill: light bounced off the screen tints the subject's rim.
      if (edge < 0.0f && edge > -10.0f) {
        const float spill = 1.0f - (-edge) / 10.0f;
        (green ? c.g : c.b) += 38.0f * spill;
        c.r -= 10.0f * spill;
        (green ? c.b : c.g) -= 8.0f * spill;
      }

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
      if (hairCover > 0.0f) c = Mix(c, hair, hairCover);

      // Glass pane on the right: half of the green shows through.
      const float gx0 = 0.68f * w, gx1 = 0.92f * w, gy0 = 0.18f * h, gy1 = 0.62f * h;
      const float inside =
          std::clamp(std::min({px - gx0, gx1 - px, py - gy0, gy1 - py}) + 0.5f, 0.0f, 1.0f);
      if (inside > 0.0f) c = Mix(c, glass, 0.5f * inside);
      // Each layer mixed over the backdrop keeps (1 - cover) of it.
      const float shows =
          (1.0f - bodyCover) * (1.0f - headCover) * (1.0f - hairCover) * (1.0f - 0.5f * inside);
      alpha.Row(y)[x] = std::uint8_t(std::lround(255.0f * (1.0f - shows)));

      std::uint8_t* p = picture.Row(y) + x * 4;
      p[0] = std::uint8_t(std::clamp(std::lround(c.b), 0L, 255L));
      p[1] = std::uint8_t(std::clamp(std::lround(c.g), 0L, 255L));
      p[2] = std::uint8_t(std::clamp(std::lround(c.r), 0L, 255L));
      p[3] = 255;
    }
  }
  return {std::move(picture), std::move(alpha)};
}

}  // namespace mattix::cli
