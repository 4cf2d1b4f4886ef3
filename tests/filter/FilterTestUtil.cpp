#include "FilterTestUtil.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace filtertest {

const int* ClampTable() {
  static const std::vector<int> table = [] {
    std::vector<int> t(3072);
    for (int i = 0; i < 3072; ++i) t[i] = std::clamp(i - 1024, 0, 255);
    return t;
  }();
  return table.data() + 1024;
}

std::vector<long double> DericheLine(const std::vector<int>& x,
                                     const stdfx::internal::DericheCoefficients& c) {
  const int L = int(x.size());
  std::vector<long double> p(L), q(L), y(L);
  for (int k = 0; k < L; ++k) {
    long double acc = 0;
    for (int i = 0; i <= 4; ++i) {
      if (k - i < 0)
        acc += ((long double)c.n[i] - c.e[i]) * x[0];
      else
        acc += (long double)c.n[i] * x[k - i] - (i > 0 ? (long double)c.d[i] * p[k - i] : 0.0L);
    }
    p[k] = acc;
  }
  for (int k = L - 1; k >= 0; --k) {
    long double acc = 0;
    for (int i = 0; i <= 4; ++i) {
      if (k + i > L - 1)
        acc += ((long double)c.m[i] - c.f[i]) * x[L - 1];
      else
        acc += (long double)c.m[i] * x[k + i] - (i > 0 ? (long double)c.d[i] * q[k + i] : 0.0L);
    }
    q[k] = acc;
  }
  for (int k = 0; k < L; ++k) y[k] = p[k] + q[k];
  return y;
}

double SigmaOfRadius(double r) {
  const double x = std::clamp(r, 1.0, 100.0) + 1.0;
  return x / std::sqrt(2.0 * std::log(255.0));
}

std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> v(count);
  for (auto& b : v) b = std::uint8_t(gen() & 0xFF);
  return v;
}

unsigned FpuTagWord() {
  unsigned char env[28];
  // fnstenv masks the x87 exceptions; fldenv puts the environment back.
  asm volatile("fnstenv %0" : "=m"(env));
  asm volatile("fldenv %0" : : "m"(env));
  return unsigned(env[8]) | unsigned(env[9]) << 8;
}

void DirtyMmxState() { asm volatile("pxor %%mm0, %%mm0" : : : "mm0"); }

void EmptyMmxStateForTest() { asm volatile("emms"); }

}  // namespace filtertest
