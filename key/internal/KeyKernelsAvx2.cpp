// The key row kernels in AVX2 lanes of eight pixels (compiled with -mavx2
// -mfma and -ffp-contract=off, so that only the sine and cosine use fused
// multiply-adds; called only on processors that offer AVX2 and FMA).
#include <immintrin.h>

#include "key/internal/KeyRowSimd.h"

namespace mattix::key::internal {
namespace {

struct Avx2 {
  static constexpr int kLanes = 8;
  using F = __m256;
  using I = __m256i;
  using D = __m256d;
  using DI = __m128i;  // four 32-bit results of a double half

  static I LoadI(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const I*>(p));
  }
  static void StoreI(std::uint8_t* p, I v) { _mm256_storeu_si256(reinterpret_cast<I*>(p), v); }
  static I SetI(std::int32_t v) { return _mm256_set1_epi32(v); }
  static F SetF(float v) { return _mm256_set1_ps(v); }
  static D SetD(double v) { return _mm256_set1_pd(v); }
  static F CastF(I v) { return _mm256_castsi256_ps(v); }
  static I CastI(F v) { return _mm256_castps_si256(v); }

  static I AndI(I a, I b) { return _mm256_and_si256(a, b); }
  static I AndNotI(I a, I b) { return _mm256_andnot_si256(a, b); }  // ~a & b
  static I OrI(I a, I b) { return _mm256_or_si256(a, b); }
  static I AddI(I a, I b) { return _mm256_add_epi32(a, b); }
  static I SubI(I a, I b) { return _mm256_sub_epi32(a, b); }
  static I MulI(I a, I b) { return _mm256_mullo_epi32(a, b); }
  static I MinI(I a, I b) { return _mm256_min_epi32(a, b); }
  static I MaxI(I a, I b) { return _mm256_max_epi32(a, b); }
  static I EqI(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
  static I GtI(I a, I b) { return _mm256_cmpgt_epi32(a, b); }
  static I BlendI(I mask, I a, I b) { return _mm256_blendv_epi8(a, b, mask); }
  static I SrlI(I v, int n) { return _mm256_srli_epi32(v, n); }
  static I SllI(I v, int n) { return _mm256_slli_epi32(v, n); }
  static bool AnyI(I mask) { return !_mm256_testz_si256(mask, mask); }
  static std::uint32_t LaneBits(I mask) { return std::uint32_t(_mm256_movemask_ps(CastF(mask))); }

  static F ToF(I v) { return _mm256_cvtepi32_ps(v); }
  static I TruncI(F v) { return _mm256_cvttps_epi32(v); }
  static F AddF(F a, F b) { return _mm256_add_ps(a, b); }
  static F SubF(F a, F b) { return _mm256_sub_ps(a, b); }
  static F MulF(F a, F b) { return _mm256_mul_ps(a, b); }
  static F DivF(F a, F b) { return _mm256_div_ps(a, b); }
  static F FmaF(F a, F b, F c) { return _mm256_fmadd_ps(a, b, c); }
  static F MinF(F a, F b) { return _mm256_min_ps(a, b); }
  static F AndF(F a, F b) { return _mm256_and_ps(a, b); }
  static F XorF(F a, F b) { return _mm256_xor_ps(a, b); }
  static F AbsF(F v) { return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), v); }
  static F RoundF(F v) { return _mm256_round_ps(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC); }
  static F LeF(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
  static F GtF(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
  static F BlendF(F mask, F a, F b) { return _mm256_blendv_ps(a, b, mask); }

  static void SplitD(F v, D& low, D& high) {
    low = _mm256_cvtps_pd(_mm256_castps256_ps128(v));
    high = _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1));
  }
  static D AddD(D a, D b) { return _mm256_add_pd(a, b); }
  static D SubD(D a, D b) { return _mm256_sub_pd(a, b); }
  static D MulD(D a, D b) { return _mm256_mul_pd(a, b); }
  static D MinD(D a, D b) { return _mm256_min_pd(a, b); }
  static D MaxD(D a, D b) { return _mm256_max_pd(a, b); }
  static D FloorD(D v) { return _mm256_floor_pd(v); }
  static D LtD(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
  static D LeD(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
  static D BlendD(D mask, D a, D b) { return _mm256_blendv_pd(a, b, mask); }
  static DI TruncD(D v) { return _mm256_cvttpd_epi32(v); }
  static DI OrDI(DI a, DI b) { return _mm_or_si128(a, b); }
  static DI SllDI(DI v, int n) { return _mm_slli_epi32(v, n); }
  static I JoinDI(DI low, DI high) { return _mm256_set_m128i(high, low); }

  [[gnu::always_inline]] static I Gather32(const std::uint32_t* table, I index) {
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), index, 4);
  }
  // Mask bytes at the given offsets: whole aligned words when the rows are
  // (the word of any byte then lies inside the mask's stride * height bytes),
  // single bytes otherwise.
  [[gnu::always_inline]] static I MaskBytes(const std::uint8_t* pixels, I index, bool wordGather) {
    if (wordGather) {
      const I word = _mm256_i32gather_epi32(reinterpret_cast<const int*>(pixels),
                                            _mm256_andnot_si256(SetI(3), index), 1);
      const I shift = _mm256_slli_epi32(_mm256_and_si256(index, SetI(3)), 3);
      return _mm256_and_si256(_mm256_srlv_epi32(word, shift), SetI(0xFF));
    }
    alignas(32) std::int32_t at[kLanes];
    _mm256_store_si256(reinterpret_cast<I*>(at), index);
    return _mm256_setr_epi32(pixels[at[0]], pixels[at[1]], pixels[at[2]], pixels[at[3]],
                             pixels[at[4]], pixels[at[5]], pixels[at[6]], pixels[at[7]]);
  }
};

