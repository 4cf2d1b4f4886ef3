#pragma once
// The layer's objects behind opaque handles: windows, device contexts, pens,
// brushes, fonts, cursors and DrawDib instances, in one process-wide table.
//
// A handle's value is (generation << 32) | ((slot + 1) << 2): never null,
// and a slot that is freed and reused gets a new generation, so a stale
// handle no longer matches its slot and every look-up of it fails. All
// access happens under Lock(), a recursive mutex that module and host share.
#include <cstdint>
#include <mutex>
#include <new>
#include <variant>
#include <vector>

#include "win/WinGdi.h"
#include "win/WinTypes.h"

namespace internal {

// The largest side of a window or of the desktop, in pixels.
constexpr int kMaxSide = 16384;

// A window's client area: 32-bit pixels 0xAARRGGBB (bytes blue, green, red,
// alpha in memory), rows top-down, always opaque.
struct Window {
  int x = 0;  // screen position of the client area's top-left pixel
  int y = 0;
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

struct Dc {
  std::uintptr_t window = 0;  // the window whose client area it draws into
  std::uintptr_t pen = 0;     // selected objects (always valid: they cannot
  std::uintptr_t brush = 0;   // be deleted while selected)
  std::uintptr_t font = 0;
  COLORREF textColour = 0x000000;
  COLORREF bkColour = 0xFFFFFF;
  int bkMode = OPAQUE;
  POINT position{0, 0};
};

struct Pen {
  int style = PS_SOLID;
  int width = 1;
  COLORREF colour = 0;
};

struct Brush {
  bool hollow = false;
  COLORREF colour = 0;
};

struct Font {
  int emPixels = 11;  // the em square in pixels
};

inline constexpr int kCursorSide = 32;
struct Cursor {
  std::uint32_t pixels[kCursorSide * kCursorSide];  // 0xAARRGGBB, straight alpha, top-down
  POINT hotSpot;
};

struct DrawDib {};

using Object = std::variant<std::monostate, Window, Dc, Pen, Brush, Font, Cursor, DrawDib>;

struct Slot {
  std::uint32_t generation = 1;
  bool live = false;
  bool stock = false;  // stock objects are never deleted
  int selections = 0;  // device contexts that have this object selected
  Object object;
};

class HandleTable {
 public:
  // The handle of a new object; 0 when memory is short.
  std::uintptr_t Add(Object object, bool stock = false);
  // The slot of a live handle, or null for 0, stale or never-issued values.
  Slot* Find(std::uintptr_t handle);
  template <class T>
  T* Get(std::uintptr_t handle) {
    Slot* slot = Find(handle);
    return slot != nullptr ? std::get_if<T>(&slot->object) : nullptr;
  }
  // Frees the slot (its handle goes stale); false for a dead handle.
  bool Remove(std::uintptr_t handle);
  // Frees every slot and the table's memory: every handle goes stale, and
  // no new one is issued (Add gives 0).
  void Release();

 private:
  std::vector<Slot> m_slots;
  std::vector<std::uint32_t> m_free;
  bool m_released = false;
};

// An object that lives in the layer's own static storage and is never
// destroyed: modules may release objects during process exit, after static
// destructors have run. What it allocates is given back by the layer's
// release at unload (see Handles.cpp).
template <class T>
T& Immortal() {
  alignas(T) static unsigned char storage[sizeof(T)];
  static T* const object = new (storage) T;
  return *object;
}

std::recursive_mutex& Lock();
HandleTable& Handles();

// Give back the memory of the pointer's state (Window.cpp) and of the font
// cache (Text.cpp), which stay usable and start afresh.
void ReleasePointerState();
void ReleaseFontCache();

template <class H>
std::uintptr_t Raw(H handle) {
  return reinterpret_cast<std::uintptr_t>(handle);
}
template <class H>
H As(std::uintptr_t value) {
  return reinterpret_cast<H>(value);
}

inline std::uint32_t PixelOf(COLORREF c) {
  return 0xFF000000u | (c & 0xFFu) << 16 | (c & 0xFF00u) | (c >> 16 & 0xFFu);
}
inline COLORREF ColourOf(std::uint32_t pixel) {
  return (pixel >> 16 & 0xFFu) | (pixel & 0xFF00u) | (pixel & 0xFFu) << 16;
}

}  // namespace internal
