#include "picker/WndLightness.h"

#include "wheel/BarScale.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "win/Afx.h"
#include "win/WinKernel.h"

namespace {

constexpr std::uint32_t kMaxValue = 65535;        // 100 percent
constexpr int kLeft = mattix::wheel::kBarMargin;  // x of value 0
constexpr int kInnerY = 5;                        // apex row of L1 and L2
constexpr int kOuterY = 9;                        // apex row of L0 and L3
constexpr int kHalfBase = 7;                      // a handle is 15 pixels wide and 8 high
constexpr int kRampColumns = 241;
constexpr int kRampRows = 4;
constexpr int kRampTop = 210;  // grey of the ramp's last column
constexpr RECT kLabelRect{220, 22, 255, 42};
constexpr unsigned kCursorOver = 3021;
constexpr unsigned kCursorDragging = 3022;

// Rounded division by 255 of a sum of two products of 8-bit values.
int Div255(int x) { return ((x + 128) + ((x + 128) >> 8)) >> 8; }

// Halfway mix of two colours, channel by channel, halves rounded up.
COLORREF Mix(COLORREF a, COLORREF b) {
  return RGB((GetRValue(a) + GetRValue(b) + 1) >> 1, (GetGValue(a) + GetGValue(b) + 1) >> 1,
             (GetBValue(a) + GetBValue(b) + 1) >> 1);
}

int HandleY(int handle) { return handle == 1 || handle == 2 ? kInnerY : kOuterY; }

std::uint32_t Clamp16(std::uint32_t v) { return v > kMaxValue ? kMaxValue : v; }

double ToPercent(std::uint32_t v) { return double(Clamp16(v)) * 100.0 / double(kMaxValue); }

// A working value of a drag, which out-of-order breakpoints may push beyond
// the scale, brought back to 0..65535.
std::uint32_t Clamp16(std::int64_t v) {
  return v < 0 ? 0 : (v > std::int64_t(kMaxValue) ? kMaxValue : std::uint32_t(v));
}

// Pointer x relative to the bar's start, limited to [-span, 2 * span] so that
// MulDiv(dx, 65535, span) always fits 32 bits; every x beyond an end maps to
// a value beyond that end, which is all the callers distinguish.
int PointerOffset(LONG x, int span) {
  std::int64_t dx = std::int64_t(x) - kLeft;
  if (dx < -span) dx = -span;
  if (dx > 2 * std::int64_t(span)) dx = 2 * std::int64_t(span);
  return int(dx);
}

// t[i] = lo when t[i] < lo, else the smaller of t[i] and hi (lo wins when
// hi < lo, as when a drag meets an out-of-order neighbour).
std::int64_t Between(std::int64_t t, std::int64_t lo, std::int64_t hi) {
  if (t < lo) return lo;
  return t < hi ? t : hi;
}

// The order of a full redraw: the outer handles first, so that the inner
// ones (higher up) lie on top.
constexpr int kRedrawOrder[] = {3, 0, 2, 1};

}  // namespace

CWndLightness::CWndLightness()
    : m_defaults{0, 0, kMaxValue, kMaxValue},
      m_drawn{-1, -1, -1, -1},
      m_values{0, 0, kMaxValue, kMaxValue},
      m_enabled(true),
      m_dragging(false),
      m_dragHandle(-1),
      m_dragStart{0, 0},
      m_dragLast{0, 0},
      m_colours{RGB(0xA2, 0xA2, 0xA2), RGB(0, 0, 0), RGB(0xFF, 0xFF, 0xFF), RGB(0xFF, 0, 0)},
      m_shades{},
      m_cursors{},
      m_textColour(RGB(0xFF, 0xFF, 0xFF)) {
  for (int i = 0; i < 3; ++i) {
    m_shades[i] = Mix(m_colours[kBackground], m_colours[kBlack + i]);
    m_pens[i].Attach(CreatePen(PS_SOLID, 1, m_colours[i]));
    m_brushes[i].Attach(CreateSolidBrush(m_colours[i]));
  }
  // The bar's cursors are resources of this module, found through its own
  // module state whatever state the caller runs under.
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  m_cursors[kArrow] = LoadCursorW(nullptr, IDC_ARROW);
  m_cursors[kOver] = LoadCursorW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kCursorOver));
  m_cursors[kDragging] = LoadCursorW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kCursorDragging));
  m_font.Attach(GetStockObject(DEFAULT_GUI_FONT));
}

