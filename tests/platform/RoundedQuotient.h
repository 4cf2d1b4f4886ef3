#pragma once
// MulDiv's rule in exact 128-bit arithmetic, for its test and for the
// fixed-point products and quotients that go through it.
#include <cstdint>

namespace win_test {

__extension__ typedef __int128 Int128;

// num / den rounded to nearest with halves away from zero; -1 for a zero
// divisor or a result beyond 32 bits.
inline std::int32_t RoundedQuotient(Int128 num, Int128 den) {
  if (den == 0) return -1;
  const Int128 an = num < 0 ? -num : num, ad = den < 0 ? -den : den;
  const Int128 q = (2 * an + ad) / (2 * ad), signedQ = (num < 0) != (den < 0) ? -q : q;
  return signedQ < INT32_MIN || signedQ > INT32_MAX ? -1 : static_cast<std::int32_t>(signedQ);
}

}  // namespace win_test
