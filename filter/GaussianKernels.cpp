// Deriche's fourth-order recursive Gaussian (1993): coefficient maths and the
// per-line forward/backward passes, scalar and vector.
//
// Both forms evaluate, lane by lane and in this order,
//   p[k] = n0 x[k] + n1 x[k-1] + n2 x[k-2] + n3 x[k-3]
//          - d4 p[k-4] - d3 p[k-3] - d2 p[k-2] - d1 p[k-1]
//   q[k] = m1 x[k+1] + m2 x[k+2] + m3 x[k+3] + m4 x[k+4]
//          - d4 q[k+4] - d3 q[k+3] - d2 q[k+2] - d1 q[k+1]
// (n4 = 0, m0 = 0, d0 = 0), where a tap reaching outside the line is replaced
// by its edge term (n_i - e_i) x[0] or (m_i - f_i) x[L-1]: the response to the
// end sample repeated forever. Same order in both forms means the vector
// passes reproduce the scalar ones bit for bit; only the final rounding
// differs (trunc(p + 0.5 + q) against round-half-even of p + q).
#include "filter/GaussianKernels.h"

#include <emmintrin.h>
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstring>

namespace stdfx::internal {

DericheCoefficients ComputeDericheCoefficients(double radius) {
  double x = radius;
  if (!(x >= 1.0)) x = 1.0;  // also a NaN
  if (x > 100.0) x = 100.0;
  x = std::fabs(x) + 1.0;
  // 2 ln 255: the Gaussian of this sigma falls to 1/255 at distance x.
  const double sigma = std::sqrt(x * x / 11.082527090316852);

  // Deriche's fit of the Gaussian, t in units of sigma:
  // (a0 cos(w0 t) + a1 sin(w0 t)) e^(-b0 t) + (c0 cos(w1 t) + c1 sin(w1 t)) e^(-b1 t).
  const double a0 = 1.68, a1 = 3.735, c0 = -0.6803, c1 = -0.2598;
  const double b0 = 1.783, b1 = 1.723, w0 = 0.6318, w1 = 1.997;
  const double scale = 2.5066282746310002 * sigma;  // sqrt(2 pi) sigma
  const double A0 = a0 / scale, A1 = a1 / scale, C0 = c0 / scale, C1 = c1 / scale;
  const double E0 = std::exp(-b0 / sigma), E1 = std::exp(-b1 / sigma);
  const double cos0 = std::cos(w0 / sigma), sin0 = std::sin(w0 / sigma);
  const double cos1 = std::cos(w1 / sigma), sin1 = std::sin(w1 / sigma);

  DericheCoefficients c{};
  c.n[0] = A0 + C0;
  c.n[1] = E1 * (C1 * sin1 - (C0 + 2.0 * A0) * cos1) + E0 * (A1 * sin0 - (2.0 * C0 + A0) * cos0);
  c.n[2] = 2.0 * E0 * E1 * ((A0 + C0) * cos1 * cos0 - A1 * cos1 * sin0 - C1 * cos0 * sin1) +
           C0 * E0 * E0 + A0 * E1 * E1;
  c.n[3] = E1 * E0 * E0 * (C1 * sin1 - C0 * cos1) + E0 * E1 * E1 * (A1 * sin0 - A0 * cos0);
  c.n[4] = 0.0;

  c.d[0] = 0.0;
  c.d[1] = -2.0 * E1 * cos1 - 2.0 * E0 * cos0;
  c.d[2] = 4.0 * cos1 * cos0 * E0 * E1 + E1 * E1 + E0 * E0;
  c.d[3] = -2.0 * cos0 * E0 * E1 * E1 - 2.0 * cos1 * E1 * E0 * E0;
  c.d[4] = E0 * E0 * E1 * E1;

  // A symmetric filter: the anti-causal numerators follow from the causal ones.
  c.m[0] = 0.0;
  for (int i = 1; i < 5; ++i) c.m[i] = c.n[i] - c.n[0] * c.d[i];

  double sumN = 0.0, sumM = 0.0, den = 1.0;
  for (int i = 0; i < 5; ++i) {
    sumN += c.n[i];
    sumM += c.m[i];
    den += c.d[i];
  }
  for (int i = 0; i < 5; ++i) {
    c.e[i] = c.d[i] * sumN / den;
    c.f[i] = c.d[i] * sumM / den;
  }
  return c;
}

template <typename T>
void FillCoefficientBlock(CoefficientBlock<T>& block, const DericheCoefficients& c) {
  // Rounding d_i to T moves the poles, and with poles close to 1 (large radii)
  // the gain 1 / (1 + sum d) is very sensitive to that: at radius 100 in
  // single precision it is off by about 1%. Scaling the numerators by the
  // ratio of the rounded to the exact denominator sum keeps the rounded
  // filter's DC gain; the edge terms follow from the rounded values. In
  // double precision the scale is exactly 1 and the block holds the exact
  // coefficients.
  T d[5], n[5], m[5];
  double den = 1.0, denT = 1.0;
  for (int i = 0; i < 5; ++i) {
    d[i] = T(c.d[i]);
    den += c.d[i];
    denT += double(d[i]);
  }
  const double scale = denT / den;
  double sumN = 0.0, sumM = 0.0;
  for (int i = 0; i < 5; ++i) {
    n[i] = T(c.n[i] * scale);
    m[i] = T(c.m[i] * scale);
    sumN += double(n[i]);
    sumM += double(m[i]);
  }
  for (T& v : block.edge) v = T(0);
  for (int i = 0; i < 5; ++i) {
    const T values[6] = {n[i],
                         m[i],
                         d[i],
                         d[i],
                         T(double(n[i]) - double(d[i]) * sumN / denT),
                         T(double(m[i]) - double(d[i]) * sumM / denT)};
    for (int g = 0; g < 6; ++g)
      for (int lane = 0; lane < 4; ++lane) block.tap[i][g][lane] = values[g];
  }
}
template void FillCoefficientBlock<float>(CoefficientBlock<float>&, const DericheCoefficients&);
template void FillCoefficientBlock<double>(CoefficientBlock<double>&, const DericheCoefficients&);

namespace {

// Sample access: four lanes packed into one little-endian word, lane j in
// byte j.
struct PixelIo {
  const std::uint8_t* src;
  std::uint8_t* dst;

