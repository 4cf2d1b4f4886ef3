#pragma once
// The vector form of the key row kernels, written once over a lane type O
// (O::kLanes pixels at a time) and compiled by each instruction-set file
// with its own flags. Everything here has internal linkage: each of those
// files gets its own copy, so no function compiled for one instruction set
// can be picked by the linker for another.
//
// Bit for bit the reference, by these means:
// - lightness, saturation and hue are single quotients of small integers
//   (lightness sum / 510, saturation delta / (sum or 510 - sum), hue
//   (numerator + sector offset) / (6 delta), the negative hues of the red
//   sector lifted by a whole turn in the numerator). A float division gives
//   such a quotient correctly rounded; the reference divides in double and
//   rounds to float, which gives the same float: double rounding is harmless
//   for a quotient when 53 >= 2 * 24 + 2 bits, and the hue's few further
//   double operations stay far below the distance (at least 2^-35 relative)
//   of a quotient with a denominator of at most 1530 from a float midpoint.
// - sine and cosine come from a polynomial whose absolute error (with that
//   of the C library's sinf and cosf) stays below 2^-21. Carried through
//   (sin * s + 1) * f + 0.5, the coordinate differs from the reference's by
//   at most (f + 1) * 2^-19; a lane whose coordinate lies within twice that
//   of an integer (the truncation and clamping points) is keyed again with
//   the reference arithmetic.
// - the spill colour is computed in double precision with the reference's
//   operations in the reference's order (the files are compiled with
//   -ffp-contract=off, so only the sine and cosine's explicit fused
//   multiply-adds are fused), so it is the reference's result.
// - the lightness table entry, trunc(l * 255 + 0.5), is (sum + 1) / 2.
// - the integer roundings use 32-bit lanes with the reference's wrap-around.
#include <cstdint>
#include <cstring>

#include "key/internal/KeyKernels.h"
#include "wheel/WheelGeometry.h"

namespace mattix::key::internal {
namespace {

// Two lane groups of O side by side: every operation is issued for both,
// so the two groups' long dependency chains (divisions, the polynomials,
// the mask gather, the alpha roundings) overlap instead of running one
// after the other. The kernels key four groups at a time (Pair<Pair<O>>,
// at most 32 lanes): a quarter faster than one group on AMD Zen 4.
template <class O>
struct Pair {
  static_assert(O::kLanes <= 16, "lane bits are 32 bits");
  static constexpr int kLanes = 2 * O::kLanes;
  struct F {
    typename O::F lo, hi;
  };
  struct I {
    typename O::I lo, hi;
  };
  struct D {
    typename O::D lo, hi;
  };
  struct DI {
    typename O::DI lo, hi;
  };

