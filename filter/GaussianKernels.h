#pragma once
// Per-line kernels of the recursive Gaussian (Deriche, "Recursively
// implementing the Gaussian and its derivatives", 1993: the fourth-order
// causal + anti-causal approximation) and the pure maths of its coefficients.
//
// A "line" is a run of samples filtered in four lanes at once: the four
// channels of a 32-bit pixel, or four 8-bit lines side by side. Each kernel
// runs the forward pass into `fwd`, the backward pass into `bwd` (four samples
// per position, `length` positions), and writes p + q rounded and clamped to
// 0..255 into the destination. Source and destination may be the same memory:
// every input sample is read before its position is written.
//
// The kernels call nobody and keep no state; CGaussian walks the image.
#include <cstddef>
#include <cstdint>

namespace stdfx::internal {

// Deriche's coefficients for one radius, double precision.
struct DericheCoefficients {
  double n[5];  // forward numerators
  double m[5];  // backward numerators
  double d[5];  // denominators, the same in both directions
  double e[5];  // forward edge terms: the forward pass's steady state seen by tap i
  double f[5];  // backward edge terms
};

// Pure function of the radius. The radius is limited to 1..100 (a NaN counts
// as 1), then x = radius + 1 and sigma = x / sqrt(2 ln 255), so that the
// Gaussian falls to 1/255 at distance x.
DericheCoefficients ComputeDericheCoefficients(double radius);

// Group index within one tap of a coefficient block.
enum CoefficientGroup : int {
  kForwardNum = 0,    // n_i
  kBackwardNum = 1,   // m_i
  kForwardDen = 2,    // d_i
  kBackwardDen = 3,   // d_i again
  kForwardEdge = 4,   // n_i - e_i: tap i when it reaches before the start
  kBackwardEdge = 5,  // m_i - f_i: tap i when it reaches past the end
};

// The coefficient block of one direction: room for the edge samples of the
// line in work, then per tap six groups of four equal values (one per lane).
template <typename T>
struct alignas(16) CoefficientBlock {
  T edge[8];       // lanes of the first sample, then lanes of the last sample
  T tap[5][6][4];  // [tap][CoefficientGroup][lane]
};
static_assert(sizeof(CoefficientBlock<float>) == 512);
static_assert(sizeof(CoefficientBlock<double>) == 1024);

// Stores every coefficient four times, rounded to T; edge coefficients are
// differenced in double before rounding.
template <typename T>
void FillCoefficientBlock(CoefficientBlock<T>& block, const DericheCoefficients& c);

// Scalar kernels. Output: trunc(p + 0.5 + q) evaluated in T, mapped through
// `clamp0`, a table indexable with every value the passes can produce.

// One row of `length` 32-bit pixels; the four channels are the four lanes.
template <typename T>
void GaussPixels32_ref(const std::uint8_t* src, std::uint8_t* dst, int length,
                       CoefficientBlock<T>& block, T* fwd, T* bwd, const int* clamp0);

// `lanes` (1..4) 8-bit lines of `length` samples; line j starts at
// src + j * srcPitch and goes to dst + j * dstPitch. Lanes past `lanes` are
// neither read nor written.
template <typename T>
void GaussLines8_ref(const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst,
                     std::ptrdiff_t dstPitch, int lanes, int length, CoefficientBlock<T>& block,
                     T* fwd, T* bwd, const int* clamp0);

// Vector kernels, same arithmetic in the same order as the scalar ones (so p
// and q agree bit for bit); output converted with the current rounding mode
// (round to nearest, halves to even) and clamped by saturating packs in MMX
// registers. Each empties the MMX state before returning.
// Single precision, four lanes per SSE register. Needs SSE; block, fwd and bwd
// 16-byte aligned.
void GaussPixels32_sse(const std::uint8_t* src, std::uint8_t* dst, int length,
                       CoefficientBlock<float>& block, float* fwd, float* bwd);
void GaussLines8_sse(const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst,
                     std::ptrdiff_t dstPitch, int lanes, int length, CoefficientBlock<float>& block,
                     float* fwd, float* bwd);
// Double precision, two lanes per SSE2 register. Needs SSE2.
void GaussPixels32_sse2(const std::uint8_t* src, std::uint8_t* dst, int length,
                        CoefficientBlock<double>& block, double* fwd, double* bwd);
void GaussLines8_sse2(const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst,
                      std::ptrdiff_t dstPitch, int lanes, int length,
                      CoefficientBlock<double>& block, double* fwd, double* bwd);

}  // namespace stdfx::internal
