#pragma once
// CWndLightness: the lightness bar, a control of 255 x 44 pixels that edits
// the key's four lightness breakpoints L0 <= L1 <= L2 <= L3 (percent) with
// four triangular handles under a grey ramp. It has no window of its own:
// it draws into the window and device context that the host passes with
// each drawing and pointer event.
//
// Values are kept on a 16-bit scale, 0 to 65535 for 0 to 100 percent. A
// value v lies at client x = MulDiv(v, span, 65535) + 7 with span = client
// width - 15 (x 7 to 247 in the 255-pixel control). The ramp takes rows 0 to
// 3, the inner handles (L1, L2) have their apex on row 5, the outer ones
// (L0, L3) on row 9, and the label "L %3d" sits in 220,22 - 255,42.
//
// State: idle, or dragging one handle (m_dragging, m_dragHandle). Event
// handlers report through `handled` whether they acted; drawing reads the
// state only (m_drawn records what the window shows).
#include "win/AfxWin.h"

#include <cstdint>

class CWndLightness {
 public:
  // The area the plug-in asks the host for, pixels.
  static constexpr int kWidth = 255;
  static constexpr int kHeight = 44;

  // Loads the cursors with the module's own state and creates the pens and
  // brushes; a cursor that cannot be loaded is never set.
  CWndLightness();
  // Deletes the font object, the brushes and the pens.
  virtual ~CWndLightness();
  CWndLightness(const CWndLightness&) = delete;
  CWndLightness& operator=(const CWndLightness&) = delete;

  // Sets whether the control reacts to the pointer and draws in colour;
  // returns the previous setting. The caller redraws.
  virtual bool Enable(bool enable);
  // Draws the whole control (Refresh); the host's handles are wrapped here.
  virtual bool Draw(HWND hwnd, HDC hdc);
  // Fills the client area with the background colour; true.
  virtual bool EraseBackground(HWND hwnd, HDC hdc);
  // hitTest 1 (client area): the control's cursor; otherwise the arrow. True.
  virtual bool OnSetCursor(HWND hwnd, UINT hitTest);

  // Pointer events in client coordinates. Each sets handled to whether the
  // control acted (and so whether its values are to be stored).
  // Press: starts dragging the handle under the point; handled whenever the
  // control is enabled, also when no handle was hit. Returns true.
  virtual bool OnButtonDown(HWND hwnd, HDC hdc, POINT point, bool& handled);
  // Release: ends a drag. Returns true.
  virtual bool OnButtonUp(HWND hwnd, HDC hdc, POINT point, bool& handled);
  // Move: drags the handle, or shows the lightness under the pointer.
  // Returns false while dragging, true otherwise.
  virtual bool OnMouseMove(HWND hwnd, HDC hdc, POINT point, bool& handled);
  // Back to 0, 0, 100, 100 percent unless dragging or already there.
  // Returns true.
  virtual bool OnReset(HWND hwnd, HDC hdc, POINT point, bool& handled);

  // The four breakpoints in percent, out[0..3] = value * 100 / 65535.
  virtual void GetValues(double* out) const;
  // Takes four breakpoints in percent: trunc(in / 100 * 65535), clamped to
  // 0..65535 (NaN counts as 0; the order of the four is not enforced).
  // Returns whether a stored value changed; a null pointer changes nothing.
  virtual bool SetValues(const double* in);
  // SetValues, then redraws the handles when a value changed.
  virtual bool Update(HWND hwnd, HDC hdc, const double* values);

  // The triangle of a handle with its apex at (x, y): (x, y), (x - 7, y + 7),
  // (x + 7, y + 7). Writes nothing when count is below 3.
  virtual void MakeHandle(POINT* points, int count, int x, int y) const;
  // Draws one handle filled with brush and outlined with pen; then, with
  // highlight, its whole outline in highlightColour, else, with shade, its
  // left edge including the bottom-left corner in shadeColour.
  virtual void DrawHandle(CDC& dc, int x, int y, CPen& pen, CBrush& brush, bool shade,
                          COLORREF shadeColour, bool highlight, COLORREF highlightColour);
  // Brings the handles up to date with the values: only the dragged handle
  // when it alone moved and touches no neighbour, otherwise all four
  // (erased, then drawn, in the order L3, L0, L2, L1). force redraws even
  // when nothing changed.
  virtual void DrawHandles(CWnd& wnd, CDC& dc, bool force);
  // The ramp: columns 7 to 247, rows 0 to 3, grey MulDiv(210, i, 240) in
  // column 7 + i; mixed halfway with the background when disabled.
  virtual void DrawGradient(CDC& dc);
  // Ramp, background below row 4 (which blanks the label), every handle.
  virtual bool Refresh(CWnd& wnd, CDC& dc);
  virtual void DrawBackground(CWnd& wnd, CDC& dc);
  // Arrow when disabled, the dragging cursor while dragging, else the bar's
  // cursor while no window holds the capture; set only when not current.
  virtual void UpdateCursor(HWND hwnd);
  // Whether point is on the handle of that triangle: at most one row below
  // its base, at most one column beside it, and anywhere above it.
  virtual bool HitHandle(POINT point, const POINT* triangle) const;
  // The handle under the point (inner handles first), or -1.
  virtual int HitTest(CWnd& wnd, POINT point) const;
  // Starts dragging the handle under the point and takes the capture;
  // false when no handle is there.
  virtual bool BeginDrag(CWnd& wnd, POINT point);
  // Releases the capture and redraws the handles without highlight.
  virtual void EndDrag(CWnd& wnd, CDC& dc, POINT point);
  // Moves the dragged handle to the pointer's x, between its neighbours;
  // with Shift an outer handle scales the inner ones with it.
  virtual void ContinueDrag(CWnd& wnd, CDC& dc, POINT point);
  // "L %3d" for percent >= 0, blank for a negative one.
  virtual void DrawLabel(CDC& dc, int percent);
  // The label for the lightness under the pointer's x; blank beyond the
  // bar's ends when not dragging, or when disabled.
  virtual void ShowLabelAt(CWnd& wnd, CDC& dc, POINT point);

 private:
  static constexpr int kHandles = 4;
  // m_colours.
  enum { kBackground, kBlack, kWhite, kRed };
  // m_shades, m_pens, m_brushes: halfway mixes with the background, and the
  // drawing objects in the first three colours.
  enum { kDark, kLight, kRedShade };
  // m_cursors.
  enum { kArrow, kOver, kDragging };

  // The usable length of the bar in pixels (client width - 15), or 0 when
  // the client is too narrow to map a pointer to a value.
  int Span(CWnd& wnd) const;
  int ClientWidth(CWnd& wnd) const;
  void FillBelowRamp(CWnd& wnd, CDC& dc);
  void DrawOne(CDC& dc, int handle, int x, bool erase);

  std::uint32_t m_defaults[kHandles];
  std::int32_t m_drawn[kHandles];  // -1: not drawn
  std::uint32_t m_values[kHandles];
  bool m_enabled;
  bool m_dragging;
  std::int32_t m_dragHandle;  // 0..3, -1 none
  POINT m_dragStart;
  POINT m_dragLast;
  COLORREF m_colours[4];
  COLORREF m_shades[3];
  CPen m_pens[3];
  CBrush m_brushes[3];
  HCURSOR m_cursors[3];
  COLORREF m_textColour;
  CFont m_font;
};
