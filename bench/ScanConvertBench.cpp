// Cost of filling a lasso into the wheel's 241 x 209 mask, as the wheel does
// when a lasso drag ends: 1,000 recorded integer points passed as (x, y + 0.5).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "selection/ScanConvert.h"
#include "stdfx/DIB.h"
#include "wheel/WheelGeometry.h"

namespace {

using mattix::wheel::kHeight, mattix::wheel::kWidth;
constexpr int kPoints = 1000;

std::vector<double> AsVertices(const std::vector<std::pair<int, int>>& points) {
  std::vector<double> v;
  for (const auto& [x, y] : points) {
    v.push_back(std::clamp(x, 0, kWidth));
    v.push_back(std::clamp(y, 0, kHeight) + 0.5);
  }
  return v;
}

// One wobbly loop reaching nearly to every border of the mask.
std::vector<double> RingLasso() {
  std::vector<std::pair<int, int>> points;
  for (int k = 0; k < kPoints; ++k) {
    const double t = 6.283185307179586 * k / kPoints;
    const double r = 0.8 + 0.2 * std::sin(9 * t);
    points.emplace_back(static_cast<int>(std::lround(120 + 119 * r * std::cos(t))),
                        static_cast<int>(std::lround(104 + 103 * r * std::sin(t))));
  }
  return AsVertices(points);
}

// A scribble across the whole mask that crosses itself many times.
std::vector<double> ScribbleLasso() {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> step(-9, 9);
  std::vector<std::pair<int, int>> points;
  int x = 120, y = 104;
  for (int k = 0; k < kPoints; ++k) {
    x = std::clamp(x + step(rng), 0, kWidth);
    y = std::clamp(y + step(rng), 0, kHeight);
    points.emplace_back(x, y);
  }
  return AsVertices(points);
}

void FillLasso(benchmark::State& state, const std::vector<double>& lasso) {
  tagVFBMINFOHEADER header;
  std::memset(&header, 0, sizeof header);
  header.biSize = stdfx::kHeaderSizeVfbmi;
  header.biWidth = kWidth;
  header.biHeight = kHeight;
  header.biPlanes = 1;
  header.biBitCount = 8;
  stdfx::CDIB mask(header);
  if (!mask.IsValidDIB()) {
    state.SkipWithError("no mask image");
    return;
  }
  for (auto _ : state) {
    CScanConvert converter;
    benchmark::DoNotOptimize(converter.FillPolygon(&mask, lasso.data(), kPoints));
    benchmark::ClobberMemory();
  }
}

void BM_FillRingLasso(benchmark::State& state) { FillLasso(state, RingLasso()); }
void BM_FillScribbleLasso(benchmark::State& state) { FillLasso(state, ScribbleLasso()); }

}  // namespace

BENCHMARK(BM_FillRingLasso)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillScribbleLasso)->Unit(benchmark::kMicrosecond);
