#pragma once
// stdfx::CGaussian: Gaussian blur of an 8-bit or 32-bit image at a cost per
// pixel that does not depend on the radius. It runs Deriche's fourth-order
// recursive approximation of the Gaussian (1993) forward and backward down
// every column, then along every row.
//
// Mode 1 computes in single precision (SSE path with four lanes when the
// processor has SSE), mode 2 in double precision (SSE2 path); without the
// instruction set each falls back to a scalar path of the same precision.
// The vector paths round p + q to nearest with halves to even and clamp with
// saturating packs; the scalar paths compute trunc(p + 0.5 + q) and clamp
// through the image library's clamp table. The two agree except where a sum
// lies on (or within rounding of) a half.
//
// Usage:
//   stdfx::CGaussian blur(1);
//   int status = blur.Blur(target, source, radiusX, radiusY);
// target and source are images of the same size (the target may be the
// source itself); both 8 bits or both 32 bits per pixel. Statuses:
//   0  done; also for width or height 0 and for no radius present (|r| not
//      above the double epsilon, a NaN included): nothing is written then;
//   20 the buffers could not be allocated (also: a target bit count other
//      than 8, 16, 32 or 64, which the buffers refuse before the depths are
//      compared);
//   25 any other exception, after emptying the MMX state;
//   27 the bit depths are unsupported or differ; also a target or source
//      without header or pixels, a negative width, a source smaller than the
//      target, or an image whose rows do not lie in its buffer as plain rows
//      (compressed or packed layouts). The target is untouched.
// Every way out of Blur releases the buffers and leaves the MMX state empty.
#include <memory>

#include "filter/GaussianKernels.h"
#include "filter/MemR2C.h"

namespace stdfx {

class CDIB;

class CGaussian {
 public:
  static constexpr int kDone = 0;
  static constexpr int kOutOfMemory = 20;
  static constexpr int kException = 25;
  static constexpr int kUnsupportedDepth = 27;

  // mode 1: single precision; 2: double precision (any other value runs as 1).
  explicit CGaussian(unsigned int mode);
  CGaussian(const CGaussian&) = delete;
  CGaussian& operator=(const CGaussian&) = delete;
  virtual ~CGaussian();

  // Deletes both owned buffers; the block pointers become null.
  virtual void FreeBuffers();

  // Blurs source into target with the given radii (in pixels; limited to
  // 1..100 before use, so 0.5 blurs as 1 and 250 as 100). A radius whose
  // absolute value is not above the double epsilon skips that direction.
  // Mode 2 runs BlurSSE2, any other mode BlurSSE; exceptions become statuses.
  virtual int Blur(CDIB& target, CDIB& source, double horizontalRadius, double verticalRadius);

  // Deriche's coefficients for one radius: forward numerators n, backward
  // numerators m, forward and backward denominators (equal), forward and
  // backward edge terms e and f. Five doubles each.
  virtual void ComputeCoefficients(double* n, double* m, double* d, double* backwardD, double* e,
                                   double* f, double radius);

  // Frees, then allocates the transposition buffer (eight lines of the
  // image's height, sized by bit count: 8, 16, 32 or 64) and the 16-byte
  // aligned work block of the mode's precision (two coefficient blocks, two
  // line buffers of max(width, height) * 4 + 4 samples). False for another
  // bit count or a negative size; throws std::bad_alloc when memory is short.
  virtual bool AllocateBuffers(int width, int height, int stride, unsigned short bitCount);

  // The passes themselves, single and double precision; they do not catch.
  // Each needs the buffers of its own precision: called on an object of the
  // other mode it returns 20.
  virtual int BlurSSE(CDIB& target, CDIB& source, double horizontalRadius, double verticalRadius);
  virtual int BlurSSE2(CDIB& target, CDIB& source, double horizontalRadius, double verticalRadius);

  // Runs the scalar path even where the processor offers the vector one
  // (tests and benchmarks compare the two).
  void ForceScalar(bool on) { m_forceScalar = on; }
  bool IsScalarForced() const { return m_forceScalar; }
  unsigned int Mode() const { return m_mode; }
  // True while either owned buffer exists (between AllocateBuffers and
  // FreeBuffers).
  bool HasBuffers() const { return m_transpose != nullptr || m_work != nullptr; }

 private:
  template <typename T>
  int Run(CDIB& target, CDIB& source, double horizontalRadius, double verticalRadius,
          bool vectorCpu);
  template <typename T>
  void Blocks(internal::CoefficientBlock<T>*& vertical, internal::CoefficientBlock<T>*& horizontal,
              T*& forward, T*& backward);

  unsigned int m_mode;
  std::unique_ptr<unsigned char[]> m_transpose;
  std::unique_ptr<unsigned char[]> m_work;
  // Single precision (mode 1), pointing into the work block.
  internal::CoefficientBlock<float>* m_verticalF = nullptr;
  internal::CoefficientBlock<float>* m_horizontalF = nullptr;
  float* m_forwardF = nullptr;
  float* m_backwardF = nullptr;
  // Double precision (mode 2).
  internal::CoefficientBlock<double>* m_verticalD = nullptr;
  internal::CoefficientBlock<double>* m_horizontalD = nullptr;
  double* m_forwardD = nullptr;
  double* m_backwardD = nullptr;
  CMemR2C m_r2c;
  bool m_forceScalar = false;
};

}  // namespace stdfx
