#pragma once
#include <cstdint>

// Windows base types on an LP64 system. LONG and DWORD are 32 bits, as on
// Win64; UINT_PTR-like handles are pointer-sized.
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using BOOL = int;
using LONGLONG = std::int64_t;

// Text: Windows' wide characters are 16 bits; here they are the platform's
// wchar_t, so L"..." literals work unchanged.
using WCHAR = wchar_t;
using LPCWSTR = const WCHAR*;
using LPWSTR = WCHAR*;

// Handles are opaque pointers, distinct types as with STRICT.
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// RECT and POINT: the exact Windows records (four and two signed 32-bit
// integers), so that the support library's rectangle and point can alias them.
struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
using RECT = tagRECT;
using LPRECT = RECT*;
using LPCRECT = const RECT*;

struct tagPOINT {
  LONG x;
  LONG y;
};
using POINT = tagPOINT;
using LPPOINT = POINT*;

struct tagSIZE {
  LONG cx;
  LONG cy;
};
using SIZE = tagSIZE;

static_assert(sizeof(RECT) == 16 && alignof(RECT) == 4);
static_assert(sizeof(POINT) == 8 && alignof(POINT) == 4);
