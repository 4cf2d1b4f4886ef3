// Cost of the Windows layer's MulDiv, which every fixed-point product and
// quotient goes through.
#include "win/Windows.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

static void BM_MulDiv(benchmark::State& state) {
  std::mt19937 rng(1);
  std::vector<int> v(4096);
  for (int& x : v) x = static_cast<int>(rng());
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(MulDiv(v[i & 4095], v[(i + 1) & 4095], v[(i + 2) & 4095] | 1));
    ++i;
  }
}
BENCHMARK(BM_MulDiv);
