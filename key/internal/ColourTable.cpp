#include "key/internal/ColourTable.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace mattix::key::internal {
namespace {

constexpr std::uint32_t kColours = 1u << 24;
constexpr int kBlock = 4096;  // colours keyed a kernel call while a table is made
constexpr std::size_t kPage = std::size_t(1) << 21;

// Bytes in 2 MiB pages when the system gives them on request; the last
// `padding` zeroed. The rest is left for Fill to write, which touches each
// page first where its share lies, so no one call faults in the whole table.
std::uint8_t* AllocateEntries(std::size_t bytes, std::size_t padding) {
  const std::size_t rounded = (bytes + kPage - 1) / kPage * kPage;
  void* p = std::aligned_alloc(kPage, rounded);
  if (!p) throw std::bad_alloc();
#if defined(__linux__)
  madvise(p, rounded, MADV_HUGEPAGE);  // a hint: without it the table still works
#endif
  std::memset(static_cast<std::uint8_t*>(p) + bytes - padding, 0, padding);
  return static_cast<std::uint8_t*>(p);
}

std::atomic<std::int64_t> g_pixelsBeforeTable{std::int64_t(kColours)};

// The latest key's table; for a latest key that has none, the count of
// pixels keyed directly with it, and its table while it is being filled
// (which then holds the key).
struct Cache {
  std::mutex mutex;
  std::shared_ptr<const CColourTable> table;
  std::unique_ptr<CColourTable::Key> pendingKey;  // while no table is being filled
  std::uint64_t pendingPixels = 0;
  std::shared_ptr<CColourTable> building;
  std::uint32_t claimed = 0;  // colours handed to callers to fill, from 0 up
  std::uint32_t filled = 0;   // colours filled
};

Cache& TheCache() {
  static Cache cache;
  return cache;
}

}  // namespace

CColourTable::Key::Key(const KeyRowParams& params, bool spillForm)
    : width(params.mask.width), height(params.mask.height), spill(spillForm) {
  mask.resize(std::size_t(width) * std::size_t(height));
  for (int r = 0; r < height; ++r)
    std::memcpy(mask.data() + std::size_t(r) * std::size_t(width),
                params.mask.pixels + r * params.mask.stride, std::size_t(width));
  std::memcpy(lightness, params.lightness, sizeof lightness);
  spillFactor = spill ? params.spillFactor : 0.0f;
}

bool CColourTable::Key::Describes(const KeyRowParams& params, bool spillForm) const {
  if (spill != spillForm || width != params.mask.width || height != params.mask.height)
    return false;
  // The spill factor compared as bits: a NaN factor is a key of its own.
  if (spill && std::memcmp(&spillFactor, &params.spillFactor, sizeof spillFactor) != 0)
    return false;
  if (std::memcmp(lightness, params.lightness, sizeof lightness) != 0) return false;
  for (int r = 0; r < height; ++r)
    if (std::memcmp(mask.data() + std::size_t(r) * std::size_t(width),
                    params.mask.pixels + r * params.mask.stride, std::size_t(width)) != 0)
      return false;
  return true;
}

CColourTable::CColourTable(Key key) : m_key(std::move(key)) {
  // Every entry is written by Fill (TableIndex is one to one); the plain
  // form's 3 bytes past them are read by 4-byte loads only.
  m_entries.reset(m_key.spill ? AllocateEntries(kColours * sizeof(std::uint32_t), 0)
                              : AllocateEntries(kColours + 3, 3));
}