// TableIndex of the colours of eight pixels.
[[gnu::always_inline]] inline __m256i TableIndex8(__m256i c) {
  const auto bits = [c](int shift, std::int32_t mask) {
    const __m256i moved = shift >= 0 ? _mm256_srli_epi32(c, shift) : _mm256_slli_epi32(c, -shift);
    return _mm256_and_si256(moved, _mm256_set1_epi32(mask));
  };
  __m256i v = _mm256_or_si256(bits(0, 0x3), bits(6, 0xC));
  v = _mm256_or_si256(v, _mm256_or_si256(bits(12, 0x30), bits(-4, 0xC0)));
  v = _mm256_or_si256(v, _mm256_or_si256(bits(2, 0x300), bits(8, 0xC00)));
  v = _mm256_or_si256(v, _mm256_or_si256(bits(-8, 0xF000), bits(-4, 0xF0000)));
  return _mm256_or_si256(v, bits(0, 0xF00000));
}

// Eight pixels keyed through the table: the entries of their colours
// (bytes as 32-bit words at byte offsets, or 32-bit entries), the alpha
// round(A * u / 255) of each entry's alpha u as (m + (m >> 8)) >> 8 of
// m = A * u + 128, and the colour from the source or the entry.
template <bool kSpill, class Table>
[[gnu::always_inline]] inline void Lookup8(std::uint8_t* dst, const std::uint8_t* src,
                                           const Table* table) {
  const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
  const __m256i index = TableIndex8(px);
  const __m256i entry =
      _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), index, int(sizeof(Table)));
  const __m256i u =
      kSpill ? _mm256_srli_epi32(entry, 24) : _mm256_and_si256(entry, _mm256_set1_epi32(0xFF));
  const __m256i m =
      _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srli_epi32(px, 24), u), _mm256_set1_epi32(128));
  const __m256i alpha = _mm256_srli_epi32(_mm256_add_epi32(m, _mm256_srli_epi32(m, 8)), 8);
  const __m256i colour = _mm256_and_si256(kSpill ? entry : px, _mm256_set1_epi32(0xFFFFFF));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst),
                      _mm256_or_si256(colour, _mm256_slli_epi32(alpha, 24)));
}

}  // namespace

void LookupRowPlain_avx2(std::uint8_t* dst, const std::uint8_t* src, int width,
                         const std::uint8_t* alphas) {
  int x = 0;
  for (; x + 8 <= width; x += 8) Lookup8<false>(dst + 4 * x, src + 4 * x, alphas);
  LookupRowPlain_ref(dst + 4 * x, src + 4 * x, width - x, alphas);
}

void LookupRowSpill_avx2(std::uint8_t* dst, const std::uint8_t* src, int width,
                         const std::uint32_t* keyed) {
  int x = 0;
  for (; x + 8 <= width; x += 8) Lookup8<true>(dst + 4 * x, src + 4 * x, keyed);
  LookupRowSpill_ref(dst + 4 * x, src + 4 * x, width - x, keyed);
}

void KeyRowPlain_avx2(std::uint8_t* dst, const std::uint8_t* src, int width,
                      const KeyRowParams& p) {
  KeyRow<Pair<Pair<Avx2>>, false>(dst, src, width, p);
}

void KeyRowSpill_avx2(std::uint8_t* dst, const std::uint8_t* src, int width,
                      const KeyRowParams& p) {
  KeyRow<Pair<Pair<Avx2>>, true>(dst, src, width, p);
}

}  // namespace mattix::key::internal
