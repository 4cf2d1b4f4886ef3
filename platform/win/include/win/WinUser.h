#pragma once
// USER: the keyboard's asynchronous key state. There is no keyboard here, so
// the state is a process-wide table of 256 virtual keys that a host or a
// test sets; GetAsyncKeyState reads it as Windows reports a key held down.
#include "win/WinApi.h"
#include "win/WinTypes.h"

#include <cstdint>

using SHORT = std::int16_t;

// Virtual-key codes used by the module's diagnostic displays.
inline constexpr int VK_OEM_3 = 0xC0;
inline constexpr int VK_OEM_4 = 0xDB;
inline constexpr int VK_OEM_6 = 0xDD;

extern "C" {

// The state of virtual key vk: bit 15 (the value is negative) while it is
// held down, 0 otherwise or for a code outside 0..255.
WINAPI_EXPORT SHORT GetAsyncKeyState(int vk);
// Marks virtual key vk held down or released (codes outside 0..255 are
// ignored). Not a Windows function: the stand-in for the keyboard.
WINAPI_EXPORT void WinSetAsyncKeyState(int vk, BOOL down);

}  // extern "C"
