// Cost of keying one 1920 x 1080 frame, per pixel (counter "per_px", CPU
// seconds with an SI prefix: 3n = 3 ns per pixel):
// - each row kernel set (reference, SSE4.1, AVX2, AVX-512), plain and spill, on a
//   photograph and on random colours, beside a memcpy of the frame;
// - the whole engine (Process) on the photograph, softness 0 and 100;
// - its per-frame fixed costs: decoding the mask record, the lightness
//   table, the mask blur.
// The photograph is the astronaut picture of python3-skimage, scaled to
// 1920 x 1080 (or the PNG named by MATTIX_BENCH_PHOTO, so that a script can
// hand the same frame to another keyer); without either, the shipped
// green-screen sample, and the benchmark label says so.
// The mask keys a third of the wheel (yellow-green through cyan) with a
// ramp at its edges, so that the spill form has partly keyed colours.
#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "filter/Gaussian.h"
#include "key/Mattix2.h"
#include "key/internal/KeyKernels.h"
#include "key/internal/KeyMath.h"
#include "stdfx/DIB.h"
#include "stdfx/VfbmiHeader.h"

namespace {

namespace ki = mattix::key::internal;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kPixels = double(kWidth) * kHeight;
constexpr const char* kAstronaut = "/usr/lib/python3/dist-packages/skimage/data/astronaut.png";

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

// A PNG as BGRA bytes, or empty when it cannot be read.
std::vector<std::uint8_t> ReadPng(const char* path, int& width, int& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path)) return {};
  image.format = PNG_FORMAT_BGRA;
  std::vector<std::uint8_t> bgra(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, bgra.data(), 0, nullptr)) return {};
  width = int(image.width);
  height = int(image.height);
  return bgra;
}

// Bilinear scaling of a BGRA picture to the frame size, opaque.
std::vector<std::uint8_t> ScaleToFrame(const std::vector<std::uint8_t>& in, int w, int h) {
  std::vector<std::uint8_t> out(std::size_t(kWidth) * kHeight * 4);
  for (int y = 0; y < kHeight; ++y) {
    const float fy = std::max(0.0f, (y + 0.5f) * float(h) / kHeight - 0.5f);
    const int y0 = std::min(int(fy), h - 1), y1 = std::min(y0 + 1, h - 1);
    const float wy = fy - float(y0);
    for (int x = 0; x < kWidth; ++x) {
      const float fx = std::max(0.0f, (x + 0.5f) * float(w) / kWidth - 0.5f);
      const int x0 = std::min(int(fx), w - 1), x1 = std::min(x0 + 1, w - 1);
      const float wx = fx - float(x0);
      for (int c = 0; c < 3; ++c) {
        auto at = [&](int xx, int yy) { return float(in[(std::size_t(yy) * w + xx) * 4 + c]); };
        const float top = at(x0, y0) + (at(x1, y0) - at(x0, y0)) * wx;
        const float bottom = at(x0, y1) + (at(x1, y1) - at(x0, y1)) * wx;
        out[(std::size_t(y) * kWidth + x) * 4 + c] = std::uint8_t(top + (bottom - top) * wy + 0.5f);
      }
      out[(std::size_t(y) * kWidth + x) * 4 + 3] = 255;
    }
  }
  return out;
}

struct Scene {
  std::vector<std::uint8_t> photo, random, target;
  std::string photoName;
  std::vector<std::uint8_t> record;                  // the mask record
  std::vector<std::uint8_t> maskPixels, softPixels;  // decoded, and blurred (softness 50)
  int maskStride = 0;
  std::uint32_t lightness[256];

  Scene() : random(std::size_t(kWidth) * kHeight * 4), target(random.size()) {
    const char* wanted = std::getenv("MATTIX_BENCH_PHOTO");
    for (const char* path : {wanted, kAstronaut, MATTIX_SOURCE_DIR "/samples/greenscreen.png"}) {
      int w = 0, h = 0;
      if (!path) continue;
      const auto picture = ReadPng(path, w, h);
      if (picture.empty()) continue;
      photo = ScaleToFrame(picture, w, h);
      photoName = path;
      break;
    }
    std::mt19937 rng(1);
    for (auto& v : random) v = std::uint8_t(rng());

    stdfx::CDIB mask(Header(241, 209, 8)), soft(Header(241, 209, 8));
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
    stdfx::CGaussian blur(1);
    blur.Blur(soft, mask, 6.25, 6.25);
    softPixels.assign(soft.GetBytes(), soft.GetBytes() + std::size_t(maskStride) * 209);
    mask.CompressRLE();
    record.resize(144 + mask.DIBSize());
    std::memcpy(record.data(), mask.GetVfBmiHeader(), 144);
    std::memcpy(record.data() + 144, mask.GetBytes(), mask.DIBSize());
    const double breakpoints[4] = {0, 0, 100, 100};
    ki::FillLightnessTable(breakpoints, lightness);
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
    std::memcpy(s.target.data(), s.random.data(), s.random.size());
    benchmark::ClobberMemory();
  }
  PerPixel(state);
}

