// GDI: device contexts, stock and created objects, and the drawing calls.
#include <cstring>
#include <mutex>

#include "internal/Handles.h"
#include "internal/Raster.h"
#include "internal/Text.h"
#include "win/WinGdi.h"

namespace {

using internal::Handles;
using internal::Lock;
using internal::Raw;
using Guard = std::lock_guard<std::recursive_mutex>;

// Fonts in pixels per em. Windows' GUI font is an 8-point face at 96 dpi
// (an 11-pixel em, a 13-pixel line); DejaVu Sans is wider than that face,
// so it is set one pixel smaller, which keeps the 13-pixel line and lets the
// controls' longest labels ("R 255 G 255 B 255") fit their 100-pixel boxes.
constexpr int kGuiFontEm = 10;
constexpr int kSystemFontEm = 13;

std::uintptr_t Stock(int index) {
  static std::uintptr_t table[DEFAULT_GUI_FONT + 1] = {};
  if (index < 0 || index > DEFAULT_GUI_FONT) return 0;
  if (Handles().Find(table[index]) != nullptr) return table[index];
  internal::Object object;
  switch (index) {
    case WHITE_BRUSH:
      object = internal::Brush{false, RGB(255, 255, 255)};
      break;
    case LTGRAY_BRUSH:
      object = internal::Brush{false, RGB(192, 192, 192)};
      break;
    case GRAY_BRUSH:
      object = internal::Brush{false, RGB(128, 128, 128)};
      break;
    case DKGRAY_BRUSH:
      object = internal::Brush{false, RGB(64, 64, 64)};
      break;
    case BLACK_BRUSH:
      object = internal::Brush{false, RGB(0, 0, 0)};
      break;
    case NULL_BRUSH:
      object = internal::Brush{true, 0};
      break;
    case WHITE_PEN:
      object = internal::Pen{PS_SOLID, 1, RGB(255, 255, 255)};
      break;
    case BLACK_PEN:
      object = internal::Pen{PS_SOLID, 1, RGB(0, 0, 0)};
      break;
    case NULL_PEN:
      object = internal::Pen{PS_NULL, 1, 0};
      break;
    case SYSTEM_FONT:
      object = internal::Font{kSystemFontEm};
      break;
    case DEFAULT_GUI_FONT:
      object = internal::Font{kGuiFontEm};
      break;
    default:
      return 0;
  }
  table[index] = Handles().Add(std::move(object), true);
  return table[index];
}

// A context and the surface of its window; false when either is gone.
bool Target(HDC hdc, internal::Dc*& dc, internal::Surface& s) {
  dc = Handles().Get<internal::Dc>(Raw(hdc));
  if (dc == nullptr) return false;
  internal::Window* w = Handles().Get<internal::Window>(dc->window);
  if (w == nullptr) return false;
  s = internal::Surface{w->pixels.data(), w->width, w->height};
  return true;
}

void Select(std::uintptr_t& slot, std::uintptr_t object) {
  if (internal::Slot* old = Handles().Find(slot)) --old->selections;
  if (internal::Slot* now = Handles().Find(object)) ++now->selections;
  slot = object;
}

const internal::Pen& PenOf(const internal::Dc& dc) {
  static const internal::Pen none{PS_NULL, 1, 0};
  const internal::Pen* p = Handles().Get<internal::Pen>(dc.pen);
  return p != nullptr ? *p : none;
}

int EmOf(const internal::Dc& dc) {
  const internal::Font* f = Handles().Get<internal::Font>(dc.font);
  return f != nullptr ? f->emPixels : kSystemFontEm;
}

}  // namespace

