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
      : m_path(path),
        m_fwdF(Buf<float>(maxLength)),
        m_bwdF(Buf<float>(maxLength)),
        m_fwdD(Buf<double>(maxLength)),
        m_bwdD(Buf<double>(maxLength)) {
    FillCoefficientBlock(*m_blockF, ComputeDericheCoefficients(radius));
    FillCoefficientBlock(*m_blockD, ComputeDericheCoefficients(radius));
  }

  void Pixels(const std::uint8_t* src, std::uint8_t* dst, int length) {
    switch (m_path) {
      case Path::kScalarFloat:
        GaussPixels32_ref(src, dst, length, *m_blockF, F(), BF(), ClampTable());
        break;
      case Path::kVectorFloat:
        GaussPixels32_sse(src, dst, length, *m_blockF, F(), BF());
        break;
      case Path::kScalarDouble:
        GaussPixels32_ref(src, dst, length, *m_blockD, D(), BD(), ClampTable());
        break;
      case Path::kVectorDouble:
        GaussPixels32_sse2(src, dst, length, *m_blockD, D(), BD());
        break;
    }
  }

  void Lines(const std::uint8_t* src, std::ptrdiff_t sp, std::uint8_t* dst, std::ptrdiff_t dp,
             int lanes, int len) {
    switch (m_path) {
      case Path::kScalarFloat:
        GaussLines8_ref(src, sp, dst, dp, lanes, len, *m_blockF, F(), BF(), ClampTable());
        break;
      case Path::kVectorFloat:
        GaussLines8_sse(src, sp, dst, dp, lanes, len, *m_blockF, F(), BF());
        break;
      case Path::kScalarDouble:
        GaussLines8_ref(src, sp, dst, dp, lanes, len, *m_blockD, D(), BD(), ClampTable());
        break;
      case Path::kVectorDouble:
        GaussLines8_sse2(src, sp, dst, dp, lanes, len, *m_blockD, D(), BD());
        break;
    }
  }

  // Forward and backward samples of the last run, widened to double.
  double Forward(std::size_t i) const { return IsDouble(m_path) ? m_fwdD[i] : m_fwdF[i]; }
  double Backward(std::size_t i) const { return IsDouble(m_path) ? m_bwdD[i] : m_bwdF[i]; }
  double StoredGain() const {
    return IsDouble(m_path) ? BlockGain(*m_blockD) : BlockGain(*m_blockF);
  }

 private:
  struct AlignedDelete {
    template <typename T>
    void operator()(T* p) const {
      ::operator delete[](p, std::align_val_t(16));
    }
  };
  template <typename T>
  using Aligned = std::unique_ptr<T[], AlignedDelete>;
  template <typename T>
  static Aligned<T> Buf(int length) {
    return Aligned<T>(new (std::align_val_t(16)) T[std::size_t(length) * 4 + 4]);
  }
  float* F() { return m_fwdF.get(); }
  float* BF() { return m_bwdF.get(); }
  double* D() { return m_fwdD.get(); }
  double* BD() { return m_bwdD.get(); }

  Path m_path;
  std::unique_ptr<CoefficientBlock<float>> m_blockF = std::make_unique<CoefficientBlock<float>>();
  std::unique_ptr<CoefficientBlock<double>> m_blockD = std::make_unique<CoefficientBlock<double>>();
  Aligned<float> m_fwdF, m_bwdF;
  Aligned<double> m_fwdD, m_bwdD;
};

}  // namespace filtertest
