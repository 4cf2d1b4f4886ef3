#pragma once
// Independent formulations the blur is checked against, and small helpers
// shared with the keying engine's tests.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "filter/GaussianKernels.h"
#include "stdfx/DIB.h"
#include "stdfx/Tables.h"
#include "tests/pixmill/ImageTestUtil.h"

namespace filtertest {

using namespace stdfx::internal;

// The recursive filter written straight from its definition, in long double
// and with the coefficients used as given (no rounding to float, no offset):
// p[k] = sum_i n_i x[k-i] - d_i p[k-i], taps before the start replaced by
// (n_i - e_i) x[0]; q[k] the same backwards with m, d, f; result p + q.
inline std::vector<long double> DericheLine(const std::vector<int>& x,
                                            const DericheCoefficients& c) {
  const int L = int(x.size());
  // One direction: num = n and edge = e forwards (step 1), m and f backwards.
  auto pass = [&](const double* num, const double* edge, int step) {
    std::vector<long double> p(L);
    for (int j = 0; j < L; ++j) {
      const int k = step > 0 ? j : L - 1 - j, first = step > 0 ? 0 : L - 1;
      long double acc = 0;
      for (int i = 0; i <= 4; ++i) {
        const int at = k - i * step;
        if (at < 0 || at > L - 1)
          acc += ((long double)num[i] - edge[i]) * x[first];
        else
          acc += (long double)num[i] * x[at] - (i > 0 ? (long double)c.d[i] * p[at] : 0.0L);
      }
      p[k] = acc;
    }
    return p;
  };
  std::vector<long double> y = pass(c.n, c.e, 1), q = pass(c.m, c.f, -1);
  for (int k = 0; k < L; ++k) y[k] += q[k];
  return y;
}

// Sigma of the Gaussian that radius r stands for: the Gaussian falls to 1/255
// at distance clamp(r, 1, 100) + 1.
inline double SigmaOfRadius(double r) {
  return (std::clamp(r, 1.0, 100.0) + 1.0) / std::sqrt(2.0 * std::log(255.0));
}

// x87 tag word: 0xFFFF when the MMX/x87 register file is empty. fnstenv
// masks the x87 exceptions; fldenv puts the environment back.
inline unsigned FpuTagWord() {
  unsigned char env[28];
  asm volatile("fnstenv %0" : "=m"(env));
  asm volatile("fldenv %0" : : "m"(env));
  return unsigned(env[8]) | unsigned(env[9]) << 8;
}
// One MMX instruction, leaving the MMX state in use; EMMS empties it.
inline void DirtyMmxState() { asm volatile("pxor %%mm0, %%mm0" : : : "mm0"); }
inline void EmptyMmxStateForTest() { asm volatile("emms"); }

// The image library's clamp table, as the blur passes it.
inline const int* ClampTable() { return stdfx::CTables::GetInstance().GetMinMaxN256P512Table0(); }

// An image attached to a buffer of the test, with guard bytes on both sides;
// 32-bit RGB unless told otherwise (YUV layouts are packed 4:2:2 UYVY).
class Frame {
 public:
  static constexpr std::size_t kGuard = 64;
  static constexpr std::uint8_t kGuardByte = 0xA5;
  Frame(int width, int height, int bitCount = 32, DWORD compression = stdfx::kLayoutRGB)
      : m_header{Header(width, height, bitCount, compression)},
        m_bpp(bitCount / 8),
        m_stride(IsYUV(compression) ? ((width * 2 + 3) & ~3) : ((width * bitCount + 31) / 32) * 4),
        m_size(std::size_t(m_stride) * std::size_t(height)),
        m_buffer(m_size + 2 * kGuard, kGuardByte),
        m_dib(&m_header, bits()) {}
  Frame(const Frame&) = delete;

