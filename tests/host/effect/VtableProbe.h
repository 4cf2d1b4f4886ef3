#pragma once
// Probes of the virtual-table layout under the Itanium C++ ABI on x86-64, the
// ABI the module and its host share: a pointer to a virtual member function
// holds 1 + the byte offset of the function's slot.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mattix::test {

#if defined(__x86_64__)
inline constexpr bool kCanProbeVtables = true;
#else
inline constexpr bool kCanProbeVtables = false;
#endif

// The slot of a virtual member function, or -1 for a non-virtual one.
template <class MemberFunction>
std::ptrdiff_t SlotOf(MemberFunction pmf) {
  static_assert(sizeof(MemberFunction) == 2 * sizeof(std::uintptr_t));
  std::uintptr_t words[2];
  std::memcpy(words, &pmf, sizeof words);
  if ((words[0] & 1U) == 0) return -1;
  return static_cast<std::ptrdiff_t>((words[0] - 1) / sizeof(void*));
}

}  // namespace mattix::test
