// The key row kernels in SSE4.1 lanes of four pixels (compiled with -msse4.1
// and -ffp-contract=off; called only on processors that offer SSE4.1).
#include <smmintrin.h>

#include "key/internal/KeyRowSimd.h"

namespace mattix::key::internal {
namespace {

struct Sse41 {
  static constexpr int kLanes = 4;
  using F = __m128;
  using I = __m128i;
  using D = __m128d;
  using DI = __m128i;  // two 32-bit results of a double half, in the low lanes

  static I LoadI(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const I*>(p)); }
  static void StoreI(std::uint8_t* p, I v) { _mm_storeu_si128(reinterpret_cast<I*>(p), v); }
  static I SetI(std::int32_t v) { return _mm_set1_epi32(v); }
  static F SetF(float v) { return _mm_set1_ps(v); }
  static D SetD(double v) { return _mm_set1_pd(v); }
  static F CastF(I v) { return _mm_castsi128_ps(v); }
  static I CastI(F v) { return _mm_castps_si128(v); }

  static I AndI(I a, I b) { return _mm_and_si128(a, b); }
  static I AndNotI(I a, I b) { return _mm_andnot_si128(a, b); }  // ~a & b
  static I OrI(I a, I b) { return _mm_or_si128(a, b); }
  static I AddI(I a, I b) { return _mm_add_epi32(a, b); }
  static I SubI(I a, I b) { return _mm_sub_epi32(a, b); }
  static I MulI(I a, I b) { return _mm_mullo_epi32(a, b); }
  static I MinI(I a, I b) { return _mm_min_epi32(a, b); }
  static I MaxI(I a, I b) { return _mm_max_epi32(a, b); }
  static I EqI(I a, I b) { return _mm_cmpeq_epi32(a, b); }
  static I GtI(I a, I b) { return _mm_cmpgt_epi32(a, b); }
  static I BlendI(I mask, I a, I b) { return _mm_blendv_epi8(a, b, mask); }
  static I SrlI(I v, int n) { return _mm_srli_epi32(v, n); }
  static I SllI(I v, int n) { return _mm_slli_epi32(v, n); }
  static bool AnyI(I mask) { return !_mm_testz_si128(mask, mask); }
  static std::uint32_t LaneBits(I mask) { return std::uint32_t(_mm_movemask_ps(CastF(mask))); }

  static F ToF(I v) { return _mm_cvtepi32_ps(v); }
  static I TruncI(F v) { return _mm_cvttps_epi32(v); }
  static F AddF(F a, F b) { return _mm_add_ps(a, b); }
  static F SubF(F a, F b) { return _mm_sub_ps(a, b); }
  static F MulF(F a, F b) { return _mm_mul_ps(a, b); }
  static F DivF(F a, F b) { return _mm_div_ps(a, b); }
  static F FmaF(F a, F b, F c) { return _mm_add_ps(_mm_mul_ps(a, b), c); }  // not fused
  static F MinF(F a, F b) { return _mm_min_ps(a, b); }
  static F AndF(F a, F b) { return _mm_and_ps(a, b); }
  static F XorF(F a, F b) { return _mm_xor_ps(a, b); }
  static F AbsF(F v) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), v); }
  static F RoundF(F v) { return _mm_round_ps(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC); }
  static F LeF(F a, F b) { return _mm_cmple_ps(a, b); }
  static F GtF(F a, F b) { return _mm_cmpgt_ps(a, b); }
  static F BlendF(F mask, F a, F b) { return _mm_blendv_ps(a, b, mask); }

  static void SplitD(F v, D& low, D& high) {
    low = _mm_cvtps_pd(v);
    high = _mm_cvtps_pd(_mm_movehl_ps(v, v));
  }
  static D AddD(D a, D b) { return _mm_add_pd(a, b); }
  static D SubD(D a, D b) { return _mm_sub_pd(a, b); }
  static D MulD(D a, D b) { return _mm_mul_pd(a, b); }
  static D MinD(D a, D b) { return _mm_min_pd(a, b); }
  static D MaxD(D a, D b) { return _mm_max_pd(a, b); }
  static D FloorD(D v) { return _mm_floor_pd(v); }
  static D LtD(D a, D b) { return _mm_cmplt_pd(a, b); }
  static D LeD(D a, D b) { return _mm_cmple_pd(a, b); }
  static D BlendD(D mask, D a, D b) { return _mm_blendv_pd(a, b, mask); }
  static DI TruncD(D v) { return _mm_cvttpd_epi32(v); }
  static DI OrDI(DI a, DI b) { return _mm_or_si128(a, b); }
  static DI SllDI(DI v, int n) { return _mm_slli_epi32(v, n); }
  static I JoinDI(DI low, DI high) { return _mm_unpacklo_epi64(low, high); }

  [[gnu::always_inline]] static I Gather32(const std::uint32_t* table, I index) {
    alignas(16) std::int32_t at[kLanes];
    _mm_store_si128(reinterpret_cast<I*>(at), index);
    return _mm_setr_epi32(
        static_cast<std::int32_t>(table[at[0]]), static_cast<std::int32_t>(table[at[1]]),
        static_cast<std::int32_t>(table[at[2]]), static_cast<std::int32_t>(table[at[3]]));
  }
  [[gnu::always_inline]] static I MaskBytes(const std::uint8_t* pixels, I index, bool) {
    alignas(16) std::int32_t at[kLanes];
    _mm_store_si128(reinterpret_cast<I*>(at), index);
    return _mm_setr_epi32(pixels[at[0]], pixels[at[1]], pixels[at[2]], pixels[at[3]]);
  }
};

}  // namespace

void KeyRowPlain_sse41(std::uint8_t* dst, const std::uint8_t* src, int width,
                       const KeyRowParams& p) {
  KeyRow<Pair<Pair<Sse41>>, false>(dst, src, width, p);
}

void KeyRowSpill_sse41(std::uint8_t* dst, const std::uint8_t* src, int width,
                       const KeyRowParams& p) {
  KeyRow<Pair<Pair<Sse41>>, true>(dst, src, width, p);
}

}  // namespace mattix::key::internal