  std::uint32_t Load(int k) const {
    std::uint32_t w;
    std::memcpy(&w, src + std::ptrdiff_t(k) * 4, 4);
    return w;
  }
  void Store(int k, std::uint32_t w) const { std::memcpy(dst + std::ptrdiff_t(k) * 4, &w, 4); }
};

struct LinesIo {
  const std::uint8_t* src;
  std::ptrdiff_t srcPitch;
  std::uint8_t* dst;
  std::ptrdiff_t dstPitch;
  int lanes;  // 1..4; missing lanes read as 0 and are not written

  std::uint32_t Load(int k) const {
    if (lanes == 4)
      return std::uint32_t(src[k]) | std::uint32_t(src[srcPitch + k]) << 8 |
             std::uint32_t(src[2 * srcPitch + k]) << 16 |
             std::uint32_t(src[3 * srcPitch + k]) << 24;
    std::uint32_t w = 0;
    for (int j = 0; j < lanes; ++j) w |= std::uint32_t(src[j * srcPitch + k]) << (8 * j);
    return w;
  }
  void Store(int k, std::uint32_t w) const {
    for (int j = 0; j < lanes; ++j) dst[j * dstPitch + k] = std::uint8_t(w >> (8 * j));
  }
};

template <typename T>
void Unpack(std::uint32_t w, T* lanes) {
  for (int j = 0; j < 4; ++j) lanes[j] = T((w >> (8 * j)) & 0xFFu);
}

// Response of lane `lane` to a constant line of value c: G c with
// G = (sum n + sum m) / (1 + sum d), from the coefficients as stored.
template <typename T>
T ConstantResponse(const CoefficientBlock<T>& b, int lane, T c) {
  double sumN = 0.0, sumM = 0.0, den = 1.0;
  for (int i = 0; i < 5; ++i) {
    sumN += double(b.tap[i][kForwardNum][lane]);
    sumM += double(b.tap[i][kBackwardNum][lane]);
    den += double(b.tap[i][kForwardDen][lane]);
  }
  return T((sumN + sumM) / den * double(c));
}

// The passes run on x[k] - x[0] (exact: small integers), and G x[0] is added
// to p + q at the end. By linearity the result is the same filter; but a
// constant line is an exact zero inside the recursion, so constant images stay
// constant even where single-precision rounding of the recursion would drift
// (about half a level at radius 100).
template <typename T, class Io>
void FilterLineRef(const Io& io, int length, CoefficientBlock<T>& b, T* fwd, T* bwd,
                   const int* clamp0) {
  if (length <= 0) return;
  const int last = length - 1;
  Unpack(io.Load(0), b.edge);
  Unpack(io.Load(last), b.edge + 4);
  T first[4], end[4], offset[4];
  for (int j = 0; j < 4; ++j) {
    first[j] = T(0);  // x[0] - x[0]
    end[j] = b.edge[4 + j] - b.edge[j];
    offset[j] = ConstantResponse(b, j, b.edge[j]);
  }
  T xr[8][4];  // ring of offset input samples, position k at [k & 7]
  auto load = [&](int k) {
    Unpack(io.Load(k), xr[k & 7]);
    for (int j = 0; j < 4; ++j) xr[k & 7][j] = xr[k & 7][j] - b.edge[j];
  };

  for (int k = 0; k < length; ++k) {
    load(k);
    for (int j = 0; j < 4; ++j) {
      T acc = b.tap[0][kForwardNum][j] * xr[k & 7][j];
      for (int i = 1; i <= 4; ++i) {
        if (k - i >= 0) {
          if (i < 4) acc = acc + b.tap[i][kForwardNum][j] * xr[(k - i) & 7][j];
        } else {
          acc = acc + b.tap[i][kForwardEdge][j] * first[j];
        }
      }
      for (int i = 4; i >= 1; --i)
        if (k - i >= 0) acc = acc - b.tap[i][kForwardDen][j] * fwd[(k - i) * 4 + j];
      fwd[k * 4 + j] = acc;
    }
  }

  for (int k = last; k >= 0; --k) {
    load(k);
    std::uint32_t out = 0;
    for (int j = 0; j < 4; ++j) {
      T acc = T(0);
      for (int i = 1; i <= 4; ++i) {
        if (k + i <= last)
          acc = acc + b.tap[i][kBackwardNum][j] * xr[(k + i) & 7][j];
        else
          acc = acc + b.tap[i][kBackwardEdge][j] * end[j];
      }
      for (int i = 4; i >= 1; --i)
        if (k + i <= last) acc = acc - b.tap[i][kBackwardDen][j] * bwd[(k + i) * 4 + j];
      bwd[k * 4 + j] = acc;
      // Truncation after adding one half: round half up for the values that
      // matter (negative ones clamp to 0 either way).
      const int v = static_cast<int>(((fwd[k * 4 + j] + T(0.5)) + acc) + offset[j]);
      out |= std::uint32_t(std::uint8_t(clamp0[v])) << (8 * j);
    }
    io.Store(k, out);
  }
}

// Four single-precision lanes in one SSE register.
struct VecF {
  using Sample = float;
  __m128 v;