  static I LoadI(const std::uint8_t* p) { return {O::LoadI(p), O::LoadI(p + 4 * O::kLanes)}; }
  static void StoreI(std::uint8_t* p, I v) {
    O::StoreI(p, v.lo);
    O::StoreI(p + 4 * O::kLanes, v.hi);
  }
  static I SetI(std::int32_t v) { return {O::SetI(v), O::SetI(v)}; }
  static F SetF(float v) { return {O::SetF(v), O::SetF(v)}; }
  static D SetD(double v) { return {O::SetD(v), O::SetD(v)}; }
  static F CastF(I v) { return {O::CastF(v.lo), O::CastF(v.hi)}; }
  static I CastI(F v) { return {O::CastI(v.lo), O::CastI(v.hi)}; }
  static bool AnyI(I m) { return O::AnyI(O::OrI(m.lo, m.hi)); }
  static std::uint32_t LaneBits(I m) {
    return O::LaneBits(m.lo) | (O::LaneBits(m.hi) << O::kLanes);
  }
  static I SrlI(I v, int n) { return {O::SrlI(v.lo, n), O::SrlI(v.hi, n)}; }
  static I SllI(I v, int n) { return {O::SllI(v.lo, n), O::SllI(v.hi, n)}; }
  static DI SllDI(DI v, int n) { return {O::SllDI(v.lo, n), O::SllDI(v.hi, n)}; }
  static I TruncI(F v) { return {O::TruncI(v.lo), O::TruncI(v.hi)}; }
  static F ToF(I v) { return {O::ToF(v.lo), O::ToF(v.hi)}; }
  static F AbsF(F v) { return {O::AbsF(v.lo), O::AbsF(v.hi)}; }
  static F RoundF(F v) { return {O::RoundF(v.lo), O::RoundF(v.hi)}; }
  static D FloorD(D v) { return {O::FloorD(v.lo), O::FloorD(v.hi)}; }
  static DI TruncD(D v) { return {O::TruncD(v.lo), O::TruncD(v.hi)}; }
#define MATTIX_PAIR2(R, A, name) \
  static R name(A a, A b) { return {O::name(a.lo, b.lo), O::name(a.hi, b.hi)}; }
  MATTIX_PAIR2(I, I, AndI)
  MATTIX_PAIR2(I, I, AndNotI)
  MATTIX_PAIR2(I, I, OrI)
  MATTIX_PAIR2(I, I, AddI)
  MATTIX_PAIR2(I, I, SubI)
  MATTIX_PAIR2(I, I, MulI)
  MATTIX_PAIR2(I, I, MinI)
  MATTIX_PAIR2(I, I, MaxI)
  MATTIX_PAIR2(I, I, EqI)
  MATTIX_PAIR2(I, I, GtI)
  MATTIX_PAIR2(F, F, AddF)
  MATTIX_PAIR2(F, F, SubF)
  MATTIX_PAIR2(F, F, MulF)
  MATTIX_PAIR2(F, F, DivF)
  MATTIX_PAIR2(F, F, MinF)
  MATTIX_PAIR2(F, F, AndF)
  MATTIX_PAIR2(F, F, XorF)
  MATTIX_PAIR2(F, F, LeF)
  MATTIX_PAIR2(F, F, GtF)
  MATTIX_PAIR2(D, D, AddD)
  MATTIX_PAIR2(D, D, SubD)
  MATTIX_PAIR2(D, D, MulD)
  MATTIX_PAIR2(D, D, MinD)
  MATTIX_PAIR2(D, D, MaxD)
  MATTIX_PAIR2(D, D, LtD)
  MATTIX_PAIR2(D, D, LeD)
  MATTIX_PAIR2(DI, DI, OrDI)
#undef MATTIX_PAIR2
  static F FmaF(F a, F b, F c) { return {O::FmaF(a.lo, b.lo, c.lo), O::FmaF(a.hi, b.hi, c.hi)}; }
  static I BlendI(I m, I a, I b) {
    return {O::BlendI(m.lo, a.lo, b.lo), O::BlendI(m.hi, a.hi, b.hi)};
  }
  static F BlendF(F m, F a, F b) {
    return {O::BlendF(m.lo, a.lo, b.lo), O::BlendF(m.hi, a.hi, b.hi)};
  }
  static D BlendD(D m, D a, D b) {
    return {O::BlendD(m.lo, a.lo, b.lo), O::BlendD(m.hi, a.hi, b.hi)};
  }
  // The halves of F, of D and of DI pair up lane for lane.
  static void SplitD(F v, D& low, D& high) {
    O::SplitD(v.lo, low.lo, high.lo);
    O::SplitD(v.hi, low.hi, high.hi);
  }
  static I JoinDI(DI low, DI high) {
    return {O::JoinDI(low.lo, high.lo), O::JoinDI(low.hi, high.hi)};
  }
  [[gnu::always_inline]] static I Gather32(const std::uint32_t* table, I index) {
    return {O::Gather32(table, index.lo), O::Gather32(table, index.hi)};
  }
  [[gnu::always_inline]] static I MaskBytes(const std::uint8_t* pixels, I index, bool wordGather) {
    return {O::MaskBytes(pixels, index.lo, wordGather), O::MaskBytes(pixels, index.hi, wordGather)};
  }
};

// Per-call constants, broadcast once per row.
template <class O>
struct RowConstants {
  typename O::F fx, fy, marginX, marginY, twoPi;
  typename O::I lastRow, lastColumn, stride, greyWeight;
  bool wordGather;  // the mask's rows are whole 32-bit words
};

template <class O>
[[gnu::always_inline]] inline RowConstants<O> MakeConstants(const KeyRowParams& p) {
  RowConstants<O> c;
  c.fx = O::SetF(p.mask.fx);
  c.fy = O::SetF(p.mask.fy);
  c.marginX = O::SetF((p.mask.fx + 1.0f) * 0x1p-18f);
  c.marginY = O::SetF((p.mask.fy + 1.0f) * 0x1p-18f);
  c.twoPi = O::SetF(wheel::kTwoPi);
  c.lastRow = O::SetI(p.mask.height - 1);
  c.lastColumn = O::SetI(p.mask.width - 1);
  c.stride = O::SetI(static_cast<std::int32_t>(p.mask.stride));
  c.greyWeight = O::SetI(p.mask.greyWeight);
  c.wordGather = p.mask.stride % 4 == 0;
  return c;
}

// sin and cos of theta in 0..2pi+: reduced by the nearest multiple j of pi/2
// (pi/2 in three parts, exact products for j <= 4), then the minimax
// polynomials of Cephes' sinf and cosf on |x| <= pi/4, swapped and negated by
// the quadrant j mod 4. Absolute error below 4e-7. O::FmaF(a, b, c) is
// a * b + c, fused where the lanes offer it (both forms stay in the bound).
template <class O>
[[gnu::always_inline]] inline void SinCos(typename O::F theta, typename O::F& sine,
                                          typename O::F& cosine) {
  using F = typename O::F;
  const F j = O::RoundF(O::MulF(theta, O::SetF(0.63661977236758134f)));
  F x = O::FmaF(j, O::SetF(-1.5703125f), theta);
  x = O::FmaF(j, O::SetF(-4.837512969970703125e-4f), x);
  x = O::FmaF(j, O::SetF(-7.54978995489188216e-8f), x);
  const F z = O::MulF(x, x);
  const F xz = O::MulF(x, z), zz = O::MulF(z, z);
  F ps = O::FmaF(z, O::SetF(-1.9515295891e-4f), O::SetF(8.3321608736e-3f));
  ps = O::FmaF(ps, z, O::SetF(-1.6666654611e-1f));
  ps = O::FmaF(ps, xz, x);
  F pc = O::FmaF(z, O::SetF(2.443315711809948e-5f), O::SetF(-1.388731625493765e-3f));
  pc = O::FmaF(pc, z, O::SetF(4.166664568298827e-2f));
  pc = O::FmaF(pc, zz, O::FmaF(z, O::SetF(-0.5f), O::SetF(1.0f)));
  const typename O::I q = O::TruncI(j);
  const typename O::I swap = O::EqI(O::AndI(q, O::SetI(1)), O::SetI(1));
  const F signBit = O::SetF(-0.0f);
  // sin is negative in quadrants 2 and 3, cos in quadrants 1 and 2.
  const F sinSign = O::AndF(O::CastF(O::SllI(O::AndI(q, O::SetI(2)), 30)), signBit);
  const F cosSign =
      O::AndF(O::CastF(O::SllI(O::AndI(O::AddI(q, O::SetI(1)), O::SetI(2)), 30)), signBit);
  sine = O::XorF(O::BlendF(O::CastF(swap), ps, pc), sinSign);
  cosine = O::XorF(O::BlendF(O::CastF(swap), pc, ps), cosSign);
}

// Truncated, clamped mask coordinate and whether it lies too near an
// integer to be trusted.
template <class O>
[[gnu::always_inline]] inline typename O::I Coordinate(typename O::F v, typename O::F margin,
                                                       typename O::I last, typename O::I& unsure) {
  const typename O::F distance = O::AbsF(O::SubF(v, O::RoundF(v)));
  unsure = O::OrI(unsure, O::CastI(O::LeF(distance, margin)));
  return O::MinI(O::MaxI(O::TruncI(v), O::SetI(0)), last);
}

// floor(v * 255 + 0.5) limited to 0..255, as an integer (double lanes).
template <class O>
[[gnu::always_inline]] inline typename O::DI To8Bit(typename O::D v) {
  const typename O::D scaled = O::FloorD(O::AddD(O::MulD(v, O::SetD(255.0)), O::SetD(0.5)));
  return O::TruncD(O::MinD(O::MaxD(scaled, O::SetD(0.0)), O::SetD(255.0)));
}

// One channel of the HLS to RGB conversion at hue position t (turns).
template <class O>
[[gnu::always_inline]] inline typename O::DI Channel(typename O::D m1, typename O::D m2,
                                                     typename O::D t) {
  using D = typename O::D;
  t = O::SubD(t, O::FloorD(t));
  const D span = O::SubD(m2, m1);
  const D up = O::AddD(m1, O::MulD(O::MulD(span, t), O::SetD(6.0)));
  const D down = O::AddD(m1, O::MulD(O::MulD(span, O::SubD(O::SetD(2.0 / 3.0), t)), O::SetD(6.0)));
  D v = O::BlendD(O::LtD(t, O::SetD(2.0 / 3.0)), m1, down);
  v = O::BlendD(O::LtD(t, O::SetD(0.5)), v, m2);
  v = O::BlendD(O::LtD(t, O::SetD(1.0 / 6.0)), v, up);
  return To8Bit<O>(v);
}

// The spill colour (blue, green, red in bytes 0..2) of hue h, lightness l and
// scaled saturation s2 for one half of the lanes.
template <class O>
[[gnu::always_inline]] inline typename O::DI SpillColourHalf(typename O::D h, typename O::D l,
                                                             typename O::D s) {
  using D = typename O::D;
  const D low = O::MulD(l, O::AddD(O::SetD(1.0), s));
  const D high = O::SubD(O::AddD(l, s), O::MulD(l, s));
  const D m2 = O::BlendD(O::LeD(l, O::SetD(0.5)), high, low);
  const D m1 = O::SubD(O::MulD(O::SetD(2.0), l), m2);
  const typename O::DI r = Channel<O>(m1, m2, O::AddD(h, O::SetD(1.0 / 3.0)));
  const typename O::DI g = Channel<O>(m1, m2, h);
  const typename O::DI b = Channel<O>(m1, m2, O::SubD(h, O::SetD(1.0 / 3.0)));
  return O::OrDI(O::OrDI(b, O::SllDI(g, 8)), O::SllDI(r, 16));
}

// Keys kLanes pixels from src to dst (which may be the same memory).
template <class O, bool kSpill>
[[gnu::always_inline]] inline void KeyGroup(std::uint8_t* dst, const std::uint8_t* src,
                                            const KeyRowParams& p, const RowConstants<O>& c) {
  using F = typename O::F;
  using I = typename O::I;
  const I px = O::LoadI(src);
  const I byteMask = O::SetI(0xFF);
  const I b = O::AndI(px, byteMask);
  const I g = O::AndI(O::SrlI(px, 8), byteMask);
  const I r = O::AndI(O::SrlI(px, 16), byteMask);
  const I a = O::SrlI(px, 24);
  const I mx = O::MaxI(r, O::MaxI(g, b));
  const I mn = O::MinI(r, O::MinI(g, b));
  const I sum = O::AddI(mx, mn);
  const I delta = O::SubI(mx, mn);
  const I grey = O::EqI(delta, O::SetI(0));

  // The lightness table entry: trunc(l * 255 + 0.5) of l = sum / 510 is
  // (sum + 1) / 2 for every sum from 0 to 510 (the float roundings never
  // cross the half), so the lightness itself is needed by the spill form only.
  const I w = O::Gather32(p.lightness, O::SrlI(O::AddI(sum, O::SetI(1)), 1));

  // Saturation: delta over the nearer distance to black or white (greys
  // divide by at least 1 and are not used).
  const I far = O::GtI(sum, O::SetI(255));
  const I den = O::MaxI(O::BlendI(far, sum, O::SubI(O::SetI(510), sum)), O::SetI(1));
  const F s = O::DivF(O::ToF(delta), O::ToF(den));

  // Hue in turns: the sector numerator over 6 delta.
  const I rMax = O::EqI(r, mx);
  const I gMax = O::AndNotI(rMax, O::EqI(g, mx));
  const I bMax = O::AndNotI(O::OrI(rMax, gMax), O::SetI(-1));
  I num = O::AndI(rMax, O::SubI(g, b));
  num = O::OrI(num, O::AndI(gMax, O::AddI(O::SubI(b, r), O::AddI(delta, delta))));
  num = O::OrI(num, O::AndI(bMax, O::AddI(O::SubI(r, g), O::SllI(delta, 2))));
  const I sixDelta = O::AddI(O::SllI(delta, 2), O::AddI(delta, delta));
  num = O::AddI(num, O::AndI(O::GtI(O::SetI(0), num), sixDelta));
  const F h = O::DivF(O::ToF(num), O::ToF(O::MaxI(sixDelta, O::SetI(1))));

  // Mask position and chroma weight.
  F sine, cosine;
  SinCos<O>(O::MulF(h, c.twoPi), sine, cosine);
  const F one = O::SetF(1.0f), half = O::SetF(0.5f);
  const F rowF = O::AddF(O::MulF(O::AddF(O::MulF(sine, s), one), c.fy), half);
  const F colF = O::AddF(O::MulF(O::AddF(O::MulF(cosine, s), one), c.fx), half);
  I unsure = O::SetI(0);
  const I row = Coordinate<O>(rowF, c.marginY, c.lastRow, unsure);
  const I col = Coordinate<O>(colF, c.marginX, c.lastColumn, unsure);
  unsure = O::AndNotI(grey, unsure);
  const I index = O::AddI(O::MulI(row, c.stride), col);
  const I k = O::BlendI(grey, O::MaskBytes(p.mask.pixels, index, c.wordGather), c.greyWeight);

  // Key weight and alpha, in 32-bit lanes that wrap as the reference's do.
  const I rounding = O::SetI(128);
  I m = O::AddI(O::MulI(w, k), rounding);
  const I t = O::SrlI(O::AddI(m, O::SrlI(m, 8)), 8);
  m = O::AddI(O::MulI(a, O::SubI(O::SetI(255), t)), rounding);
  const I alpha = O::AndI(O::SrlI(O::AddI(m, O::SrlI(m, 8)), 8), byteMask);

  I colour = O::AndI(px, O::SetI(0x00FFFFFF));
  if constexpr (kSpill) {
    // Chromatic colours with k in 1..254 take the desaturated colour.
    const I partly = O::AndNotI(grey, O::AndI(O::GtI(k, O::SetI(0)), O::GtI(O::SetI(255), k)));
    if (O::AnyI(partly)) {
      // Both saturations as the reference clamps them (NaN counts as 0).
      const F l = O::DivF(O::ToF(sum), O::SetF(510.0f));
      const F s2 = O::MulF(s, O::SetF(p.spillFactor));
      const F sd = O::BlendF(O::GtF(s2, O::SetF(0.0f)), O::SetF(0.0f), O::MinF(s2, one));
      typename O::D h0, h1, l0, l1, s0, s1;
      O::SplitD(h, h0, h1);
      O::SplitD(l, l0, l1);
      O::SplitD(sd, s0, s1);
      const I spilled = O::JoinDI(SpillColourHalf<O>(h0, l0, s0), SpillColourHalf<O>(h1, l1, s1));
      colour = O::BlendI(partly, colour, spilled);
    }
  }
  const I out = O::OrI(colour, O::SllI(alpha, 24));

  if (!O::AnyI(unsure)) {
    O::StoreI(dst, out);
    return;
  }
  alignas(64) std::uint8_t saved[4 * O::kLanes];
  O::StoreI(saved, px);
  O::StoreI(dst, out);
  const std::uint32_t lanes = O::LaneBits(unsure);
  for (int i = 0; i < O::kLanes; ++i)
    if (lanes & (1u << i)) {
      if constexpr (kSpill)
        KeyRowSpill_ref(dst + 4 * i, saved + 4 * i, 1, p);
      else
        KeyRowPlain_ref(dst + 4 * i, saved + 4 * i, 1, p);
    }
}

template <class O, bool kSpill>
void KeyRow(std::uint8_t* dst, const std::uint8_t* src, int width, const KeyRowParams& p) {
  const RowConstants<O> c = MakeConstants<O>(p);
  int x = 0;
  for (; x + O::kLanes <= width; x += O::kLanes)
    KeyGroup<O, kSpill>(dst + 4 * x, src + 4 * x, p, c);
  if (x == width) return;
  // The tail: a partial group keyed in a buffer (zero pixels beyond the row).
  alignas(64) std::uint8_t tail[4 * O::kLanes] = {};
  const std::size_t bytes = std::size_t(width - x) * 4;
  std::memcpy(tail, src + 4 * x, bytes);
  KeyGroup<O, kSpill>(tail, tail, p, c);
  std::memcpy(dst + 4 * x, tail, bytes);
}

}  // namespace
}  // namespace mattix::key::internal
