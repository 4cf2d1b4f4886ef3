#pragma once
// CWndHSL: the hue/saturation wheel control (260 x 260 pixels of the host's
// custom-draw area). It shows the wheel picture, tints it where the key mask
// (blurred by Softness, as the engine will key) has weight, prints the
// colour under the pointer, marks key colours picked by the host and hands
// the mask out and back in as the "Chroma Mask" record
// (wheel/ChromaMaskRecord.h).
//
// The control is no window of its own: every call that draws receives the
// host's window and device context. Pictures are bottom-up; a client point
// (x, y) with y downwards is the picture pixel at memory row height-1-y.
//
// Resources (the wheel picture, type 8000 id 1030, and the cursors 3031 to
// 3042) are loaded in the constructor from the instance handle of the
// current MFC module state: the caller switches to its module's state first
// (AFX_MANAGE_STATE). Without the resources the images stay invalid and
// every operation that needs them does nothing and reports false.
//
// Mask editing (the lasso and move drags, the combine modes, the outline)
// is the state machine of selection/MaskEdit.h; the control owns its state
// and drives it from the mouse handlers, supplying the window, the device
// context and the images, and choosing the cursor.
#include <cstdint>
#include <memory>

#include "selection/MaskEdit.h"
#include "stdfx/DIB.h"
#include "stdfx/VfbmiHeader.h"
#include "win/AfxWin.h"
#include "win/WinGdi.h"
#include "win/WinUser.h"

class CWndHSL {
 public:
  // The square area the plug-in asks the host for, pixels a side.
  static constexpr int kSize = 260;

  static constexpr int kCursorCount = 13;    // 0: arrow; k: resource 3030 + k
  static constexpr unsigned kHitClient = 1;  // hit-test code of the client area
  static constexpr COLORREF kBackColour = 0xA2A2A2;
  static constexpr COLORREF kTextColour = 0xFFFFFF;

  // Loads the wheel, creates the empty mask and loads the cursors (see above).
  CWndHSL();
  virtual ~CWndHSL();
  CWndHSL(const CWndHSL&) = delete;
  CWndHSL& operator=(const CWndHSL&) = delete;

  // Sets whether the control reacts and shows the live wheel; returns the
  // previous setting. Disabled, it shows the wheel washed out with grey and
  // without the mask, and the info lines stay blank.
  virtual bool Enable(bool enable);
  // Blurs, composes and draws the wheel at the client origin; true when drawn.
  virtual bool Draw(HWND hwnd, HDC hdc);
  // Fills the client rectangle with the background colour; true.
  virtual bool EraseBackground(HWND hwnd, HDC hdc);
  // Client area (kHitClient): the tool cursor (UpdateCursor); elsewhere the
  // arrow, set only when it is not already current. True.
  virtual bool OnSetCursor(HWND hwnd, unsigned hitTest);

  // Mouse handlers: true; `handled` says whether the mask may have changed,
  // in which case the caller stores GetMaskData as the new record.
  virtual bool OnButtonDown(HWND hwnd, HDC hdc, POINT point, bool& handled);
  virtual bool OnButtonUp(HWND hwnd, HDC hdc, POINT point, bool& handled);
  // Outside a drag: shows the info lines for the point; not handled.
  virtual bool OnMouseMove(HWND hwnd, HDC hdc, POINT point, bool& handled);
  // Empties the mask, recomposes and redraws; handled (unless dragging).
  virtual bool OnReset(HWND hwnd, HDC hdc, POINT point, bool& handled);