  static VecF Load(const float* p) { return {_mm_load_ps(p)}; }
  static void Store(float* p, VecF a) { _mm_store_ps(p, a.v); }
  static VecF Zero() { return {_mm_setzero_ps()}; }
  static VecF FromWord(std::uint32_t w) { return {_mm_cvtpu8_ps(_mm_cvtsi32_si64(int(w)))}; }
  // Round to nearest even, saturate to 16 then 8 bits, in MMX registers.
  static std::uint32_t ToWord(VecF a) {
    const __m64 lo = _mm_cvtps_pi32(a.v);
    const __m64 hi = _mm_cvtps_pi32(_mm_movehl_ps(a.v, a.v));
    const __m64 words = _mm_packs_pi32(lo, hi);
    return std::uint32_t(_mm_cvtsi64_si32(_mm_packs_pu16(words, words)));
  }
  friend VecF operator+(VecF a, VecF b) { return {_mm_add_ps(a.v, b.v)}; }
  friend VecF operator-(VecF a, VecF b) { return {_mm_sub_ps(a.v, b.v)}; }
  friend VecF operator*(VecF a, VecF b) { return {_mm_mul_ps(a.v, b.v)}; }
};

// Four double-precision lanes in two SSE2 registers.
struct VecD {
  using Sample = double;
  __m128d lo, hi;

  static VecD Load(const double* p) { return {_mm_load_pd(p), _mm_load_pd(p + 2)}; }
  static void Store(double* p, VecD a) {
    _mm_store_pd(p, a.lo);
    _mm_store_pd(p + 2, a.hi);
  }
  static VecD Zero() { return {_mm_setzero_pd(), _mm_setzero_pd()}; }
  static VecD FromWord(std::uint32_t w) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(w)), zero), zero);
    return {_mm_cvtepi32_pd(v), _mm_cvtepi32_pd(_mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)))};
  }
  static std::uint32_t ToWord(VecD a) {
    const __m64 words = _mm_packs_pi32(_mm_cvtpd_pi32(a.lo), _mm_cvtpd_pi32(a.hi));
    return std::uint32_t(_mm_cvtsi64_si32(_mm_packs_pu16(words, words)));
  }
  friend VecD operator+(VecD a, VecD b) { return {_mm_add_pd(a.lo, b.lo), _mm_add_pd(a.hi, b.hi)}; }
  friend VecD operator-(VecD a, VecD b) { return {_mm_sub_pd(a.lo, b.lo), _mm_sub_pd(a.hi, b.hi)}; }
  friend VecD operator*(VecD a, VecD b) { return {_mm_mul_pd(a.lo, b.lo), _mm_mul_pd(a.hi, b.hi)}; }
};

