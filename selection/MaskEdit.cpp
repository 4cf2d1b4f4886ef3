#include "selection/MaskEdit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "selection/ScanConvert.h"
#include "stdfx/DIB.h"

namespace selection {

namespace {

void* Allocate(std::size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }
void Release(void* block) { std::free(block); }

bool SamePoint(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }

// Taken again at every step, since the owner may reallocate the display
// between steps (a recomposition copies the base into it).
void TakeRaster(MaskEdit& edit, const stdfx::CDIB& display) { edit.raster = ViewOf(display); }

bool Inside(const PixelView& view, int x, int y) {
  return view.pixels != nullptr && x >= 0 && x < view.width && y >= 0 && y < view.height;
}

void Paint(const PixelView& view, int x, int y) {
  if (Inside(view, x, y)) std::memset(view.Row(y) + 4 * std::size_t(x), 255, 4);
}

// The recorded form of a pointer: clamped to 0..width and 0..height.
POINT Recorded(const MaskEdit& edit, POINT p) {
  return POINT{Clamp(p.x, edit.raster.width), Clamp(p.y, edit.raster.height)};
}

// The outline's form: clamped to the last pixel.
POINT OnPicture(const MaskEdit& edit, POINT p) {
  return POINT{Clamp(p.x, edit.raster.width - 1), Clamp(p.y, edit.raster.height - 1)};
}

}  // namespace

EditMemory DefaultMemory() { return EditMemory{&Allocate, &Release}; }

PixelView ViewOf(const stdfx::CDIB& picture) {
  if (!picture.IsValidDIB() || picture.DIBBitCount() != 32) return PixelView{};
  return PixelView{picture.GetBytes(), picture.DIBWidth(), picture.DIBHeight(),
                   picture.DIBBytesPerLine(), picture.IsDIBTopDown()};
}

std::uint8_t* PixelView::Row(int y) const {
  const int row = topDown ? y : height - 1 - y;
  return pixels + std::size_t(row) * std::size_t(stride);
}

MaskEdit::~MaskEdit() { ClearPoints(*this); }

int ToolModeOf(bool shift, bool alt) { return (shift ? kAdd : 0) | (alt ? kSubtract : 0); }

int Clamp(int v, int last) { return v < 0 ? 0 : (v < last ? v : last); }

int RoundHalfAway(double v) { return int(v >= 0 ? std::trunc(v + 0.5) : std::trunc(v - 0.5)); }

bool CombineMask(stdfx::CDIB& mask, const stdfx::CDIB& shape, int mode) {
  if (mode < kReplace || mode > kIntersect) return true;
  const bool sameFormat = mask.IsValidDIB() && shape.IsValidDIB() && mask.DIBBitCount() == 8 &&
                          shape.DIBBitCount() == 8 && mask.DIBWidth() == shape.DIBWidth() &&
                          mask.DIBHeight() == shape.DIBHeight() &&
                          mask.DIBBytesPerLine() == shape.DIBBytesPerLine() &&
                          mask.IsDIBTopDown() == shape.IsDIBTopDown();
  if (mode == kReplace) {
    // Same header: the bytes are all a copy needs, and nothing can fail.
    if (sameFormat) {
      std::memcpy(mask.GetBytes(), shape.GetBytes(),
                  std::size_t(mask.DIBHeight()) * std::size_t(mask.DIBBytesPerLine()));
      return true;
    }
    return mask.CopyDIB(shape);
  }
  if (!sameFormat) return true;
  const int width = mask.DIBWidth();
  const std::size_t stride = std::size_t(mask.DIBBytesPerLine());
  for (int row = 0; row < mask.DIBHeight(); ++row) {
    std::uint8_t* m = mask.GetBytes() + std::size_t(row) * stride;
    const std::uint8_t* s = shape.GetBytes() + std::size_t(row) * stride;
    for (int x = 0; x < width; ++x) {
      switch (mode) {
        case kAdd:
          m[x] = std::uint8_t(m[x] + s[x] > 255 ? 255 : m[x] + s[x]);
          break;
        case kSubtract:
          m[x] = std::uint8_t(m[x] > s[x] ? m[x] - s[x] : 0);
          break;
        default:  // kIntersect
          m[x] = m[x] < s[x] ? m[x] : s[x];
          break;
      }
    }
  }
  return true;
}

void ClearPoints(MaskEdit& edit) {
  edit.memory.release(edit.points);
  edit.points = nullptr;
  edit.count = 0;
  edit.capacity = 0;
}

bool SetPoint(MaskEdit& edit, int index, int x, int y) {
  if (index < 0 || index - edit.capacity >= MaskEdit::kPointStep) return false;
  if (index >= edit.capacity) {
    const int capacity = edit.capacity + MaskEdit::kPointStep;
    auto* grown = static_cast<POINT*>(edit.memory.allocate(std::size_t(capacity) * sizeof(POINT)));
    if (grown == nullptr) return false;
    const int kept = index < edit.capacity ? index : edit.capacity;
    if (kept > 0) std::memcpy(grown, edit.points, std::size_t(kept) * sizeof(POINT));
    edit.memory.release(edit.points);
    edit.points = grown;
    edit.capacity = capacity;
  }
  edit.points[index] = POINT{x, y};
  return true;
}

bool DrawLine(MaskEdit& edit, POINT to, POINT from) {
  const PixelView& view = edit.raster;
  if (SamePoint(to, from)) {
    Paint(view, to.x, to.y);
    return true;
  }
  if (!Inside(view, to.x, to.y)) return false;
  const long dx = long(to.x) - from.x;
  const long dy = long(to.y) - from.y;
  // The running coordinate starts at the first step inside the raster (the
  // end itself for the drags' points, which are always inside), so a far
  // `from` costs no steps and no integer overflow.
  if (std::labs(dy) <= std::labs(dx)) {
    const POINT a = to.x < from.x ? to : from;
    const POINT b = to.x < from.x ? from : to;
    const double slope = double(long(b.y) - a.y) / double(long(b.x) - a.x);
    const long first = std::max<long>(a.x, 0), last = std::min<long>(b.x, view.width - 1);
    double y = a.y + double(first - a.x) * slope;
    for (long x = first; x <= last; ++x, y += slope) Paint(view, int(x), RoundHalfAway(y));
  } else {
    const POINT a = to.y < from.y ? to : from;
    const POINT b = to.y < from.y ? from : to;
    const double slope = double(long(b.x) - a.x) / double(long(b.y) - a.y);
    const long first = std::max<long>(a.y, 0), last = std::min<long>(b.y, view.height - 1);
    double x = a.x + double(first - a.y) * slope;
    for (long y = first; y <= last; ++y, x += slope) Paint(view, RoundHalfAway(x), int(y));
  }
  return true;
}

bool ApplyLasso(MaskEdit& edit, stdfx::CDIB& mask) {
  if (!mask.IsValidDIB() || mask.DIBBitCount() != 8 ||
      mask.GetVfBmiHeader()->biSize != sizeof(tagVFBMINFOHEADER))
    return false;
  // The shape: a zeroed image of the mask's header over memory of our own.
  tagVFBMINFOHEADER header = *mask.GetVfBmiHeader();
  const std::size_t bytes = mask.DIBSize();
  void* pixels = edit.memory.allocate(bytes);
  if (pixels == nullptr) return false;
  std::memset(pixels, 0, bytes);
  bool ok = true;
  {
    stdfx::CDIB shape(&header, pixels);
    if (edit.count > 0 && edit.points != nullptr) {
      auto* vertices =
          static_cast<double*>(edit.memory.allocate(2 * std::size_t(edit.count) * sizeof(double)));
      if (vertices == nullptr) {
        ok = false;
      } else {
        // Vertex y + 0.5: a point recorded on row y lies on that row's
        // centre line, so a one-point lasso fills the pixel one row below.
        for (int i = 0; i < edit.count; ++i) {
          vertices[2 * i] = edit.points[i].x;
          vertices[2 * i + 1] = edit.points[i].y + 0.5;
        }
        CScanConvert scan;
        ok = scan.FillPolygon(&shape, vertices, edit.count);
        edit.memory.release(vertices);
      }
    }
    if (ok) ok = CombineMask(mask, shape, edit.toolMode);
  }
  edit.memory.release(pixels);
  return ok;
}

int BeginDrag(MaskEdit& edit, const EditImages& images, POINT p, int mode) {
  TakeRaster(edit, *images.display);
  edit.start = OnPicture(edit, p);
  edit.last = edit.start;
  edit.dragging = true;
  edit.toolMode = mode;
  if (mode == kReplace && images.mask->GetDIBByte(p.x, p.y) > 0) {
    edit.kind = kMove;
    images.savedMask->CopyDIB(*images.mask);
    return kMove;
  }
  edit.kind = kLasso;
  if (mode == kReplace) {
    images.display->CopyDIB(*images.base);
    TakeRaster(edit, *images.display);
  }
  ClearPoints(edit);
  const POINT first = Recorded(edit, p);
  if (SetPoint(edit, 0, first.x, first.y)) edit.count = 1;
  DrawLine(edit, edit.start, edit.start);
  return kLasso;
}

Redraw ContinueDrag(MaskEdit& edit, const EditImages& images, POINT p, POINT* info) {
  if (!edit.dragging) return Redraw::kNothing;
  if (edit.kind == kLasso) {
    TakeRaster(edit, *images.display);
    const POINT q = OnPicture(edit, p);
    if (SamePoint(q, edit.last)) return Redraw::kNothing;
    const POINT r = Recorded(edit, p);
    if (SetPoint(edit, edit.count, r.x, r.y)) ++edit.count;
    DrawLine(edit, q, edit.last);
    if (info != nullptr) *info = r;
    edit.last = q;
    return Redraw::kOutline;
  }
  if (edit.kind == kMove) {
    if (SamePoint(p, edit.last)) return Redraw::kNothing;
    images.mask->CopyDIBOffset(*images.savedMask, p.x - edit.start.x, p.y - edit.start.y);
    edit.last = p;
    return Redraw::kMask;
  }
  edit.last = p;
  return Redraw::kNothing;
}

Redraw EndDrag(MaskEdit& edit, const EditImages& images, POINT p) {
  if (!edit.dragging) return Redraw::kNothing;
  edit.dragging = false;
  if (edit.kind == kMove) {
    const bool moved = !SamePoint(p, edit.last);
    if (moved)
      images.mask->CopyDIBOffset(*images.savedMask, p.x - edit.start.x, p.y - edit.start.y);
    images.savedMask->FreeDIB();
    return moved ? Redraw::kMask : Redraw::kNothing;
  }
  if (edit.kind == kLasso) {
    TakeRaster(edit, *images.display);
    // A last pixel next to the start needs no closing line.
    if (std::abs(edit.last.x - edit.start.x) > 1 || std::abs(edit.last.y - edit.start.y) > 1)
      DrawLine(edit, edit.start, edit.last);
    ApplyLasso(edit, *images.mask);  // on failure the mask stays as it was
    return Redraw::kMask;
  }
  return Redraw::kNothing;
}

}  // namespace selection
