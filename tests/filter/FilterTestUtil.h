#pragma once
// Independent formulations the blur is checked against, and small helpers.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "filter/GaussianKernels.h"

namespace filtertest {

using namespace stdfx::internal;

// The recursive filter written straight from its definition, in long double
// and with the coefficients used as given (no rounding to float, no offset):
// p[k] = sum_i n_i x[k-i] - d_i p[k-i], taps before the start replaced by
// (n_i - e_i) x[0]; q[k] the same backwards with m, d, f; result p + q.
std::vector<long double> DericheLine(const std::vector<int>& x,
                                     const stdfx::internal::DericheCoefficients& c);

// Sigma of the Gaussian that radius r stands for: the Gaussian falls to 1/255
// at distance clamp(r, 1, 100) + 1.
double SigmaOfRadius(double r);

// Deterministic pseudo-random bytes.
std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed);

// x87 tag word: 0xFFFF when the MMX/x87 register file is empty.
unsigned FpuTagWord();
// Executes one MMX instruction, leaving the MMX state in use.
void DirtyMmxState();
// Executes EMMS.
void EmptyMmxStateForTest();

// A clamp table indexable from -1024 to 2047.
const int* ClampTable();

// Gain of the coefficients as stored in a block.
template <typename T>
inline double BlockGain(const CoefficientBlock<T>& b) {
  double n = 0, m = 0, d = 1;
  for (int i = 0; i < 5; ++i) {
    n += double(b.tap[i][kForwardNum][0]);
    m += double(b.tap[i][kBackwardNum][0]);
    d += double(b.tap[i][kForwardDen][0]);
  }
  return (n + m) / d;
}

enum class Path { kScalarFloat, kVectorFloat, kScalarDouble, kVectorDouble };

inline bool IsDouble(Path p) { return p == Path::kScalarDouble || p == Path::kVectorDouble; }

// Owns a coefficient block and line buffers of both precisions and runs the
// kernel of one path on a line of 32-bit pixels or a group of 8-bit lines.
class LineRunner {
 public:
  LineRunner(Path path, double radius, int maxLength)
      : m_path(path), m_float(radius, maxLength), m_double(radius, maxLength) {}

  void Pixels(const std::uint8_t* src, std::uint8_t* dst, int length) {
    const bool vector = m_path == Path::kVectorFloat || m_path == Path::kVectorDouble;
    IsDouble(m_path) ? m_double.Pixels(vector, src, dst, length)
                     : m_float.Pixels(vector, src, dst, length);
  }
  void Lines(const std::uint8_t* src, std::ptrdiff_t sp, std::uint8_t* dst, std::ptrdiff_t dp,
             int lanes, int len) {
    const bool vector = m_path == Path::kVectorFloat || m_path == Path::kVectorDouble;
    IsDouble(m_path) ? m_double.Lines(vector, src, sp, dst, dp, lanes, len)
                     : m_float.Lines(vector, src, sp, dst, dp, lanes, len);
  }
  // Forward and backward samples of the last run, widened to double.
  double Forward(std::size_t i) const {
    return IsDouble(m_path) ? m_double.fwd[i] : m_float.fwd[i];
  }
  double Backward(std::size_t i) const {
    return IsDouble(m_path) ? m_double.bwd[i] : m_float.bwd[i];
  }
  double StoredGain() const {
    return IsDouble(m_path) ? BlockGain(*m_double.block) : BlockGain(*m_float.block);
  }

 private:
  struct AlignedDelete {
    template <typename T>
    void operator()(T* p) const {
      ::operator delete[](p, std::align_val_t(16));
    }
  };
  template <typename T>
  struct State {
    State(double radius, int length)
        : fwd(new (std::align_val_t(16)) T[std::size_t(length) * 4 + 4]),
          bwd(new (std::align_val_t(16)) T[std::size_t(length) * 4 + 4]) {
      FillCoefficientBlock(*block, ComputeDericheCoefficients(radius));
    }
    void Pixels(bool vector, const std::uint8_t* src, std::uint8_t* dst, int length) {
      if (!vector)
        GaussPixels32_ref(src, dst, length, *block, fwd.get(), bwd.get(), ClampTable());
      else if constexpr (sizeof(T) == 4)
        GaussPixels32_sse(src, dst, length, *block, fwd.get(), bwd.get());
      else
        GaussPixels32_sse2(src, dst, length, *block, fwd.get(), bwd.get());
    }
    void Lines(bool vector, const std::uint8_t* src, std::ptrdiff_t sp, std::uint8_t* dst,
               std::ptrdiff_t dp, int lanes, int len) {
      if (!vector)
        GaussLines8_ref(src, sp, dst, dp, lanes, len, *block, fwd.get(), bwd.get(), ClampTable());
      else if constexpr (sizeof(T) == 4)
        GaussLines8_sse(src, sp, dst, dp, lanes, len, *block, fwd.get(), bwd.get());
      else
        GaussLines8_sse2(src, sp, dst, dp, lanes, len, *block, fwd.get(), bwd.get());
    }
    std::unique_ptr<CoefficientBlock<T>> block = std::make_unique<CoefficientBlock<T>>();
    std::unique_ptr<T[], AlignedDelete> fwd, bwd;
  };

  Path m_path;
  State<float> m_float;
  State<double> m_double;
};

}  // namespace filtertest