CWndLightness::~CWndLightness() {
  m_font.DeleteObject();
  for (int i = 0; i < 3; ++i) m_brushes[i].DeleteObject();
  for (int i = 0; i < 3; ++i) m_pens[i].DeleteObject();
}

bool CWndLightness::Enable(bool enable) {
  const bool previous = m_enabled;
  m_enabled = enable;
  return previous;
}

bool CWndLightness::Draw(HWND hwnd, HDC hdc) {
  CWnd* wnd = CWnd::FromHandle(hwnd);
  CDC* dc = CDC::FromHandle(hdc);
  if (wnd == nullptr || dc == nullptr) return false;
  return Refresh(*wnd, *dc);
}

bool CWndLightness::EraseBackground(HWND hwnd, HDC hdc) {
  CWnd* wnd = CWnd::FromHandle(hwnd);
  CDC* dc = CDC::FromHandle(hdc);
  if (wnd != nullptr && dc != nullptr) DrawBackground(*wnd, *dc);
  return true;
}

bool CWndLightness::OnSetCursor(HWND hwnd, UINT hitTest) {
  if (hitTest == 1) {
    UpdateCursor(hwnd);
  } else if (m_cursors[kArrow] != nullptr && GetCursor() != m_cursors[kArrow]) {
    SetCursor(m_cursors[kArrow]);
  }
  return true;
}

bool CWndLightness::OnButtonDown(HWND hwnd, HDC /*hdc*/, POINT point, bool& handled) {
  handled = false;
  CWnd* wnd = CWnd::FromHandle(hwnd);
  if (m_enabled && wnd != nullptr) {
    BeginDrag(*wnd, point);
    handled = true;
  }
  return true;
}

bool CWndLightness::OnButtonUp(HWND hwnd, HDC hdc, POINT point, bool& handled) {
  handled = false;
  CWnd* wnd = CWnd::FromHandle(hwnd);
  CDC* dc = CDC::FromHandle(hdc);
  if (m_dragging && wnd != nullptr && dc != nullptr) {
    EndDrag(*wnd, *dc, point);
    handled = true;
  }
  return true;
}

bool CWndLightness::OnMouseMove(HWND hwnd, HDC hdc, POINT point, bool& handled) {
  handled = false;
  CWnd* wnd = CWnd::FromHandle(hwnd);
  CDC* dc = CDC::FromHandle(hdc);
  if (wnd == nullptr || dc == nullptr) return !m_dragging;
  if (m_dragging) {
    ContinueDrag(*wnd, *dc, point);
    handled = true;
    return false;
  }
  ShowLabelAt(*wnd, *dc, point);
  return true;
}

bool CWndLightness::OnReset(HWND hwnd, HDC hdc, POINT /*point*/, bool& handled) {
  handled = false;
  bool atDefaults = true;
  for (int i = 0; i < kHandles; ++i) atDefaults = atDefaults && m_values[i] == m_defaults[i];
  if (m_dragging || atDefaults) return true;
  for (int i = 0; i < kHandles; ++i) m_values[i] = m_defaults[i];
  CWnd* wnd = CWnd::FromHandle(hwnd);
  CDC* dc = CDC::FromHandle(hdc);
  if (wnd != nullptr && dc != nullptr) DrawHandles(*wnd, *dc, false);
  handled = true;
  return true;
}

void CWndLightness::GetValues(double* out) const {
  if (out == nullptr) return;
  for (int i = 0; i < kHandles; ++i) out[i] = ToPercent(m_values[i]);
}

bool CWndLightness::SetValues(const double* in) {
  if (in == nullptr) return false;
  std::uint32_t t[kHandles];
  bool changed = false;
  for (int i = 0; i < kHandles; ++i) {
    double v = std::trunc(in[i] / 100.0 * double(kMaxValue));
    if (v > double(kMaxValue)) v = double(kMaxValue);
    if (!(v >= 0.0)) v = 0.0;  // also NaN
    t[i] = std::uint32_t(v);
    changed = changed || t[i] != m_values[i];
  }
  if (!changed) return false;
  for (int i = 0; i < kHandles; ++i) m_values[i] = t[i];
  return true;
}

