// The command's per-frame costs besides keying, on a 1920 x 1080 frame:
// preview compositing (integer kernel and its double reference), matte
// extraction, and PNG encoding at the frame level and the default level.
#include "host/cli/Composite.h"
#include "host/cli/PngFile.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

using mattix::cli::BgraImage;

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

void BM_PreviewRow(benchmark::State& state) {
  const BgraImage& f = KeyedFrame();
  std::vector<std::uint8_t> out(f.Stride());
  mattix::cli::Checkerboard board;
  for (auto _ : state) {
    for (int y = 0; y < f.height; ++y) {
      mattix::cli::PreviewRow(f.Row(y), out.data(), f.width, y, board);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * f.width * f.height);
}
BENCHMARK(BM_PreviewRow)->Unit(benchmark::kMillisecond);

void BM_PreviewRow_ref(benchmark::State& state) {
  const BgraImage& f = KeyedFrame();
  std::vector<std::uint8_t> out(f.Stride());
  mattix::cli::Checkerboard board;
  for (auto _ : state) {
    for (int y = 0; y < f.height; ++y) {
      mattix::cli::PreviewRow_ref(f.Row(y), out.data(), f.width, y, board);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * f.width * f.height);
}
BENCHMARK(BM_PreviewRow_ref)->Unit(benchmark::kMillisecond);

void BM_Matte(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(mattix::cli::MakeMatte(KeyedFrame()).pixels.data());
}
BENCHMARK(BM_Matte)->Unit(benchmark::kMillisecond);

void BM_EncodePng(benchmark::State& state) {
  const int level = int(state.range(0));
  std::size_t bytes = 0;
  for (auto _ : state) bytes = mattix::cli::EncodePng(KeyedFrame(), "bench.png", level).size();
  state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_EncodePng)->Arg(3)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_DecodePng(benchmark::State& state) {
  const std::vector<std::uint8_t> png = mattix::cli::EncodePng(KeyedFrame(), "bench.png", 3);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        mattix::cli::DecodePng(png.data(), png.size(), "bench.png").pixels.data());
}
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond);

}  // namespace
