#pragma once
// The desktop: one process-wide 32-bit surface (bytes blue, green, red,
// alpha; rows top-down) standing in for the screen. Diagnostic drawing goes
// here, and a host or a test reads it back.
//
// The surface starts 1024 x 768, all zero, and is allocated on first use.
// Every call locks, so threads may draw concurrently.
#include "win/WinApi.h"
#include "win/WinTypes.h"

extern "C" {

// Resizes the surface (1 to 16384 pixels a side) and clears it to 0.
WINAPI_EXPORT BOOL WinDesktopResize(int width, int height);
WINAPI_EXPORT void WinDesktopGetSize(int* width, int* height);
// Fills the whole surface with one 0xAARRGGBB value.
WINAPI_EXPORT void WinDesktopClear(DWORD bgra);
// Writes a w x h block of 32-bit pixels whose top row is at `pixels` and
// whose rows are `stride` bytes apart (negative for bottom-up memory) to
// (x, y), clipped to the surface. False when nothing lies on the surface.
WINAPI_EXPORT BOOL WinDesktopWrite(int x, int y, int w, int h, const void* pixels, long stride);
// Reads a w x h block at (x, y) into `pixels` (rows `stride` bytes apart);
// parts off the surface read as 0. False for bad arguments.
WINAPI_EXPORT BOOL WinDesktopRead(int x, int y, int w, int h, void* pixels, long stride);
// Counts the writes so far; a reader can tell whether anything was drawn.
WINAPI_EXPORT DWORD WinDesktopWriteCount(void);

}  // extern "C"
