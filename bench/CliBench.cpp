// The command's per-frame costs besides keying, on a 1920 x 1080 frame:
// preview compositing (integer kernel and its double reference), matte
// extraction, and PNG encoding (the fast mode that renders use, and the
// default level) and decoding, on a synthetic frame (flat gradients) and on
// a camera picture (the shipped green-screen sample scaled up, its left
// third keyed out).
#include "host/media/Composite.h"
#include "host/media/PngFile.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

namespace {

using mattix::media::BgraImage;

const BgraImage& KeyedFrame() {
  static const BgraImage frame = [] {
    BgraImage f(1920, 1080);
    std::mt19937 rng(1);
    // Smooth picture, with a keyed-out region, as a render produces.
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x) {
        std::uint8_t* p = f.Row(y) + x * 4;
        p[0] = std::uint8_t(x / 8);
        p[1] = std::uint8_t(y / 5);
        p[2] = std::uint8_t((x + y) / 12);
        p[3] = x < 700 ? 0 : x < 760 ? std::uint8_t((x - 700) * 4 + rng() % 3) : 255;
      }
    return f;
  }();
  return frame;
}

// The shipped sample scaled to 1920 x 1080 (nearest pixel plus a little
// noise, as a camera gives), alpha 0 over its left third.
const BgraImage& CameraFrame() {
  static const BgraImage frame = [] {
    const BgraImage sample = mattix::media::ReadPng(MATTIX_SOURCE_DIR "/samples/greenscreen.png");
    BgraImage f(1920, 1080);
    std::mt19937 rng(2);
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x) {
        const std::uint8_t* s =
            sample.Row(y * sample.height / f.height) + (x * sample.width / f.width) * 4;
        std::uint8_t* p = f.Row(y) + x * 4;
        for (int c = 0; c < 3; ++c) p[c] = std::uint8_t(std::min<unsigned>(255, s[c] + rng() % 4));
        p[3] = x < 640 ? 0 : 255;
      }
    return f;
  }();
  return frame;
}

const BgraImage& Frame(std::int64_t which) { return which == 0 ? KeyedFrame() : CameraFrame(); }

void BM_PreviewRow(benchmark::State& state) {
  const BgraImage& f = KeyedFrame();
  std::vector<std::uint8_t> out(f.Stride());
  mattix::media::Checkerboard board;
  for (auto _ : state) {
    for (int y = 0; y < f.height; ++y) {
      mattix::media::PreviewRow(f.Row(y), out.data(), f.width, y, board);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * f.width * f.height);
}
BENCHMARK(BM_PreviewRow)->Unit(benchmark::kMillisecond);

void BM_PreviewRow_ref(benchmark::State& state) {
  const BgraImage& f = KeyedFrame();
  std::vector<std::uint8_t> out(f.Stride());
  mattix::media::Checkerboard board;
  for (auto _ : state) {
    for (int y = 0; y < f.height; ++y) {
      mattix::media::PreviewRow_ref(f.Row(y), out.data(), f.width, y, board);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * f.width * f.height);
}
BENCHMARK(BM_PreviewRow_ref)->Unit(benchmark::kMillisecond);

void BM_Matte(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(mattix::media::MakeMatte(KeyedFrame()).pixels.data());
}
BENCHMARK(BM_Matte)->Unit(benchmark::kMillisecond);

// Arguments: frame (0 synthetic, 1 camera), level (1 the fast mode, 6).
void BM_EncodePng(benchmark::State& state) {
  const int level = int(state.range(1));
  std::size_t bytes = 0;
  for (auto _ : state)
    bytes = mattix::media::EncodePng(Frame(state.range(0)), "b.png", level).size();
  state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_EncodePng)
    ->ArgNames({"frame", "level"})
    ->ArgsProduct({{0, 1}, {1, 6}})
    ->Unit(benchmark::kMillisecond);

void BM_DecodePng(benchmark::State& state) {
  const std::vector<std::uint8_t> png =
      mattix::media::EncodePng(Frame(state.range(0)), "b.png", int(state.range(1)));
  for (auto _ : state)
    benchmark::DoNotOptimize(
        mattix::media::DecodePng(png.data(), png.size(), "b.png").pixels.data());
}
BENCHMARK(BM_DecodePng)
    ->ArgNames({"frame", "level"})
    ->ArgsProduct({{0, 1}, {1, 6}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
