#pragma once
#include <cstdint>

// 32-bit two's-complement arithmetic that wraps as the platform's integers
// do, computed in unsigned so that no signed overflow occurs: the unsigned
// result converts back modulo 2^32.
namespace stdfx::internal {

constexpr std::int32_t Add32(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
constexpr std::int32_t Sub32(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
constexpr std::int32_t Neg32(std::int32_t a) { return Sub32(0, a); }
// n * 256 as a left shift by 8, wrapping for |n| >= 2^23.
constexpr std::int32_t Shl8(std::int32_t n) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(n) << 8);
}

}  // namespace stdfx::internal
