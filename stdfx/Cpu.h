#pragma once
// What the processor reports about its vector instruction sets, read with
// the CPUID instruction (leaf 1, EDX bits 23, 25 and 26) once per process.
// False on processors that are not x86 and on x86 processors that do not
// offer leaf 1. Every x86-64 processor reports all three.
#include "stdfx/StdfxApi.h"

namespace stdfx {

STDFX_API bool IsMMXCPU();
STDFX_API bool IsSSECPU();
STDFX_API bool IsSSE2CPU();

}  // namespace stdfx
