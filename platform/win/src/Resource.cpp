// Module resources: the tables that modules register, and the Windows
// look-up functions over them.
#include "win/WinResource.h"

#include <mutex>
#include <vector>

namespace {

struct Registration {
  HINSTANCE module;
  const RESOURCE_ENTRY* table;
  UINT count;
};

std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}
std::vector<Registration>& Registry() {
  static std::vector<Registration> registry;
  return registry;
}

}  // namespace

extern "C" BOOL RegisterModuleResources(HINSTANCE module, const RESOURCE_ENTRY* table, UINT count) {
  if (!module || (!table && count != 0)) return FALSE;
  std::lock_guard<std::mutex> guard(RegistryLock());
  for (Registration& r : Registry()) {
    if (r.module == module) {
      r.table = table;
      r.count = count;
      return TRUE;
    }
  }
  try {
    Registry().push_back({module, table, count});
  } catch (...) {
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL UnregisterModuleResources(HINSTANCE module) {
  std::lock_guard<std::mutex> guard(RegistryLock());
  std::vector<Registration>& reg = Registry();
  for (auto it = reg.begin(); it != reg.end(); ++it) {
    if (it->module == module) {
      reg.erase(it);
      return TRUE;
    }
  }
  return FALSE;
}

// An HRSRC is the address of the module's own table entry, which lives as
// long as the registration; LoadResource and SizeofResource read it.
extern "C" HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  if (!module || !IS_INTRESOURCE(name) || !IS_INTRESOURCE(type)) return nullptr;
  const auto id = static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(name));
  const auto kind = static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(type));
  std::lock_guard<std::mutex> guard(RegistryLock());
  for (const Registration& r : Registry()) {
    if (r.module != module) continue;
    for (UINT i = 0; i < r.count; ++i) {
      if (r.table[i].id == id && r.table[i].type == kind) {
        return reinterpret_cast<HRSRC>(const_cast<RESOURCE_ENTRY*>(&r.table[i]));
      }
    }
  }
  return nullptr;
}

extern "C" DWORD SizeofResource(HMODULE, HRSRC resource) {
  return resource ? reinterpret_cast<const RESOURCE_ENTRY*>(resource)->size : 0;
}

extern "C" HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  return resource ? const_cast<void*>(reinterpret_cast<const RESOURCE_ENTRY*>(resource)->data)
                  : nullptr;
}

extern "C" void* LockResource(HGLOBAL loaded) { return loaded; }
