#pragma once
#include <cstdint>

#include "stdfx/Fixedx248.h"

namespace fixedtest {

// The raw value seen through the double conversion, which is exact for every
// 32-bit raw value (raw * 2^-8 needs at most 32 significant bits).
inline std::int32_t Raw(const stdfx::CFixedx248& f) {
  return static_cast<std::int32_t>(static_cast<double>(f) * 256.0);
}

// A number with the given raw value: raw / 256 is exact in a double and the
// half-away-from-zero conversion returns it unchanged.
inline stdfx::CFixedx248 FromRaw(std::int32_t raw) {
  return stdfx::CFixedx248(static_cast<double>(raw) / 256.0);
}

// n modulo 2^32 as a signed 32-bit value, computed in 64 bits.
inline std::int32_t Wrap(std::int64_t n) {
  std::int64_t m = n % 4294967296LL;
  if (m < 0) m += 4294967296LL;
  return static_cast<std::int32_t>(m >= 2147483648LL ? m - 4294967296LL : m);
}

}  // namespace fixedtest