void CColourTable::Fill(const KeyRowParams& params, KeyRowFn kernel, std::uint32_t begin,
                        std::uint32_t end) {
  // Each block of colours is keyed at full alpha: the alpha that comes out
  // is 255 - t, the colour the keyed one. The blocks live on the stack (32
  // KiB): a fill cannot fail once its range is claimed, or the table would
  // never be complete.
  std::array<std::uint32_t, kBlock> source, keyed;
  auto* pixels = reinterpret_cast<std::uint32_t*>(m_entries.get());
  for (std::uint32_t first = begin; first < end; first += kBlock) {
    for (int i = 0; i < kBlock; ++i) source[i] = (first + std::uint32_t(i)) | 0xFF000000u;
    kernel(reinterpret_cast<std::uint8_t*>(keyed.data()),
           reinterpret_cast<const std::uint8_t*>(source.data()), kBlock, params);
    for (int i = 0; i < kBlock; ++i) {
      const std::uint32_t at = TableIndex(first + std::uint32_t(i));
      if (m_key.spill)
        pixels[at] = keyed[i];
      else
        m_entries[at] = std::uint8_t(keyed[i] >> 24);
    }
  }
}

std::shared_ptr<const CColourTable> CColourTable::ForKey(const KeyRowParams& params, bool spill,
                                                         KeyRowFn kernel, std::uint64_t pixels) {
  const std::int64_t before = g_pixelsBeforeTable.load();
  if (before < 0) return nullptr;
  // The first half of `before` pixels are keyed directly; over the second
  // half each caller also fills its share of the table (twice as many
  // colours as it keys, when `before` is 2^24), each a range of its own, so
  // that no single frame pays for the whole table. The table is used once
  // every colour is filled.
  const std::uint64_t start = std::uint64_t(before) / 2, span = std::uint64_t(before) - start;
  Cache& cache = TheCache();
  std::shared_ptr<CColourTable> building;
  std::uint32_t begin = 0, end = 0;
  {
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.table && cache.table->m_key.Describes(params, spill)) return cache.table;
    const Key* pending = cache.building ? &cache.building->m_key : cache.pendingKey.get();
    if (!pending || !pending->Describes(params, spill)) {
      cache.pendingPixels = 0;
      cache.building.reset();
      cache.claimed = cache.filled = 0;
      try {
        cache.pendingKey = std::make_unique<Key>(params, spill);
      } catch (const std::bad_alloc&) {
        cache.pendingKey.reset();  // keyed directly, as without a table
        return nullptr;
      }
    }
    if (cache.pendingPixels < start) {
      cache.pendingPixels += pixels;
      return nullptr;
    }
    if (!cache.building) {
      try {
        // The previous key's table goes first, so that two are not held at
        // once (engines still keying with it keep it until they end).
        cache.table.reset();
        cache.building.reset(new CColourTable(std::move(*cache.pendingKey)));
      } catch (const std::bad_alloc&) {
        cache.building.reset();  // keyed directly, as without a table
      }
      cache.pendingKey.reset();
      if (!cache.building) return nullptr;
    }
    // This caller's share, in whole blocks (a rough size: a double is exact
    // enough).
    const double share = pixels >= span
                             ? double(kColours)
                             : std::ceil(double(kColours) * double(pixels) / double(span));
    const std::uint64_t blocks = std::uint64_t(std::ceil(share / kBlock));
    begin = cache.claimed;
    end = std::uint32_t(std::min<std::uint64_t>(kColours, begin + blocks * kBlock));
    cache.claimed = end;
    building = cache.building;
  }
  if (begin < end) building->Fill(params, kernel, begin, end);
  std::lock_guard<std::mutex> lock(cache.mutex);
  if (cache.building != building) return nullptr;  // the key changed meanwhile
  cache.filled += end - begin;
  if (cache.filled < kColours) return nullptr;
  cache.table = std::move(cache.building);
  return cache.table;
}

void CColourTable::SetPixelsBeforeTable(std::int64_t pixels) { g_pixelsBeforeTable.store(pixels); }

void CColourTable::KeyRow(std::uint8_t* dst, const std::uint8_t* src, int width,
                          const KeyRowKernels& kernels) const {
  if (m_key.spill)
    kernels.lookupSpill(dst, src, width, reinterpret_cast<const std::uint32_t*>(m_entries.get()));
  else
    kernels.lookupPlain(dst, src, width, m_entries.get());
}

void CColourTable::Free::operator()(void* p) const { std::free(p); }

}  // namespace mattix::key::internal
