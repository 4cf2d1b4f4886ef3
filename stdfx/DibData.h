#pragma once
#include "stdfx/VfbmiHeader.h"

namespace stdfx {

// The record an image object points to: who owns the memory, and where the
// header and the pixels are.
//
// Ownership: when m_bCreated is true the image library allocated both the
// header (always 160 bytes of storage, so a YUV header fits) and the pixels,
// and releases them in FreeDIB or the destructor. When false the record is
// attached to memory that belongs to someone else (a host frame, a stored
// record); nothing is ever copied into it on attach, and it is never freed.
//
// The reference count is changed only through CDIB::xInterlockedIncrement and
// xInterlockedDecrement (atomic). Bit 31 of the count word doubles as a lock
// flag; the library itself never sets it. Every image object currently owns
// exactly one record (count 1): copies copy header and pixels, not the record.
struct CDibData {
  LONG m_nRefs;       // signed 32-bit, as the Windows LONG
  bool m_bCreated;    // allocated by the library (true) or attached (false)
  LONG m_nAllocated;  // bytes of pixel storage allocated; 0 when attached
  tagVFBMINFOHEADER* m_pHeader;
  unsigned char* m_pBits;
};

}  // namespace stdfx
