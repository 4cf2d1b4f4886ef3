#include "picker/WndHSL.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "draw/DibDraw.h"
#include "filter/Gaussian.h"
#include "stdfx/HSL.h"
#include "wheel/ChromaMaskRecord.h"
#include "wheel/WheelGeometry.h"
#include "win/Afx.h"
#include "win/WinKernel.h"
#include "win/WinResource.h"

namespace {

constexpr unsigned kWheelResource = 1030;
constexpr unsigned kFirstCursorResource = 3031;

// Exact rounded division by 255 of a product of two 8-bit values.
inline unsigned Div255(unsigned v) { return ((v + 128) + ((v + 128) >> 8)) >> 8; }

// Weight of the tint: a pixel with any mask weight keeps 159/255 of its
// colour and gains up to 96 (at weight 255).
constexpr unsigned kTint = 96;

// True when some byte of an 8-bit mask is not 0.
bool HasWeight(const stdfx::CDIB& mask) {
  if (!mask.IsValidDIB()) return false;
  const std::uint8_t* bytes = mask.GetBytes();
  const std::size_t width = std::size_t(mask.DIBWidth());
  for (int row = 0; row < mask.DIBHeight(); ++row) {
    const std::uint8_t* line = bytes + std::size_t(row) * std::size_t(mask.DIBBytesPerLine());
    if (std::any_of(line, line + width, [](std::uint8_t v) { return v != 0; })) return true;
  }
  return false;
}

}  // namespace

CWndHSL::CWndHSL() {
  LoadWheel();
  CreateMask();
  const HINSTANCE instance = AfxGetModuleState()->m_hCurrentInstanceHandle;
  m_cursors[0] = LoadCursorW(nullptr, IDC_ARROW);
  for (int k = 1; k < kCursorCount; ++k)
    m_cursors[k] = LoadCursorW(instance, MAKEINTRESOURCEW(kFirstCursorResource - 1 + unsigned(k)));
  m_font.Attach(GetStockObject(DEFAULT_GUI_FONT));
}

// The images, the point list and the cached record release themselves; the
// font wrapper deletes a stock object, which Windows ignores.
CWndHSL::~CWndHSL() = default;

bool CWndHSL::Enable(bool enable) {
  const bool previous = m_enabled;
  m_enabled = enable;
  return previous;
}

bool CWndHSL::Draw(HWND hwnd, HDC hdc) {
  return Refresh(CWnd::FromHandle(hwnd), CDC::FromHandle(hdc));
}

bool CWndHSL::EraseBackground(HWND hwnd, HDC hdc) {
  DrawBackground(CWnd::FromHandle(hwnd), CDC::FromHandle(hdc));
  return true;
}

bool CWndHSL::OnSetCursor(HWND hwnd, unsigned hitTest) {
  if (hitTest == kHitClient) {
    UpdateCursor(hwnd);
  } else if (GetCursor() != m_cursors[0]) {
    SetCursor(m_cursors[0]);
  }
  return true;
}

bool CWndHSL::OnButtonDown(HWND hwnd, HDC hdc, POINT point, bool& handled) {
  handled = false;
  if (m_enabled) {
    BeginDrag(CWnd::FromHandle(hwnd), CDC::FromHandle(hdc), point);
    handled = true;
  }
  return true;
}

bool CWndHSL::OnButtonUp(HWND hwnd, HDC hdc, POINT point, bool& handled) {
  handled = false;
  if (m_edit.dragging) {
    EndDrag(CWnd::FromHandle(hwnd), CDC::FromHandle(hdc), point);
    handled = true;
  }
  return true;
}

bool CWndHSL::OnMouseMove(HWND hwnd, HDC hdc, POINT point, bool& handled) {
  handled = false;
  if (m_edit.dragging) {
    ContinueDrag(CWnd::FromHandle(hwnd), CDC::FromHandle(hdc), point);
    handled = true;
  } else {
    ShowInfoAt(CWnd::FromHandle(hwnd), CDC::FromHandle(hdc), point);
  }
  return true;
}