// The vector passes, on offset samples as in FilterLineRef: boundary taps
// handled in a short prologue at each end, then a steady loop that keeps the
// last inputs and outputs in registers.
template <class V, class Io>
void FilterLineVec(const Io& io, int length, CoefficientBlock<typename V::Sample>& b,
                   typename V::Sample* fwd, typename V::Sample* bwd) {
  using T = typename V::Sample;
  if (length <= 0) return;
  const int last = length - 1;
  const V x0 = V::FromWord(io.Load(0));
  V::Store(b.edge, x0);
  V::Store(b.edge + 4, V::FromWord(io.Load(last)));
  alignas(16) T offsetLanes[4];
  for (int j = 0; j < 4; ++j) offsetLanes[j] = ConstantResponse(b, j, b.edge[j]);
  const V offset = V::Load(offsetLanes);
  const V first = V::Zero();
  const V end = V::Load(b.edge + 4) - x0;
  auto load = [&io, x0](int k) { return V::FromWord(io.Load(k)) - x0; };
  auto tap = [&b](int i, int g) { return V::Load(b.tap[i][g]); };

  {
    const V n0 = tap(0, kForwardNum), n1 = tap(1, kForwardNum), n2 = tap(2, kForwardNum),
            n3 = tap(3, kForwardNum);
    const V d1 = tap(1, kForwardDen), d2 = tap(2, kForwardDen), d3 = tap(3, kForwardDen),
            d4 = tap(4, kForwardDen);
    const int head = length < 4 ? length : 4;
    V xh[4];
    int k = 0;
    for (; k < head; ++k) {
      xh[k] = load(k);
      V acc = n0 * xh[k];
      for (int i = 1; i <= 4; ++i) {
        if (k - i >= 0) {
          if (i < 4) acc = acc + tap(i, kForwardNum) * xh[k - i];
        } else {
          acc = acc + tap(i, kForwardEdge) * first;
        }
      }
      for (int i = 4; i >= 1; --i)
        if (k - i >= 0) acc = acc - tap(i, kForwardDen) * V::Load(fwd + 4 * (k - i));
      V::Store(fwd + 4 * k, acc);
    }
    if (length > 4) {
      V x1 = xh[3], x2 = xh[2], x3 = xh[1];
      V p1 = V::Load(fwd + 12), p2 = V::Load(fwd + 8), p3 = V::Load(fwd + 4), p4 = V::Load(fwd);
      for (; k < length; ++k) {
        const V xk = load(k);
        V acc = n0 * xk;
        acc = acc + n1 * x1;
        acc = acc + n2 * x2;
        acc = acc + n3 * x3;
        acc = acc - d4 * p4;
        acc = acc - d3 * p3;
        acc = acc - d2 * p2;
        acc = acc - d1 * p1;
        V::Store(fwd + 4 * std::ptrdiff_t(k), acc);
        x3 = x2;
        x2 = x1;
        x1 = xk;
        p4 = p3;
        p3 = p2;
        p2 = p1;
        p1 = acc;
      }
    }
  }

  {
    const V m1 = tap(1, kBackwardNum), m2 = tap(2, kBackwardNum), m3 = tap(3, kBackwardNum),
            m4 = tap(4, kBackwardNum);
    const V d1 = tap(1, kBackwardDen), d2 = tap(2, kBackwardDen), d3 = tap(3, kBackwardDen),
            d4 = tap(4, kBackwardDen);
    const int stop = last - 3 > 0 ? last - 3 : 0;  // prologue covers last .. stop
    V xt[4];                                       // xt[j] = x[last - j]
    int k = last;
    for (; k >= stop; --k) {
      xt[last - k] = load(k);
      V acc = V::Zero();
      for (int i = 1; i <= 4; ++i) {
        if (k + i <= last)
          acc = acc + tap(i, kBackwardNum) * xt[last - k - i];
        else
          acc = acc + tap(i, kBackwardEdge) * end;
      }
      for (int i = 4; i >= 1; --i)
        if (k + i <= last) acc = acc - tap(i, kBackwardDen) * V::Load(bwd + 4 * (k + i));
      V::Store(bwd + 4 * k, acc);
      io.Store(k, V::ToWord((V::Load(fwd + 4 * k) + acc) + offset));
    }
    if (stop > 0) {
      V x1 = xt[3], x2 = xt[2], x3 = xt[1], x4 = xt[0];
      V q1 = V::Load(bwd + 4 * (stop)), q2 = V::Load(bwd + 4 * (stop + 1)),
        q3 = V::Load(bwd + 4 * (stop + 2)), q4 = V::Load(bwd + 4 * (stop + 3));
      for (; k >= 0; --k) {
        const V xk = load(k);
        V acc = m1 * x1;
        acc = acc + m2 * x2;
        acc = acc + m3 * x3;
        acc = acc + m4 * x4;
        acc = acc - d4 * q4;
        acc = acc - d3 * q3;
        acc = acc - d2 * q2;
        acc = acc - d1 * q1;
        V::Store(bwd + 4 * std::ptrdiff_t(k), acc);
        io.Store(k, V::ToWord((V::Load(fwd + 4 * std::ptrdiff_t(k)) + acc) + offset));
        x4 = x3;
        x3 = x2;
        x2 = x1;
        x1 = xk;
        q4 = q3;
        q3 = q2;
        q2 = q1;
        q1 = acc;
      }
    }
  }
  _mm_empty();
}