bool CWndLightness::Update(HWND hwnd, HDC hdc, const double* values) {
  const bool changed = SetValues(values);
  if (changed) {
    CWnd* wnd = CWnd::FromHandle(hwnd);
    CDC* dc = CDC::FromHandle(hdc);
    if (wnd != nullptr && dc != nullptr) DrawHandles(*wnd, *dc, false);
  }
  return changed;
}

void CWndLightness::MakeHandle(POINT* points, int count, int x, int y) const {
  if (points == nullptr || count < 3) return;
  points[0] = POINT{x, y};
  points[1] = POINT{x - kHalfBase, y + kHalfBase};
  points[2] = POINT{x + kHalfBase, y + kHalfBase};
}

void CWndLightness::DrawHandle(CDC& dc, int x, int y, CPen& pen, CBrush& brush, bool shade,
                               COLORREF shadeColour, bool highlight, COLORREF highlightColour) {
  POINT p[3];
  MakeHandle(p, 3, x, y);
  CPen* oldPen = dc.SelectObject(&pen);
  CBrush* oldBrush = dc.SelectObject(&brush);
  dc.Polygon(p, 3);
  CPen edge;
  if (highlight) {
    edge.CreatePen(PS_SOLID, 1, highlightColour);
    dc.SelectObject(&edge);
    dc.MoveTo(p[0]);
    dc.LineTo(p[1]);
    dc.LineTo(p[2]);
    dc.LineTo(p[0]);
  } else if (shade) {
    // LineTo leaves out its end point; the pixel completes the edge.
    edge.CreatePen(PS_SOLID, 1, shadeColour);
    dc.SelectObject(&edge);
    dc.MoveTo(p[0]);
    dc.LineTo(p[1]);
    dc.SetPixel(p[1].x, p[1].y, shadeColour);
  }
  dc.SelectObject(oldBrush);
  dc.SelectObject(oldPen);
  edge.DeleteObject();  // no longer selected
}

// Draws handle `handle` at x, or erases it there with the background.
void CWndLightness::DrawOne(CDC& dc, int handle, int x, bool erase) {
  if (erase) {
    DrawHandle(dc, x, HandleY(handle), m_pens[kBackground], m_brushes[kBackground], false, 0, false,
               0);
    return;
  }
  const bool inner = handle == 1 || handle == 2;
  const int ink = inner ? kWhite : kBlack;
  const bool highlight = m_dragging && m_dragHandle == handle;
  DrawHandle(dc, x, HandleY(handle), m_pens[ink], m_brushes[ink], true,
             m_shades[inner ? kLight : kDark], highlight, m_shades[kRedShade]);
}

void CWndLightness::DrawHandles(CWnd& wnd, CDC& dc, bool force) {
  if (!m_enabled) {
    FillBelowRamp(wnd, dc);
    for (int i = 0; i < kHandles; ++i) m_drawn[i] = -1;
    return;
  }
  int differ = 0;
  int changed = -1;
  for (int i = 0; i < kHandles; ++i) {
    if (m_drawn[i] != std::int32_t(m_values[i])) {
      ++differ;
      changed = i;
    }
  }
  if (!force && differ == 0) return;

  // A narrow client maps every value to x 7 (span 0): MulDiv never divides
  // by the span here.
  const int span = Span(wnd);
  auto xOf = [span](std::int64_t v) { return MulDiv(int(v), span, int(kMaxValue)) + kLeft; };

  const int h = m_dragHandle;
  if (!force && m_dragging && h >= 0 && h < kHandles && differ == 1 && changed == h &&
      m_drawn[h] >= 0) {
    const int oldX = xOf(m_drawn[h]);
    const int newX = xOf(m_values[h]);
    // Corners of the old and new triangles; a neighbour drawn where either
    // reaches would be damaged by the erase or cover the new handle.
    const int left = (oldX < newX ? oldX : newX) - kHalfBase;
    const int right = (oldX > newX ? oldX : newX) + kHalfBase;
    bool overlap = false;
    if (h > 0 && xOf(m_drawn[h - 1]) + kHalfBase >= left) overlap = true;
    if (h < kHandles - 1 && xOf(m_drawn[h + 1]) - kHalfBase <= right) overlap = true;
    if (!overlap) {
      DrawOne(dc, h, oldX, true);
      DrawOne(dc, h, newX, false);
      m_drawn[h] = std::int32_t(m_values[h]);
      return;
    }
  }

  for (int i : kRedrawOrder) {
    if (m_drawn[i] != -1) DrawOne(dc, i, xOf(m_drawn[i]), true);
  }
  for (int i = 0; i < kHandles; ++i) m_drawn[i] = std::int32_t(m_values[i]);
  for (int i : kRedrawOrder) DrawOne(dc, i, xOf(m_values[i]), false);
}

