// USER: windows and their surfaces, the pointer, mouse capture and cursors.
#include <cstring>
#include <map>
#include <utility>

#include "internal/Handles.h"
#include "internal/Raster.h"
#include "win/WinResource.h"
#include "win/WinUser.h"

namespace {

using internal::Handles;
using internal::kMaxSide;
using internal::Lock;
using internal::Raw;

struct PointerState {
  POINT position{0, 0};
  std::uintptr_t capture = 0;
  std::uintptr_t cursor = 0;  // 0: hidden
  bool cursorSet = false;     // false: the arrow, loaded on first use
  std::uintptr_t arrow = 0;
  std::map<std::pair<HINSTANCE, unsigned int>, std::uintptr_t> loaded;
};
PointerState& Pointer() { return internal::Immortal<PointerState>(); }

internal::Window* FindWindow(HWND hwnd) { return Handles().Get<internal::Window>(Raw(hwnd)); }

// The system arrow: a white arrow with a black outline, hot spot at its tip.
internal::Cursor MakeArrow() {
  internal::Cursor c{};
  const internal::Surface s{c.pixels, internal::kCursorSide, internal::kCursorSide};
  const POINT shape[] = {{0, 0}, {0, 16}, {4, 12}, {7, 19}, {9, 18}, {6, 11}, {11, 11}};
  const int n = int(sizeof(shape) / sizeof(shape[0]));
  internal::FillPolygon(s, shape, n, 0xFFFFFFFFu);
  for (int i = 0; i < n; ++i) internal::DrawLine(s, shape[i], shape[(i + 1) % n], 0xFF000000u);
  c.hotSpot = POINT{0, 0};
  return c;
}

std::uintptr_t ArrowHandle() {
  PointerState& p = Pointer();
  if (Handles().Find(p.arrow) == nullptr) p.arrow = Handles().Add(MakeArrow(), true);
  return p.arrow;
}

// A cursor from resource bytes in the layout described in win/WinUser.h.
bool ParseCursor(const unsigned char* data, DWORD size, internal::Cursor& out) {
  CURSOR_RESOURCE_HEADER r;
  if (data == nullptr || size < sizeof(r)) return false;
  std::memcpy(&r, data, sizeof(r));
  const BITMAPINFOHEADER& h = r.bitmap;
  if (h.biSize != 40 || h.biPlanes != 1 || h.biBitCount != 32 || h.biCompression != BI_RGB) {
    return false;
  }
  const int w = h.biWidth, height = h.biHeight / 2;
  if (w < 1 || w > internal::kCursorSide || h.biHeight % 2 != 0 || height < 1 ||
      height > internal::kCursorSide || r.xHotSpot >= w || r.yHotSpot >= height) {
    return false;
  }
  if (size - sizeof(r) < DWORD(w) * DWORD(height) * 4) return false;
  out = internal::Cursor{};
  const unsigned char* pixels = data + sizeof(r);
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = pixels + std::size_t(height - 1 - y) * std::size_t(w) * 4;
    std::memcpy(out.pixels + y * internal::kCursorSide, row, std::size_t(w) * 4);
  }
  out.hotSpot = POINT{r.xHotSpot, r.yHotSpot};
  return true;
}

}  // namespace

void internal::ReleasePointerState() { Pointer() = PointerState{}; }

extern "C" {

HWND WinCreateWindow(int x, int y, int width, int height) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return nullptr;
  internal::Window w;
  w.x = x;
  w.y = y;
  w.width = width;
  w.height = height;
  try {
    w.pixels.assign(std::size_t(width) * std::size_t(height), 0xFFFFFFFFu);
  } catch (...) {
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return internal::As<HWND>(Handles().Add(std::move(w)));
}

BOOL WinDestroyWindow(HWND hwnd) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (FindWindow(hwnd) == nullptr) return FALSE;
  if (Pointer().capture == Raw(hwnd)) Pointer().capture = 0;
  return Handles().Remove(Raw(hwnd)) ? TRUE : FALSE;
}

