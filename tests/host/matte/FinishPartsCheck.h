#pragma once
// Finishing of a part against finishing of the whole frame, one body for
// the libFuzzer target (FinishPartsFuzz.cpp) and the unit tests. The input
// describes a frame (blocks of one alpha and colour, with noise) and the
// finishing settings; a part of it, keyed with FinishReach more pixels on
// every side (those the frame has), must be finished exactly as the same
// pixels of the whole frame, as the keyer page's views and bands rely on.
#include "host/matte/MatteFinish.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace mattix::test {

// Empty when the property holds, else what went wrong.
inline std::string CheckFinishParts(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  const auto next = [&]() -> int { return at < size ? data[at++] : 0; };
  const int w = 8 + next() % 89, h = 8 + next() % 57, block = 1 + next() % 8;
  project::MatteFinishing f;
  f.refine = next() % 5;
  f.clipBlack = next() % 40;
  f.clipWhite = 60 + next() % 41;
  f.shrinkGrow = (next() % 81 - 40) / 10.0;
  f.feather = next() % 41 / 10.0;
  f.despill = next() % 101;
  f.despillEdge = next() % 13;
  f.unmix = next() % 101;
  f.screen = next() % 2 == 0 ? project::ScreenChannel::kGreen : project::ScreenChannel::kBlue;
  f.closeHoles = next() % 101;
  const int left = next() % w, top = next() % h;
  const int pw = 1 + next() % (w - left), ph = 1 + next() % (h - top);
  // Blocks in row order, each an alpha (0 and 255 most often) and a colour
  // from the bytes left, repeated when they run out.
  const std::size_t header = at;
  const int across = (w + block - 1) / block;
  media::BgraImage input(w, h), keyed(w, h);
  std::mt19937 noise{std::uint32_t(size)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::size_t b = std::size_t((y / block) * across + x / block) * 4;
      const auto byte = [&](std::size_t k) {
        return size > header ? data[header + (b + k) % (size - header)] : std::uint8_t(k * 60);
      };
      std::uint8_t* in = input.Row(y) + x * 4;
      for (int c = 0; c < 3; ++c)
        in[c] = std::uint8_t(std::clamp(byte(c + 1u) + int(noise() % 9) - 4, 0, 255));
      in[3] = 255;
      std::copy_n(in, 3, keyed.Row(y) + x * 4);
      const int a = byte(0);
      keyed.Row(y)[x * 4 + 3] = std::uint8_t(a < 96 ? 0 : a < 192 ? 255 : a);
    }
  media::BgraImage whole = keyed;
  matte::FinishMatte(whole, input, f);
  const int reach = matte::FinishReach(f);
  const int x0 = std::max(0, left - reach), y0 = std::max(0, top - reach);
  const int x1 = std::min(w, left + pw + reach), y1 = std::min(h, top + ph + reach);
  media::BgraImage part(x1 - x0, y1 - y0), partInput(x1 - x0, y1 - y0);
  for (int y = y0; y < y1; ++y) {
    std::copy_n(keyed.Row(y) + x0 * 4, part.Stride(), part.Row(y - y0));
    std::copy_n(input.Row(y) + x0 * 4, part.Stride(), partInput.Row(y - y0));
  }
  matte::FinishMatte(part.pixels.data(), partInput.pixels.data(), part.width, part.height,
                     part.Stride(), f, x0, y0);
  for (int y = top; y < top + ph; ++y)
    for (int x = left; x < left + pw; ++x)
      if (!std::equal(whole.Row(y) + x * 4, whole.Row(y) + x * 4 + 4,
                      part.Row(y - y0) + (x - x0) * 4))
        return "the part's pixel " + std::to_string(x) + "," + std::to_string(y) +
               " differs from the whole frame's (reach " + std::to_string(reach) + ")";
  return {};
}

}  // namespace mattix::test
