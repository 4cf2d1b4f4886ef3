#pragma once
// Independent formulations the blur is checked against, and small helpers.
#include <cstdint>
#include <vector>

#include "filter/GaussianKernels.h"

namespace filtertest {

// The recursive filter written straight from its definition, in long double
// and with the coefficients used as given (no rounding to float, no offset):
// p[k] = sum_i n_i x[k-i] - d_i p[k-i], taps before the start replaced by
// (n_i - e_i) x[0]; q[k] the same backwards with m, d, f; result p + q.
std::vector<long double> DericheLine(const std::vector<int>& x,
                                     const stdfx::internal::DericheCoefficients& c);

// Sigma of the Gaussian that radius r stands for: the Gaussian falls to 1/255
// at distance clamp(r, 1, 100) + 1.
double SigmaOfRadius(double r);

// Direct convolution with the sampled Gaussian exp(-k^2 / 2 sigma^2) /
// (sqrt(2 pi) sigma), edges clamped (the end samples repeated), in double.
std::vector<double> GaussianLine(const std::vector<int>& x, double sigma);

// Round half up, the way an exact sum would be rounded.
int RoundHalfUp(long double v);
int Clamp255(int v);

// Deterministic pseudo-random bytes.
std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed);

// x87 tag word: 0xFFFF when the MMX/x87 register file is empty.
unsigned FpuTagWord();
// Executes one MMX instruction, leaving the MMX state in use.
void DirtyMmxState();
// Executes EMMS.
void EmptyMmxStateForTest();

}  // namespace filtertest