  stdfx::CDIB& dib() { return m_dib; }
  tagVFBMINFOHEADER& header() { return m_header.vf; }
  std::uint8_t* bits() { return m_buffer.data() + kGuard; }
  std::uint8_t* line(int y) { return bits() + std::size_t(y) * m_stride; }
  std::uint8_t& At(int x, int y, int c = 0) { return line(y)[x * m_bpp + c]; }
  // The buffer's bytes, row padding included.
  std::vector<std::uint8_t> pixels() const {
    return {m_buffer.begin() + kGuard, m_buffer.begin() + long(kGuard + m_size)};
  }
  bool GuardsIntact() const {
    for (std::size_t i = 0; i < kGuard; ++i)
      if (m_buffer[i] != kGuardByte || m_buffer[kGuard + m_size + i] != kGuardByte) return false;
    return true;
  }
  void Fill(std::uint32_t seed) {
    std::mt19937 rng(seed);
    for (std::size_t i = 0; i < m_size; ++i) bits()[i] = static_cast<std::uint8_t>(rng());
  }
  void SetPixel(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    const std::uint8_t bgra[4] = {b, g, r, a};
    std::memcpy(line(y) + 4 * x, bgra, 4);
  }

 private:
  static bool IsYUV(DWORD c) { return c == stdfx::kLayoutYUV || c == stdfx::kLayoutYUVAZ; }
  static tagYUVBMINFOHEADER Header(int width, int height, int bitCount, DWORD compression) {
    tagYUVBMINFOHEADER h =
        IsYUV(compression)
            ? pixmill_test::MakeYUVHeader(width, height, bitCount, stdfx::kSub422UYVY)
            : tagYUVBMINFOHEADER{pixmill_test::MakeHeader(width, height, bitCount), 0, 0, 0, 0};
    h.vf.biCompression = compression;
    return h;
  }

  tagYUVBMINFOHEADER m_header;  // first, so that its fields are aligned
  int m_bpp, m_stride;
  std::size_t m_size;
  std::vector<std::uint8_t> m_buffer;
  stdfx::CDIB m_dib;
};

enum class Path { kScalarFloat, kVectorFloat, kScalarDouble, kVectorDouble };

inline bool IsDouble(Path p) { return p == Path::kScalarDouble || p == Path::kVectorDouble; }
inline bool IsVector(Path p) { return p == Path::kVectorFloat || p == Path::kVectorDouble; }

// Owns a coefficient block and 16-byte aligned line buffers of both
// precisions and runs the kernel of one path on a line of 32-bit pixels or a
// group of 8-bit lines.
class LineRunner {
 public:
  LineRunner(Path path, double radius, int maxLength)
      : m_double(IsDouble(path)),
        m_vector(IsVector(path)),
        m_float(radius, maxLength),
        m_doubles(radius, maxLength) {}

  void Pixels(const std::uint8_t* src, std::uint8_t* dst, int length) {
    Visit([&](auto& s) {
      if (!m_vector)
        GaussPixels32_ref(src, dst, length, s.block, s.fwd(), s.bwd(), ClampTable());
      else if constexpr (sizeof(s.block.edge[0]) == 4)
        GaussPixels32_sse(src, dst, length, s.block, s.fwd(), s.bwd());
      else
        GaussPixels32_sse2(src, dst, length, s.block, s.fwd(), s.bwd());
    });
  }
  void Lines(const std::uint8_t* src, std::ptrdiff_t sp, std::uint8_t* dst, std::ptrdiff_t dp,
             int lanes, int len) {
    Visit([&](auto& s) {
      if (!m_vector)
        GaussLines8_ref(src, sp, dst, dp, lanes, len, s.block, s.fwd(), s.bwd(), ClampTable());
      else if constexpr (sizeof(s.block.edge[0]) == 4)
        GaussLines8_sse(src, sp, dst, dp, lanes, len, s.block, s.fwd(), s.bwd());
      else
        GaussLines8_sse2(src, sp, dst, dp, lanes, len, s.block, s.fwd(), s.bwd());
    });
  }

 private:
  template <typename T>
  struct State {
    struct alignas(16) Quad {
      T lane[4];
    };
    State(double radius, int length) : f(std::size_t(length) + 1), b(f.size()) {
      FillCoefficientBlock(block, ComputeDericheCoefficients(radius));
    }
    T* fwd() { return f[0].lane; }
    T* bwd() { return b[0].lane; }
    CoefficientBlock<T> block;
    std::vector<Quad> f, b;
  };
  template <typename F>
  void Visit(F f) {
    return m_double ? f(m_doubles) : f(m_float);
  }

  bool m_double, m_vector;
  State<float> m_float;
  State<double> m_doubles;
};

}  // namespace filtertest
