#pragma once
// MFC's window, device-context and drawing-object wrappers, and CString.
//
// FromHandle returns a temporary wrapper owned by the layer: it stays valid
// at least until the calling event handler returns (it is reclaimed once its
// handle has gone stale). Temporary wrappers never delete what they wrap.
#include <string>

#include "win/Afx.h"
#include "win/WinApi.h"
#include "win/WinGdi.h"
#include "win/WinUser.h"

// A wide-character string. Format has the C library's swprintf semantics
// (%d, %3d, ...; %ls for a wide string); text that does not format leaves
// the string empty.
class WINAPI_EXPORT CString {
 public:
  CString() = default;
  CString(LPCWSTR text) : m_text(text != nullptr ? text : L"") {}  // NOLINT: as MFC
  void Format(LPCWSTR format, ...);
  int GetLength() const { return int(m_text.size()); }
  bool IsEmpty() const { return m_text.empty(); }
  void Empty() { m_text.clear(); }
  operator LPCWSTR() const { return m_text.c_str(); }  // NOLINT: as MFC
  bool operator==(const CString& other) const { return m_text == other.m_text; }

 private:
  std::wstring m_text;
};

// A pen, brush or font handle owned by the object (deleted with it) unless
// detached.
class WINAPI_EXPORT CGdiObject {
 public:
  CGdiObject() = default;
  virtual ~CGdiObject();
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;

  // Takes object over; FALSE when it is null or the wrapper holds one.
  BOOL Attach(HGDIOBJ object);
  HGDIOBJ Detach();
  // Deletes the wrapped object (a selected one stays, FALSE) and empties the
  // wrapper when that succeeds; FALSE when empty.
  BOOL DeleteObject();
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  operator HGDIOBJ() const { return m_hObject; }  // NOLINT: as MFC

  // A temporary wrapper of object (null for a null handle).
  static CGdiObject* FromHandle(HGDIOBJ object);

  HGDIOBJ m_hObject = nullptr;
};

class WINAPI_EXPORT CPen : public CGdiObject {
 public:
  CPen() = default;
  CPen(int style, int width, COLORREF colour);
  BOOL CreatePen(int style, int width, COLORREF colour);
  operator HPEN() const { return reinterpret_cast<HPEN>(m_hObject); }  // NOLINT: as MFC
};

class WINAPI_EXPORT CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(COLORREF colour);
  BOOL CreateSolidBrush(COLORREF colour);
  operator HBRUSH() const { return reinterpret_cast<HBRUSH>(m_hObject); }  // NOLINT: as MFC
};

class WINAPI_EXPORT CFont : public CGdiObject {
 public:
  operator HFONT() const { return reinterpret_cast<HFONT>(m_hObject); }  // NOLINT: as MFC
};

// A device context. The wrappers of SelectObject return a temporary wrapper
// of the previous object (null on failure).
class WINAPI_EXPORT CDC {
 public:
  CDC() = default;
  virtual ~CDC() = default;
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  static CDC* FromHandle(HDC hdc);
  HDC GetSafeHdc() const { return m_hDC; }

  CPen* SelectObject(CPen* pen);
  CBrush* SelectObject(CBrush* brush);
  CFont* SelectObject(CFont* font);
  CGdiObject* SelectStockObject(int index);

  COLORREF SetPixel(int x, int y, COLORREF colour);
  COLORREF GetPixel(int x, int y) const;
  POINT MoveTo(int x, int y);
  POINT MoveTo(POINT p) { return MoveTo(p.x, p.y); }
  BOOL LineTo(int x, int y);
  BOOL LineTo(POINT p) { return LineTo(p.x, p.y); }
  BOOL Polygon(const POINT* points, int count);
  // As MFC: sets the background colour (and leaves it set), then paints the
  // rectangle with ExtTextOut's opaque option.
  void FillSolidRect(const RECT* rect, COLORREF colour);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF colour);
  COLORREF SetTextColor(COLORREF colour);
  COLORREF SetBkColor(COLORREF colour);
  int SetBkMode(int mode);
  BOOL ExtTextOut(int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                  const INT* lpDx);
  BOOL ExtTextOut(int x, int y, UINT options, const RECT* rect, const CString& text,
                  const INT* lpDx);
  BOOL TextOut(int x, int y, const CString& text);
  SIZE GetTextExtent(const CString& text) const;

  HDC m_hDC = nullptr;
};

class WINAPI_EXPORT CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  static CWnd* FromHandle(HWND hwnd);
  static CWnd* GetCapture();
  HWND GetSafeHwnd() const { return m_hWnd; }

  void GetClientRect(LPRECT rect) const;
  void ScreenToClient(LPPOINT point) const;
  void ClientToScreen(LPPOINT point) const;
  CWnd* SetCapture();

  HWND m_hWnd = nullptr;
};