extern "C" {

HDC GetDC(HWND hwnd) {
  Guard guard(Lock());
  if (Handles().Get<internal::Window>(Raw(hwnd)) == nullptr) return nullptr;
  internal::Dc dc;
  dc.window = Raw(hwnd);
  const std::uintptr_t pen = Stock(BLACK_PEN), brush = Stock(WHITE_BRUSH),
                       font = Stock(SYSTEM_FONT);
  const std::uintptr_t handle = Handles().Add(dc);
  internal::Dc* added = Handles().Get<internal::Dc>(handle);
  if (added == nullptr) return nullptr;
  Select(added->pen, pen);
  Select(added->brush, brush);
  Select(added->font, font);
  return internal::As<HDC>(handle);
}

int ReleaseDC(HWND hwnd, HDC hdc) {
  Guard guard(Lock());
  internal::Dc* dc = Handles().Get<internal::Dc>(Raw(hdc));
  if (dc == nullptr || dc->window != Raw(hwnd)) return 0;
  Select(dc->pen, 0);
  Select(dc->brush, 0);
  Select(dc->font, 0);
  return Handles().Remove(Raw(hdc)) ? 1 : 0;
}

HGDIOBJ GetStockObject(int index) {
  Guard guard(Lock());
  return internal::As<HGDIOBJ>(Stock(index));
}

HPEN CreatePen(int style, int width, COLORREF colour) {
  if (style < PS_SOLID || style > PS_NULL) return nullptr;
  Guard guard(Lock());
  return internal::As<HPEN>(Handles().Add(internal::Pen{style, width, colour & 0xFFFFFF}));
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  Guard guard(Lock());
  return internal::As<HBRUSH>(Handles().Add(internal::Brush{false, colour & 0xFFFFFF}));
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  Guard guard(Lock());
  internal::Dc* dc = Handles().Get<internal::Dc>(Raw(hdc));
  internal::Slot* slot = Handles().Find(Raw(object));
  if (dc == nullptr || slot == nullptr) return nullptr;
  std::uintptr_t* target = nullptr;
  if (std::holds_alternative<internal::Pen>(slot->object)) target = &dc->pen;
  if (std::holds_alternative<internal::Brush>(slot->object)) target = &dc->brush;
  if (std::holds_alternative<internal::Font>(slot->object)) target = &dc->font;
  if (target == nullptr) return nullptr;
  const std::uintptr_t previous = *target;
  Select(*target, Raw(object));
  return internal::As<HGDIOBJ>(previous);
}

BOOL DeleteObject(HGDIOBJ object) {
  Guard guard(Lock());
  internal::Slot* slot = Handles().Find(Raw(object));
  if (slot == nullptr) return FALSE;
  const bool drawingObject = std::holds_alternative<internal::Pen>(slot->object) ||
                             std::holds_alternative<internal::Brush>(slot->object) ||
                             std::holds_alternative<internal::Font>(slot->object);
  if (!drawingObject) return FALSE;
  if (slot->stock) return TRUE;
  if (slot->selections > 0) return FALSE;
  return Handles().Remove(Raw(object)) ? TRUE : FALSE;
}

DWORD GetObjectType(HGDIOBJ object) {
  Guard guard(Lock());
  internal::Slot* slot = Handles().Find(Raw(object));
  if (slot == nullptr) return 0;
  if (std::holds_alternative<internal::Pen>(slot->object)) return OBJ_PEN;
  if (std::holds_alternative<internal::Brush>(slot->object)) return OBJ_BRUSH;
  if (std::holds_alternative<internal::Font>(slot->object)) return OBJ_FONT;
  if (std::holds_alternative<internal::Dc>(slot->object)) return OBJ_DC;
  return 0;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour) {
  Guard guard(Lock());
  internal::Dc* dc;
  internal::Surface s;
  if (!Target(hdc, dc, s) || x < 0 || y < 0 || x >= s.width || y >= s.height) return CLR_INVALID;
  s.pixels[std::size_t(y) * std::size_t(s.width) + std::size_t(x)] = internal::PixelOf(colour);
  return colour & 0xFFFFFF;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  Guard guard(Lock());
  internal::Dc* dc;
  internal::Surface s;
  if (!Target(hdc, dc, s) || x < 0 || y < 0 || x >= s.width || y >= s.height) return CLR_INVALID;
  return internal::ColourOf(s.pixels[std::size_t(y) * std::size_t(s.width) + std::size_t(x)]);
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT previous) {
  Guard guard(Lock());
  internal::Dc* dc;
  internal::Surface s;
  if (!Target(hdc, dc, s)) return FALSE;
  if (previous != nullptr) *previous = dc->position;
  dc->position = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
  Guard guard(Lock());
  internal::Dc* dc;
  internal::Surface s;
  if (!Target(hdc, dc, s)) return FALSE;
  const internal::Pen& pen = PenOf(*dc);
  if (pen.style != PS_NULL) {
    internal::DrawLine(s, dc->position, POINT{x, y}, internal::PixelOf(pen.colour));
  }
  dc->position = POINT{x, y};
  return TRUE;
}

BOOL Polygon(HDC hdc, const POINT* points, int count) {
  Guard guard(Lock());
  internal::Dc* dc;
  internal::Surface s;
  if (!Target(hdc, dc, s) || points == nullptr || count < 2) return FALSE;
  const internal::Brush* brush = Handles().Get<internal::Brush>(dc->brush);
  if (brush != nullptr && !brush->hollow) {
    internal::FillPolygon(s, points, count, internal::PixelOf(brush->colour));
  }
  const internal::Pen& pen = PenOf(*dc);
  if (pen.style != PS_NULL) {
    for (int i = 0; i < count; ++i) {
      internal::DrawLine(s, points[i], points[(i + 1) % count], internal::PixelOf(pen.colour));
    }
  }
  return TRUE;
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  Guard guard(Lock());
  internal::Dc* dc;
  internal::Surface s;
  const internal::Brush* b = Handles().Get<internal::Brush>(Raw(brush));
  if (!Target(hdc, dc, s) || rect == nullptr || b == nullptr) return 0;
  if (!b->hollow) internal::FillRect(s, *rect, internal::PixelOf(b->colour));
  return 1;
}

COLORREF SetTextColor(HDC hdc, COLORREF colour) {
  Guard guard(Lock());
  internal::Dc* dc = Handles().Get<internal::Dc>(Raw(hdc));
  if (dc == nullptr) return CLR_INVALID;
  const COLORREF previous = dc->textColour;
  dc->textColour = colour & 0xFFFFFF;
  return previous;
}

COLORREF SetBkColor(HDC hdc, COLORREF colour) {
  Guard guard(Lock());
  internal::Dc* dc = Handles().Get<internal::Dc>(Raw(hdc));
  if (dc == nullptr) return CLR_INVALID;
  const COLORREF previous = dc->bkColour;
  dc->bkColour = colour & 0xFFFFFF;
  return previous;
}

int SetBkMode(HDC hdc, int mode) {
  Guard guard(Lock());
  internal::Dc* dc = Handles().Get<internal::Dc>(Raw(hdc));
  if (dc == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  const int previous = dc->bkMode;
  dc->bkMode = mode;
  return previous;
}

BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                 const INT* lpDx) {
  Guard guard(Lock());
  internal::Dc* dc;
  internal::Surface s;
  if (!Target(hdc, dc, s) || (count > 0 && text == nullptr)) return FALSE;
  internal::TextLayout layout;
  if (count > 0 && !internal::LayoutText(EmOf(*dc), text, count, lpDx, layout)) return FALSE;
  const RECT surface{0, 0, s.width, s.height};
  const bool clipped = rect != nullptr && (options & ETO_CLIPPED) != 0;
  const RECT clip = clipped ? internal::Intersect(*rect, surface) : surface;
  const std::uint32_t bk = internal::PixelOf(dc->bkColour);
  if (rect != nullptr && (options & ETO_OPAQUE) != 0) internal::FillRect(s, *rect, bk);
  if (count == 0) return TRUE;
  if (dc->bkMode == OPAQUE) {
    const long long right = std::min<long long>((long long)x + layout.width, 0x7FFFFFFF);
    const long long bottom = std::min<long long>((long long)y + layout.height, 0x7FFFFFFF);
    internal::FillRect(s, internal::Intersect(RECT{x, y, LONG(right), LONG(bottom)}, clip), bk);
  }
  return internal::DrawGlyphs(s, clip, EmOf(*dc), x, y, text, count, lpDx, dc->textColour) ? TRUE
                                                                                           : FALSE;
}

BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int count) {
  if (count < 0) return FALSE;
  return ExtTextOutW(hdc, x, y, 0, nullptr, text, UINT(count), nullptr);
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, SIZE* size) {
  Guard guard(Lock());
  internal::Dc* dc = Handles().Get<internal::Dc>(Raw(hdc));
  if (dc == nullptr || size == nullptr || count < 0 || (count > 0 && text == nullptr)) {
    return FALSE;
  }
  internal::TextLayout layout;
  if (!internal::LayoutText(EmOf(*dc), text, UINT(count), nullptr, layout)) return FALSE;
  *size = SIZE{layout.width, layout.height};
  return TRUE;
}

}  // extern "C"