int ClampLanes(int lanes) { return lanes > 4 ? 4 : lanes; }

// One group of up to four 8-bit lines through the vector passes of V;
// no lanes, no work.
template <typename V>
void VecLines(const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst,
              std::ptrdiff_t dstPitch, int lanes, int length,
              CoefficientBlock<typename V::Sample>& block, typename V::Sample* fwd,
              typename V::Sample* bwd) {
  if (lanes <= 0) return;
  FilterLineVec<V>(LinesIo{src, srcPitch, dst, dstPitch, ClampLanes(lanes)}, length, block, fwd,
                   bwd);
}

}  // namespace

template <typename T>
void GaussPixels32_ref(const std::uint8_t* src, std::uint8_t* dst, int length,
                       CoefficientBlock<T>& block, T* fwd, T* bwd, const int* clamp0) {
  FilterLineRef(PixelIo{src, dst}, length, block, fwd, bwd, clamp0);
}

template <typename T>
void GaussLines8_ref(const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst,
                     std::ptrdiff_t dstPitch, int lanes, int length, CoefficientBlock<T>& block,
                     T* fwd, T* bwd, const int* clamp0) {
  if (lanes <= 0) return;
  FilterLineRef(LinesIo{src, srcPitch, dst, dstPitch, ClampLanes(lanes)}, length, block, fwd, bwd,
                clamp0);
}

template void GaussPixels32_ref<float>(const std::uint8_t*, std::uint8_t*, int,
                                       CoefficientBlock<float>&, float*, float*, const int*);
template void GaussPixels32_ref<double>(const std::uint8_t*, std::uint8_t*, int,
                                        CoefficientBlock<double>&, double*, double*, const int*);
template void GaussLines8_ref<float>(const std::uint8_t*, std::ptrdiff_t, std::uint8_t*,
                                     std::ptrdiff_t, int, int, CoefficientBlock<float>&, float*,
                                     float*, const int*);
template void GaussLines8_ref<double>(const std::uint8_t*, std::ptrdiff_t, std::uint8_t*,
                                      std::ptrdiff_t, int, int, CoefficientBlock<double>&, double*,
                                      double*, const int*);

void GaussPixels32_sse(const std::uint8_t* src, std::uint8_t* dst, int length,
                       CoefficientBlock<float>& block, float* fwd, float* bwd) {
  FilterLineVec<VecF>(PixelIo{src, dst}, length, block, fwd, bwd);
}

void GaussPixels32_sse2(const std::uint8_t* src, std::uint8_t* dst, int length,
                        CoefficientBlock<double>& block, double* fwd, double* bwd) {
  FilterLineVec<VecD>(PixelIo{src, dst}, length, block, fwd, bwd);
}

void GaussLines8_sse(const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst,
                     std::ptrdiff_t dstPitch, int lanes, int length, CoefficientBlock<float>& block,
                     float* fwd, float* bwd) {
  VecLines<VecF>(src, srcPitch, dst, dstPitch, lanes, length, block, fwd, bwd);
}

void GaussLines8_sse2(const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst,
                      std::ptrdiff_t dstPitch, int lanes, int length,
                      CoefficientBlock<double>& block, double* fwd, double* bwd) {
  VecLines<VecD>(src, srcPitch, dst, dstPitch, lanes, length, block, fwd, bwd);
}

}  // namespace stdfx::internal
