// Cost of matte finishing (matte::FinishMatte) on one frame, as `mattix
// render` and the keyer page pay it after the module has keyed the frame:
// every step `key auto` turns on together, then each alone. One thread.
//
// The frame: MATTIX_BENCH_INPUT (a PNG), MATTIX_BENCH_KEYED (the module's
// output for it, finishing off: `mattix render` with a project whose
// finishing is off) and MATTIX_BENCH_PROJECT (the finishing to time, e.g.
// what `key auto` chose); without them the sample scene at 1920 x 1080 with
// its true alpha as the matte and key auto's usual finishing.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "host/matte/MatteFinish.h"
#include "host/media/PngFile.h"
#include "host/project/Project.h"
#include "host/samples/SampleScene.h"

namespace {

namespace media = mattix::media;
namespace project = mattix::project;

struct Frame {
  media::BgraImage input, keyed;
  project::MatteFinishing finishing;
};

Frame LoadFrame() {
  Frame f;
  const char* input = std::getenv("MATTIX_BENCH_INPUT");
  const char* keyed = std::getenv("MATTIX_BENCH_KEYED");
  const char* proj = std::getenv("MATTIX_BENCH_PROJECT");
  if (input && keyed && proj) {
    f.input = media::ReadPng(input);
    f.keyed = media::ReadPng(keyed);
    f.finishing = project::ReadProject(proj).finishing;
    return f;
  }
  const mattix::samples::SampleFrame scene =
      mattix::samples::ScreenScene(1920, 1080, mattix::samples::Backdrop::Green);
  f.input = scene.picture;
  f.keyed = scene.picture;
  for (int y = 0; y < f.keyed.height; ++y)
    for (int x = 0; x < f.keyed.width; ++x)
      f.keyed.Row(y)[std::size_t(x) * 4 + 3] = scene.alpha.Row(y)[x];
  f.finishing.refine = 1.0;
  f.finishing.unmix = 100.0;
  f.finishing.despill = 100.0;
  f.finishing.despillEdge = 12.0;
  f.finishing.clipBlack = 3.0;
  f.finishing.clipWhite = 99.0;
  return f;
}

void BM_Finish(benchmark::State& state, const Frame& frame,
               const project::MatteFinishing& finishing) {
  media::BgraImage out = frame.keyed;
  for (auto _ : state) {
    state.PauseTiming();
    out.pixels = frame.keyed.pixels;
    state.ResumeTiming();
    mattix::matte::FinishMatte(out, frame.input, finishing);
    benchmark::DoNotOptimize(out.pixels.data());
  }
  state.counters["pixels"] = double(frame.input.width) * frame.input.height;
}

const int kRegistered = [] {
  // Freed buffers kept in the heap for the next call, as `mattix serve` and
  // the command keep them.
  ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
  static const Frame frame = LoadFrame();
  const project::MatteFinishing& all = frame.finishing;
  std::vector<std::pair<std::string, project::MatteFinishing>> cases = {{"all", all}};
  project::MatteFinishing one;
  one.screen = all.screen;
  if (all.refine > 0) {
    project::MatteFinishing f = one;
    f.refine = all.refine;
    cases.emplace_back("refine", f);
  }
  if (all.unmix > 0) {
    project::MatteFinishing f = one;
    f.unmix = all.unmix;
    cases.emplace_back("unmix", f);
  }
  if (all.despill > 0) {
    project::MatteFinishing f = one;
    f.despill = all.despill;
    f.despillEdge = all.despillEdge;
    cases.emplace_back("despill", f);
  }
  if (all.clipBlack > 0 || all.clipWhite < 100) {
    project::MatteFinishing f = one;
    f.clipBlack = all.clipBlack;
    f.clipWhite = all.clipWhite;
    cases.emplace_back("clip", f);
  }
  // Close holes, shrink/grow and feather, which key auto leaves off: the
  // keyer page's sliders for them at a typical setting.
  {
    project::MatteFinishing f = one;
    f.closeHoles = all.closeHoles > 0 ? all.closeHoles : 70.0;
    cases.emplace_back("close-holes", f);
    f = one;
    f.shrinkGrow = all.shrinkGrow != 0 ? all.shrinkGrow : -1.5;
    cases.emplace_back("shrink", f);
    f = one;
    f.feather = all.feather > 0 ? all.feather : 1.2;
    cases.emplace_back("feather", f);
  }
  for (auto& [name, f] : cases)
    benchmark::RegisterBenchmark(("BM_Finish/" + name).c_str(), [f = f](benchmark::State& s) {
      BM_Finish(s, frame, f);
    })->Unit(benchmark::kMillisecond);
  return 0;
}();

}  // namespace
