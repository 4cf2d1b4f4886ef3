// Cost of keying one 1920 x 1080 frame: the plain and the spill form, with
// softness 0 and 100, against a plain copy of the frame as the floor. The
// frame runs through every hue (with saturation and lightness varying down
// the frame, plus noise); the mask keys about a third of the wheel.
// Each figure is also given per pixel of the frame (counter "per_px", in
// CPU seconds with an SI prefix, e.g. 30n = 30 ns per pixel).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "filter/Gaussian.h"
#include "key/Mattix2.h"
#include "key/internal/KeyKernels.h"
#include "stdfx/DIB.h"
#include "stdfx/HSL.h"
#include "stdfx/VfbmiHeader.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kPixels = double(kWidth) * kHeight;

tagVFBMINFOHEADER Header(int w, int h, int bits) {
  tagVFBMINFOHEADER hd;
  std::memset(&hd, 0, sizeof hd);
  hd.biSize = 144;
  hd.biWidth = w;
  hd.biHeight = h;
  hd.biPlanes = 1;
  hd.biBitCount = static_cast<WORD>(bits);
  return hd;
}

struct Scene {
  tagVFBMINFOHEADER header = Header(kWidth, kHeight, 32);
  std::vector<std::uint8_t> source, target;
  std::vector<std::uint8_t> record;
  std::vector<std::uint8_t> maskPixels;  // decoded mask, for the blur figure
  int maskStride = 0;

  Scene() : source(std::size_t(kWidth) * kHeight * 4), target(source.size()) {
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const float h = std::fmod(float(x) / kWidth + float(y) / (3.0f * kHeight), 1.0f);
        const float s = 0.15f + 0.85f * float(y % 270) / 269.0f;
        const float l = 0.25f + 0.5f * float((x / 7 + y) % 97) / 96.0f;
        int r, g, b;
        stdfx::CHSL::HLStoRGB(r, g, b, h, l, s);
        std::uint8_t* p = &source[(std::size_t(y) * kWidth + x) * 4];
        auto clamp = [](int v) { return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
        p[0] = clamp(b + noise(rng));
        p[1] = clamp(g + noise(rng));
        p[2] = clamp(r + noise(rng));
        p[3] = 255;
      }
    // The mask keys the hues from a quarter to seven twelfths of a turn
    // (yellow-green through cyan) above a small saturation: a third of the
    // wheel, with a hard edge that softness turns into a ramp.
    stdfx::CDIB mask(Header(241, 209, 8));
    maskStride = mask.DIBBytesPerLine();
    for (int r = 0; r < 209; ++r)
      for (int c = 0; c < 241; ++c) {
        const double dx = (c - 120) / 120.0, dy = (r - 104) / 104.0;
        double turn = std::atan2(dy, dx) / (2 * M_PI);
        if (turn < 0) turn += 1;
        const bool keyed = turn >= 0.25 && turn < 7.0 / 12 && dx * dx + dy * dy > 0.01;
        mask.GetBytes()[r * maskStride + c] = keyed ? 255 : 0;
      }
    maskPixels.assign(mask.GetBytes(), mask.GetBytes() + std::size_t(maskStride) * 209);
    mask.CompressRLE();
    record.resize(144 + mask.DIBSize());
    std::memcpy(record.data(), mask.GetVfBmiHeader(), 144);
    std::memcpy(record.data() + 144, mask.GetBytes(), mask.DIBSize());
  }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

void PerPixel(benchmark::State& state) {
  state.counters["per_px"] = benchmark::Counter(
      kPixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_CopyFrame(benchmark::State& state) {
  Scene& s = TheScene();
  for (auto _ : state) {
    std::memcpy(s.target.data(), s.source.data(), s.source.size());
    benchmark::ClobberMemory();
  }
  PerPixel(state);
}

// The engine without a mask: its own copy path.
void BM_ProcessWithoutMask(benchmark::State& state) {
  Scene& s = TheScene();
  tagVFBMINFOHEADER sh = s.header, th = s.header;
  stdfx::CDIB source(&sh, s.source.data()), target(&th, s.target.data());
  const double settings[6] = {0, 0, 0, 0, 100, 100};
  for (auto _ : state) {
    CMattix2 engine;
    benchmark::DoNotOptimize(engine.Process(target, source, settings, nullptr, 0, -1));
    benchmark::ClobberMemory();
  }
  PerPixel(state);
}

// Arguments: softness, spill suppression (percent).
void BM_Process(benchmark::State& state) {
  Scene& s = TheScene();
  tagVFBMINFOHEADER sh = s.header, th = s.header;
  stdfx::CDIB source(&sh, s.source.data()), target(&th, s.target.data());
  const double settings[6] = {double(state.range(0)), double(state.range(1)), 0, 0, 100, 100};
  for (auto _ : state) {
    CMattix2 engine;
    const int status = engine.Process(target, source, settings, s.record.data(),
                                      std::uint32_t(s.record.size()), -1);
    if (status != 0) state.SkipWithError("keying failed");
    benchmark::ClobberMemory();
  }
  PerPixel(state);
}

// The mask's share of a frame with softness 100: decoding the record and
// blurring the 241 x 209 mask with radius 100.
void BM_MaskBlur(benchmark::State& state) {
  Scene& s = TheScene();
  stdfx::CDIB mask(Header(241, 209, 8)), work(Header(241, 209, 8));
  std::memcpy(mask.GetBytes(), s.maskPixels.data(), s.maskPixels.size());
  for (auto _ : state) {
    stdfx::CGaussian blur(1);
    benchmark::DoNotOptimize(blur.Blur(work, mask, 100.0, 100.0));
  }
  PerPixel(state);  // per frame pixel, to compare with the keying figures
}

void BM_MaskDecode(benchmark::State& state) {
  Scene& s = TheScene();
  for (auto _ : state) {
    tagVFBMINFOHEADER h;
    std::memcpy(&h, s.record.data(), 144);
    stdfx::CDIB wrap(&h, s.record.data() + 144), mask;
    mask.CopyDIB(wrap);
    benchmark::DoNotOptimize(mask.DecompressRLE());
  }
  PerPixel(state);
}

}  // namespace

BENCHMARK(BM_CopyFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessWithoutMask)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Process)
    ->ArgNames({"softness", "spill"})
    ->Args({0, 0})
    ->Args({0, 50})
    ->Args({100, 0})
    ->Args({100, 50})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaskDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaskBlur)->Unit(benchmark::kMicrosecond);
