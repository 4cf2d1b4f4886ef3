// The key row kernels in AVX-512 lanes of sixteen pixels (compiled with
// -mavx512f -mavx512bw -mavx512dq -mavx512vl -mavx512vbmi and
// -ffp-contract=off; called only on processors that offer them all).
//
// Bit for bit the reference, by the means KeyRowSimd.h describes: exact
// float quotients for lightness, saturation and hue, the spill colour in
// double precision with the reference's operations in its order, and mask
// coordinates trusted only away from their truncation points. They differ
// in these points:
// - the coordinate is one fused multiply-add, (s * f) * sin + (f + 0.5),
//   instead of the reference's four roundings. Against the exact value with
//   the true sine, the reference is off by at most f * (eL + 2^-25 + 2^-24)
//   + ulp(2f + 1) and this one by f * eP + ulp(2f + 1), where eL and eP
//   bound the errors of the C library's sinf and cosf and of the polynomial
//   (measured over every float angle from 0 to 2 pi: 3.3e-8 and 9.3e-8, so
//   eL + eP < 2^-22.9). A lane whose coordinate lies within
//   (f + 1) * 2^-21 + 2 ulp(2f + 1) of an integer (at most 9e-5 on the
//   wheel, 1.6 times the bound) is keyed again by the reference: about one
//   lane in 2,000 (one in 600 with KeyRowSimd.h's margin). Those lanes are noted and keyed after
//   each chunk of the row, so that the loop makes no calls and keeps its constants in registers.
// - with saturation at most 1 and |sin|, |cos| at most 1 + 2^-23, a
//   coordinate never truncates past 2f: no clamp is needed.
// - the spill colour is made for one channel on its ramp and for m1 and m2
//   (see SpillHalf), not for three channels.
// - the lightness weight comes from the table held as 256 bytes in four
//   registers (byte permutes) instead of a gather; the roundings by 255 are
//   (x + 128) * 257 >> 16, the high half of a 16-bit product (equal to the
//   reference's form for every x from 0 to 65,025).
// Measured on AMD Zen 5, where they matter: the loop's loads and stores are
// masked only at the tail of a row (masked ones throughout cost a third
// more per pixel), the mask bytes come from two gathers of eight lanes
// (alone, one gather of sixteen takes as long as four of eight), and the
// spill colour is made for all sixteen lanes when any needs it (a branch
// per half mispredicts on busy pictures and costs more than it saves).
// GCC 12's AVX-512 headers start some intrinsics from an uninitialised
// register and warn about it at every use (GCC bug 105593, fixed in 13).
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ < 13
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "key/internal/KeyKernels.h"
#include "wheel/WheelGeometry.h"