  // The empty record (144 zero bytes), owned by the control.
  virtual std::uint32_t GetEmptyMaskSize();
  virtual const std::uint8_t* GetEmptyMaskData();
  // The mask as a record, owned by the control and valid until the next
  // GetMaskData, ClearMask or destruction. A mask without weight, or one
  // that cannot be encoded, gives the empty record (and is cleared).
  virtual const std::uint8_t* GetMaskData(std::uint32_t& size);
  // values[0] is Softness (0..100); the others are not read. True when it
  // differs from the stored one (a NaN always differs). Null: false.
  virtual bool SetKeyParams(const double* values);
  // Restores the mask from a record; true when the mask may have changed.
  // The last record of GetMaskData, given back byte for byte while the mask
  // is still the one it holds, is recognised and changes nothing (false);
  // the cached record is released when another record replaces the mask. A record that does not
  // decode, or holds a mask of another size than the wheel's, empties the mask: the mask is never
  // half decoded. An empty record (144 bytes or less, or none) empties a valid mask (true); with no
  // mask at all it answers false.
  virtual bool SetMaskData(const void* record, std::uint32_t size);
  // SetMaskData and SetKeyParams, and a redraw when either changed.
  virtual bool Update(HWND hwnd, HDC hdc, const void* record, std::uint32_t size,
                      const double* values);
  // Marks the wheel position of a key colour (channels 0..255) in the mask:
  // 730 clears the mask and sets that byte, 731 and 732 set the byte, 733
  // sets the disc of radius 3.5 around it (37 bytes). True when a byte
  // changed (730: always); false for other commands or without a mask.
  virtual bool MarkColour(int command, int r, int g, int b);
  // Every mask byte 0; the cached record is released.
  virtual void ClearMask();
  // Loads the wheel picture and builds the base and display images.
  virtual bool LoadWheel();
  // The mask's header (241 x 209, 8 bits, bottom-up); returns its height.
  virtual LONG GetMaskHeader(tagVFBMINFOHEADER& header);
  // Creates the mask, all 0; false without the wheel picture.
  virtual bool CreateMask();
  // The image to show: the display, or the disabled look (see Enable).
  virtual bool GetDisplayImage(stdfx::CDIB& image);
  // Draws the image to show at the client origin; true when drawn.
  virtual bool DrawImage(CWnd* wnd, CDC* dc);
  virtual void DrawBackground(CWnd* wnd, CDC* dc);
  // Maps a client point of a client area of any size onto the picture with
  // y upwards: x = MulDiv(240, x, w), y = 208 - MulDiv(208, y, h); returns y.
  virtual int ClientToWheel(CWnd* wnd, POINT& point);
  // The combine mode of the keys held now: Shift 1 (add), Alt 2
  // (subtract), both 3 (intersect), neither 0 (replace).
  virtual int GetToolMode();
  // Sets the cursor of the tool: the arrow when disabled; while dragging,
  // entry 4 for a move and 9 + mode for a lasso; idle and with no capture
  // anywhere, entry 3 in mode 0 over a keyed mask pixel (at the pointer,
  // GetCursorPos in hwnd's client coordinates), else 5 + mode. SetCursor
  // only when the wanted cursor is not already current.
  virtual void UpdateCursor(HWND hwnd);
  // selection::CombineMask; null images change nothing (true).
  virtual bool CombineMask(stdfx::CDIB* mask, const stdfx::CDIB* shape, int mode);
  // The lasso's points filled and combined into the mask by the tool mode;
  // false, mask unchanged, when memory is short.
  virtual bool ApplyLasso();
  // The base picture with the soft mask's tint into the display: a pixel
  // with mask weight m > 0 becomes div255(c * 159) + div255(m * 96) per
  // channel; pixels without weight keep their colour. True when composed.
  virtual bool ComposeDisplay();
  // The mask blurred into the soft mask, with the radius the engine uses:
  // s = Softness / 100, r = s^4 * 100, radius max(1, min(100, r)); Softness
  // exactly 0 copies the mask. A NaN Softness blurs with radius 1. False
  // without a mask or when the blur fails.
  virtual bool BlurMask();
  // BlurMask, ComposeDisplay (whatever they report), DrawImage.
  virtual bool Refresh(CWnd* wnd, CDC* dc);
  // The lasso's point list and outline (selection/MaskEdit.h).
  virtual void ClearPoints();
  virtual bool SetPoint(int index, int x, int y);
  virtual bool DrawLine(const POINT* to, const POINT* from);
  // A press starts a move (mode 0 on a keyed pixel) or a lasso, draws, sets
  // the cursor and captures the mouse for the window; true.
  virtual bool BeginDrag(CWnd* wnd, CDC* dc, POINT point);
  // The release: capture released, the edit committed into the mask, the
  // wheel recomposed and drawn, the cursor updated.
  virtual void EndDrag(CWnd* wnd, CDC* dc, POINT point);
  // The outline grows (with the info lines of the point), or the region
  // follows the pointer.
  virtual void ContinueDrag(CWnd* wnd, CDC* dc, POINT point);
  // Two lines right of centre below the wheel, white on the background:
  // "H h L l S s" in (160, 220)-(260, 240) unless h < 0, "R r G g B b" in
  // (160, 240)-(260, 260) unless r < 0; a blank line paints its rectangle.
  virtual void DrawInfo(CDC* dc, int r, int g, int b, int h, int l, int s);
  // The info lines for the wheel picture's colour at the point (hue in
  // degrees, lightness and saturation in percent, rounded); blank lines
  // outside the picture or when disabled.
  virtual void ShowInfoAt(CWnd* wnd, CDC* dc, POINT point);

 protected:
  double m_softness = 0.0;
  std::uint8_t m_emptyMask[144] = {};  // never written
  std::uint32_t m_maskBlobSize = 0;
  std::unique_ptr<std::uint8_t[]> m_maskBlob;  // last record of GetMaskData
  bool m_enabled = true;
  // Drag state, tool mode, the lasso's points and the view of the display.
  selection::MaskEdit m_edit;
  stdfx::CDIB m_wheel;    // the picture as loaded: straight alpha
  stdfx::CDIB m_base;     // over the background colour, opaque
  stdfx::CDIB m_display;  // m_base tinted by the soft mask
  stdfx::CDIB m_mask;     // 8-bit key mask
  stdfx::CDIB m_softMask;
  stdfx::CDIB m_savedMask;
  COLORREF m_backColour = kBackColour;
  HCURSOR m_cursors[kCursorCount] = {};
  COLORREF m_textColour = kTextColour;
  CFont m_font;  // the stock GUI font
};
