#pragma once
// USER: windows, the pointer, mouse capture, cursors and the keyboard's
// asynchronous key state.
//
// There is no display server. A host creates windows with WinCreateWindow:
// each is a client area at a screen position, backed by a 32-bit surface
// that GDI draws into (win/WinGdi.h) and that the host reads with
// WinReadWindowPixels. The host forwards the pointer with SetCursorPos (as
// Windows would move it) and keys with WinSetAsyncKeyState, and shows the
// cursor that WinGetCursorImage reports. The Win* functions are the host's
// side and not Windows functions; the others behave as Windows documents.
#include "win/WinApi.h"
#include "win/WinGdi.h"
#include "win/WinResource.h"
#include "win/WinTypes.h"

#include <cstddef>
#include <cstdint>

using SHORT = std::int16_t;

struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;

// Virtual-key codes.
inline constexpr int VK_SHIFT = 0x10;
inline constexpr int VK_CONTROL = 0x11;
inline constexpr int VK_MENU = 0x12;  // Alt
inline constexpr int VK_OEM_3 = 0xC0;
inline constexpr int VK_OEM_4 = 0xDB;
inline constexpr int VK_OEM_6 = 0xDD;

// The system arrow cursor, for LoadCursorW(nullptr, IDC_ARROW).
inline constexpr unsigned int kIdcArrow = 32512;
#define IDC_ARROW MAKEINTRESOURCEW(32512)

// Cursor resources of a module (RT_CURSOR, registered as in
// win/WinResource.h) are read in the layout Windows uses for a 32-bit
// cursor resource, all little-endian: CURSOR_RESOURCE_HEADER below, then
// w * h pixels of 4 bytes (blue, green, red, straight alpha), rows
// bottom-up, then optionally the 1-bit AND mask, which is ignored: the alpha
// byte alone says what shows. The picture sits at the top-left of the
// 32 x 32 cursor; the rest is transparent. Other layouts, a hot spot outside
// the picture or too few bytes load as null.
#pragma pack(push, 1)
struct CURSOR_RESOURCE_HEADER {
  WORD xHotSpot;  // pixels from the left
  WORD yHotSpot;  // pixels from the top
  // biSize 40, biWidth w (1..32), biHeight 2 * h (h 1..32: the colour image
  // and the mask together), biPlanes 1, biBitCount 32, biCompression BI_RGB.
  BITMAPINFOHEADER bitmap;
};
#pragma pack(pop)
static_assert(sizeof(CURSOR_RESOURCE_HEADER) == 44);
static_assert(offsetof(CURSOR_RESOURCE_HEADER, yHotSpot) == 2);
static_assert(offsetof(CURSOR_RESOURCE_HEADER, bitmap) == 4);

extern "C" {

// ---- Keyboard ----

// The state of virtual key vk: bit 15 (the value is negative) while it is
// held down, 0 otherwise or for a code outside 0..255.
WINAPI_EXPORT SHORT GetAsyncKeyState(int vk);
// Marks virtual key vk held down or released (codes outside 0..255 are
// ignored). Host side: the stand-in for the keyboard.
WINAPI_EXPORT void WinSetAsyncKeyState(int vk, BOOL down);

// ---- Windows (host side) ----

// A window whose client area is width x height pixels (1 to 16384 each)
// with its top-left pixel at (x, y) on the screen, filled with opaque
// white. Null for a bad size or when memory is short.
WINAPI_EXPORT HWND WinCreateWindow(int x, int y, int width, int height);
// Destroys the window: its handle goes stale, the capture is released if it
// held it, device contexts on it draw nothing from then on. FALSE for a bad
// handle.
WINAPI_EXPORT BOOL WinDestroyWindow(HWND hwnd);
// Copies the client area's pixels, rows top-down, 4 bytes a pixel (blue,
// green, red, alpha 255), rows `stride` bytes apart (at least width * 4).
WINAPI_EXPORT BOOL WinReadWindowPixels(HWND hwnd, void* pixels, long stride);
// The current cursor as a 32 x 32 picture (4 bytes a pixel: blue, green,
// red, straight alpha; rows top-down, 128 bytes apart) and its hot spot.
// FALSE, outputs untouched, while the cursor is hidden (SetCursor(null)).
WINAPI_EXPORT BOOL WinGetCursorImage(void* pixels, POINT* hotSpot);

// ---- Windows (as Windows documents them) ----

WINAPI_EXPORT BOOL IsWindow(HWND hwnd);
// (0, 0, width, height) of the client area.
WINAPI_EXPORT BOOL GetClientRect(HWND hwnd, LPRECT rect);
WINAPI_EXPORT BOOL ScreenToClient(HWND hwnd, LPPOINT point);
WINAPI_EXPORT BOOL ClientToScreen(HWND hwnd, LPPOINT point);

// ---- Pointer, capture and cursors ----

// The pointer position in screen coordinates, as the host last set it
// (initially (0, 0)).
WINAPI_EXPORT BOOL GetCursorPos(LPPOINT point);
WINAPI_EXPORT BOOL SetCursorPos(int x, int y);
// Gives the capture to hwnd and returns the window that held it (or null);
// null and no change for a bad window.
WINAPI_EXPORT HWND SetCapture(HWND hwnd);
WINAPI_EXPORT BOOL ReleaseCapture(void);
WINAPI_EXPORT HWND GetCapture(void);
// instance null: the system cursors (IDC_ARROW only). Otherwise the module's
// RT_CURSOR resource `name` in the layout above. Loading the same cursor
// again returns the same handle. Null when missing or malformed.
WINAPI_EXPORT HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
// Makes cursor current (null hides it) and returns the previous one; a
// stale handle is refused (returns null, nothing changes).
WINAPI_EXPORT HCURSOR SetCursor(HCURSOR cursor);
// The current cursor: the arrow until SetCursor changes it.
WINAPI_EXPORT HCURSOR GetCursor(void);

}  // extern "C"