namespace mattix::key::internal {
namespace {

using I = __m512i;
using F = __m512;
using D = __m512d;
using K = __mmask16;

enum class MaskRead {
  kWord,         // an unaligned 32-bit word: 3 bytes follow every row's last pixel
  kAlignedWord,  // the aligned word that holds the byte: rows are whole words
  kByte,         // one byte at a time
};

// Per-row constants.
struct Row {
  I table[4];   // the lightness weights as bytes, 64 a register
  bool window;  // some weight is below 255 (else the key weight is the chroma weight)
  F fy, fx, halfFy, halfFx, marginY, marginX;
  I stride, greyWeight;
  MaskRead read;
  float spillFactor;
};

// One unit in the last place of f (f > 0): the distance to the next float
// up, or the distance down for a power of 2.
float Ulp(float f) {
  int exponent;
  std::frexp(f, &exponent);
  return std::ldexp(1.0f, exponent - 24);
}

Row MakeRow(const KeyRowParams& p) {
  Row c;
  // Entries are 0..255: their low bytes are the weights.
  const auto bytes = [&p](int at) {
    return _mm512_cvtepi32_epi8(_mm512_loadu_si512(p.lightness + at));
  };
  for (int i = 0; i < 4; ++i) {
    I t = _mm512_castsi128_si512(bytes(64 * i));
    t = _mm512_inserti32x4(t, bytes(64 * i + 16), 1);
    t = _mm512_inserti32x4(t, bytes(64 * i + 32), 2);
    c.table[i] = _mm512_inserti32x4(t, bytes(64 * i + 48), 3);
  }
  const I full = _mm512_set1_epi8(-1);
  c.window = (_mm512_cmpeq_epi8_mask(c.table[0], full) & _mm512_cmpeq_epi8_mask(c.table[1], full) &
              _mm512_cmpeq_epi8_mask(c.table[2], full) &
              _mm512_cmpeq_epi8_mask(c.table[3], full)) != ~__mmask64(0);
  const MaskView& m = p.mask;
  c.fy = _mm512_set1_ps(m.fy);
  c.fx = _mm512_set1_ps(m.fx);
  c.halfFy = _mm512_set1_ps(m.fy + 0.5f);
  c.halfFx = _mm512_set1_ps(m.fx + 0.5f);
  c.marginY = _mm512_set1_ps((m.fy + 1.0f) * 0x1p-21f + 2.0f * Ulp(2.0f * m.fy + 1.0f));
  c.marginX = _mm512_set1_ps((m.fx + 1.0f) * 0x1p-21f + 2.0f * Ulp(2.0f * m.fx + 1.0f));
  c.stride = _mm512_set1_epi32(static_cast<std::int32_t>(m.stride));
  c.greyWeight = _mm512_set1_epi32(m.greyWeight);
  c.read = m.stride >= std::ptrdiff_t(m.width) + 3 ? MaskRead::kWord
           : m.stride % 4 == 0                     ? MaskRead::kAlignedWord
                                                   : MaskRead::kByte;
  c.spillFactor = p.spillFactor;
  return c;
}

// sin and cos of theta in 0..2pi+: reduced by the nearest multiple j of pi/2
// (pi/2 in two parts; the fused first step is exact), then the minimax
// polynomials of Cephes' sinf and cosf on |x| <= pi/4, swapped and negated
// by the quadrant j mod 4. Absolute error below 9.3e-8.
[[gnu::always_inline]] inline void SinCos(F theta, F& sine, F& cosine) {
  const F y = _mm512_mul_ps(theta, _mm512_set1_ps(0.63661977236758134f));
  const F j = _mm512_roundscale_ps(y, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  F x = _mm512_fmadd_ps(j, _mm512_set1_ps(-1.57079637050628662109375f), theta);
  x = _mm512_fmadd_ps(j, _mm512_set1_ps(4.37113900018624283e-8f), x);
  const F z = _mm512_mul_ps(x, x);
  const F xz = _mm512_mul_ps(x, z), zz = _mm512_mul_ps(z, z);
  F ps = _mm512_fmadd_ps(z, _mm512_set1_ps(-1.9515295891e-4f), _mm512_set1_ps(8.3321608736e-3f));
  ps = _mm512_fmadd_ps(ps, z, _mm512_set1_ps(-1.6666654611e-1f));
  ps = _mm512_fmadd_ps(ps, xz, x);
  F pc = _mm512_fmadd_ps(z, _mm512_set1_ps(2.443315711809948e-5f),
                         _mm512_set1_ps(-1.388731625493765e-3f));
  pc = _mm512_fmadd_ps(pc, z, _mm512_set1_ps(4.166664568298827e-2f));
  pc = _mm512_fmadd_ps(pc, zz, _mm512_fmadd_ps(z, _mm512_set1_ps(-0.5f), _mm512_set1_ps(1.0f)));
  // The quadrant in bits 30 and 31: sin is negative in quadrants 2 and 3
  // (bit 1 of q), cos in quadrants 1 and 2 (bit 1 of q + 1).
  const I q = _mm512_slli_epi32(_mm512_cvtps_epi32(j), 30);
  const K swap = _mm512_test_epi32_mask(q, _mm512_set1_epi32(1 << 30));
  const I signBit = _mm512_set1_epi32(INT32_MIN);
  const I s = _mm512_castps_si512(_mm512_mask_blend_ps(swap, ps, pc));
  const I c = _mm512_castps_si512(_mm512_mask_blend_ps(swap, pc, ps));
  // 0x78: a ^ (b & c)
  sine = _mm512_castsi512_ps(_mm512_ternarylogic_epi32(s, q, signBit, 0x78));
  cosine = _mm512_castsi512_ps(
      _mm512_ternarylogic_epi32(c, _mm512_add_epi32(q, _mm512_set1_epi32(1 << 30)), signBit, 0x78));
}

// floor(v * 255 + 0.5) as an integer. v lies within -0.5/255..1 + 0.5/255
// (sums and products of lightness and saturation in 0..1, rounded), so the
// reference's clamp to 0..255 never acts.
[[gnu::always_inline]] inline __m256i To8Bit(D v) {
  const D scaled = _mm512_add_pd(_mm512_mul_pd(v, _mm512_set1_pd(255.0)), _mm512_set1_pd(0.5));
  return _mm512_cvt_roundpd_epi32(scaled, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}

// The spill colour of eight lanes of hue h, lightness l and scaled
// saturation s, as three bytes: To8Bit of m1 (byte 0), of m2 (byte 1) and
// of the one channel on a ramp (byte 2); sixth receives floor(6 h).
//
// Of the reference's three channels, at hue positions t = h + 1/3, h and
// h - 1/3 (less their floors), one is on a ramp (t below 1/6 rising, t from
// 1/2 to 2/3 falling), one at m2 and one at m1. Which, follows from the
// sixth of the turn that h lies in: the channels' boundaries are the
// multiples of 1/6, and a hue from 8-bit colours is either a multiple
// k/6 rounded to float or at least 1/1530 from every multiple. floor(6 h)
// (exact in double) gives the sixth, also for the rounded multiples, whose
// channels the reference sorts as it sorts the rest of that sixth (5/6
// rounds down into sixth 4, counting from 0: red rises at t = 1/6 - 2e-8).
// The ramp's t and value are the reference's expressions, evaluated for
// the ramp channel alone.
[[gnu::always_inline]] inline __m256i SpillHalf(__m256 hf, __m256 lf, __m256 sf, __m256i& sixth) {
  const D h = _mm512_cvtps_pd(hf), l = _mm512_cvtps_pd(lf), s = _mm512_cvtps_pd(sf);
  const D low = _mm512_mul_pd(l, _mm512_add_pd(_mm512_set1_pd(1.0), s));
  const D high = _mm512_sub_pd(_mm512_add_pd(l, s), _mm512_mul_pd(l, s));
  const D m2 =
      _mm512_mask_mov_pd(high, _mm512_cmp_pd_mask(l, _mm512_set1_pd(0.5), _CMP_LE_OQ), low);
  const D m1 = _mm512_sub_pd(_mm512_mul_pd(_mm512_set1_pd(2.0), l), m2);
  const D span = _mm512_sub_pd(m2, m1);
  const I q = _mm512_cvttpd_epi64(_mm512_mul_pd(h, _mm512_set1_pd(6.0)));
  // The ramp channel's offset by sixth: green, red, blue, green, red, blue.
  const D offsets =
      _mm512_setr_pd(0.0, 1.0 / 3.0, -1.0 / 3.0, 0.0, 1.0 / 3.0, -1.0 / 3.0, 0.0, 0.0);
  D t = _mm512_add_pd(h, _mm512_permutexvar_pd(q, offsets));
  t = _mm512_sub_pd(t, _mm512_roundscale_pd(t, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
  // Rising in the even sixths (u = t), falling in the odd ones (u = 2/3 - t).
  const D u = _mm512_mask_sub_pd(t, _mm512_test_epi64_mask(q, _mm512_set1_epi64(1)),
                                 _mm512_set1_pd(2.0 / 3.0), t);
  const D ramp = _mm512_add_pd(m1, _mm512_mul_pd(_mm512_mul_pd(span, u), _mm512_set1_pd(6.0)));
  sixth = _mm512_cvtepi64_epi32(q);
  // 0xFE: a | b | c
  return _mm256_ternarylogic_epi32(To8Bit(m1), _mm256_slli_epi32(To8Bit(m2), 8),
                                   _mm256_slli_epi32(To8Bit(ramp), 16), 0xFE);
}

// The blue, green and red bytes of the spill colours from their m1, m2 and
// ramp bytes, by sixth (byte shuffles within each 128-bit lane).
[[gnu::always_inline]] inline I SpillColour(I values, I sixth) {
  // Source byte (0 m1, 1 m2, 2 ramp) of blue, green, red; 0x80 clears.
  const I order = _mm512_setr_epi32(0x80010200, 0x80020100, 0x80000102, 0x80000201, 0x80020001,
                                    0x80010002, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const I laneBase = _mm512_set4_epi32(0x000C0C0C, 0x00080808, 0x00040404, 0);
  return _mm512_shuffle_epi8(values,
                             _mm512_add_epi32(_mm512_permutexvar_epi32(sixth, order), laneBase));
}

// Mask bytes at the given offsets, for the chromatic lanes (0 elsewhere).
[[gnu::always_inline]] inline I MaskBytes(const std::uint8_t* pixels, I index, K lanes,
                                          MaskRead read) {
  const I ff = _mm512_set1_epi32(0xFF);
  if (read == MaskRead::kByte) {
    alignas(64) std::int32_t at[16];
    _mm512_store_si512(at, index);
    for (int i = 0; i < 16; ++i) at[i] = (lanes >> i) & 1 ? pixels[at[i]] : 0;
    return _mm512_load_si512(at);
  }
  I shift = _mm512_setzero_si512();
  if (read == MaskRead::kAlignedWord) {
    shift = _mm512_slli_epi32(_mm512_and_si512(index, _mm512_set1_epi32(3)), 3);
    index = _mm512_andnot_si512(_mm512_set1_epi32(3), index);
  }
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low = _mm256_mmask_i32gather_epi32(zero, static_cast<__mmask8>(lanes),
                                                   _mm512_castsi512_si256(index), pixels, 1);
  const __m256i high = _mm256_mmask_i32gather_epi32(zero, static_cast<__mmask8>(lanes >> 8),
                                                    _mm512_extracti64x4_epi64(index, 1), pixels, 1);
  I word = _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
  if (read == MaskRead::kAlignedWord) word = _mm512_srlv_epi32(word, shift);
  return _mm512_and_si512(word, ff);
}

// Keys the live lanes of sixteen pixels from src to dst (which may be the
// same memory). Returns the lanes to be keyed again by the reference, with
// their source pixels in px. Without a lightness window (every weight 255)
// the key weight round(255 k / 255) is k itself.
template <bool kSpill, bool kWindow>
[[gnu::always_inline]] inline K Key16(std::uint8_t* dst, const std::uint8_t* src, K live,
                                      const KeyRowParams& p, const Row& c, I& px) {
  px = _mm512_maskz_loadu_epi32(live, src);
  const I ff = _mm512_set1_epi32(0xFF);
  const I b = _mm512_and_si512(px, ff);
  const I g = _mm512_and_si512(_mm512_srli_epi32(px, 8), ff);
  const I r = _mm512_and_si512(_mm512_srli_epi32(px, 16), ff);
  const I mx = _mm512_max_epi32(r, _mm512_max_epi32(g, b));
  const I mn = _mm512_min_epi32(r, _mm512_min_epi32(g, b));
  const I sum = _mm512_add_epi32(mx, mn);
  const I delta = _mm512_sub_epi32(mx, mn);
  const K grey = _mm512_testn_epi32_mask(delta, delta);
  const K chromatic = _kandn_mask16(grey, live);

  // Saturation: delta over the nearer distance to black or white (0 / 0
  // for black and white, whose lanes are grey).
  const I den = _mm512_min_epi32(sum, _mm512_sub_epi32(_mm512_set1_epi32(510), sum));
  const F s = _mm512_div_ps(_mm512_cvtepi32_ps(delta), _mm512_cvtepi32_ps(den));

  // Hue in turns: the sector's numerator over 6 delta, red's negative
  // numerators lifted by a whole turn.
  const I d2 = _mm512_add_epi32(delta, delta);
  const I d4 = _mm512_slli_epi32(delta, 2);
  const I d6 = _mm512_add_epi32(d4, d2);
  I num = _mm512_add_epi32(_mm512_sub_epi32(r, g), d4);  // blue the largest
  num = _mm512_mask_sub_epi32(num, _mm512_cmpeq_epi32_mask(g, mx), _mm512_add_epi32(b, d2), r);
  num = _mm512_mask_sub_epi32(num, _mm512_cmpeq_epi32_mask(r, mx), g, b);
  num = _mm512_mask_add_epi32(num, _mm512_movepi32_mask(num), num, d6);
  const F h = _mm512_div_ps(_mm512_cvtepi32_ps(num), _mm512_cvtepi32_ps(d6));

  // Mask coordinates and the chroma weight.
  F sine, cosine;
  SinCos(_mm512_mul_ps(h, _mm512_set1_ps(wheel::kTwoPi)), sine, cosine);
  const F rowF = _mm512_fmadd_ps(_mm512_mul_ps(s, c.fy), sine, c.halfFy);
  const F colF = _mm512_fmadd_ps(_mm512_mul_ps(s, c.fx), cosine, c.halfFx);
  const F offRow = _mm512_abs_ps(_mm512_reduce_ps(rowF, _MM_FROUND_TO_NEAREST_INT));
  const F offCol = _mm512_abs_ps(_mm512_reduce_ps(colF, _MM_FROUND_TO_NEAREST_INT));
  const K unsure = _mm512_mask_cmp_ps_mask(chromatic, offRow, c.marginY, _CMP_LE_OQ) |
                   _mm512_mask_cmp_ps_mask(chromatic, offCol, c.marginX, _CMP_LE_OQ);
  const I index = _mm512_add_epi32(_mm512_mullo_epi32(_mm512_cvttps_epi32(rowF), c.stride),
                                   _mm512_cvttps_epi32(colF));
  const I k =
      _mm512_mask_mov_epi32(MaskBytes(p.mask.pixels, index, chromatic, c.read), grey, c.greyWeight);

  // Key weight and alpha, each rounded by 255 as (m + 128) * 257 >> 16.
  const I rounding = _mm512_set1_epi32(128), by257 = _mm512_set1_epi32(257);
  I t = k;
  if constexpr (kWindow) {
    // Lightness weight: entry (sum + 1) / 2 = trunc(l * 255 + 0.5). The
    // index's upper bytes are 0; their look-ups are cleared.
    const I li = _mm512_srli_epi32(_mm512_add_epi32(sum, _mm512_set1_epi32(1)), 1);
    const I wLow = _mm512_permutex2var_epi8(c.table[0], li, c.table[1]);
    const I wHigh = _mm512_permutex2var_epi8(c.table[2], li, c.table[3]);
    const I w = _mm512_and_si512(_mm512_mask_blend_epi8(_mm512_movepi8_mask(li), wLow, wHigh), ff);
    t = _mm512_mulhi_epu16(_mm512_add_epi32(_mm512_mullo_epi16(w, k), rounding), by257);
  }
  const I a = _mm512_add_epi32(
      _mm512_mullo_epi16(_mm512_srli_epi32(px, 24), _mm512_sub_epi32(ff, t)), rounding);
  const I alpha = _mm512_slli_epi32(_mm512_mulhi_epu16(a, by257), 24);

  I colour = px;
  if constexpr (kSpill) {
    // Chromatic colours with k in 1..254 take the desaturated colour.
    const K partly = _mm512_mask_cmplt_epu32_mask(
        chromatic, _mm512_sub_epi32(k, _mm512_set1_epi32(1)), _mm512_set1_epi32(254));
    if (partly) {
      const F l = _mm512_div_ps(_mm512_cvtepi32_ps(sum), _mm512_set1_ps(510.0f));
      // The scaled saturation as the reference clamps it (NaN counts as 0).
      F s2 = _mm512_mul_ps(s, _mm512_set1_ps(c.spillFactor));
      s2 = _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(s2, _mm512_setzero_ps(), _CMP_GT_OQ),
                               _mm512_min_ps(s2, _mm512_set1_ps(1.0f)));
      __m256i lowSixth, highSixth;
      const __m256i low = SpillHalf(_mm512_castps512_ps256(h), _mm512_castps512_ps256(l),
                                    _mm512_castps512_ps256(s2), lowSixth);
      const __m256i high = SpillHalf(_mm512_extractf32x8_ps(h, 1), _mm512_extractf32x8_ps(l, 1),
                                     _mm512_extractf32x8_ps(s2, 1), highSixth);
      const I values = _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
      const I sixth = _mm512_inserti64x4(_mm512_castsi256_si512(lowSixth), highSixth, 1);
      colour = _mm512_mask_mov_epi32(colour, partly, SpillColour(values, sixth));
    }
  }
  // 0xCA: a ? b : c, bit by bit; the top byte from alpha, the rest from colour.
  _mm512_mask_storeu_epi32(
      dst, live, _mm512_ternarylogic_epi32(_mm512_set1_epi32(INT32_MIN >> 7), alpha, colour, 0xCA));
  return unsure;
}

// The row in chunks; the unsure lanes of a chunk (their positions and
// source pixels, since dst may be src) are keyed again at its end.
template <bool kSpill, bool kWindow>
void KeyChunks(std::uint8_t* dst, const std::uint8_t* src, int width, const KeyRowParams& p,
               const Row& c) {
  const KeyRowFn reference = kSpill ? KeyRowSpill_ref : KeyRowPlain_ref;
  constexpr int kChunk = 512;
  std::uint32_t redoPixel[kChunk];
  int redoAt[kChunk];
  for (int x0 = 0; x0 < width; x0 += kChunk) {
    const int end = std::min(width, x0 + kChunk);
    int redo = 0;
    for (int x = x0; x < end; x += 16) {
      I px;
      const K live = end - x >= 16 ? K(0xFFFF) : K((1u << (end - x)) - 1);
      const K unsure = live == 0xFFFF
                           ? Key16<kSpill, kWindow>(dst + 4 * x, src + 4 * x, 0xFFFF, p, c, px)
                           : Key16<kSpill, kWindow>(dst + 4 * x, src + 4 * x, live, p, c, px);
      if (unsure) {
        alignas(64) std::uint32_t lanes[16];
        _mm512_store_si512(lanes, px);
        for (unsigned u = unsure; u; u &= u - 1) {
          const int i = __builtin_ctz(u);
          redoPixel[redo] = lanes[i];
          redoAt[redo++] = x + i;
        }
      }
    }
    for (int i = 0; i < redo; ++i)
      reference(dst + 4 * std::size_t(redoAt[i]),
                reinterpret_cast<const std::uint8_t*>(&redoPixel[i]), 1, p);
  }
}

template <bool kSpill>
void KeyRow(std::uint8_t* dst, const std::uint8_t* src, int width, const KeyRowParams& p) {
  const Row c = MakeRow(p);
  if (c.window)
    KeyChunks<kSpill, true>(dst, src, width, p, c);
  else
    KeyChunks<kSpill, false>(dst, src, width, p, c);
}

// TableIndex of the colours of sixteen pixels.
[[gnu::always_inline]] inline I TableIndex16(I c) {
  const auto bits = [c](int shift, std::int32_t mask) {
    const I moved = shift >= 0 ? _mm512_srli_epi32(c, shift) : _mm512_slli_epi32(c, -shift);
    return _mm512_and_si512(moved, _mm512_set1_epi32(mask));
  };
  // 0xFE: a | b | c
  const I low = _mm512_ternarylogic_epi32(bits(0, 0x3), bits(6, 0xC), bits(12, 0x30), 0xFE);
  const I middle = _mm512_ternarylogic_epi32(bits(-4, 0xC0), bits(2, 0x300), bits(8, 0xC00), 0xFE);
  const I high =
      _mm512_ternarylogic_epi32(bits(-8, 0xF000), bits(-4, 0xF0000), bits(0, 0xF00000), 0xFE);
  return _mm512_ternarylogic_epi32(low, middle, high, 0xFE);
}

// Sixteen pixels (the live lanes) keyed through the table: the entries of
// their colours in two gathers of eight (bytes as 32-bit words at byte
// offsets, or 32-bit entries; dead lanes read entry 0), the alpha
// round(A * u / 255) of each entry's alpha u as (A * u + 128) * 257 >> 16,
// and the colour from the source or the entry.
template <bool kSpill, class Table>
[[gnu::always_inline]] inline void Lookup16(std::uint8_t* dst, const std::uint8_t* src, K live,
                                            const Table* table) {
  const I px = _mm512_maskz_loadu_epi32(live, src);
  const I index = TableIndex16(px);
  const auto* base = reinterpret_cast<const int*>(table);
  constexpr int kScale = int(sizeof(Table));
  const __m256i low = _mm256_i32gather_epi32(base, _mm512_castsi512_si256(index), kScale);
  const __m256i high = _mm256_i32gather_epi32(base, _mm512_extracti64x4_epi64(index, 1), kScale);
  const I entry = _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
  const I u =
      kSpill ? _mm512_srli_epi32(entry, 24) : _mm512_and_si512(entry, _mm512_set1_epi32(0xFF));
  const I m =
      _mm512_add_epi32(_mm512_mullo_epi16(_mm512_srli_epi32(px, 24), u), _mm512_set1_epi32(128));
  const I alpha = _mm512_slli_epi32(_mm512_mulhi_epu16(m, _mm512_set1_epi32(257)), 24);
  // 0xCA: a ? b : c, bit by bit; the top byte from alpha, the rest from the colour.
  _mm512_mask_storeu_epi32(dst, live,
                           _mm512_ternarylogic_epi32(_mm512_set1_epi32(INT32_MIN >> 7), alpha,
                                                     kSpill ? entry : px, 0xCA));
}

template <bool kSpill, class Table>
void LookupRow(std::uint8_t* dst, const std::uint8_t* src, int width, const Table* table) {
  int x = 0;
  for (; x + 16 <= width; x += 16) Lookup16<kSpill>(dst + 4 * x, src + 4 * x, K(0xFFFF), table);
  if (x < width) Lookup16<kSpill>(dst + 4 * x, src + 4 * x, K((1u << (width - x)) - 1), table);
}

}  // namespace

void LookupRowPlain_avx512(std::uint8_t* dst, const std::uint8_t* src, int width,
                           const std::uint8_t* alphas) {
  LookupRow<false>(dst, src, width, alphas);
}

void LookupRowSpill_avx512(std::uint8_t* dst, const std::uint8_t* src, int width,
                           const std::uint32_t* keyed) {
  LookupRow<true>(dst, src, width, keyed);
}

void KeyRowPlain_avx512(std::uint8_t* dst, const std::uint8_t* src, int width,
                        const KeyRowParams& p) {
  KeyRow<false>(dst, src, width, p);
}

void KeyRowSpill_avx512(std::uint8_t* dst, const std::uint8_t* src, int width,
                        const KeyRowParams& p) {
  KeyRow<true>(dst, src, width, p);
}

}  // namespace mattix::key::internal
