// Cost of keying, per pixel (counter "per_px", CPU seconds with an SI
// prefix: 3n = 3 ns per pixel):
// - each row kernel set (reference, SSE4.1, AVX2, AVX-512), plain and spill,
//   on a 1920 x 1080 photograph and on random colours;
// - a memcpy of the frame and the whole engine (Process, every per-frame
//   cost included: mask decoding, lightness table, blur, keying) on the
//   photograph at 1920 x 1080 and at 3840 x 2160, whose 33 MB source and
//   33 MB target exceed the processor's caches, for a table of settings
//   (softness 0 to 100, spill suppression 0 to 100): BM_Process with the
//   key's colour table made beforehand (a key kept over the frames of a
//   shot), BM_ProcessDirect keying every pixel itself (a key that changes
//   every frame);
// - the per-frame fixed costs on their own: decoding the mask record, the
//   lightness table, the mask blur; and what a key's colour table costs to
//   make (BM_ColourTable), once per key.
// The photograph is the astronaut picture of python3-skimage, scaled (or the
// PNG named by MATTIX_BENCH_PHOTO, so that a script can hand the same frame
// to another keyer); without either, the shipped green-screen sample, and
// the benchmark label says so.
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
#include "key/internal/ColourTable.h"
#include "key/internal/KeyKernels.h"
#include "key/internal/KeyMath.h"
#include "stdfx/DIB.h"
#include "stdfx/VfbmiHeader.h"
#include "wheel/WheelGeometry.h"

namespace {

namespace ki = mattix::key::internal;
constexpr int kWheelWidth = mattix::wheel::kWidth, kWheelHeight = mattix::wheel::kHeight;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kPixels = double(kWidth) * kHeight;
// Frame sizes by benchmark argument: 0 HD, 1 UHD (larger than the caches).
constexpr int kSizes[2][2] = {{1920, 1080}, {3840, 2160}};
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

// Bilinear scaling of a BGRA picture of w x h to fw x fh, opaque.
std::vector<std::uint8_t> ScaleToFrame(const std::vector<std::uint8_t>& in, int w, int h, int fw,
                                       int fh) {
  std::vector<std::uint8_t> out(std::size_t(fw) * fh * 4);
  for (int y = 0; y < fh; ++y) {
    const float fy = std::max(0.0f, (y + 0.5f) * float(h) / fh - 0.5f);
    const int y0 = std::min(int(fy), h - 1), y1 = std::min(y0 + 1, h - 1);
    const float wy = fy - float(y0);
    for (int x = 0; x < fw; ++x) {
      const float fx = std::max(0.0f, (x + 0.5f) * float(w) / fw - 0.5f);
      const int x0 = std::min(int(fx), w - 1), x1 = std::min(x0 + 1, w - 1);
      const float wx = fx - float(x0);
      for (int c = 0; c < 3; ++c) {
        auto at = [&](int xx, int yy) { return float(in[(std::size_t(yy) * w + xx) * 4 + c]); };
        const float top = at(x0, y0) + (at(x1, y0) - at(x0, y0)) * wx;
        const float bottom = at(x0, y1) + (at(x1, y1) - at(x0, y1)) * wx;
        out[(std::size_t(y) * fw + x) * 4 + c] = std::uint8_t(top + (bottom - top) * wy + 0.5f);
      }
      out[(std::size_t(y) * fw + x) * 4 + 3] = 255;
    }
  }
  return out;
}

struct Scene {
  std::vector<std::uint8_t> picture;  // the photograph as read
  int pictureWidth = 0, pictureHeight = 0;
  std::vector<std::uint8_t> photo, random, target;
  std::vector<std::uint8_t> photoUhd, targetUhd;  // scaled on first use
  std::string photoName;
  std::vector<std::uint8_t> record;                  // the mask record
  std::vector<std::uint8_t> maskPixels, softPixels;  // decoded, and blurred (softness 50)
  int maskStride = 0;
  std::uint32_t lightness[256];

