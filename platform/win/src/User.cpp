// USER: the key-state table behind GetAsyncKeyState.
#include "win/WinUser.h"

#include <atomic>

namespace {

std::atomic<bool> g_keyDown[256];

}  // namespace

extern "C" {

SHORT GetAsyncKeyState(int vk) {
  if (vk < 0 || vk > 255) return 0;
  return g_keyDown[vk].load(std::memory_order_relaxed) ? SHORT(0x8000) : SHORT(0);
}

void WinSetAsyncKeyState(int vk, BOOL down) {
  if (vk < 0 || vk > 255) return;
  g_keyDown[vk].store(down != 0, std::memory_order_relaxed);
}

}  // extern "C"
