#include "stdfx/Fixedx248.h"

#include <cmath>
#include <cstdint>

#include "stdfx/internal/Wrap32.h"
#include "win/WinKernel.h"

namespace stdfx {

namespace internal {

// Raw access for the members that build results; hidden, not exported.
struct FixedAccess {
  static CFixedx248 Make(std::int32_t raw) {
    CFixedx248 r;
    r.m_raw = raw;
    return r;
  }
};

}  // namespace internal

namespace {

using internal::Add32;
using internal::FixedAccess;
using internal::Neg32;
using internal::Shl8;
using internal::Sub32;

// A long operand stands for its low 32 bits.
std::int32_t Low32(long n) { return static_cast<std::int32_t>(n); }

// Round half away from zero to the nearest 1/256. The truncation of t fits
// 32 bits exactly when -2^31 - 1 < t < 2^31; beyond that (and for a NaN,
// which fails both comparisons) the result is -2^31, as the x86 truncating
// conversion gives, instead of the undefined C++ cast.
std::int32_t RawFromDouble(double v) {
  const double t = v >= 0 ? 256.0 * v + 0.5 : 256.0 * v - 0.5;
  if (t > -2147483649.0 && t < 2147483648.0) return static_cast<std::int32_t>(t);
  return INT32_MIN;
}

// A long double counts as a double. Values beyond any double's range are
// clamped first (converting them is undefined); they are out of range
// either way.
double ToDouble(long double v) {
  if (std::isnan(v)) return static_cast<double>(v);
  if (v > 1e300L) return 1e300;
  if (v < -1e300L) return -1e300;
  return static_cast<double>(v);
}

}  // namespace

CFixedx248::CFixedx248() : m_raw(0) {}
CFixedx248::CFixedx248(const CFixedx248& other) : m_raw(other.m_raw) {}
CFixedx248::CFixedx248(int n) : m_raw(Shl8(n)) {}
CFixedx248::CFixedx248(long n) : m_raw(Shl8(Low32(n))) {}
CFixedx248::CFixedx248(double v) : m_raw(RawFromDouble(v)) {}
CFixedx248::CFixedx248(long double v) : m_raw(RawFromDouble(ToDouble(v))) {}

void CFixedx248::Assign1616(int v) {
  m_raw = v >= 0 ? Add32(v, 128) >> 8 : Neg32(Sub32(127, v) >> 8);
}

CFixedx248& CFixedx248::operator=(long double v) {
  m_raw = RawFromDouble(ToDouble(v));
  return *this;
}
CFixedx248& CFixedx248::operator=(double v) {
  m_raw = RawFromDouble(v);
  return *this;
}
CFixedx248& CFixedx248::operator=(long n) {
  m_raw = Shl8(Low32(n));
  return *this;
}
CFixedx248& CFixedx248::operator=(int n) {
  m_raw = Shl8(n);
  return *this;
}
CFixedx248& CFixedx248::operator=(const CFixedx248& other) {
  m_raw = other.m_raw;
  return *this;
}

int CFixedx248::_Round() const {
  return m_raw >= 0 ? Add32(m_raw, 128) >> 8 : Neg32(Sub32(127, m_raw) >> 8);
}
int CFixedx248::_Floor() const { return m_raw >= 0 ? m_raw >> 8 : Neg32(Neg32(m_raw) >> 8); }
int CFixedx248::_Ceil() const {
  return m_raw >= 0 ? Add32(m_raw, 255) >> 8 : Neg32(Sub32(255, m_raw) >> 8);
}

CFixedx248 CFixedx248::Round() const { return FixedAccess::Make(Shl8(_Round())); }
CFixedx248 CFixedx248::Floor() const { return FixedAccess::Make(Shl8(_Floor())); }
CFixedx248 CFixedx248::Ceil() const { return FixedAccess::Make(Shl8(_Ceil())); }

CFixedx248 CFixedx248::floor() const { return FixedAccess::Make(m_raw & ~255); }
CFixedx248 CFixedx248::ceil() const { return FixedAccess::Make(Add32(m_raw, 255) & ~255); }

CFixedx248::operator int() const { return _Round(); }
CFixedx248::operator long() const { return _Round(); }
CFixedx248::operator float() const { return static_cast<float>(m_raw) * 0.00390625f; }
CFixedx248::operator double() const { return static_cast<double>(m_raw) * 0.00390625; }
CFixedx248::operator long double() const { return static_cast<double>(m_raw) * 0.00390625; }

CFixedx248 CFixedx248::operator-(long n) const { return CFixedx248::operator-(Low32(n)); }
CFixedx248 CFixedx248::operator-(int n) const { return FixedAccess::Make(Sub32(m_raw, Shl8(n))); }
CFixedx248 CFixedx248::operator-(const CFixedx248& b) const {
  return FixedAccess::Make(Sub32(m_raw, b.m_raw));
}
CFixedx248 CFixedx248::operator-() const { return FixedAccess::Make(Neg32(m_raw)); }

CFixedx248 CFixedx248::operator+(long n) const { return CFixedx248::operator+(Low32(n)); }
CFixedx248 CFixedx248::operator+(int n) const { return FixedAccess::Make(Add32(m_raw, Shl8(n))); }
CFixedx248 CFixedx248::operator+(const CFixedx248& b) const {
  return FixedAccess::Make(Add32(m_raw, b.m_raw));
}

CFixedx248 CFixedx248::operator*(long n) const { return CFixedx248::operator*(Low32(n)); }
CFixedx248 CFixedx248::operator*(int n) const {
  return FixedAccess::Make(__fixed8_mul(m_raw, Shl8(n)));
}
CFixedx248 CFixedx248::operator*(const CFixedx248& b) const {
  return FixedAccess::Make(__fixed8_mul(m_raw, b.m_raw));
}

CFixedx248 CFixedx248::operator/(long n) const { return CFixedx248::operator/(Low32(n)); }
CFixedx248 CFixedx248::operator/(int n) const {
  return FixedAccess::Make(__fixed8_div(m_raw, Shl8(n)));
}
CFixedx248 CFixedx248::operator/(const CFixedx248& b) const {
  return FixedAccess::Make(__fixed8_div(m_raw, b.m_raw));
}

CFixedx248& CFixedx248::operator+=(long n) { return CFixedx248::operator+=(Low32(n)); }
CFixedx248& CFixedx248::operator+=(int n) {
  m_raw = Add32(m_raw, Shl8(n));
  return *this;
}
CFixedx248& CFixedx248::operator+=(const CFixedx248& b) {
  m_raw = Add32(m_raw, b.m_raw);
  return *this;
}
CFixedx248& CFixedx248::operator-=(long n) { return CFixedx248::operator-=(Low32(n)); }
CFixedx248& CFixedx248::operator-=(int n) {
  m_raw = Sub32(m_raw, Shl8(n));
  return *this;
}
CFixedx248& CFixedx248::operator-=(const CFixedx248& b) {
  m_raw = Sub32(m_raw, b.m_raw);
  return *this;
}
CFixedx248& CFixedx248::operator*=(long n) { return CFixedx248::operator*=(Low32(n)); }
CFixedx248& CFixedx248::operator*=(int n) {
  m_raw = __fixed8_mul(m_raw, Shl8(n));
  return *this;
}
CFixedx248& CFixedx248::operator*=(const CFixedx248& b) {
  m_raw = __fixed8_mul(m_raw, b.m_raw);
  return *this;
}
CFixedx248& CFixedx248::operator/=(long n) { return CFixedx248::operator/=(Low32(n)); }
CFixedx248& CFixedx248::operator/=(int n) {
  m_raw = __fixed8_div(m_raw, Shl8(n));
  return *this;
}
CFixedx248& CFixedx248::operator/=(const CFixedx248& b) {
  m_raw = __fixed8_div(m_raw, b.m_raw);
  return *this;
}

int CFixedx248::operator<(int n) const { return m_raw < Shl8(n) ? 1 : 0; }
int CFixedx248::operator<(const CFixedx248& b) const { return m_raw < b.m_raw ? 1 : 0; }
int CFixedx248::operator>(int n) const { return m_raw > Shl8(n) ? 1 : 0; }
int CFixedx248::operator>(const CFixedx248& b) const { return m_raw > b.m_raw ? 1 : 0; }
int CFixedx248::operator<=(int n) const { return m_raw <= Shl8(n) ? 1 : 0; }
int CFixedx248::operator<=(const CFixedx248& b) const { return m_raw <= b.m_raw ? 1 : 0; }
int CFixedx248::operator>=(int n) const { return m_raw >= Shl8(n) ? 1 : 0; }
int CFixedx248::operator>=(const CFixedx248& b) const { return m_raw >= b.m_raw ? 1 : 0; }
int CFixedx248::operator==(int n) const { return m_raw == Shl8(n) ? 1 : 0; }
int CFixedx248::operator==(const CFixedx248& b) const { return m_raw == b.m_raw ? 1 : 0; }
int CFixedx248::operator!=(int n) const { return m_raw != Shl8(n) ? 1 : 0; }
int CFixedx248::operator!=(const CFixedx248& b) const { return m_raw != b.m_raw ? 1 : 0; }

namespace {
std::uint32_t Magnitude(std::int32_t raw) {
  return raw < 0 ? 0u - static_cast<std::uint32_t>(raw) : static_cast<std::uint32_t>(raw);
}
}  // namespace

int CFixedx248::TraceInt() const { return static_cast<int>(Magnitude(m_raw) >> 8); }
int CFixedx248::TraceFrac() const { return static_cast<int>(Magnitude(m_raw) & 255u); }
wchar_t CFixedx248::TraceSign() const { return m_raw < 0 ? L'-' : L' '; }

int CFixedx248::Int() const { return m_raw >> 8; }
int CFixedx248::Frac() const { return m_raw & 255; }
int CFixedx248::_floor() const { return m_raw >> 8; }
int CFixedx248::_ceil() const { return Add32(m_raw, 255) >> 8; }

int CFixedx248::__fixed8_mul(int p, int q) { return MulDiv(p, q, 256); }
int CFixedx248::__fixed8_div(int p, int q) { return MulDiv(p, 256, q); }

}  // namespace stdfx
