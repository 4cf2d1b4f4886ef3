// Construction of the shared clamp tables (layout and ranges in
// stdfx/Tables.h).
#include "stdfx/Tables.h"

#include <algorithm>

namespace stdfx {
namespace {

// Fills entries [0, count) of a table whose index 0 sits `before` entries in.
void FillClamp(std::int32_t* table, int count, int before, int lo, int hi) {
  for (int i = 0; i < count; ++i) table[i] = std::clamp(i - before, lo, hi);
}

}  // namespace

CTables::CTables() : m_tables{}, m_storage{} {
  struct Spec {
    Slot slot;
    int entries;
    int before;
    int lo;
    int hi;
  };
  const Spec specs[] = {
      {kN256P512, k8bitEntries, k8bitBefore, 0, 255},
      {kL16H235, k8bitEntries, k8bitBefore, 16, 235},
      {kL16H240, k8bitEntries, k8bitBefore, 16, 240},
      {k10bit, k10bitEntries, k10bitBefore, 0, 1023},
      {k10bitYCCIR, k10bitEntries, k10bitBefore, 64, 940},
      {k10bitCCCIR, k10bitEntries, k10bitBefore, 64, 960},
  };
  std::int32_t* next = m_storage;
  for (const Spec& t : specs) {
    FillClamp(next, t.entries, t.before, t.lo, t.hi);
    m_tables[t.slot] = next;
    next += t.entries;
  }
}

CTables::~CTables() = default;

const CTables& CTables::GetInstance() {
  // Built by the first caller (the language makes the initialisation of a
  // local static thread-safe) and deliberately never destroyed.
  static const CTables* const instance = new CTables();
  return *instance;
}

}  // namespace stdfx
