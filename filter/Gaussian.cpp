// The image walk of the recursive Gaussian (Deriche, 1993): the vertical pass
// moves strips of 8 columns into contiguous buffer lines, filters them and
// moves them back; the horizontal pass filters rows in place. The per-line
// arithmetic lives in GaussianKernels.cpp.
#include "filter/Gaussian.h"

#include <mmintrin.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>

#include "stdfx/Cpu.h"
#include "stdfx/DIB.h"
#include "stdfx/Tables.h"

namespace stdfx {
namespace {

using internal::CoefficientBlock;

void EmptyMmxState() {
  if (IsMMXCPU() || IsSSECPU() || IsSSE2CPU()) _mm_empty();
}

// The image library's clamp table, indexable with negative values.
const int* ClampTable() { return CTables::GetInstance().GetMinMaxN256P512Table0(); }

// The vector kernels of one precision.
template <typename T>
struct VectorKernels;

template <>
struct VectorKernels<float> {
  static constexpr auto Pixels = internal::GaussPixels32_sse;
  static constexpr auto Lines = internal::GaussLines8_sse;
};

template <>
struct VectorKernels<double> {
  static constexpr auto Pixels = internal::GaussPixels32_sse2;
  static constexpr auto Lines = internal::GaussLines8_sse2;
};

// Line kernels of one precision, vector or scalar.
template <typename T>
struct LineKernels {
  static void Pixels(bool vector, const std::uint8_t* src, std::uint8_t* dst, int length,
                     CoefficientBlock<T>& b, T* fwd, T* bwd, const int* clamp0) {
    if (vector)
      VectorKernels<T>::Pixels(src, dst, length, b, fwd, bwd);
    else
      internal::GaussPixels32_ref(src, dst, length, b, fwd, bwd, clamp0);
  }
  static void Lines(bool vector, const std::uint8_t* src, std::ptrdiff_t srcPitch,
                    std::uint8_t* dst, std::ptrdiff_t dstPitch, int lanes, int length,
                    CoefficientBlock<T>& b, T* fwd, T* bwd, const int* clamp0) {
    if (vector)
      VectorKernels<T>::Lines(src, srcPitch, dst, dstPitch, lanes, length, b, fwd, bwd);
    else
      internal::GaussLines8_ref(src, srcPitch, dst, dstPitch, lanes, length, b, fwd, bwd, clamp0);
  }
};

// True when every row of a width x height image of whole bytes per pixel
// lies inside the image's pixel buffer. Refuses what the passes cannot walk
// as plain rows: compressed pixels (DIBSize is the encoded size), packed
// layouts with fewer bytes per pixel than the bit count says.
bool RowsFit(const CDIB& image, int width, int height) {
  const std::int64_t rowBytes = std::int64_t(width) * ((image.DIBBitCount() + 7) / 8);
  const std::int64_t stride = image.DIBBytesPerLine();
  if (stride < rowBytes) return false;
  return stride * (height - 1) + rowBytes <= std::int64_t(image.DIBSize());
}

// A byte count as size_t; counts no allocation could satisfy fail as one would.
std::size_t CheckedSize(std::uint64_t bytes) {
  if (bytes > std::uint64_t(std::numeric_limits<std::ptrdiff_t>::max())) throw std::bad_alloc();
  return std::size_t(bytes);
}

}  // namespace

CGaussian::CGaussian(unsigned int mode) : m_mode(mode) {}

CGaussian::~CGaussian() { FreeBuffers(); }

void CGaussian::FreeBuffers() {
  m_transpose.reset();
  m_work.reset();
  m_verticalF = m_horizontalF = nullptr;
  m_forwardF = m_backwardF = nullptr;
  m_verticalD = m_horizontalD = nullptr;
  m_forwardD = m_backwardD = nullptr;
}

int CGaussian::Blur(CDIB& target, CDIB& source, double horizontalRadius, double verticalRadius) {
  try {
    return m_mode == 2 ? BlurSSE2(target, source, horizontalRadius, verticalRadius)
                       : BlurSSE(target, source, horizontalRadius, verticalRadius);
  } catch (const std::bad_alloc&) {
    FreeBuffers();
    EmptyMmxState();
    return kOutOfMemory;
  } catch (...) {
    FreeBuffers();
    EmptyMmxState();
    return kException;
  }
}

void CGaussian::ComputeCoefficients(double* n, double* m, double* d, double* backwardD, double* e,
                                    double* f, double radius) {
  const internal::DericheCoefficients c = internal::ComputeDericheCoefficients(radius);
  for (int i = 0; i < 5; ++i) {
    n[i] = c.n[i];
    m[i] = c.m[i];
    d[i] = c.d[i];
    backwardD[i] = c.d[i];
    e[i] = c.e[i];
    f[i] = c.f[i];
  }
}

bool CGaussian::AllocateBuffers(int width, int height, int stride, unsigned short bitCount) {
  FreeBuffers();
  if (width < 0 || height < 0) return false;
  const std::uint64_t h = std::uint64_t(height);
  const std::uint64_t s = stride > 0 ? std::uint64_t(stride) : 0;
  std::uint64_t transpose = 0;
  switch (bitCount) {
    case 64:
      transpose = 8 * h * 8;
      break;
    case 32:
      transpose = 8 * h * 4;
      break;
    case 16:
      transpose = 8 * std::max(2 * h, s);
      break;
    case 8:
      transpose = 8 * std::max(s, h);
      break;
    default:
      return false;
  }
  transpose += 32;

  const std::uint64_t samples = std::uint64_t(std::max(width, height)) * 4 + 4;
  const bool isDouble = m_mode == 2;
  const std::uint64_t blockBytes =
      isDouble ? sizeof(CoefficientBlock<double>) : sizeof(CoefficientBlock<float>);
  const std::uint64_t sampleBytes = isDouble ? sizeof(double) : sizeof(float);
  const std::uint64_t work = 2 * blockBytes + 2 * samples * sampleBytes + 15;

  m_transpose.reset(new unsigned char[CheckedSize(transpose)]);
  m_work.reset(new unsigned char[CheckedSize(work)]);

  // Blocks first (each a multiple of 16 bytes), then the two line buffers
  // (samples * 4 or 8 bytes, a multiple of 16 as samples is one of 4).
  const auto base = reinterpret_cast<std::uintptr_t>(m_work.get());
  unsigned char* p = m_work.get() + ((16 - base % 16) % 16);
  if (isDouble) {
    m_verticalD = reinterpret_cast<CoefficientBlock<double>*>(p);
    m_horizontalD = m_verticalD + 1;
    m_forwardD = reinterpret_cast<double*>(m_horizontalD + 1);
    m_backwardD = m_forwardD + samples;
  } else {
    m_verticalF = reinterpret_cast<CoefficientBlock<float>*>(p);
    m_horizontalF = m_verticalF + 1;
    m_forwardF = reinterpret_cast<float*>(m_horizontalF + 1);
    m_backwardF = m_forwardF + samples;
  }
  return true;
}

template <>
void CGaussian::Blocks<float>(CoefficientBlock<float>*& vertical,
                              CoefficientBlock<float>*& horizontal, float*& forward,
                              float*& backward) {
  vertical = m_verticalF;
  horizontal = m_horizontalF;
  forward = m_forwardF;
  backward = m_backwardF;
}

template <>
void CGaussian::Blocks<double>(CoefficientBlock<double>*& vertical,
                               CoefficientBlock<double>*& horizontal, double*& forward,
                               double*& backward) {
  vertical = m_verticalD;
  horizontal = m_horizontalD;
  forward = m_forwardD;
  backward = m_backwardD;
}

int CGaussian::BlurSSE(CDIB& target, CDIB& source, double horizontalRadius, double verticalRadius) {
  return Run<float>(target, source, horizontalRadius, verticalRadius, IsSSECPU());
}

int CGaussian::BlurSSE2(CDIB& target, CDIB& source, double horizontalRadius,
                        double verticalRadius) {
  return Run<double>(target, source, horizontalRadius, verticalRadius, IsSSE2CPU());
}

template <typename T>
int CGaussian::Run(CDIB& target, CDIB& source, double horizontalRadius, double verticalRadius,
                   bool vectorCpu) {
  // Images that cannot be measured or read are refused before anything else.
  if (!target.IsValidDIB() || !source.IsValidDIB()) return kUnsupportedDepth;
  const int width = target.DIBWidth();
  const int height = target.DIBHeight();
  if (width == 0 || height == 0) return kDone;
  if (width < 0 || source.DIBWidth() < width || source.DIBHeight() < height)
    return kUnsupportedDepth;
  if (!RowsFit(target, width, height) || !RowsFit(source, width, height)) return kUnsupportedDepth;
  // Line buffers hold max(width, height) * 4 + 4 samples, strip lines
  // height * 4 bytes: keep those counts within int.
  if (std::max(width, height) > std::numeric_limits<int>::max() / 8) return kOutOfMemory;

  const int targetStride = target.DIBBytesPerLine();
  const int sourceStride = source.DIBBytesPerLine();
  const unsigned short targetBits = target.DIBBitCount();
  const unsigned short sourceBits = source.DIBBitCount();
  std::uint8_t* targetPixels = target.GetBytes();
  const std::uint8_t* sourcePixels = source.GetBytes();

  // fabs(NaN) > eps is false: a NaN radius skips its direction.
  const bool vertical = std::fabs(verticalRadius) > DBL_EPSILON;
  const bool horizontal = std::fabs(horizontalRadius) > DBL_EPSILON;

  if (!AllocateBuffers(width, height, targetStride, targetBits)) {
    FreeBuffers();
    return kOutOfMemory;
  }
  CoefficientBlock<T>* verticalBlock = nullptr;
  CoefficientBlock<T>* horizontalBlock = nullptr;
  T* forward = nullptr;
  T* backward = nullptr;
  Blocks<T>(verticalBlock, horizontalBlock, forward, backward);
  if (verticalBlock == nullptr) {  // the work block holds the other precision
    FreeBuffers();
    return kOutOfMemory;
  }
  if (vertical)
    internal::FillCoefficientBlock(*verticalBlock,
                                   internal::ComputeDericheCoefficients(verticalRadius));
  if (horizontal)
    internal::FillCoefficientBlock(*horizontalBlock,
                                   internal::ComputeDericheCoefficients(horizontalRadius));

  if (targetBits != sourceBits || (targetBits != 32 && targetBits != 8)) {
    FreeBuffers();
    return kUnsupportedDepth;
  }
  const bool vector = vectorCpu && !m_forceScalar;
  const int* clamp0 = vector ? nullptr : ClampTable();
  const int bits = targetBits;
  const int bytesPerPixel = bits / 8;

  if (vertical) {
    // One buffer line per column of the strip, height pixels long.
    unsigned char* strip = m_transpose.get();
    const int pitch = bits == 32 ? height * 4 : std::max(targetStride, height);
    for (int x = 0; x < width; x += 8) {
      const int columns = std::min(8, width - x);
      const std::uint8_t* from = sourcePixels + std::ptrdiff_t(x) * bytesPerPixel;
      std::uint8_t* to = targetPixels + std::ptrdiff_t(x) * bytesPerPixel;
      if (columns == 8) {
        m_r2c.RowsToColumns(strip, pitch, from, sourceStride, height, targetBits);
      } else {
        for (int c = 0; c < columns; ++c)
          m_r2c.GetColumn(strip + std::ptrdiff_t(c) * pitch, from + c * bytesPerPixel, sourceStride,
                          height, targetBits);
      }
      if (bits == 32) {
        for (int c = 0; c < columns; ++c) {
          std::uint8_t* line = strip + std::ptrdiff_t(c) * pitch;
          LineKernels<T>::Pixels(vector, line, line, height, *verticalBlock, forward, backward,
                                 clamp0);
        }
      } else {
        // Four columns of the strip side by side, one per lane.
        for (int c = 0; c < columns; c += 4) {
          std::uint8_t* line = strip + std::ptrdiff_t(c) * pitch;
          LineKernels<T>::Lines(vector, line, pitch, line, pitch, std::min(4, columns - c), height,
                                *verticalBlock, forward, backward, clamp0);
        }
      }
      if (columns == 8) {
        m_r2c.ColumnsToRows(to, targetStride, strip, pitch, height, targetBits);
      } else {
        for (int c = 0; c < columns; ++c)
          m_r2c.SetColumn(to + c * bytesPerPixel, targetStride, strip + std::ptrdiff_t(c) * pitch,
                          height, targetBits);
      }
    }
  }

  if (horizontal) {
    // After a vertical pass the rows to filter are already in the target.
    const std::uint8_t* in = vertical ? targetPixels : sourcePixels;
    const std::ptrdiff_t inStride = vertical ? targetStride : sourceStride;
    if (bits == 32) {
      for (int y = 0; y < height; ++y)
        LineKernels<T>::Pixels(vector, in + y * inStride,
                               targetPixels + std::ptrdiff_t(y) * targetStride, width,
                               *horizontalBlock, forward, backward, clamp0);
    } else {
      // Four rows side by side, one per lane.
      for (int y = 0; y < height; y += 4)
        LineKernels<T>::Lines(vector, in + y * inStride, inStride,
                              targetPixels + std::ptrdiff_t(y) * targetStride, targetStride,
                              std::min(4, height - y), width, *horizontalBlock, forward, backward,
                              clamp0);
    }
  }

  FreeBuffers();
  return kDone;
}

}  // namespace stdfx