bool CWndHSL::OnReset(HWND hwnd, HDC hdc, POINT, bool& handled) {
  handled = false;
  if (m_edit.dragging) return true;
  m_edit.toolMode = selection::kReplace;
  ClearPoints();
  m_display.CopyDIB(m_base);
  ApplyLasso();  // no points: the empty shape replaces the mask
  CWnd* wnd = CWnd::FromHandle(hwnd);
  CDC* dc = CDC::FromHandle(hdc);
  BlurMask();
  ComposeDisplay();
  DrawImage(wnd, dc);
  handled = true;
  return true;
}

std::uint32_t CWndHSL::GetEmptyMaskSize() { return mattix::wheel::kEmptyRecordSize; }

const std::uint8_t* CWndHSL::GetEmptyMaskData() { return m_emptyMask; }

const std::uint8_t* CWndHSL::GetMaskData(std::uint32_t& size) {
  std::vector<unsigned char> record;
  if (HasWeight(m_mask) && mattix::wheel::EncodeRecord(m_mask, record)) {
    m_maskBlob.reset(new (std::nothrow) std::uint8_t[record.size()]);
    if (m_maskBlob != nullptr) {
      std::memcpy(m_maskBlob.get(), record.data(), record.size());
      m_maskBlobSize = std::uint32_t(record.size());
      size = m_maskBlobSize;
      return m_maskBlob.get();
    }
  }
  ClearMask();
  size = GetEmptyMaskSize();
  return GetEmptyMaskData();
}

bool CWndHSL::SetKeyParams(const double* values) {
  if (values == nullptr) return false;
  const bool changed = !(values[0] == m_softness);
  m_softness = values[0];
  return changed;
}

bool CWndHSL::SetMaskData(const void* record, std::uint32_t size) {
  if (mattix::wheel::RecordIsEmpty(record, size)) {
    const bool hadMask = m_mask.IsValidDIB();
    ClearMask();
    return hadMask;
  }
  if (size == m_maskBlobSize && m_maskBlob != nullptr &&
      std::memcmp(record, m_maskBlob.get(), size) == 0)
    return false;
  stdfx::CDIB decoded;
  tagVFBMINFOHEADER header;
  const LONG height = GetMaskHeader(header);
  if (mattix::wheel::DecodeRecord(record, size, decoded) && decoded.DIBWidth() == header.biWidth &&
      decoded.DIBHeight() == height && m_mask.CopyDIB(decoded)) {
    // The cached record no longer describes the mask: when the host hands
    // it back (an undo of this change), it must be decoded again.
    m_maskBlob.reset();
    m_maskBlobSize = 0;
    return true;
  }
  ClearMask();
  return true;
}

bool CWndHSL::Update(HWND hwnd, HDC hdc, const void* record, std::uint32_t size,
                     const double* values) {
  const bool maskChanged = SetMaskData(record, size);
  const bool paramsChanged = SetKeyParams(values);
  if (maskChanged || paramsChanged) Refresh(CWnd::FromHandle(hwnd), CDC::FromHandle(hdc));
  return maskChanged || paramsChanged;
}

