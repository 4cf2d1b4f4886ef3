// Kernel services of the Windows layer: MulDiv, critical sections and
// module handles.
#include "win/WinKernel.h"

#include <dlfcn.h>

#include <cstdint>
#include <limits>
#include <mutex>
#include <new>

extern "C" int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  // |number * numerator| <= 2^62 fits 64 bits; dividing magnitudes makes
  // the rounding symmetric.
  const std::int64_t product = std::int64_t{number} * numerator;
  const bool negative = (product < 0) != (denominator < 0);
  const std::uint64_t p =
      product < 0 ? 0 - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product);
  const std::uint64_t d =
      denominator < 0 ? 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(denominator))
                      : static_cast<std::uint64_t>(denominator);
  std::uint64_t q = p / d;
  const std::uint64_t r = p % d;
  if (r >= d - r) ++q;  // remainder at least half the divisor: away from zero
  const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
  if (q > limit) return -1;
  return negative ? static_cast<int>(0 - static_cast<std::int64_t>(q)) : static_cast<int>(q);
}

namespace {
using SectionLock = std::recursive_mutex;
static_assert(sizeof(SectionLock) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(SectionLock) <= alignof(CRITICAL_SECTION));
SectionLock* AsLock(LPCRITICAL_SECTION cs) {
  return std::launder(reinterpret_cast<SectionLock*>(cs->opaque));
}
}  // namespace

extern "C" void InitializeCriticalSection(LPCRITICAL_SECTION cs) { new (cs->opaque) SectionLock(); }
extern "C" void DeleteCriticalSection(LPCRITICAL_SECTION cs) { AsLock(cs)->~SectionLock(); }
extern "C" void EnterCriticalSection(LPCRITICAL_SECTION cs) { AsLock(cs)->lock(); }
extern "C" void LeaveCriticalSection(LPCRITICAL_SECTION cs) { AsLock(cs)->unlock(); }
extern "C" BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
  return AsLock(cs)->try_lock() ? TRUE : FALSE;
}

extern "C" BOOL GetModuleHandleExW(DWORD flags, LPCWSTR address, HMODULE* module) {
  if (module == nullptr) return FALSE;
  *module = nullptr;
  Dl_info info{};
  if ((flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0 || address == nullptr ||
      dladdr(address, &info) == 0)
    return FALSE;
  *module = static_cast<HMODULE>(info.dli_fbase);
  return *module != nullptr;
}
