#include "selection/ScanConvert.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "selection/internal/SpanFill.h"
#include "stdfx/DIB.h"

namespace {

using selection::internal::ClampRound;
using selection::internal::FillSpan;

// The vertex array (x, y pairs) of the fill that is running, null otherwise.
// The vertex sort comparison gets only two indexes and reads y from here.
const double* g_fillVertices = nullptr;

// Publishes a fill's vertices for its whole duration, on every way out.
class PublishedVertices {
 public:
  explicit PublishedVertices(const double* vertices) : m_previous(g_fillVertices) {
    assert(g_fillVertices == nullptr && "CScanConvert fills must not nest or overlap");
    g_fillVertices = vertices;
  }
  ~PublishedVertices() { g_fillVertices = m_previous; }
  PublishedVertices(const PublishedVertices&) = delete;
  PublishedVertices& operator=(const PublishedVertices&) = delete;

 private:
  const double* m_previous;  // restored so that a misuse in release builds stays harmless
};

// Both comparisons below answer -1 when the first key is smaller and 1 when it
// is larger, NaN counting as larger than every number; they never answer 0.
// Equal keys are ordered by index (vertex index, edge number), which is one of
// the orders a sort may leave equal keys in, and keeps the comparison a
// consistent total order as qsort requires. The fill does not depend on it:
// all vertices of equal y are handled before a row is drawn, each edge enters
// and leaves the active list by its own two ends, and the spans of a row come
// from the sorted x values alone, not from which edge holds which value.
int CompareKeys(double a, double b, std::int32_t ia, std::int32_t ib) {
  if (a < b) return -1;
  if (a > b) return 1;
  const bool nanA = std::isnan(a);
  if (nanA != std::isnan(b)) return nanA ? 1 : -1;
  return ia < ib ? -1 : 1;
}

int CompareVertexY(const void* a, const void* b) {
  const std::int32_t ia = *static_cast<const std::int32_t*>(a);
  const std::int32_t ib = *static_cast<const std::int32_t*>(b);
  return CompareKeys(g_fillVertices[2 * std::size_t(ia) + 1],
                     g_fillVertices[2 * std::size_t(ib) + 1], ia, ib);
}

int CompareActiveX(const void* a, const void* b) {
  const auto* ea = static_cast<const CScanConvert::ActiveEdge*>(a);
  const auto* eb = static_cast<const CScanConvert::ActiveEdge*>(b);
  return CompareKeys(ea->x, eb->x, ea->edge, eb->edge);
}

bool IsUsable(const MaskRaster& mask) {
  return mask.pixels != nullptr && mask.width >= 1 && mask.height >= 1 && mask.stride >= mask.width;
}

// Picture row y (from the top) of a bottom-up raster.
unsigned char* PictureRow(const MaskRaster& mask, int y) {
  return mask.pixels + std::ptrdiff_t(mask.height - 1 - y) * mask.stride;
}

}  // namespace

CScanConvert::~CScanConvert() { ReleaseArrays(); }

void CScanConvert::ReleaseArrays() {
  delete[] m_active;
  delete[] m_order;
  m_active = nullptr;
  m_order = nullptr;
  m_capacity = 0;
}

bool CScanConvert::FillPolygon(stdfx::CDIB* mask, const double* vertices, int n) {
  MaskRaster raster;
  if (mask != nullptr && mask->IsValidDIB()) {
    raster.width = mask->DIBWidth();
    raster.height = mask->DIBHeight();
    raster.stride = mask->DIBBytesPerLine();
    // Pixels only when the buffer holds every row the fill may touch (a
    // compressed layout, for one, keeps fewer bytes than its stride implies).
    if (raster.width >= 1 && raster.height >= 1 &&
        std::uint64_t(raster.height - 1) * std::uint64_t(raster.stride) +
                std::uint64_t(raster.width) <=
            mask->DIBSize())
      raster.pixels = mask->GetBytes();
  }
  return FillRaster(raster, vertices, n);
}