bool CWndHSL::MarkColour(int command, int r, int g, int b) {
  if (!m_mask.IsValidDIB() || m_mask.DIBBitCount() != 8) return false;
  const int width = m_mask.DIBWidth();
  const int height = m_mask.DIBHeight();
  const int stride = m_mask.DIBBytesPerLine();
  std::uint8_t* bytes = m_mask.GetBytes();

  float h = 0, l = 0, s = 0;
  stdfx::CHSL::RGBtoHLS(h, l, s, r, g, b);
  // Memory rows: row 0 is the bottom row as displayed. The engine reads a
  // colour's weight at the same position (wheel/WheelGeometry.h).
  mattix::wheel::Position at{mattix::wheel::kGreyRow, mattix::wheel::kGreyColumn};
  if (h >= 0)
    at = mattix::wheel::PositionOf(h, s, 0.5f * float(width - 1), 0.5f * float(height - 1));
  if (at.column >= width || at.row >= height) return false;

  auto set = [&](int x, int row) {
    std::uint8_t& byte = bytes[std::size_t(row) * std::size_t(stride) + std::size_t(x)];
    const bool changed = byte != 255;
    byte = 255;
    return changed;
  };
  switch (command) {
    case 730:
      m_mask.ClearDIB(-1, 0);
      set(at.column, at.row);
      return true;
    case 731:
    case 732:
      return set(at.column, at.row);
    case 733: {
      // The disc of radius 3.5: offsets whose distance plus one half is at
      // most 4, in single precision.
      bool changed = false;
      for (int row = std::max(at.row - 4, 0); row <= std::min(at.row + 4, height - 1); ++row) {
        for (int x = std::max(at.column - 4, 0); x <= std::min(at.column + 4, width - 1); ++x) {
          const float dx = float(x - at.column), dy = float(row - at.row);
          if (std::sqrt(dx * dx + dy * dy) + 0.5f <= 4.0f) changed = set(x, row) || changed;
        }
      }
      return changed;
    }
    default:
      return false;
  }
}

void CWndHSL::ClearMask() {
  m_mask.ClearDIB(-1, 0);
  m_maskBlob.reset();
  m_maskBlobSize = 0;
}

bool CWndHSL::LoadWheel() {
  const HINSTANCE instance = AfxGetModuleState()->m_hCurrentInstanceHandle;
  if (!m_wheel.CreateFromResource(kWheelResource, instance)) return false;
  if (m_wheel.DIBBitCount() != 32 || !m_base.CopyDIB(m_wheel) ||
      !m_base.ConvertAlphaToPremultiplied(-1)) {
    m_wheel.FreeDIB();
    m_base.FreeDIB();
    return false;
  }
  // The premultiplied picture over the background colour: each channel
  // gains the background's share 255 - alpha; 8-bit additions.
  const unsigned back[3] = {GetBValue(m_backColour), GetGValue(m_backColour),
                            GetRValue(m_backColour)};
  const int stride = m_base.DIBBytesPerLine();
  for (int y = 0; y < m_base.DIBHeight(); ++y) {
    std::uint8_t* p = m_base.GetBytes() + std::size_t(y) * std::size_t(stride);
    for (int x = 0; x < m_base.DIBWidth(); ++x, p += 4) {
      const unsigned k = 255u - p[3];
      for (int c = 0; c < 3; ++c) p[c] = std::uint8_t(p[c] + Div255(back[c] * k));
      p[3] = 255;
    }
  }
  return m_display.CopyDIB(m_base);
}

LONG CWndHSL::GetMaskHeader(tagVFBMINFOHEADER& header) {
  header = mattix::wheel::MaskHeader();
  return header.biHeight;
}

bool CWndHSL::CreateMask() {
  if (!m_wheel.IsValidDIB()) return false;
  tagVFBMINFOHEADER header;
  GetMaskHeader(header);
  if (!m_mask.Create(header)) return false;
  return m_mask.ClearDIB(-1, 0);
}

bool CWndHSL::GetDisplayImage(stdfx::CDIB& image) {
  if (m_enabled) return image.CopyDIB(m_display);
  if (!m_base.IsValidDIB() || !image.Create(m_base)) return false;
  // Half background, half picture: the disabled look, without the mask.
  const unsigned back[3] = {GetBValue(m_backColour), GetGValue(m_backColour),
                            GetRValue(m_backColour)};
  const int stride = m_base.DIBBytesPerLine();
  for (int y = 0; y < m_base.DIBHeight(); ++y) {
    const std::uint8_t* s = m_base.GetBytes() + std::size_t(y) * std::size_t(stride);
    std::uint8_t* d = image.GetBytes() + std::size_t(y) * std::size_t(stride);
    for (int x = 0; x < m_base.DIBWidth(); ++x, s += 4, d += 4) {
      for (int c = 0; c < 3; ++c) d[c] = std::uint8_t(Div255(back[c] * 128 + s[c] * 127u));
      d[3] = 255;
    }
  }
  return true;
}