// Arguments: frame (0 the photograph, 1 random colours), kernel set
// (0 reference, 1 SSE4.1, 2 AVX2, 3 AVX-512), spill (0 plain, 1 spill factor 0.5).
void BM_KeyRows(benchmark::State& state) {
  Scene& s = TheScene();
  const auto set = static_cast<ki::KernelSet>(state.range(1));
  if (!ki::KernelSetAvailable(set)) {
    state.SkipWithError("this processor cannot run that kernel set");
    return;
  }
  const std::vector<std::uint8_t>& frame = state.range(0) == 0 ? s.photo : s.random;
  if (frame.empty()) {
    state.SkipWithError("no photograph could be read");
    return;
  }
  ki::KeyRowParams params;
  params.mask = ki::MakeMaskView(s.softPixels.data(), s.maskStride, 241, 209);
  params.lightness = s.lightness;
  params.spillFactor = 0.5f;
  const ki::KeyRowKernels kernels = ki::KernelsOf(set);
  const ki::KeyRowFn kernel = state.range(2) ? kernels.spill : kernels.plain;
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) {
      const std::size_t at = std::size_t(y) * kWidth * 4;
      kernel(s.target.data() + at, frame.data() + at, kWidth, params);
    }
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::string(ki::KernelSetName(set)) +
                 (state.range(0) == 0 ? " photo" : " random"));
  PerPixel(state);
}

// The engine on the photograph with the kernels it chooses; arguments:
// softness, spill suppression (percent).
void BM_Process(benchmark::State& state) {
  Scene& s = TheScene();
  if (s.photo.empty()) {
    state.SkipWithError("no photograph could be read");
    return;
  }
  tagVFBMINFOHEADER sh = Header(kWidth, kHeight, 32), th = sh;
  stdfx::CDIB source(&sh, s.photo.data()), target(&th, s.target.data());
  const double settings[6] = {double(state.range(0)), double(state.range(1)), 0, 0, 100, 100};
  for (auto _ : state) {
    CMattix2 engine;
    const int status = engine.Process(target, source, settings, s.record.data(),
                                      std::uint32_t(s.record.size()), -1);
    if (status != 0) state.SkipWithError("keying failed");
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::string(ki::KernelSetName(ki::ActiveKernelSet())) + " " + s.photoName);
  PerPixel(state);
}

// Per-frame fixed costs, in microseconds (per_px spreads them over a frame).
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

void BM_LightnessTable(benchmark::State& state) {
  const double breakpoints[4] = {20, 40, 60, 80};
  std::uint32_t table[256];
  for (auto _ : state) {
    ki::FillLightnessTable(breakpoints, table);
    benchmark::DoNotOptimize(table);
  }
  PerPixel(state);
}

// Argument: the blur radius (softness 50 gives 6.25, 100 gives 100).
void BM_MaskBlur(benchmark::State& state) {
  Scene& s = TheScene();
  stdfx::CDIB mask(Header(241, 209, 8)), work(Header(241, 209, 8));
  std::memcpy(mask.GetBytes(), s.maskPixels.data(), s.maskPixels.size());
  const double radius = state.range(0) == 6 ? 6.25 : double(state.range(0));
  for (auto _ : state) {
    stdfx::CGaussian blur(1);
    benchmark::DoNotOptimize(blur.Blur(work, mask, radius, radius));
  }
  PerPixel(state);
}

}  // namespace

BENCHMARK(BM_CopyFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyRows)
    ->ArgNames({"frame", "set", "spill"})
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Process)
    ->ArgNames({"softness", "spill"})
    ->Args({0, 0})
    ->Args({0, 50})
    ->Args({100, 0})
    ->Args({100, 50})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaskDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LightnessTable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaskBlur)->Arg(6)->Arg(100)->Unit(benchmark::kMicrosecond);
