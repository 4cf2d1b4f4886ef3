#pragma once
// The host SDK's object model: 16-byte interface identifiers, the base
// interface of every object that crosses between host and effect, the
// reference-counting base class, and a holder that releases what it holds.
//
// Layout rule: interfaces have no virtual destructor (their destructors are
// protected), so an interface's operations occupy the slots of its virtual
// table in declaration order: QueryInterface 0, AddRef 1, Release 2,
// GetRefCount 3, the interface's own operations from 4. Positions that no
// side of this project calls are declared as ReservedN(), N the position,
// so that every used operation sits at its published position.
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace PIM {

// Every operation returns a 32-bit status, 0 for success.
using Status = std::int32_t;
inline constexpr Status kOk = 0;
// QueryInterface: the object does not offer the interface asked for.
inline constexpr Status kNoInterface = 16;

// An interface identifier: 16 bytes, compared over all 16.
struct IID {
  std::uint8_t bytes[16];

  friend constexpr bool operator==(const IID& a, const IID& b) {
    for (int i = 0; i < 16; ++i) {
      if (a.bytes[i] != b.bytes[i]) return false;
    }
    return true;
  }
};
static_assert(sizeof(IID) == 16 && alignof(IID) == 1);

class IBase {
 public:
  static constexpr IID kIID{{0x28, 0xB2, 0x2B, 0x7C, 0x14, 0x3E, 0x77, 0xF4, 0xED, 0x65, 0x2B, 0x9E,
                             0x62, 0x53, 0xEA, 0x90}};

  // 0. On success (0) *out holds the interface asked for and the caller owns
  // one reference to it; otherwise *out is null and the status is non-zero.
  virtual Status QueryInterface(const IID& iid, void** out) = 0;
  // 1, 2. Add or drop one reference; the object destroys itself when the
  // count falls to 0.
  virtual void AddRef() = 0;
  virtual void Release() = 0;
  // 3. The current count.
  virtual std::int32_t GetRefCount() = 0;

 protected:
  IBase() = default;
  IBase(const IBase&) = default;
  IBase& operator=(const IBase&) = default;
  ~IBase() = default;
};

// The reference count shared by an object's interfaces. A new object starts
// at 0: whoever receives it first takes the first reference. The count is a
// 32-bit integer changed only by atomic increment and decrement, so any
// thread may add and drop references.
class RCObject {
 public:
  virtual void AddRef() { m_refCount.fetch_add(1, std::memory_order_relaxed); }
  virtual void Release() {
    if (DropReference() == 0) delete this;
  }
  virtual bool IsShared() const { return RefCount() > 1; }
  // Destroy-and-free: the virtual destructor, reached from Release.
  virtual ~RCObject() = default;

  std::int32_t RefCount() const { return m_refCount.load(std::memory_order_acquire); }

 protected:
  RCObject() = default;
  // A copy is a new object with no references yet.
  RCObject(const RCObject&) : m_refCount(0) {}
  RCObject& operator=(const RCObject&) { return *this; }

  // Drops one reference and returns the count left. A derived class that
  // overrides Release destroys itself at 0 through its own pointer.
  // acq_rel: every write made through other references happens before the
  // destruction that the last Release triggers.
  std::int32_t DropReference() { return m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1; }

 private:
  std::atomic<std::int32_t> m_refCount{0};
};
static_assert(sizeof(std::atomic<std::int32_t>) == 4);

// Owns one reference to an interface and drops it when destroyed.
// put() receives an out-parameter: obj->QueryInterface(T::kIID, p.put()).
// The interface pointer is kept as the void* that an out-parameter writes
// (always a T* converted to void*), so put() can hand out its address.
template <class T>
class RefPtr {
 public:
  RefPtr() = default;
  RefPtr(std::nullptr_t) {}  // NOLINT: a null holder converts implicitly
  // Takes over a reference that the caller already owns.
  static RefPtr Adopt(T* p) {
    RefPtr r;
    r.m_slot = p;
    return r;
  }
  // Takes a new reference of its own.
  static RefPtr Retain(T* p) {
    if (p != nullptr) p->AddRef();
    return Adopt(p);
  }
  RefPtr(const RefPtr& other) : m_slot(other.m_slot) {
    if (T* p = Get()) p->AddRef();
  }
  RefPtr(RefPtr&& other) noexcept : m_slot(other.m_slot) { other.m_slot = nullptr; }
  template <class U>
  RefPtr(RefPtr<U> other) : m_slot(static_cast<T*>(other.Detach())) {}  // NOLINT: upcast
  RefPtr& operator=(RefPtr other) noexcept {
    void* old = m_slot;
    m_slot = other.m_slot;
    other.m_slot = old;
    return *this;
  }
  ~RefPtr() { Reset(); }

  T* Get() const { return static_cast<T*>(m_slot); }
  T* operator->() const { return Get(); }
  T& operator*() const { return *Get(); }
  explicit operator bool() const { return m_slot != nullptr; }

  void Reset() {
    T* old = Get();
    m_slot = nullptr;
    if (old != nullptr) old->Release();
  }
  // Gives up the reference without dropping it.
  T* Detach() {
    T* p = Get();
    m_slot = nullptr;
    return p;
  }
  // Drops the reference held and returns where an out-parameter writes the
  // new one; the holder owns what is written there.
  void** put() {
    Reset();
    return &m_slot;
  }

 private:
  void* m_slot = nullptr;
};

// Asks an object for interface T; the holder is null unless the status is 0.
template <class T, class Object>
Status Query(Object* object, RefPtr<T>& out) {
  out.Reset();
  if (object == nullptr) return kNoInterface;
  return object->QueryInterface(T::kIID, out.put());
}

}  // namespace PIM
