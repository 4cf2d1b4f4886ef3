#pragma once
// Module resources. A Windows module carries its resources inside its file;
// here a module registers a table of them with the layer when it loads
// (RegisterModuleResources, keyed by its instance handle) and withdraws it
// when it unloads. Lookups then work as in Windows: FindResourceW by integer
// name and type, LoadResource, LockResource, SizeofResource. The table and
// the bytes it points to belong to the module and must outlive the
// registration; the layer copies nothing.
#include "win/WinApi.h"
#include "win/WinTypes.h"

// An integer resource name or type: the id in the low 16 bits of the pointer.
inline LPCWSTR MAKEINTRESOURCEW(unsigned int id) {
  return reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(id & 0xFFFFu));
}
inline bool IS_INTRESOURCE(LPCWSTR name) {
  return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}

#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)

struct HRSRC__;
using HRSRC = HRSRC__*;
using HGLOBAL = void*;

extern "C" {

// One resource of a module: integer type and id, and its bytes.
struct RESOURCE_ENTRY {
  unsigned int type;
  unsigned int id;
  const void* data;
  DWORD size;
};

// Registers (or replaces) the table of `module`. False for a null module or
// a null table with a non-zero count.
WINAPI_EXPORT BOOL RegisterModuleResources(HINSTANCE module, const RESOURCE_ENTRY* table,
                                           UINT count);
// Withdraws the table of `module`; false when none was registered.
WINAPI_EXPORT BOOL UnregisterModuleResources(HINSTANCE module);

// Only integer names and types are supported; a string name finds nothing.
WINAPI_EXPORT HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
WINAPI_EXPORT DWORD SizeofResource(HMODULE module, HRSRC resource);
WINAPI_EXPORT HGLOBAL LoadResource(HMODULE module, HRSRC resource);
WINAPI_EXPORT void* LockResource(HGLOBAL loaded);

}  // extern "C"