bool CWndHSL::DrawImage(CWnd*, CDC* dc) {
  stdfx::CDIB image;
  if (!GetDisplayImage(image)) return false;
  CDibDraw draw;
  return draw.DrawDIBWhole(image, dc);
}

void CWndHSL::DrawBackground(CWnd* wnd, CDC* dc) {
  RECT client{};
  wnd->GetClientRect(&client);
  dc->FillSolidRect(&client, m_backColour);
}

int CWndHSL::ClientToWheel(CWnd* wnd, POINT& point) {
  RECT client{};
  wnd->GetClientRect(&client);
  point.x = MulDiv(240, point.x, client.right - client.left);
  point.y = 208 - MulDiv(208, point.y, client.bottom - client.top);
  return point.y;
}

int CWndHSL::GetToolMode() {
  return selection::ToolModeOf(GetAsyncKeyState(VK_SHIFT) < 0, GetAsyncKeyState(VK_MENU) < 0);
}

void CWndHSL::UpdateCursor(HWND hwnd) {
  int wanted = 0;
  if (!m_enabled) {
    wanted = 0;
  } else if (m_edit.dragging) {
    wanted = m_edit.kind == selection::kMove ? 4 : 9 + m_edit.toolMode;
  } else if (GetCapture() == nullptr) {
    m_edit.toolMode = GetToolMode();
    POINT pointer{0, 0};
    if (m_edit.toolMode == selection::kReplace && GetCursorPos(&pointer) &&
        ScreenToClient(hwnd, &pointer) && m_mask.GetDIBByte(pointer.x, pointer.y) > 0)
      wanted = 3;
    else
      wanted = 5 + GetToolMode();
  } else {
    return;  // another drag holds the mouse: its cursor stays
  }
  // A module cursor that did not load shows as the arrow rather than hiding
  // the pointer.
  const HCURSOR cursor = m_cursors[wanted] != nullptr ? m_cursors[wanted] : m_cursors[0];
  if (GetCursor() != cursor) SetCursor(cursor);
}

bool CWndHSL::CombineMask(stdfx::CDIB* mask, const stdfx::CDIB* shape, int mode) {
  if (mask == nullptr || shape == nullptr) return true;
  return selection::CombineMask(*mask, *shape, mode);
}

bool CWndHSL::ApplyLasso() { return selection::ApplyLasso(m_edit, m_mask); }

bool CWndHSL::ComposeDisplay() {
  if (!m_display.CopyDIB(m_base)) return false;
  if (!m_softMask.IsValidDIB() || m_softMask.DIBBitCount() != 8 ||
      m_softMask.DIBWidth() != m_display.DIBWidth() ||
      m_softMask.DIBHeight() != m_display.DIBHeight())
    return false;
  const int stride = m_display.DIBBytesPerLine();
  const int maskStride = m_softMask.DIBBytesPerLine();
  for (int y = 0; y < m_display.DIBHeight(); ++y) {
    std::uint8_t* p = m_display.GetBytes() + std::size_t(y) * std::size_t(stride);
    const std::uint8_t* m = m_softMask.GetBytes() + std::size_t(y) * std::size_t(maskStride);
    for (int x = 0; x < m_display.DIBWidth(); ++x, p += 4) {
      const unsigned k = m[x] != 0 ? kTint : 0;
      const unsigned f = 255 - k;
      const unsigned lift = Div255(m[x] * k);
      for (int c = 0; c < 3; ++c) p[c] = std::uint8_t(Div255(p[c] * f) + lift);
      p[3] = 255;
    }
  }
  return true;
}

bool CWndHSL::BlurMask() {
  if (!m_mask.IsValidDIB()) return false;
  if (m_softness == 0.0) return m_softMask.CopyDIB(m_mask);
  if (!m_softMask.Create(m_mask)) return false;
  const double s = m_softness / 100.0;
  const double r = s * s * s * s * 100.0;
  double radius = r;
  if (!(r >= 1.0)) {
    radius = 1.0;  // also NaN
  } else if (r > 100.0) {
    radius = 100.0;
  }
  stdfx::CGaussian blur(1);
  return blur.Blur(m_softMask, m_mask, radius, radius) == stdfx::CGaussian::kDone;
}

