#pragma once
// GDI: device contexts over a window's client area, pens, brushes, fonts,
// pixels, lines, polygons and text, with the pixel rules Windows documents:
//
// - Coordinates are client pixels; pixel (x, y) covers [x, x+1) x [y, y+1)
//   and its centre is (x + 0.5, y + 0.5). Whatever falls outside the client
//   area is clipped; nothing is ever written outside it.
// - Rectangles exclude their right and bottom edges; one with right <= left
//   or bottom <= top is empty.
// - LineTo draws from the current position up to, but not including, the
//   end point, which becomes the current position. Pixels are chosen along
//   the major axis (x when |dx| >= |dy|): for each major coordinate m from
//   the start, the minor coordinate is the exact line's value at m rounded to
//   the nearest integer, halves toward +infinity. Pens are drawn one pixel
//   wide whatever their width.
// - Polygon fills, in alternate (even-odd) mode, every pixel whose centre is
//   inside the closed outline; a centre exactly on an edge belongs to the
//   pixel run on that edge's right (a run spans [left crossing, right
//   crossing) along its row). The outline is then drawn with the pen as
//   LineTo would draw p0 -> p1 -> ... -> p0, so every vertex is drawn.
// - Text is DejaVu Sans through FreeType, anti-aliased (coverage blended over
//   what is below); (x, y) is the top-left of the text cell. The GUI font
//   (DEFAULT_GUI_FONT) has a 10-pixel em and a 13-pixel line, the system
//   font a 13-pixel em.
//
// Handles are opaque values checked on every call: a null, stale (deleted)
// or wrong-kind handle makes a call fail as on Windows (FALSE, null,
// CLR_INVALID or 0) and draw nothing. Every call locks, so the host and the
// module may call from different threads.
#include "win/WinApi.h"
#include "win/WinGdiTypes.h"
#include "win/WinTypes.h"

struct HWND__;
using HWND = HWND__*;
struct HDC__;
using HDC = HDC__*;
// As with STRICT, HGDIOBJ is untyped so that every object handle converts
// to it.
using HGDIOBJ = void*;
struct HPEN__;
using HPEN = HPEN__*;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HFONT__;
using HFONT = HFONT__*;

// 0x00BBGGRR.
using COLORREF = DWORD;
inline constexpr COLORREF RGB(int r, int g, int b) {
  return COLORREF(BYTE(r)) | COLORREF(BYTE(g)) << 8 | COLORREF(BYTE(b)) << 16;
}
inline constexpr BYTE GetRValue(COLORREF c) { return BYTE(c); }
inline constexpr BYTE GetGValue(COLORREF c) { return BYTE(c >> 8); }
inline constexpr BYTE GetBValue(COLORREF c) { return BYTE(c >> 16); }
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// Stock objects (GetStockObject).
inline constexpr int WHITE_BRUSH = 0;
inline constexpr int LTGRAY_BRUSH = 1;
inline constexpr int GRAY_BRUSH = 2;
inline constexpr int DKGRAY_BRUSH = 3;
inline constexpr int BLACK_BRUSH = 4;
inline constexpr int NULL_BRUSH = 5;
inline constexpr int HOLLOW_BRUSH = NULL_BRUSH;
inline constexpr int WHITE_PEN = 6;
inline constexpr int BLACK_PEN = 7;
inline constexpr int NULL_PEN = 8;
inline constexpr int SYSTEM_FONT = 13;
inline constexpr int DEFAULT_GUI_FONT = 17;

// Pen styles: solid and null are drawn; the dashed styles draw solid.
inline constexpr int PS_SOLID = 0;
inline constexpr int PS_NULL = 5;

// Background modes.
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;

// ExtTextOut options.
inline constexpr UINT ETO_OPAQUE = 0x0002;
inline constexpr UINT ETO_CLIPPED = 0x0004;

// GetObjectType results.
inline constexpr DWORD OBJ_PEN = 1;
inline constexpr DWORD OBJ_BRUSH = 2;
inline constexpr DWORD OBJ_DC = 3;
inline constexpr DWORD OBJ_FONT = 6;

extern "C" {

// A device context for hwnd's client area; release it with ReleaseDC. Null
// for a bad window (there is no screen device context here). A new context
// has the black pen, the white brush, the system font, black text on a white
// opaque background and its current position at (0, 0).
WINAPI_EXPORT HDC GetDC(HWND hwnd);
// 1 when hdc was released (its handle goes stale), 0 otherwise. A context
// whose window was destroyed draws nothing but is still released here.
WINAPI_EXPORT int ReleaseDC(HWND hwnd, HDC hdc);

WINAPI_EXPORT HGDIOBJ GetStockObject(int index);
// Pens are drawn one pixel wide whatever their width.
WINAPI_EXPORT HPEN CreatePen(int style, int width, COLORREF colour);
WINAPI_EXPORT HBRUSH CreateSolidBrush(COLORREF colour);
// Selects a pen, brush or font and returns the object of that kind that was
// selected; null for a bad context or object.
WINAPI_EXPORT HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
// FALSE for a bad handle and for an object selected into a context; TRUE
// for a stock object, which stays valid.
WINAPI_EXPORT BOOL DeleteObject(HGDIOBJ object);
// OBJ_PEN, OBJ_BRUSH, OBJ_FONT, OBJ_DC, or 0 for a bad handle.
WINAPI_EXPORT DWORD GetObjectType(HGDIOBJ object);

WINAPI_EXPORT COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour);
WINAPI_EXPORT COLORREF GetPixel(HDC hdc, int x, int y);
WINAPI_EXPORT BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT previous);
WINAPI_EXPORT BOOL LineTo(HDC hdc, int x, int y);
// Needs at least two points; FALSE otherwise.
WINAPI_EXPORT BOOL Polygon(HDC hdc, const POINT* points, int count);
// Fills a rectangle with a brush, right and bottom edges excluded.
WINAPI_EXPORT int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);

WINAPI_EXPORT COLORREF SetTextColor(HDC hdc, COLORREF colour);
WINAPI_EXPORT COLORREF SetBkColor(HDC hdc, COLORREF colour);
WINAPI_EXPORT int SetBkMode(HDC hdc, int mode);
// With ETO_OPAQUE, rect is first filled with the background colour; with
// ETO_CLIPPED the text is clipped to rect. In OPAQUE background mode the
// text cell is filled with the background colour too. lpDx gives the
// advance of each character in pixels, or null for the font's advances.
// FALSE, nothing drawn, for a bad context, or when there is text and the
// font cannot be loaded.
WINAPI_EXPORT BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text,
                               UINT count, const INT* lpDx);
WINAPI_EXPORT BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int count);
// The advance width and line height of the text in the selected font.
WINAPI_EXPORT BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, SIZE* size);

}  // extern "C"
