#pragma once
#include "win/WinApi.h"
#include "win/WinTypes.h"

extern "C" {

// MulDiv: number * numerator / denominator, with the product formed in 64
// bits and the quotient rounded to the nearest integer, halves away from
// zero. Returns -1 when the denominator is 0 or the rounded quotient does not
// fit a signed 32-bit integer (so -1 is also a legitimate quotient).
WINAPI_EXPORT int MulDiv(int number, int numerator, int denominator);

// A re-entrant lock, as Windows critical sections are: the owning thread may
// enter again and must leave as often as it entered. The record is opaque
// storage large enough for the layer's mutex; it must not be copied while
// initialised.
struct CRITICAL_SECTION {
  alignas(8) unsigned char opaque[64];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

WINAPI_EXPORT void InitializeCriticalSection(LPCRITICAL_SECTION cs);
WINAPI_EXPORT void DeleteCriticalSection(LPCRITICAL_SECTION cs);
WINAPI_EXPORT void EnterCriticalSection(LPCRITICAL_SECTION cs);
WINAPI_EXPORT void LeaveCriticalSection(LPCRITICAL_SECTION cs);
WINAPI_EXPORT BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);

// Module handles. A module's handle is the base address at which it is
// loaded (a module's instance handle is the same value).
inline constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x2;
inline constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x4;
// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS (names by name are not
// supported): the module that contains the code or data at `address`, in
// *module. The reference count is never changed here, so the flag
// UNCHANGED_REFCOUNT is implied. False, and *module null, when no module
// contains the address.
WINAPI_EXPORT BOOL GetModuleHandleExW(DWORD flags, LPCWSTR address, HMODULE* module);

}  // extern "C"
