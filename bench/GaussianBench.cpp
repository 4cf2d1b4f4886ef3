// The recursive Gaussian blur: the 241 x 209 8-bit mask and a 1920 x 1080
// 32-bit frame, radius 1, 10 and 100 in both directions, single (mode 1) and
// double (mode 2) precision, vector and scalar paths. The cost per pixel must
// not depend on the radius: compare time_per_px across radii.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "filter/Gaussian.h"
#include "stdfx/DIB.h"
#include "wheel/WheelGeometry.h"

namespace {

tagVFBMINFOHEADER Header(int width, int height, int bits) {
  tagVFBMINFOHEADER h{};
  h.biSize = 144;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = WORD(bits);
  return h;
}

void BlurImage(benchmark::State& state) {
  const bool frame = state.range(0) != 0;
  const double radius = double(state.range(1));
  const unsigned mode = unsigned(state.range(2));
  const bool scalar = state.range(3) != 0;
  const int width = frame ? 1920 : mattix::wheel::kWidth;
  const int height = frame ? 1080 : mattix::wheel::kHeight, bits = frame ? 32 : 8;

  stdfx::CDIB src, dst;
  if (!src.Create(Header(width, height, bits)) || !dst.Create(Header(width, height, bits))) {
    state.SkipWithError("images could not be created");
    return;
  }
  // A mask-like picture: an ellipse of 255 on 0 with some noise.
  std::mt19937 gen(1);
  const int bpp = bits / 8;
  for (int y = 0; y < height; ++y) {
    unsigned char* row = src.GetBytes() + std::ptrdiff_t(y) * src.DIBBytesPerLine();
    for (int x = 0; x < width; ++x) {
      const double u = (x - width / 2.0) / (width / 3.0), v = (y - height / 2.0) / (height / 3.0);
      const int base = u * u + v * v < 1.0 ? 240 : 10;
      for (int c = 0; c < bpp; ++c) row[x * bpp + c] = std::uint8_t(base + int(gen() % 16));
    }
  }

  stdfx::CGaussian blur(mode);
  blur.ForceScalar(scalar);
  for (auto _ : state) {
    const int status = blur.Blur(dst, src, radius, radius);
    benchmark::DoNotOptimize(status);
    if (status != 0) {
      state.SkipWithError("blur failed");
      return;
    }
  }
  const double pixels = double(width) * height;
  state.SetItemsProcessed(std::int64_t(state.iterations()) * width * height);
  // CPU seconds per pixel (shown with an SI prefix, e.g. 4.6n = 4.6 ns).
  state.counters["time_per_px"] = benchmark::Counter(
      pixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Arguments(benchmark::internal::Benchmark* b) {
  b->ArgNames({"frame", "radius", "mode", "scalar"});
  for (int frame : {0, 1})
    for (int mode : {1, 2})
      for (int scalar : {0, 1})
        for (int radius : {1, 10, 100}) b->Args({frame, radius, mode, scalar});
  b->Unit(benchmark::kMicrosecond);
  // On a shared machine the fastest repetition is the least disturbed one.
  b->ComputeStatistics(
      "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

BENCHMARK(BlurImage)->Apply(Arguments);

}  // namespace
