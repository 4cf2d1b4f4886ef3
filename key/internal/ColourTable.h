#pragma once
// CColourTable: the key of every 8-bit colour under one key, so that a frame
// is keyed by one look-up a pixel instead of the colour's hue, saturation,
// lightness and wheel position. For a given key a pixel's keyed colour, and
// its alpha at full source alpha, are functions of its colour alone; the
// table holds them for all 2^24 colours, made by the key's own row kernel
// (so each entry is that kernel's result, which is the reference's), and
// the look-up kernels (KeyKernels.h) scale the alpha by the source's.
//
// Plain form: 16 MiB (one alpha a colour); spill form: 64 MiB (the keyed
// pixel). Making one keys 2^24 colours, as many as two 3840 x 2160 frames
// have pixels (and fills the table besides); so a key's table is begun
// only once half that many pixels are keyed with it directly, and filled
// over the next half, each keying call filling a share of its own (twice
// its pixels) before it keys directly once more. That bounds what a table
// can cost a key that is dropped soon after to about what was keyed
// without it; a key that changes every frame (a slider being dragged)
// never pays for one, and no single frame pays for a whole table. The
// tables live for the process, one at a time: the latest key's, shared by
// every engine and thread that keys with it.
#include <cstdint>
#include <memory>
#include <vector>

#include "key/internal/KeyKernels.h"

namespace mattix::key::internal {

class CColourTable {
 public:
  // The table of the key that params and spill describe (spill: the spill
  // form), or null while keying directly is cheaper or when memory for one
  // is short. `pixels`: how many pixels the caller is about to key with
  // it; `kernel`: the row kernel that keys them directly, which makes the
  // table when one is made. Thread-safe.
  static std::shared_ptr<const CColourTable> ForKey(const KeyRowParams& params, bool spill,
                                                    KeyRowFn kernel, std::uint64_t pixels);

  // How many pixels a key keys directly before its table is complete (2^24
  // by default; it is begun at half); 0 makes one for every key at once, a
  // negative count never (a table already made is kept). For tests and
  // benchmarks, which compare both ways.
  static void SetPixelsBeforeTable(std::int64_t pixels);

  // Keys one row of width pixels, dst may equal src.
  void KeyRow(std::uint8_t* dst, const std::uint8_t* src, int width,
              const KeyRowKernels& kernels) const;

  CColourTable(const CColourTable&) = delete;
  CColourTable& operator=(const CColourTable&) = delete;

  // What a key's result depends on: the mask's bytes and size, the
  // lightness table, the form and (spill form) the spill factor.
  struct Key {
    std::vector<std::uint8_t> mask;  // width bytes a row
    int width = 0, height = 0;
    std::uint32_t lightness[256] = {};
    bool spill = false;
    float spillFactor = 0.0f;

    Key() = default;
    Key(const KeyRowParams& params, bool spill);
    bool Describes(const KeyRowParams& params, bool spill) const;
  };

 private:
  explicit CColourTable(Key key);  // entries left for Fill to write
  // Fills the entries of colours [begin, end), multiples of the block.
  void Fill(const KeyRowParams& params, KeyRowFn kernel, std::uint32_t begin, std::uint32_t end);

  struct Free {
    void operator()(void* p) const;
  };

  Key m_key;
  // Plain form: 2^24 + 3 alphas; spill form: 2^24 keyed pixels. In 2 MiB
  // pages where the system offers them: look-ups land all over the table,
  // and with 4 KiB pages most would miss the address cache.
  std::unique_ptr<std::uint8_t[], Free> m_entries;
};

}  // namespace mattix::key::internal
