#pragma once
#include <cstdint>

namespace stdfx {
class CDIB;
}

// A writable one-byte-per-pixel picture: `height` rows of `width` bytes,
// `stride` bytes apart, stored bottom-up (picture row y, counted from the top,
// is memory row height - 1 - y). Memory it points to belongs to the caller.
struct MaskRaster {
  unsigned char* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// Fills closed polygons with real-valued vertices into a one-byte mask: every
// pixel inside (even-odd rule) becomes 255, every other pixel keeps its value.
//
// Scan conversion with an active edge list: the vertex indexes are sorted by y
// once, edges enter the list at their upper end and leave it at their lower
// end as the scan passes, and each row is filled pairwise between the active
// edges sorted by x. Row y is sampled on its centre line y + 0.5. Span ends
// are rounded to the nearest column (halves away from zero), not taken
// strictly inside, and each end is clamped into the image on its own, so a
// polygon wholly left of the image still marks column 0 on its rows.
//
// Not reentrant: while a fill runs its vertex array is published in one
// module-wide variable that the sort comparison reads, so only one fill may
// run in the module at a time (debug builds assert this). All callers run on
// the thread of the controls' window messages.
//
// Input is never rejected. Vertices outside the image are clipped. Arithmetic
// on non-finite or huge coordinates follows IEEE-754 and stays in double until
// a value has been clamped into the image, and:
//  - a span end that comes out NaN draws nothing for that span; infinite ends
//    clamp to the first or last column;
//  - a vertex whose y is NaN sorts after all others and is never reached by
//    the scan, so its two edges never become active; an active edge left
//    without a partner on a row draws nothing;
//  - a vertical edge keeps its x exactly (dx is 0 even when x is infinite).
class CScanConvert {
 public:
  // One edge crossing the current row. `edge` i joins vertex i and vertex
  // i + 1 (vertex n - 1 joins vertex 0).
  struct ActiveEdge {
    double x;   // where the edge crosses the current row's centre line
    double dx;  // change of x from one row to the next
    std::int32_t edge;
  };

  CScanConvert() = default;
  virtual ~CScanConvert();
  CScanConvert(const CScanConvert&) = delete;
  CScanConvert& operator=(const CScanConvert&) = delete;

  // Fills the polygon of n vertices (x, y pairs of doubles, closed implicitly)
  // into `mask`, a one-byte-per-pixel image whose width, absolute height and
  // row stride are read from its header. Returns false only when memory for
  // the working arrays cannot be had; the mask is then untouched. n <= 1, a
  // null or invalid image, and a null vertex array are not errors: true.
  virtual bool FillPolygon(stdfx::CDIB* mask, const double* vertices, int n);

  // Removes the first active entry whose `edge` is `edge`, moving the entries
  // behind it down by one, and decrements activeCount; does nothing when no
  // entry has that number.
  virtual void RemoveActiveEdge(int edge, int& activeCount);

  // Appends `edge` of the n-vertex polygon being filled, set up to cross row
  // y's centre line, and increments activeCount. Reads the vertices published
  // by the running fill; call only from within a fill.
  virtual void InsertActiveEdge(int edge, int y, int n, int& activeCount);

  // The same fill over a plain raster. An empty raster (no pixels, width or
  // height below 1, or a stride shorter than the width) gets nothing written.
  bool FillRaster(const MaskRaster& mask, const double* vertices, int n);

 protected:
  // Both arrays exist only while a fill runs; each holds m_capacity (the
  // vertex count) entries. Released with delete[].
  ActiveEdge* m_active = nullptr;
  std::int32_t* m_order = nullptr;  // vertex indexes by ascending y
  int m_capacity = 0;

 private:
  void ReleaseArrays();
  void ScanRows(const MaskRaster& mask, const double* vertices, int n, int firstRow, int lastRow);
};