void CWndLightness::DrawGradient(CDC& dc) {
  const COLORREF bg = m_colours[kBackground];
  for (int i = 0; i < kRampColumns; ++i) {
    const int v = MulDiv(kRampTop, i, kRampColumns - 1);
    COLORREF c = RGB(v, v, v);
    if (!m_enabled) {
      c = RGB(Div255(GetRValue(bg) * 128 + v * 127), Div255(GetGValue(bg) * 128 + v * 127),
              Div255(GetBValue(bg) * 128 + v * 127));
    }
    for (int y = 0; y < kRampRows; ++y) dc.SetPixel(i + kLeft, y, c);
  }
}

bool CWndLightness::Refresh(CWnd& wnd, CDC& dc) {
  DrawGradient(dc);
  FillBelowRamp(wnd, dc);
  for (int i = 0; i < kHandles; ++i) m_drawn[i] = -1;
  DrawHandles(wnd, dc, false);
  return true;
}

void CWndLightness::DrawBackground(CWnd& wnd, CDC& dc) {
  RECT client{0, 0, 0, 0};
  wnd.GetClientRect(&client);
  dc.FillSolidRect(&client, m_colours[kBackground]);
}

void CWndLightness::UpdateCursor(HWND /*hwnd*/) {
  HCURSOR cursor = nullptr;
  if (!m_enabled) {
    cursor = m_cursors[kArrow];
  } else if (m_dragging) {
    cursor = m_cursors[kDragging];
  } else if (GetCapture() == nullptr) {
    cursor = m_cursors[kOver];
  }
  // A cursor that failed to load stays unset rather than hiding the pointer.
  if (cursor != nullptr && GetCursor() != cursor) SetCursor(cursor);
}

bool CWndLightness::HitHandle(POINT point, const POINT* triangle) const {
  if (triangle == nullptr) return false;
  return point.y <= triangle[1].y + 1 && triangle[1].x - 1 <= point.x &&
         point.x <= triangle[2].x + 1;
}

int CWndLightness::HitTest(CWnd& wnd, POINT point) const {
  const int span = Span(wnd);
  const int edge = ClientWidth(wnd) - 8;  // x of 100 percent
  int x[kHandles];
  bool hit[kHandles];
  for (int i = 0; i < kHandles; ++i) {
    x[i] = MulDiv(int(Clamp16(m_values[i])), span, int(kMaxValue)) + kLeft;
    POINT t[3];
    MakeHandle(t, 3, x[i], HandleY(i));
    hit[i] = HitHandle(point, t);
  }
  // Chooses between a lower handle lo and an upper handle hi that both hit:
  // the nearer right corner (lo on a tie); stacked at the left end the upper
  // one (it can only move right), at the right end the lower one.
  auto choose = [&](int lo, int hi) {
    if (x[lo] != x[hi]) {
      const std::int64_t dLo = std::llabs(std::int64_t(x[lo]) + kHalfBase - point.x);
      const std::int64_t dHi = std::llabs(std::int64_t(x[hi]) + kHalfBase - point.x);
      return dHi < dLo ? hi : lo;
    }
    if (x[lo] == kLeft) return hi;
    if (x[hi] == edge) return lo;
    return x[lo] >= point.x ? hi : lo;
  };
  if (hit[1] || hit[2]) return hit[1] && hit[2] ? choose(1, 2) : (hit[1] ? 1 : 2);
  if (hit[0] || hit[3]) return hit[0] && hit[3] ? choose(0, 3) : (hit[3] ? 3 : 0);
  return -1;
}

bool CWndLightness::BeginDrag(CWnd& wnd, POINT point) {
  m_dragHandle = HitTest(wnd, point);
  if (m_dragHandle == -1) return false;
  m_dragging = true;
  m_dragStart = point;
  m_dragLast = point;
  UpdateCursor(wnd.GetSafeHwnd());
  wnd.SetCapture();
  return true;
}

