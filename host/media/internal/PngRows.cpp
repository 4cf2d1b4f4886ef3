#include "host/media/internal/PngRows.h"

#include <algorithm>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mattix::media::internal {

namespace {

// The predictor as the PNG standard states it: the one of left, above and
// above-left nearest to left + above - above-left, ties in that order.
std::uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return std::uint8_t(a);
  return std::uint8_t(pb <= pc ? b : c);
}

}  // namespace

void BgraToRgba_ref(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  for (std::size_t i = 0; i < pixels; ++i, src += 4, dst += 4) {
    const std::uint8_t b = src[0], g = src[1], r = src[2], a = src[3];
    dst[0] = r;
    dst[1] = g;
    dst[2] = b;
    dst[3] = a;
  }
}

void PaethFilterRow_ref(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* above,
                        std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) {
    const int a = i >= 4 ? row[i - 4] : 0;
    const int b = above ? above[i] : 0;
    const int c = above && i >= 4 ? above[i - 4] : 0;
    out[i] = std::uint8_t(row[i] - Paeth(a, b, c));
  }
}

// The sums modulo 65521, reduced at least every 5552 bytes (the most that
// cannot overflow 32 bits, as zlib reduces).
constexpr std::uint32_t kAdlerBase = 65521;
constexpr std::size_t kAdlerRun = 5552;

std::uint32_t Adler32_ref(std::uint32_t adler, const std::uint8_t* data, std::size_t bytes) {
  std::uint32_t s1 = adler & 0xFFFF, s2 = adler >> 16;
  for (std::size_t i = 0; i < bytes; ++i) {
    s1 = (s1 + data[i]) % kAdlerBase;
    s2 = (s2 + s1) % kAdlerBase;
  }
  return (s2 << 16) | s1;
}

#if defined(__SSE2__)

void BgraToRgba(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  std::size_t i = 0;
  const __m128i keep = _mm_set1_epi32(int(0xFF00FF00u)), low = _mm_set1_epi32(0xFF);
  for (; i + 4 <= pixels; i += 4) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i));
    const __m128i swapped = _mm_or_si128(_mm_and_si128(p, keep),
                                         _mm_or_si128(_mm_and_si128(_mm_srli_epi32(p, 16), low),
                                                      _mm_slli_epi32(_mm_and_si128(p, low), 16)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), swapped);
  }
  BgraToRgba_ref(dst + 4 * i, src + 4 * i, pixels - i);
}

// Sixteen bytes at a time in unsigned byte lanes. With pa = |b - c| and
// pb = |a - c|, the third distance pc = |(b - c) + (a - c)| is pa + pb when
// both differences have one sign, else |pa - pb|. It may exceed 255, but
// then it is at least both pa and pb, and so is 255: saturating it changes
// none of the comparisons.
void PaethFilterRow(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* above,
                    std::size_t bytes) {
  if (!above || bytes < 4 + 16) {
    PaethFilterRow_ref(out, row, above, bytes);
    return;
  }
  // The first pixel has no left neighbour: the predictor is then `above`.
  for (std::size_t i = 0; i < 4; ++i) out[i] = std::uint8_t(row[i] - above[i]);
  auto load = [](const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  std::size_t i = 4;
  for (; i + 16 <= bytes; i += 16) {
    const __m128i x = load(row + i), a = load(row + i - 4), b = load(above + i),
                  c = load(above + i - 4);
    const __m128i pa = _mm_or_si128(_mm_subs_epu8(b, c), _mm_subs_epu8(c, b));
    const __m128i pb = _mm_or_si128(_mm_subs_epu8(a, c), _mm_subs_epu8(c, a));
    // b < c and a < c as all-ones bytes (unsigned: min(x, c) == x and x != c).
    const __m128i bBelow =
        _mm_andnot_si128(_mm_cmpeq_epi8(b, c), _mm_cmpeq_epi8(_mm_min_epu8(b, c), b));
    const __m128i aBelow =
        _mm_andnot_si128(_mm_cmpeq_epi8(a, c), _mm_cmpeq_epi8(_mm_min_epu8(a, c), a));
    const __m128i differ = _mm_xor_si128(bBelow, aBelow);
    const __m128i spread = _mm_or_si128(_mm_subs_epu8(pa, pb), _mm_subs_epu8(pb, pa));
    const __m128i pc = _mm_or_si128(_mm_and_si128(differ, spread),
                                    _mm_andnot_si128(differ, _mm_adds_epu8(pa, pb)));
    // x <= y as all-ones bytes: min(x, y) == x.
    auto le = [](__m128i u, __m128i v) { return _mm_cmpeq_epi8(_mm_min_epu8(u, v), u); };
    const __m128i takeA = _mm_and_si128(le(pa, pb), le(pa, pc));
    const __m128i takeB = _mm_andnot_si128(takeA, le(pb, pc));
    const __m128i takeC = _mm_andnot_si128(_mm_or_si128(takeA, takeB), _mm_set1_epi8(-1));
    const __m128i predictor = _mm_or_si128(
        _mm_or_si128(_mm_and_si128(takeA, a), _mm_and_si128(takeB, b)), _mm_and_si128(takeC, c));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_sub_epi8(x, predictor));
  }
  for (; i < bytes; ++i) out[i] = std::uint8_t(row[i] - Paeth(row[i - 4], above[i], above[i - 4]));
}

// Sixteen bytes at a time: s1 gains their sum, s2 gains 16 s1 (s1 before
// them) plus their sum weighted 16, 15, ..., 1. Runs of at most 5552 bytes
// (a multiple of 16) keep every 32-bit lane below overflow before reducing.
std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t bytes) {
  std::uint32_t s1 = adler & 0xFFFF, s2 = adler >> 16;
  const __m128i zero = _mm_setzero_si128();
  const __m128i weightsHigh = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
  const __m128i weightsLow = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
  auto sum32 = [](__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return std::uint32_t(_mm_cvtsi128_si32(v));
  };
  while (bytes >= 16) {
    const std::size_t run = std::min(bytes, kAdlerRun) & ~std::size_t(15);
    __m128i sums = zero, prefix = zero, weighted = zero;
    for (std::size_t i = 0; i < run; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
      prefix = _mm_add_epi32(prefix, sums);
      sums = _mm_add_epi32(sums, _mm_sad_epu8(v, zero));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), weightsHigh));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), weightsLow));
    }
    s2 += s1 * std::uint32_t(run) + 16 * sum32(prefix) + sum32(weighted);
    s1 += sum32(sums);
    s1 %= kAdlerBase;
    s2 %= kAdlerBase;
    data += run;
    bytes -= run;
  }
  return Adler32_ref((s2 << 16) | s1, data, bytes);
}

#else

void BgraToRgba(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  BgraToRgba_ref(dst, src, pixels);
}

std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t bytes) {
  return Adler32_ref(adler, data, bytes);
}

void PaethFilterRow(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* above,
                    std::size_t bytes) {
  PaethFilterRow_ref(out, row, above, bytes);
}

#endif

}  // namespace mattix::media::internal