BOOL WinReadWindowPixels(HWND hwnd, void* pixels, long stride) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const internal::Window* w = FindWindow(hwnd);
  if (w == nullptr || pixels == nullptr || stride < long(w->width) * 4) return FALSE;
  for (int y = 0; y < w->height; ++y) {
    std::memcpy(static_cast<unsigned char*>(pixels) + std::size_t(y) * std::size_t(stride),
                w->pixels.data() + std::size_t(y) * std::size_t(w->width),
                std::size_t(w->width) * 4);
  }
  return TRUE;
}

BOOL WinGetCursorImage(void* pixels, POINT* hotSpot) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const internal::Cursor* c = Handles().Get<internal::Cursor>(Raw(GetCursor()));
  if (c == nullptr || pixels == nullptr || hotSpot == nullptr) return FALSE;
  std::memcpy(pixels, c->pixels, sizeof(c->pixels));
  *hotSpot = c->hotSpot;
  return TRUE;
}

BOOL IsWindow(HWND hwnd) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return FindWindow(hwnd) != nullptr ? TRUE : FALSE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const internal::Window* w = FindWindow(hwnd);
  if (w == nullptr || rect == nullptr) return FALSE;
  *rect = RECT{0, 0, w->width, w->height};
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT point) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const internal::Window* w = FindWindow(hwnd);
  if (w == nullptr || point == nullptr) return FALSE;
  point->x -= w->x;
  point->y -= w->y;
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT point) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const internal::Window* w = FindWindow(hwnd);
  if (w == nullptr || point == nullptr) return FALSE;
  point->x += w->x;
  point->y += w->y;
  return TRUE;
}

BOOL GetCursorPos(LPPOINT point) {
  if (point == nullptr) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(Lock());
  *point = Pointer().position;
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Pointer().position = POINT{x, y};
  return TRUE;
}

HWND SetCapture(HWND hwnd) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (FindWindow(hwnd) == nullptr) return nullptr;
  const std::uintptr_t previous = Pointer().capture;
  Pointer().capture = Raw(hwnd);
  return internal::As<HWND>(previous);
}

BOOL ReleaseCapture(void) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Pointer().capture = 0;
  return TRUE;
}

HWND GetCapture(void) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return internal::As<HWND>(Pointer().capture);
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  const auto id = unsigned(reinterpret_cast<std::uintptr_t>(name));
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (instance == nullptr) {
    return id == kIdcArrow ? internal::As<HCURSOR>(ArrowHandle()) : nullptr;
  }
  PointerState& p = Pointer();
  const auto key = std::make_pair(instance, id);
  const auto found = p.loaded.find(key);
  if (found != p.loaded.end()) return internal::As<HCURSOR>(found->second);
  HRSRC res = FindResourceW(instance, name, RT_CURSOR);
  if (res == nullptr) return nullptr;
  internal::Cursor c;
  if (!ParseCursor(static_cast<const unsigned char*>(LockResource(LoadResource(instance, res))),
                   SizeofResource(instance, res), c)) {
    return nullptr;
  }
  const std::uintptr_t handle = Handles().Add(c, true);
  if (handle == 0) return nullptr;
  try {
    p.loaded.emplace(key, handle);
  } catch (...) {
    // Not remembered: a later load makes another handle of the same picture.
  }
  return internal::As<HCURSOR>(handle);
}

HCURSOR SetCursor(HCURSOR cursor) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (cursor != nullptr && Handles().Get<internal::Cursor>(Raw(cursor)) == nullptr) {
    return nullptr;
  }
  const HCURSOR previous = GetCursor();
  Pointer().cursor = Raw(cursor);
  Pointer().cursorSet = true;
  return previous;
}

HCURSOR GetCursor(void) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  PointerState& p = Pointer();
  return internal::As<HCURSOR>(p.cursorSet ? p.cursor : ArrowHandle());
}

}  // extern "C"