  Scene() : random(std::size_t(kWidth) * kHeight * 4), target(random.size()) {
    const char* wanted = std::getenv("MATTIX_BENCH_PHOTO");
    for (const char* path : {wanted, kAstronaut, MATTIX_SOURCE_DIR "/samples/greenscreen.png"}) {
      if (!path) continue;
      picture = ReadPng(path, pictureWidth, pictureHeight);
      if (picture.empty()) continue;
      photo = ScaleToFrame(picture, pictureWidth, pictureHeight, kWidth, kHeight);
      photoName = path;
      break;
    }
    std::mt19937 rng(1);
    for (auto& v : random) v = std::uint8_t(rng());

    stdfx::CDIB mask(Header(kWheelWidth, kWheelHeight, 8)),
        soft(Header(kWheelWidth, kWheelHeight, 8));
    maskStride = mask.DIBBytesPerLine();
    for (int r = 0; r < kWheelHeight; ++r)
      for (int c = 0; c < kWheelWidth; ++c) {
        const double dx = (c - 120) / 120.0, dy = (r - 104) / 104.0;
        double turn = std::atan2(dy, dx) / (2 * M_PI);
        if (turn < 0) turn += 1;
        const bool keyed = turn >= 0.25 && turn < 7.0 / 12 && dx * dx + dy * dy > 0.01;
        mask.GetBytes()[r * maskStride + c] = keyed ? 255 : 0;
      }
    maskPixels.assign(mask.GetBytes(), mask.GetBytes() + std::size_t(maskStride) * kWheelHeight);
    stdfx::CGaussian blur(1);
    blur.Blur(soft, mask, 6.25, 6.25);
    softPixels.assign(soft.GetBytes(), soft.GetBytes() + std::size_t(maskStride) * kWheelHeight);
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

// The photograph and a target of the given size (argument 0 or 1).
struct Frame {
  int width, height;
  std::vector<std::uint8_t>* photo;
  std::vector<std::uint8_t>* target;
};

Frame FrameOfSize(int size) {
  Scene& s = TheScene();
  if (size == 0) return {kWidth, kHeight, &s.photo, &s.target};
  const int w = kSizes[1][0], h = kSizes[1][1];
  if (s.photoUhd.empty() && !s.picture.empty()) {
    s.photoUhd = ScaleToFrame(s.picture, s.pictureWidth, s.pictureHeight, w, h);
    s.targetUhd.assign(s.photoUhd.size(), 0);
  }
  return {w, h, &s.photoUhd, &s.targetUhd};
}

void PerPixel(benchmark::State& state, double pixels = kPixels) {
  state.counters["per_px"] = benchmark::Counter(
      pixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The photograph copied into the target; argument: the frame size.
void BM_CopyFrame(benchmark::State& state) {
  const Frame f = FrameOfSize(int(state.range(0)));
  if (f.photo->empty()) {
    state.SkipWithError("no photograph could be read");
    return;
  }
  for (auto _ : state) {
    std::memcpy(f.target->data(), f.photo->data(), f.photo->size());
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::to_string(f.width) + "x" + std::to_string(f.height));
  PerPixel(state, double(f.width) * f.height);
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
  params.mask = ki::MakeMaskView(s.softPixels.data(), s.maskStride, kWheelWidth, kWheelHeight);
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

// The engine on the photograph with the kernels it chooses, one engine a
// frame as a host renders; arguments: frame size, softness, spill
// suppression (percent). `table`: the key's colour table made before the
// timed frames, or none (every pixel keyed itself).
void ProcessFrames(benchmark::State& state, bool table) {
  Scene& s = TheScene();
  const Frame f = FrameOfSize(int(state.range(0)));
  if (f.photo->empty()) {
    state.SkipWithError("no photograph could be read");
    return;
  }
  tagVFBMINFOHEADER sh = Header(f.width, f.height, 32), th = sh;
  stdfx::CDIB source(&sh, f.photo->data()), target(&th, f.target->data());
  const double settings[6] = {double(state.range(1)), double(state.range(2)), 0, 0, 100, 100};
  ki::CColourTable::SetPixelsBeforeTable(table ? 0 : -1);
  if (table)
    CMattix2().Process(target, source, settings, s.record.data(), std::uint32_t(s.record.size()),
                       -1);
  for (auto _ : state) {
    CMattix2 engine;
    const int status = engine.Process(target, source, settings, s.record.data(),
                                      std::uint32_t(s.record.size()), -1);
    if (status != 0) state.SkipWithError("keying failed");
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::string(ki::KernelSetName(ki::ActiveKernelSet())) + " " +
                 std::to_string(f.width) + "x" + std::to_string(f.height) + " " + s.photoName);
  PerPixel(state, double(f.width) * f.height);
  ki::CColourTable::SetPixelsBeforeTable(1 << 24);
}

void BM_Process(benchmark::State& state) { ProcessFrames(state, true); }
void BM_ProcessDirect(benchmark::State& state) { ProcessFrames(state, false); }

// Making one key's colour table with the engine's kernels, in milliseconds;
// argument: the form (0 plain, 1 spill).
void BM_ColourTable(benchmark::State& state) {
  Scene& s = TheScene();
  ki::KeyRowParams params;
  params.mask = ki::MakeMaskView(s.softPixels.data(), s.maskStride, kWheelWidth, kWheelHeight);
  params.lightness = s.lightness;
  const bool spill = state.range(0) != 0;
  const ki::KeyRowKernels kernels = ki::KernelsOf(ki::ActiveKernelSet());
  ki::CColourTable::SetPixelsBeforeTable(0);
  const std::uint32_t kept = s.lightness[0];
  float factor = 0.5f;
  for (auto _ : state) {
    params.spillFactor = factor;  // a new key each time (plain form: a new lightness table)
    factor = factor == 0.5f ? 0.25f : 0.5f;
    s.lightness[0] ^= 1;
    benchmark::DoNotOptimize(
        ki::CColourTable::ForKey(params, spill, spill ? kernels.spill : kernels.plain, 0));
  }
  s.lightness[0] = kept;
  ki::CColourTable::SetPixelsBeforeTable(1 << 24);
  state.SetLabel(ki::KernelSetName(ki::ActiveKernelSet()));
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
  stdfx::CDIB mask(Header(kWheelWidth, kWheelHeight, 8)),
      work(Header(kWheelWidth, kWheelHeight, 8));
  std::memcpy(mask.GetBytes(), s.maskPixels.data(), s.maskPixels.size());
  const double radius = state.range(0) == 6 ? 6.25 : double(state.range(0));
  for (auto _ : state) {
    stdfx::CGaussian blur(1);
    benchmark::DoNotOptimize(blur.Blur(work, mask, radius, radius));
  }
  PerPixel(state);
}

}  // namespace

BENCHMARK(BM_CopyFrame)->ArgName("size")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyRows)
    ->ArgNames({"frame", "set", "spill"})
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
// Softness and spill suppression from none to full, with `key auto`'s
// softness 10 and spill suppression 100 among them.
BENCHMARK(BM_Process)
    ->ArgNames({"size", "softness", "spill"})
    ->ArgsProduct({{0, 1}, {0}, {0, 50, 100}})
    ->ArgsProduct({{0, 1}, {10}, {100}})
    ->ArgsProduct({{0, 1}, {100}, {0, 50, 100}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessDirect)
    ->ArgNames({"size", "softness", "spill"})
    ->ArgsProduct({{0, 1}, {0}, {0, 50, 100}})
    ->ArgsProduct({{0, 1}, {10}, {100}})
    ->ArgsProduct({{0, 1}, {100}, {0, 50, 100}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColourTable)->ArgName("spill")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaskDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LightnessTable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaskBlur)->Arg(6)->Arg(100)->Unit(benchmark::kMicrosecond);
