// Text rendering with FreeType. Glyphs are rendered once per size and
// character and kept; the library and the face live until the layer is
// unloaded (or the process ends).
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "internal/Handles.h"
#include "internal/Text.h"

namespace internal {
namespace {

struct Glyph {
  int left = 0;  // bitmap's left edge right of the pen
  int top = 0;   // bitmap's top row above the baseline
  int width = 0;
  int rows = 0;
  int advance = 0;                      // pixels
  std::vector<unsigned char> coverage;  // rows * width
};

struct FontCache {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  bool failed = false;
  int currentEm = 0;
  std::map<std::pair<int, wchar_t>, Glyph> glyphs;
  std::map<int, std::pair<int, int>> metrics;  // em -> (ascent, descent)
};

FontCache& Cache() { return Immortal<FontCache>(); }

// The face at emPixels, or null when the font cannot be loaded.
FT_Face Face(int emPixels) {
  FontCache& c = Cache();
  if (c.failed || emPixels < 1 || emPixels > 1000) return nullptr;
  if (c.face == nullptr) {
    if ((c.library == nullptr && FT_Init_FreeType(&c.library) != 0) ||
        FT_New_Face(c.library, kFontFile, 0, &c.face) != 0) {
      c.failed = true;
      return nullptr;
    }
  }
  if (c.currentEm != emPixels) {
    if (FT_Set_Pixel_Sizes(c.face, 0, FT_UInt(emPixels)) != 0) return nullptr;
    c.currentEm = emPixels;
  }
  return c.face;
}

const Glyph* GetGlyph(int emPixels, wchar_t ch) {
  FontCache& c = Cache();
  const auto key = std::make_pair(emPixels, ch);
  const auto found = c.glyphs.find(key);
  if (found != c.glyphs.end()) return &found->second;
  FT_Face face = Face(emPixels);
  if (face == nullptr) return nullptr;
  // Light hinting snaps vertically only: crisp stems, undistorted shapes.
  if (FT_Load_Char(face, FT_ULong(ch), FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) != 0) {
    // A character the font cannot give is drawn as its missing-glyph box.
    if (FT_Load_Glyph(face, 0, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) != 0) return nullptr;
  }
  const FT_GlyphSlot slot = face->glyph;
  Glyph g;
  g.left = slot->bitmap_left;
  g.top = slot->bitmap_top;
  g.width = int(slot->bitmap.width);
  g.rows = int(slot->bitmap.rows);
  g.advance = int((slot->advance.x + 32) >> 6);
  try {
    g.coverage.resize(std::size_t(g.width) * std::size_t(g.rows));
    for (int y = 0; y < g.rows; ++y) {
      const unsigned char* row = slot->bitmap.buffer + std::ptrdiff_t(y) * slot->bitmap.pitch;
      std::copy(row, row + g.width, g.coverage.begin() + std::ptrdiff_t(y) * g.width);
    }
    return &c.glyphs.emplace(key, std::move(g)).first->second;
  } catch (...) {
    return nullptr;
  }
}

bool Metrics(int emPixels, int& ascent, int& descent) {
  FontCache& c = Cache();
  const auto found = c.metrics.find(emPixels);
  if (found == c.metrics.end()) {
    FT_Face face = Face(emPixels);
    if (face == nullptr) return false;
    // 26.6 values, rounded outward so that no glyph leaves the cell.
    const int a = int((face->size->metrics.ascender + 63) >> 6);
    const int d = int((-face->size->metrics.descender + 63) >> 6);
    try {
      c.metrics.emplace(emPixels, std::make_pair(a, d));
    } catch (...) {
      return false;
    }
    ascent = a;
    descent = d;
    return true;
  }
  ascent = found->second.first;
  descent = found->second.second;
  return true;
}

}  // namespace

void ReleaseFontCache() {
  FontCache& c = Cache();
  if (c.face != nullptr) FT_Done_Face(c.face);
  if (c.library != nullptr) FT_Done_FreeType(c.library);
  c = FontCache{};
}

bool LayoutText(int emPixels, const wchar_t* text, unsigned count, const INT* dx, TextLayout& out) {
  int ascent = 0, descent = 0;
  if (!Metrics(emPixels, ascent, descent)) return false;
  out.ascent = ascent;
  out.height = ascent + descent;
  long long width = 0;
  for (unsigned i = 0; i < count; ++i) {
    if (dx != nullptr) {
      width += dx[i];
      continue;
    }
    const Glyph* g = GetGlyph(emPixels, text[i]);
    if (g == nullptr) return false;
    width += g->advance;
  }
  out.width = int(std::min<long long>(width, 1 << 30));
  return true;
}

bool DrawGlyphs(const Surface& s, const RECT& clip, int emPixels, int x, int y, const wchar_t* text,
                unsigned count, const INT* dx, COLORREF colour) {
  TextLayout layout;
  if (!LayoutText(emPixels, text, count, dx, layout)) return false;
  const int fr = GetRValue(colour), fg = GetGValue(colour), fb = GetBValue(colour);
  long long penX = x;
  const long long baseline = (long long)y + layout.ascent;
  for (unsigned i = 0; i < count; ++i) {
    const Glyph* g = GetGlyph(emPixels, text[i]);
    if (g == nullptr) return false;
    for (int gy = 0; gy < g->rows; ++gy) {
      const long long py = baseline - g->top + gy;
      if (py < clip.top || py >= clip.bottom) continue;
      for (int gx = 0; gx < g->width; ++gx) {
        const long long px = penX + g->left + gx;
        const int a = g->coverage[std::size_t(gy) * std::size_t(g->width) + std::size_t(gx)];
        if (px < clip.left || px >= clip.right || a == 0) continue;
        std::uint32_t& d = s.pixels[py * s.width + px];
        const int br = int(d >> 16 & 0xFF), bg = int(d >> 8 & 0xFF), bb = int(d & 0xFF);
        const int r = (fr * a + br * (255 - a) + 127) / 255;
        const int gg = (fg * a + bg * (255 - a) + 127) / 255;
        const int b = (fb * a + bb * (255 - a) + 127) / 255;
        d = 0xFF000000u | std::uint32_t(r) << 16 | std::uint32_t(gg) << 8 | std::uint32_t(b);
      }
    }
    penX += dx != nullptr ? dx[i] : g->advance;
  }
  return true;
}

}  // namespace internal
