#pragma once
// Text through FreeType: DejaVu Sans at a size in pixels per em, hinted,
// anti-aliased. Callers hold the layer's lock.
#include <cstdint>

#include "internal/Raster.h"
#include "win/WinGdi.h"

namespace internal {

// The font file the layer renders with (Debian's fonts-dejavu-core).
inline constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct TextLayout {
  int ascent = 0;  // baseline below the cell's top, pixels
  int height = 0;  // the cell's height: ascent + descent
  int width = 0;   // sum of the advances
};

// Measures count characters; false when the font cannot be loaded. dx, when
// given, holds each character's advance and replaces the font's.
bool LayoutText(int emPixels, const wchar_t* text, unsigned count, const INT* dx, TextLayout& out);

// Blends the glyphs in `colour` over the surface, the cell's top-left at
// (x, y), only inside clip (already within the surface). Coverage c (0..255)
// mixes each channel as (colour * c + below * (255 - c) + 127) / 255.
bool DrawGlyphs(const Surface& s, const RECT& clip, int emPixels, int x, int y, const wchar_t* text,
                unsigned count, const INT* dx, COLORREF colour);

}  // namespace internal
