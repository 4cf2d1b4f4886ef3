#pragma once
// Mask editing on the hue/saturation wheel: the two drag tools (a freehand
// lasso and a move of the keyed region), the four combine modes, the lasso's
// point list and the white outline drawn while dragging.
//
// MaskEdit is the editing state; the free functions below are its steps and
// the pure operations they use. The control that owns a MaskEdit supplies the
// images (EditImages) and does everything that involves a window: it reads
// the keyboard for the mode, takes and releases the mouse capture, sets the
// cursor and redraws when a step says so. Nothing here calls Windows.
//
// Points are pixel positions of the client area, y downwards; the display
// image is drawn at the client origin, so a client point is also a pixel of
// the display and of the mask. Pictures are stored bottom-up unless their
// header says otherwise.
#include <cstddef>
#include <cstdint>

#include "win/WinTypes.h"

namespace stdfx {
class CDIB;
}

namespace selection {

// Combine modes: how a new shape s changes the mask byte m.
enum ToolMode : int {
  kReplace = 0,    // m = s
  kAdd = 1,        // m = min(m + s, 255)
  kSubtract = 2,   // m = m - s when m > s, else 0
  kIntersect = 3,  // m = min(m, s)
};

// What a drag does.
enum DragKind : int {
  kNoDrag = 0,
  kLasso = 4,
  kMove = 5,
};

// What the owner must do after a step.
enum class Redraw {
  kNothing,  // no pixel changed
  kOutline,  // the outline grew: draw the display again
  kMask,     // the mask changed: blur it, compose the display and draw it
};

// Memory for the point list, the lasso's vertices and its temporary shape.
// allocate returns null when memory is short; release takes what allocate
// gave (or null). Tests substitute an allocator that fails on demand.
struct EditMemory {
  void* (*allocate)(std::size_t bytes);
  void (*release)(void* block);
};
// std::malloc and std::free.
EditMemory DefaultMemory();

// A writable view of a 32-bit picture (4 bytes a pixel), y from the top.
struct PixelView {
  std::uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes from one memory row to the next
  bool topDown = false;
  // The first byte of picture row y (0 <= y < height).
  std::uint8_t* Row(int y) const;
};

// A view of a valid 32-bit picture; empty (no pixels) for any other.
PixelView ViewOf(const stdfx::CDIB& picture);

// The editing state. Between drags the point list keeps the last lasso's
// points until the next lasso (or ClearPoints) empties it.
struct MaskEdit {
  MaskEdit() = default;
  ~MaskEdit();
  MaskEdit(const MaskEdit&) = delete;
  MaskEdit& operator=(const MaskEdit&) = delete;

  bool dragging = false;
  int kind = kNoDrag;
  POINT start{0, 0};  // where the drag began, clamped into the display
  POINT last{0, 0};   // the last position handled
  int toolMode = kReplace;
  // The lasso's points, each clamped to 0..width and 0..height (one past
  // the last pixel is allowed). `capacity` grows in steps of kPointStep;
  // the array belongs to this state and comes from `memory`.
  POINT* points = nullptr;
  int count = 0;
  int capacity = 0;
  PixelView raster;  // the display, taken when a drag begins
  EditMemory memory = DefaultMemory();

  static constexpr int kPointStep = 1024;
};

// The images a drag works on, owned by the control. display is 32-bit;
// mask and savedMask are one byte a pixel of the display's size.
struct EditImages {
  stdfx::CDIB* mask;
  stdfx::CDIB* savedMask;   // the mask as it was when a move began
  stdfx::CDIB* display;     // the picture shown; the outline is drawn into it
  const stdfx::CDIB* base;  // the picture without the mask's tint
};

// ---- Pure operations ----

// The mode of the Shift and Alt keys: neither 0, Shift 1, Alt 2, both 3.
int ToolModeOf(bool shift, bool alt);

// Clamps v into 0..last (0 for any negative v).
int Clamp(int v, int last);

// Rounds halves away from zero: trunc(v + 0.5) for v >= 0, else trunc(v - 0.5).
int RoundHalfAway(double v);

// Combines a one-byte shape into a one-byte mask of the same format by the
// mode. Replace makes the mask a copy of the shape; the other modes work
// byte by byte over the mask's width and absolute height, with the mask's
// row stride for both images. A mode outside 0..3, or images whose sizes
// differ, change nothing. True, except when a replace could not copy.
bool CombineMask(stdfx::CDIB& mask, const stdfx::CDIB& shape, int mode);

// Empties the point list (array released, count and capacity 0).
void ClearPoints(MaskEdit& edit);

// Stores (x, y) at index, growing the list by kPointStep points when index
// is at or past the capacity (the first index points are kept). count is
// not changed. False, list unchanged, when the larger array cannot be had
// or index is negative or more than kPointStep past the capacity.
bool SetPoint(MaskEdit& edit, int index, int x, int y);

// Paints the line from `from` to `to`, both ends included, white (all four
// bytes 255) into edit.raster. Along the longer axis every pixel gets one
// point; the other coordinate is accumulated in double by adding the slope
// once per pixel and rounded halves away from zero. Equal points paint that
// pixel (when inside) and give true. Otherwise false, nothing painted, when
// `to` lies outside the raster; pixels of the line that fall outside it (a
// `from` outside) are skipped.
bool DrawLine(MaskEdit& edit, POINT to, POINT from);

// Fills the lasso's points, as vertices (x, y + 0.5), into a zeroed shape
// of the mask's format (CScanConvert::FillPolygon) and combines it into the
// mask by edit.toolMode. No points: an empty shape (replace and intersect
// empty the mask, add and subtract keep it). False, mask unchanged, when
// memory is short or the mask is not a valid one-byte image.
bool ApplyLasso(MaskEdit& edit, stdfx::CDIB& mask);

// ---- Drag steps ----

// Starts a drag at the pointer p in the given mode. Mode 0 on a keyed mask
// pixel (p as received) starts a move: the mask is saved into savedMask.
// Otherwise a lasso: in mode 0 the display becomes a copy of the base (the
// old region will be replaced, so its tint goes), the point list restarts
// with p clamped to 0..width, 0..height, and the start pixel is painted.
// Returns the kind started; the owner then draws the display (lasso), sets
// the cursor and takes the mouse capture.
int BeginDrag(MaskEdit& edit, const EditImages& images, POINT p, int mode);

// Follows the pointer. Lasso: a pointer that stays on the same clamped pixel
// does nothing; otherwise the point (clamped to 0..width, 0..height) is
// appended (dropped when the list cannot grow) and the outline extended
// from the last pixel; *info receives that point for the owner's info
// lines. Move: the mask becomes the saved mask moved by p - start.
Redraw ContinueDrag(MaskEdit& edit, const EditImages& images, POINT p, POINT* info);

// Ends the drag (the owner has released the capture). Move: the final
// offset, then the saved mask is freed. Lasso: unless the last pixel lies
// within one pixel of the start in both directions, a line closes the
// outline; the lasso is combined into the mask (a failure leaves the mask as
// it was). dragging becomes false. Returns kMask for a drag that was in
// progress (the owner blurs, composes and draws), kNothing otherwise.
Redraw EndDrag(MaskEdit& edit, const EditImages& images, POINT p);

}  // namespace selection
