// MFC wrappers of windows, device contexts and drawing objects; CString.
#include <cstdarg>
#include <cwchar>
#include <map>
#include <memory>
#include <vector>

#include "win/AfxWin.h"

namespace {

// Temporary wrappers of one thread, by handle value. A wrapper is reclaimed
// when a later FromHandle on the thread finds its handle no longer valid.
template <class T>
struct TempMap {
  struct Release {
    void operator()(T* object) const {
      if constexpr (std::is_base_of_v<CGdiObject, T>) object->m_hObject = nullptr;
      delete object;
    }
  };
  std::map<std::uintptr_t, std::unique_ptr<T, Release>> entries;

  template <class IsValid>
  void Prune(IsValid valid) {
    for (auto it = entries.begin(); it != entries.end();) {
      it = valid(it->first) ? std::next(it) : entries.erase(it);
    }
  }
};

thread_local TempMap<CGdiObject> t_objects;
thread_local TempMap<CDC> t_dcs;
thread_local TempMap<CWnd> t_windows;

std::uintptr_t Key(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

}  // namespace

// ---- CString ----

void CString::Format(LPCWSTR format, ...) {
  m_text.clear();
  if (format == nullptr) return;
  std::vector<wchar_t> buffer(256);
  for (;;) {
    va_list args;
    va_start(args, format);
    const int n = std::vswprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (n >= 0) {
      m_text.assign(buffer.data(), std::size_t(n));
      return;
    }
    // vswprintf reports truncation and bad formats alike: grow to a limit.
    if (buffer.size() >= (std::size_t(1) << 20)) return;
    buffer.resize(buffer.size() * 4);
  }
}

// ---- Drawing objects ----

CGdiObject::~CGdiObject() {
  if (m_hObject != nullptr) ::DeleteObject(m_hObject);
}

BOOL CGdiObject::Attach(HGDIOBJ object) {
  if (object == nullptr || m_hObject != nullptr) return FALSE;
  m_hObject = object;
  return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
  HGDIOBJ object = m_hObject;
  m_hObject = nullptr;
  return object;
}

BOOL CGdiObject::DeleteObject() {
  if (m_hObject == nullptr || !::DeleteObject(m_hObject)) return FALSE;
  m_hObject = nullptr;
  return TRUE;
}

CGdiObject* CGdiObject::FromHandle(HGDIOBJ object) {
  if (object == nullptr) return nullptr;
  t_objects.Prune(
      [](std::uintptr_t h) { return GetObjectType(reinterpret_cast<HGDIOBJ>(h)) != 0; });
  auto& slot = t_objects.entries[Key(object)];
  if (!slot) {
    // The wrapper's class follows the object's kind, so that the casts of
    // CDC::SelectObject are sound.
    switch (GetObjectType(object)) {
      case OBJ_PEN:
        slot.reset(new CPen);
        break;
      case OBJ_BRUSH:
        slot.reset(new CBrush);
        break;
      case OBJ_FONT:
        slot.reset(new CFont);
        break;
      default:
        slot.reset(new CGdiObject);
        break;
    }
    slot->m_hObject = object;
  }
  return slot.get();
}

CPen::CPen(int style, int width, COLORREF colour) { CreatePen(style, width, colour); }

BOOL CPen::CreatePen(int style, int width, COLORREF colour) {
  return Attach(::CreatePen(style, width, colour));
}

CBrush::CBrush(COLORREF colour) { CreateSolidBrush(colour); }

BOOL CBrush::CreateSolidBrush(COLORREF colour) { return Attach(::CreateSolidBrush(colour)); }

// ---- CDC ----

CDC* CDC::FromHandle(HDC hdc) {
  if (hdc == nullptr) return nullptr;
  t_dcs.Prune(
      [](std::uintptr_t h) { return GetObjectType(reinterpret_cast<HGDIOBJ>(h)) == OBJ_DC; });
  auto& slot = t_dcs.entries[Key(hdc)];
  if (!slot) {
    slot.reset(new CDC);
    slot->m_hDC = hdc;
  }
  return slot.get();
}

CPen* CDC::SelectObject(CPen* pen) {
  if (pen == nullptr) return nullptr;
  return static_cast<CPen*>(CGdiObject::FromHandle(::SelectObject(m_hDC, pen->m_hObject)));
}

CBrush* CDC::SelectObject(CBrush* brush) {
  if (brush == nullptr) return nullptr;
  return static_cast<CBrush*>(CGdiObject::FromHandle(::SelectObject(m_hDC, brush->m_hObject)));
}

CFont* CDC::SelectObject(CFont* font) {
  if (font == nullptr) return nullptr;
  return static_cast<CFont*>(CGdiObject::FromHandle(::SelectObject(m_hDC, font->m_hObject)));
}

CGdiObject* CDC::SelectStockObject(int index) {
  return CGdiObject::FromHandle(::SelectObject(m_hDC, GetStockObject(index)));
}

COLORREF CDC::SetPixel(int x, int y, COLORREF colour) { return ::SetPixel(m_hDC, x, y, colour); }
COLORREF CDC::GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }

POINT CDC::MoveTo(int x, int y) {
  POINT previous{0, 0};
  ::MoveToEx(m_hDC, x, y, &previous);
  return previous;
}

BOOL CDC::LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
BOOL CDC::Polygon(const POINT* points, int count) { return ::Polygon(m_hDC, points, count); }

void CDC::FillSolidRect(const RECT* rect, COLORREF colour) {
  ::SetBkColor(m_hDC, colour);
  ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, rect, nullptr, 0, nullptr);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF colour) {
  const RECT r{x, y, x + cx, y + cy};
  FillSolidRect(&r, colour);
}

COLORREF CDC::SetTextColor(COLORREF colour) { return ::SetTextColor(m_hDC, colour); }
COLORREF CDC::SetBkColor(COLORREF colour) { return ::SetBkColor(m_hDC, colour); }
int CDC::SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }

BOOL CDC::ExtTextOut(int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                     const INT* lpDx) {
  return ::ExtTextOutW(m_hDC, x, y, options, rect, text, count, lpDx);
}

BOOL CDC::ExtTextOut(int x, int y, UINT options, const RECT* rect, const CString& text,
                     const INT* lpDx) {
  return ::ExtTextOutW(m_hDC, x, y, options, rect, text, UINT(text.GetLength()), lpDx);
}

BOOL CDC::TextOut(int x, int y, const CString& text) {
  return ::TextOutW(m_hDC, x, y, text, text.GetLength());
}

SIZE CDC::GetTextExtent(const CString& text) const {
  SIZE size{0, 0};
  ::GetTextExtentPoint32W(m_hDC, text, text.GetLength(), &size);
  return size;
}

// ---- CWnd ----

CWnd* CWnd::FromHandle(HWND hwnd) {
  if (hwnd == nullptr) return nullptr;
  t_windows.Prune([](std::uintptr_t h) { return IsWindow(reinterpret_cast<HWND>(h)) != FALSE; });
  auto& slot = t_windows.entries[Key(hwnd)];
  if (!slot) {
    slot.reset(new CWnd);
    slot->m_hWnd = hwnd;
  }
  return slot.get();
}

CWnd* CWnd::GetCapture() { return FromHandle(::GetCapture()); }

void CWnd::GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
void CWnd::ScreenToClient(LPPOINT point) const { ::ScreenToClient(m_hWnd, point); }
void CWnd::ClientToScreen(LPPOINT point) const { ::ClientToScreen(m_hWnd, point); }
CWnd* CWnd::SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
