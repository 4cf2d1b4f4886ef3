#pragma once
#include <cstdint>

#include "stdfx/StdfxApi.h"

namespace stdfx {

namespace internal {
struct FixedAccess;
}

// A signed 24.8 fixed-point number: value = raw / 256, resolution 1/256,
// range -8388608 to 8388607.99609375. Arithmetic on the raw value is 32-bit
// two's complement and wraps silently; nothing saturates.
//
// Each member's name carries its rounding:
//   Int, _floor, floor    toward -infinity
//   _ceil, ceil           toward +infinity
//   _Round, Round         nearest, halves toward +infinity
//   _Floor, Floor         toward zero
//   _Ceil, Ceil           away from zero
// Products and quotients go through MulDiv: nearest 1/256, halves away from
// zero; a zero divisor or a result outside 32 bits gives raw -1.
//
// The interface's "long" is a signed 32-bit integer and its "long double" a
// double. Here they keep their own overloads with the real C++ types (so the
// overload set and the table of virtual operations keep their distinct
// slots, and a call with a long never picks the int twin by accident): a
// long operand is truncated to its low 32 bits and then behaves exactly as
// the int twin; a long double is rounded to a double and then behaves
// exactly as the double twin; operator long / long double return the int /
// double result widened.
//
// The virtual operations are declared in the order of the table of virtual
// operations that the exported interface fixes; do not reorder them. The
// class has a table of virtual operations but no virtual destructor: it is a
// value type, never deleted through a pointer to a base.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class STDFX_API CFixedx248 {
 public:
  // Zero (the interface leaves the default value unset; zero is allowed).
  CFixedx248();
  CFixedx248(const CFixedx248& other);
  // raw = n * 256, wrapping for |n| >= 2^23.
  CFixedx248(int n);
  CFixedx248(long n);
  // raw = trunc(256 v + 0.5) for v >= 0, trunc(256 v - 0.5) otherwise (half
  // away from zero); a NaN or a v whose truncation does not fit 32 bits gives
  // raw -2^31 (what the x86 conversion instruction yields).
  CFixedx248(double v);
  CFixedx248(long double v);

  // v is 16.16 fixed point: raw = (v + 128) >> 8, for negative v computed as
  // -((127 - v) >> 8) (halves toward +infinity; wraps at the extremes).
  virtual void Assign1616(int v);

  virtual CFixedx248& operator=(long double v);
  virtual CFixedx248& operator=(double v);
  virtual CFixedx248& operator=(long n);
  virtual CFixedx248& operator=(int n);
  virtual CFixedx248& operator=(const CFixedx248& other);

  // Integer results; see the rounding table above.
  virtual int _Round() const;
  virtual int _Floor() const;
  virtual int _Ceil() const;

  // _Round() * 256, _Floor() * 256, _Ceil() * 256, calling the integer
  // versions through the table of virtual operations.
  virtual CFixedx248 Round() const;
  virtual CFixedx248 Floor() const;
  virtual CFixedx248 Ceil() const;

  // raw & ~255 and (raw + 255) & ~255.
  virtual CFixedx248 floor() const;
  virtual CFixedx248 ceil() const;

  // int and long: _Round() through the table of virtual operations.
  // float: (float)raw * 2^-8 in single precision; double: raw * 2^-8 exactly.
  virtual operator int() const;
  virtual operator long() const;
  virtual operator float() const;
  virtual operator double() const;
  virtual operator long double() const;

  // Integer operands n stand for n * 256, formed in 32 bits.
  virtual CFixedx248 operator-(long n) const;
  virtual CFixedx248 operator-(int n) const;
  virtual CFixedx248 operator-(const CFixedx248& b) const;
  virtual CFixedx248 operator-() const;

  virtual CFixedx248 operator+(long n) const;
  virtual CFixedx248 operator+(int n) const;
  virtual CFixedx248 operator+(const CFixedx248& b) const;

  // MulDiv(a, b, 256) and MulDiv(a, n * 256, 256).
  virtual CFixedx248 operator*(long n) const;
  virtual CFixedx248 operator*(int n) const;
  virtual CFixedx248 operator*(const CFixedx248& b) const;

  // MulDiv(a, 256, b) and MulDiv(a, 256, n * 256).
  virtual CFixedx248 operator/(long n) const;
  virtual CFixedx248 operator/(int n) const;
  virtual CFixedx248 operator/(const CFixedx248& b) const;

  virtual CFixedx248& operator+=(long n);
  virtual CFixedx248& operator+=(int n);
  virtual CFixedx248& operator+=(const CFixedx248& b);
  virtual CFixedx248& operator-=(long n);
  virtual CFixedx248& operator-=(int n);
  virtual CFixedx248& operator-=(const CFixedx248& b);
  virtual CFixedx248& operator*=(long n);
  virtual CFixedx248& operator*=(int n);
  virtual CFixedx248& operator*=(const CFixedx248& b);
  virtual CFixedx248& operator/=(long n);
  virtual CFixedx248& operator/=(int n);
  virtual CFixedx248& operator/=(const CFixedx248& b);

  // 1 or 0, comparing signed raw values (n * 256 formed in 32 bits).
  virtual int operator<(int n) const;
  virtual int operator<(const CFixedx248& b) const;
  virtual int operator>(int n) const;
  virtual int operator>(const CFixedx248& b) const;
  virtual int operator<=(int n) const;
  virtual int operator<=(const CFixedx248& b) const;
  virtual int operator>=(int n) const;
  virtual int operator>=(const CFixedx248& b) const;
  virtual int operator==(int n) const;
  virtual int operator==(const CFixedx248& b) const;
  virtual int operator!=(int n) const;
  virtual int operator!=(const CFixedx248& b) const;

  // Sign and magnitude for printing: |raw| >> 8, |raw| & 255 (the magnitude
  // taken unsigned, so raw -2^31 gives 8388608 and 0), L'-' or L' '.
  virtual int TraceInt() const;
  virtual int TraceFrac() const;
  virtual wchar_t TraceSign() const;

  // raw >> 8 (toward -infinity) and raw & 255; Int() + Frac() / 256 is the
  // number.
  int Int() const;
  int Frac() const;
  // raw >> 8 and (raw + 255) >> 8.
  int _floor() const;
  int _ceil() const;

 private:
  friend struct internal::FixedAccess;

  // MulDiv(p, q, 256) and MulDiv(p, 256, q).
  static int __fixed8_mul(int p, int q);
  static int __fixed8_div(int p, int q);

  std::int32_t m_raw;
};
#pragma GCC diagnostic pop

}  // namespace stdfx
