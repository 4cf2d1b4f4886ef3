// Cost of `key auto`'s analysis (matte::UnmixKey), which the keyer page's
// Auto key button runs on the frame shown: wall time of one call on a
// 1920 x 1080 frame, the sample scene before a green and before a blue
// screen, and the PNG named by MATTIX_BENCH_FRAME when set (a frame of
// one's own, such as a matte benchmark scene scaled to 1920 x 1080).
// Real time is what counts here: the call uses every processor; the CPU
// column is the whole process's, all threads, which a loaded machine
// does not change as much.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdlib>
#include <string>

#include "host/matte/UnmixKey.h"
#include "host/media/PngFile.h"
#include "host/samples/SampleScene.h"

namespace {

namespace samples = mattix::samples;

void BM_UnmixKey(benchmark::State& state, const mattix::media::BgraImage& frame) {
  for (auto _ : state) {
    auto key = mattix::matte::UnmixKey(frame);
    if (!key) {
      state.SkipWithError("no screen found in the frame");
      return;
    }
    benchmark::DoNotOptimize(key);
  }
  state.counters["pixels"] = double(frame.width) * frame.height;
}

const int kRegistered = [] {
  // Freed buffers kept in the heap for the next call, as `mattix serve` and
  // the command keep them (their main functions): a frame's buffers mapped
  // afresh would be faulted in page by page on every call.
  ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
  static const mattix::media::BgraImage green =
      samples::ScreenScene(1920, 1080, samples::Backdrop::Green).picture;
  static const mattix::media::BgraImage blue =
      samples::ScreenScene(1920, 1080, samples::Backdrop::Blue).picture;
  benchmark::RegisterBenchmark("BM_UnmixKey/scene:green_1920x1080",
                               [](benchmark::State& s) { BM_UnmixKey(s, green); })
      ->Unit(benchmark::kMillisecond)
      ->MeasureProcessCPUTime()
      ->UseRealTime();
  benchmark::RegisterBenchmark("BM_UnmixKey/scene:blue_1920x1080",
                               [](benchmark::State& s) { BM_UnmixKey(s, blue); })
      ->Unit(benchmark::kMillisecond)
      ->MeasureProcessCPUTime()
      ->UseRealTime();
  if (const char* path = std::getenv("MATTIX_BENCH_FRAME"); path && *path) {
    static const mattix::media::BgraImage own = mattix::media::ReadPng(path);
    benchmark::RegisterBenchmark(("BM_UnmixKey/frame:" + std::string(path)).c_str(),
                                 [](benchmark::State& s) { BM_UnmixKey(s, own); })
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
  }
  return 0;
}();

}  // namespace
