#include "stdfx/Cpu.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace stdfx {
namespace {

// EDX of CPUID leaf 1, or 0 when there is no such leaf.
unsigned FeatureBits() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return edx;
#endif
  return 0;
}

bool HasFeature(unsigned bit) {
  static const unsigned bits = FeatureBits();
  return (bits >> bit) & 1u;
}

}  // namespace

bool IsMMXCPU() { return HasFeature(23); }
bool IsSSECPU() { return HasFeature(25); }
bool IsSSE2CPU() { return HasFeature(26); }

}  // namespace stdfx