void CWndLightness::EndDrag(CWnd& wnd, CDC& dc, POINT /*point*/) {
  ReleaseCapture();
  m_dragging = false;
  m_dragHandle = -1;
  DrawHandles(wnd, dc, true);
  UpdateCursor(wnd.GetSafeHwnd());
}

void CWndLightness::ContinueDrag(CWnd& wnd, CDC& dc, POINT point) {
  if (point.x == m_dragLast.x) return;
  const int h = m_dragHandle;
  const int span = Span(wnd);
  // Without a span no pointer position maps to a value: the drag waits.
  if (h < 0 || h >= kHandles || span <= 0) return;
  std::int64_t t[kHandles];
  for (int i = 0; i < kHandles; ++i) t[i] = m_values[i];
  const std::int64_t v = MulDiv(PointerOffset(point.x, span), int(kMaxValue), span);
  const bool shift = GetAsyncKeyState(VK_SHIFT) < 0;
  const bool outer = h == 0 || h == 3;
  const std::int64_t width = t[3] - t[0];
  if (outer && shift && width > 0) {
    // The inner handles keep their place in whole percent of the span.
    const int f1 = MulDiv(int(t[1] - t[0]), 100, int(width));
    const int f2 = MulDiv(int(t[2] - t[0]), 100, int(width));
    if (h == 3) {
      t[3] = Between(v, t[0], kMaxValue);
    } else {
      t[0] = Between(v, 0, t[3]);
    }
    const int w = int(t[3] - t[0]);
    t[1] = t[0] + MulDiv(f1, w, 100);
    t[2] = t[0] + MulDiv(f2, w, 100);
    t[1] = Between(t[1], t[0], t[2]);
    t[2] = Between(t[2], t[1], t[3]);
  } else if (h == 0) {
    t[0] = Between(v, 0, t[1]);
  } else if (h == 3) {
    t[3] = Between(v, t[2], kMaxValue);
  } else {
    t[h] = Between(v, t[h - 1], t[h + 1]);
  }

  bool changed = false;
  for (int i = 0; i < kHandles; ++i) changed = changed || t[i] != std::int64_t(m_values[i]);
  if (changed) {
    // All four go through percent and back, as a host's value would; the
    // truncation there may lower a value by one unit (1/65535) per move.
    double d[kHandles];
    for (int i = 0; i < kHandles; ++i) d[i] = ToPercent(Clamp16(t[i]));
    Update(wnd.GetSafeHwnd(), dc.GetSafeHdc(), d);
  }
  DrawLabel(dc, MulDiv(int(Clamp16(t[h])), 100, int(kMaxValue)));
  m_dragLast = point;
}

void CWndLightness::DrawLabel(CDC& dc, int percent) {
  CString text;
  if (percent >= 0) text.Format(L"L %3d", percent);
  CFont* oldFont = dc.SelectObject(&m_font);
  dc.SetTextColor(m_textColour);
  dc.SetBkColor(m_colours[kBackground]);
  dc.ExtTextOut(kLabelRect.left, kLabelRect.top, ETO_OPAQUE, &kLabelRect, text, nullptr);
  dc.SelectObject(oldFont);
}

void CWndLightness::ShowLabelAt(CWnd& wnd, CDC& dc, POINT point) {
  const int span = Span(wnd);
  if (!m_enabled || span <= 0) {
    DrawLabel(dc, -1);
    return;
  }
  const int p = MulDiv(PointerOffset(point.x, span), 100, span);
  if (!m_dragging && (p < 0 || p > 100)) {
    DrawLabel(dc, -1);
  } else {
    DrawLabel(dc, p < 0 ? 0 : (p > 100 ? 100 : p));
  }
}

int CWndLightness::ClientWidth(CWnd& wnd) const {
  RECT client{0, 0, 0, 0};
  wnd.GetClientRect(&client);
  return int(client.right - client.left);
}

int CWndLightness::Span(CWnd& wnd) const {
  const int span = mattix::wheel::BarSpan(ClientWidth(wnd));
  return span > 0 ? span : 0;
}

void CWndLightness::FillBelowRamp(CWnd& wnd, CDC& dc) {
  RECT client{0, 0, 0, 0};
  wnd.GetClientRect(&client);
  client.top = kInnerY;
  if (client.bottom > client.top) dc.FillSolidRect(&client, m_colours[kBackground]);
}