bool CWndHSL::Refresh(CWnd* wnd, CDC* dc) {
  BlurMask();
  ComposeDisplay();
  return DrawImage(wnd, dc);
}

void CWndHSL::ClearPoints() { selection::ClearPoints(m_edit); }

bool CWndHSL::SetPoint(int index, int x, int y) { return selection::SetPoint(m_edit, index, x, y); }

bool CWndHSL::DrawLine(const POINT* to, const POINT* from) {
  if (to == nullptr || from == nullptr) return false;
  m_edit.raster = selection::ViewOf(m_display);  // the display may have been reallocated
  return selection::DrawLine(m_edit, *to, *from);
}

bool CWndHSL::BeginDrag(CWnd* wnd, CDC* dc, POINT point) {
  const selection::EditImages images{&m_mask, &m_savedMask, &m_display, &m_base};
  if (selection::BeginDrag(m_edit, images, point, GetToolMode()) == selection::kLasso)
    DrawImage(wnd, dc);
  const HWND hwnd = wnd != nullptr ? wnd->GetSafeHwnd() : nullptr;
  UpdateCursor(hwnd);
  SetCapture(hwnd);
  return true;
}

void CWndHSL::ContinueDrag(CWnd* wnd, CDC* dc, POINT point) {
  const selection::EditImages images{&m_mask, &m_savedMask, &m_display, &m_base};
  POINT info{0, 0};
  switch (selection::ContinueDrag(m_edit, images, point, &info)) {
    case selection::Redraw::kOutline:
      DrawImage(wnd, dc);
      ShowInfoAt(wnd, dc, info);
      break;
    case selection::Redraw::kMask:
      Refresh(wnd, dc);
      break;
    case selection::Redraw::kNothing:
      break;
  }
}

void CWndHSL::EndDrag(CWnd* wnd, CDC* dc, POINT point) {
  ReleaseCapture();
  const selection::EditImages images{&m_mask, &m_savedMask, &m_display, &m_base};
  if (selection::EndDrag(m_edit, images, point) == selection::Redraw::kMask) Refresh(wnd, dc);
  UpdateCursor(wnd != nullptr ? wnd->GetSafeHwnd() : nullptr);
}

void CWndHSL::DrawInfo(CDC* dc, int r, int g, int b, int h, int l, int s) {
  if (dc == nullptr) return;
  CString hls;
  CString rgb;
  if (h >= 0) hls.Format(L"H %d L %d S %d", h, l, s);
  if (r >= 0) rgb.Format(L"R %d G %d B %d", r, g, b);
  CFont* previous = dc->SelectObject(&m_font);
  dc->SetTextColor(m_textColour);
  dc->SetBkColor(m_backColour);
  const RECT top{160, 220, 260, 240};
  const RECT bottom{160, 240, 260, 260};
  dc->ExtTextOut(160, 220, ETO_OPAQUE, &top, hls, nullptr);
  dc->ExtTextOut(160, 240, ETO_OPAQUE, &bottom, rgb, nullptr);
  if (previous != nullptr) dc->SelectObject(previous);
}

void CWndHSL::ShowInfoAt(CWnd*, CDC* dc, POINT point) {
  int r = 0, g = 0, b = 0;
  if (m_enabled && m_wheel.GetDIBColor(point.x, point.y, r, g, b)) {
    float h = 0, l = 0, s = 0;
    stdfx::CHSL::RGBtoHLS(h, l, s, r, g, b);
    // Rounded halves up; a hue that rounds to 360 degrees reads 0.
    const int hue = int(std::trunc(double(h) * 360.0 + 0.5)) % 360;
    const int lightness = int(std::trunc(double(l) * 100.0 + 0.5));
    const int saturation = int(std::trunc(double(s) * 100.0 + 0.5));
    DrawInfo(dc, r, g, b, hue, lightness, saturation);
  } else {
    DrawInfo(dc, -1, -1, -1, -1, -1, -1);
  }
}
