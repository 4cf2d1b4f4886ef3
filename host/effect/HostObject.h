#pragma once
// Base of the reference host's objects: one reference count (PIM::RCObject)
// behind the IBase part of each interface the object implements, and
// QueryInterface over those interfaces.
#include "tarn/PIM.h"

#include <cstdint>
#include <utility>

namespace mattix::host {

template <class Primary, class... Others>
class TObject : public Primary, public Others..., public PIM::RCObject {
 public:
  // IBase's identifier gives the primary interface. An interface that the
  // object hides (Offers) or does not implement gives null and kNoInterface.
  PIM::Status QueryInterface(const PIM::IID& iid, void** out) override {
    if (out == nullptr) return PIM::kNoInterface;
    *out = nullptr;
    void* found =
        iid == PIM::IBase::kIID ? static_cast<Primary*>(this) : Find<Primary, Others...>(iid);
    if (found == nullptr || !Offers(iid)) return PIM::kNoInterface;
    *out = found;
    AddRef();
    return PIM::kOk;
  }
  void AddRef() override { PIM::RCObject::AddRef(); }
  void Release() override {
    if (DropReference() == 0) delete this;
  }
  std::int32_t GetRefCount() override { return RefCount(); }

 protected:
  TObject() = default;

  // Whether the object offers one of its interfaces; lets an object be built
  // without a facet (a byte-block parameter has no number range).
  virtual bool Offers(const PIM::IID& /*iid*/) const { return true; }

 private:
  template <class I, class... Rest>
  void* Find(const PIM::IID& iid) {
    if (iid == I::kIID) return static_cast<I*>(this);
    if constexpr (sizeof...(Rest) > 0) {
      return Find<Rest...>(iid);
    } else {
      return nullptr;
    }
  }
};

// A new host object, held with its first reference.
template <class T, class... Args>
PIM::RefPtr<T> Make(Args&&... args) {
  return PIM::RefPtr<T>::Retain(new T(std::forward<Args>(args)...));
}

}  // namespace mattix::host