bool CScanConvert::FillRaster(const MaskRaster& mask, const double* vertices, int n) {
  const PublishedVertices published(vertices);
  if (n < 1 || vertices == nullptr || !IsUsable(mask)) return true;
  const auto x = [vertices](int i) { return vertices[2 * std::size_t(i)]; };
  const auto y = [vertices](int i) { return vertices[2 * std::size_t(i) + 1]; };

  if (n == 1) {
    int column = 0;
    int row = 0;
    if (ClampRound(x(0), mask.width - 1, &column) && ClampRound(y(0), mask.height - 1, &row))
      PictureRow(mask, row)[column] = 255;
    return true;
  }

  // A flat polygon (every y exactly vertex 0's) has no edge that crosses a
  // centre line; it becomes one span from its leftmost to its rightmost
  // vertex on its own row. Rounding is monotone, so the extremes of x round
  // to the extremes of the rounded x. NaN x are passed over by fmin/fmax.
  double left = x(0);
  double right = x(0);
  int i = 1;
  for (; i < n && y(i) == y(0); ++i) {
    left = std::fmin(left, x(i));
    right = std::fmax(right, x(i));
  }
  if (i == n) {
    int row = 0;
    if (ClampRound(y(0), mask.height - 1, &row))
      FillSpan(PictureRow(mask, row), mask.width, left, right);
    return true;
  }

  // Both arrays hold n entries. n * sizeof cannot overflow for a 32-bit n on
  // a 64-bit target; the check keeps it so on narrower ones.
  if (static_cast<std::size_t>(n) > PTRDIFF_MAX / sizeof(ActiveEdge)) return false;
  ReleaseArrays();
  m_order = new (std::nothrow) std::int32_t[static_cast<std::size_t>(n)];
  m_active = new (std::nothrow) ActiveEdge[static_cast<std::size_t>(n)];
  if (m_order == nullptr || m_active == nullptr) {
    ReleaseArrays();
    return false;
  }
  m_capacity = n;

  for (int k = 0; k < n; ++k) m_order[k] = k;
  std::qsort(m_order, static_cast<std::size_t>(n), sizeof *m_order, CompareVertexY);

  // NaN y sort last; the scan never reaches them and ends at the largest y
  // that is a number. Rows are clamped in double before becoming integers.
  int top = n - 1;
  while (top >= 0 && std::isnan(y(m_order[top]))) --top;
  if (top >= 0) {
    const double firstRow = std::max(std::ceil(y(m_order[0]) - 0.5), 0.0);
    const double lastRow = std::min(std::floor(y(m_order[top]) - 0.5), double(mask.height - 1));
    if (firstRow <= lastRow)
      ScanRows(mask, vertices, n, static_cast<int>(firstRow), static_cast<int>(lastRow));
  }
  ReleaseArrays();
  return true;
}

void CScanConvert::ScanRows(const MaskRaster& mask, const double* vertices, int n, int firstRow,
                            int lastRow) {
  const auto y = [vertices](int i) { return vertices[2 * std::size_t(i) + 1]; };
  int active = 0;
  int k = 0;
  for (int row = firstRow; row <= lastRow; ++row) {
    const double centre = row + 0.5;
    const double previousCentre = row - 0.5;
    // Vertices reached by this centre line: each opens the edges that go on
    // below it and closes those that ended above. An edge is active on the
    // rows whose centre c has upper.y <= c < lower.y; rows above the image
    // are not visited, so an edge that ends above row 0 may be closed without
    // ever having been opened, which changes nothing.
    while (k < n && y(m_order[k]) <= centre) {
      const int i = m_order[k];
      const int before = i == 0 ? n - 1 : i - 1;
      if (y(before) <= previousCentre)
        RemoveActiveEdge(before, active);
      else if (y(before) > centre)
        InsertActiveEdge(before, row, n, active);
      const int after = i == n - 1 ? 0 : i + 1;
      if (y(after) <= previousCentre)
        RemoveActiveEdge(i, active);
      else if (y(after) > centre)
        InsertActiveEdge(i, row, n, active);
      ++k;
    }
    // A closed polygon crosses a centre line an even number of times; only
    // edges touching a NaN vertex, which never open, can leave one unpaired.
    assert(active >= 0 && active <= n);
    std::qsort(m_active, static_cast<std::size_t>(active), sizeof *m_active, CompareActiveX);
    unsigned char* pixels = PictureRow(mask, row);
    for (int j = 0; j + 1 < active; j += 2)
      FillSpan(pixels, mask.width, m_active[j].x, m_active[j + 1].x);
    for (int j = 0; j < active; ++j) m_active[j].x += m_active[j].dx;
  }
}

void CScanConvert::RemoveActiveEdge(int edge, int& activeCount) {
  const int count = std::min(activeCount, m_capacity);
  for (int j = 0; j < count; ++j) {
    if (m_active[j].edge != edge) continue;
    std::memmove(m_active + j, m_active + j + 1, sizeof *m_active * std::size_t(count - j - 1));
    --activeCount;
    return;
  }
}

void CScanConvert::InsertActiveEdge(int edge, int y, int n, int& activeCount) {
  const double* v = g_fillVertices;
  // Each edge opens once, so the list never outgrows the vertex count; the
  // guard keeps a call outside a fill, or with foreign arguments, harmless.
  assert(v == nullptr || activeCount < m_capacity);
  if (v == nullptr || m_active == nullptr || n > m_capacity || edge < 0 || edge >= n ||
      activeCount < 0 || activeCount >= m_capacity)
    return;
  const int next = edge == n - 1 ? 0 : edge + 1;
  // p is the end with the smaller y (the upper end in the picture).
  const double* p = v + 2 * std::size_t(next);
  const double* q = v + 2 * std::size_t(edge);
  if (p[1] > q[1]) std::swap(p, q);
  double dx = 0;
  double x = p[0];
  // A vertical edge keeps its x as it is: the general form would turn an
  // infinite x into NaN (inf - inf) and gives the same value otherwise.
  if (q[0] != p[0]) {
    dx = (q[0] - p[0]) / (q[1] - p[1]);
    x = dx * (y + 0.5 - p[1]) + p[0];
  }
  m_active[activeCount++] = ActiveEdge{x, dx, edge};
}
