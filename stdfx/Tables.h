#pragma once
// The image library's shared look-up tables: clamp tables indexed by values
// that may lie outside the clamped range, built once per process and only
// read afterwards, so any thread may use them without locking.
//
// Each table is an array of 32-bit entries reached through a "Table0"
// pointer that stands at index 0; entry [v] holds v clamped to the table's
// range, for every v in the table's index range:
//
//   table                 clamps to   index range (relative to Table0)
//   MinMaxN256P512        0..255      -512 ..  1023
//   MinMaxL16H235         16..235     -512 ..  1023
//   MinMaxL16H240         16..240     -512 ..  1023
//   MinMax10bit           0..1023     -2048 .. 2559
//   MinMax10bitYCCIR      64..940     -2048 .. 2559
//   MinMax10bitCCCIR      64..960     -2048 .. 2559
//
// The 8-bit tables start 512 entries before Table0, the 10-bit ones 2048.
//
// Why -512..1023 is enough for the blur. The recursive Gaussian clamps its
// output through MinMaxN256P512 with index trunc(p + 0.5 + q). Its input
// samples are bytes 0..255 in both passes (the first pass is clamped back to
// bytes before the second), so an output is at most 255 times the sum of the
// positive weights of the filter's response and at least 255 times the sum
// of the negative ones. Over every radius 1..100 and line length, with the
// edge handling, those sums keep the output within -0.05 .. 255.37 (the test
// of these tables recomputes it), i.e. indices 0..255; even a single-
// precision path whose rounding went astray by hundreds of units would stay
// inside the table.
#include <cstdint>

#include "stdfx/StdfxApi.h"

namespace stdfx {

class STDFX_API CTables {
 public:
  // The one table object of the process: built on first use (thread-safe)
  // and never destroyed, so the tables stay valid until the process ends,
  // also for copies and for code running during static destruction.
  static const CTables& GetInstance();

  // A copy shares the instance's tables: it copies the eleven table pointers
  // (which keep pointing into the instance's storage) and the storage.
  CTables(const CTables& other);
  CTables& operator=(const CTables& other);
  virtual ~CTables();

  // Start of each table (its lowest index).
  const std::int32_t* GetMinMaxN256P512Table() const { return m_tables[kN256P512]; }
  const std::int32_t* GetMinMaxL16H235Table() const { return m_tables[kL16H235]; }
  const std::int32_t* GetMinMaxL16H240Table() const { return m_tables[kL16H240]; }
  const std::int32_t* GetMinMax10bitTable() const { return m_tables[k10bit]; }
  const std::int32_t* GetMinMax10bitYCCIRTable() const { return m_tables[k10bitYCCIR]; }
  const std::int32_t* GetMinMax10bitCCCIRTable() const { return m_tables[k10bitCCCIR]; }

  // Index 0 of each table (see the ranges above).
  const std::int32_t* GetMinMaxN256P512Table0() const;
  const std::int32_t* GetMinMaxL16H235Table0() const;
  const std::int32_t* GetMinMaxL16H240Table0() const;
  const std::int32_t* GetMinMax10bitTable0() const;
  const std::int32_t* GetMinMax10bitYCCIRTable0() const;
  const std::int32_t* GetMinMax10bitCCCIRTable0() const;

  // Entries before Table0 and entries in all of one table, per kind.
  static constexpr int k8bitBefore = 512;
  static constexpr int k8bitEntries = 1536;
  static constexpr int k10bitBefore = 2048;
  static constexpr int k10bitEntries = 4608;
  static constexpr int kStorageBytes = 77824;

 private:
  CTables();

  enum Slot {
    kN256P512,
    kL16H235,
    kL16H240,
    k10bit,
    k10bitYCCIR,
    k10bitCCCIR,
    kSlots = 11  // slots 6 to 10 are reserved and null
  };

  const std::int32_t* m_tables[kSlots];
  std::int32_t m_storage[kStorageBytes / 4];
};

static_assert(3 * CTables::k8bitEntries + 3 * CTables::k10bitEntries <= CTables::kStorageBytes / 4,
              "the six tables fit the storage");

}  // namespace stdfx
