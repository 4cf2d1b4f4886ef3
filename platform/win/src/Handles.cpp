// The handle table shared by every area of the layer.
#include "internal/Handles.h"

namespace internal {

std::uintptr_t HandleTable::Add(Object object, bool stock) {
  if (m_released) return 0;
  try {
    std::uint32_t index;
    if (!m_free.empty()) {
      index = m_free.back();
      m_free.pop_back();
    } else {
      // Indices stay below 2^30 so that (index + 1) << 2 fits 32 bits.
      if (m_slots.size() >= (std::size_t(1) << 30) - 1) return 0;
      m_slots.emplace_back();
      index = std::uint32_t(m_slots.size() - 1);
    }
    Slot& slot = m_slots[index];
    slot.live = true;
    slot.stock = stock;
    slot.selections = 0;
    slot.object = std::move(object);
    return std::uintptr_t(slot.generation) << 32 | std::uintptr_t(index + 1) << 2;
  } catch (...) {
    return 0;
  }
}

Slot* HandleTable::Find(std::uintptr_t handle) {
  if (m_released) return nullptr;
  const std::uintptr_t low = handle & 0xFFFFFFFFu;
  if ((low & 3) != 0 || low == 0) return nullptr;
  const std::size_t index = (low >> 2) - 1;
  if (index >= m_slots.size()) return nullptr;
  Slot& slot = m_slots[index];
  if (!slot.live || slot.generation != (handle >> 32)) return nullptr;
  return &slot;
}

bool HandleTable::Remove(std::uintptr_t handle) {
  Slot* slot = Find(handle);
  if (slot == nullptr) return false;
  slot->live = false;
  slot->object = std::monostate{};
  // Generation 0 is never issued, so a wrapped counter restarts at 1.
  if (++slot->generation == 0) slot->generation = 1;
  try {
    m_free.push_back(std::uint32_t(slot - m_slots.data()));
  } catch (...) {
    // The slot stays dead and unused; its handle is stale all the same.
  }
  return true;
}

void HandleTable::Release() {
  m_released = true;
  std::vector<Slot>().swap(m_slots);
  std::vector<std::uint32_t>().swap(m_free);
}

std::recursive_mutex& Lock() { return Immortal<std::recursive_mutex>(); }

HandleTable& Handles() { return Immortal<HandleTable>(); }

namespace {

// Runs when the layer is unloaded (a host that closes a plug-in with
// dlclose), and at the end of the process after every static destructor:
// the process-wide state gives back its memory, so that nothing of the
// layer stays allocated once it is gone.
__attribute__((destructor)) void ReleaseLayerMemory() {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  ReleasePointerState();
  ReleaseFontCache();
  Handles().Release();
}

}  // namespace

}  // namespace internal
