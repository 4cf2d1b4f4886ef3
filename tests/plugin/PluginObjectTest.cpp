// The plug-in object as the host sees it: its four interfaces, one shared
// reference count and its control areas.
#include "host/Parameter.h"
#include "host/ParameterFactory.h"
#include "host/ParameterList.h"
#include "tests/plugin/ModuleFixture.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

namespace h = mattix::host;
using mattix::test::CreateRaw;

// One instance held by the test with one reference.
class PluginObject : public ::testing::Test {
 protected:
  void SetUp() override {
    base = CreateRaw();
    ASSERT_NE(base, nullptr);
    base->AddRef();
  }
  void TearDown() override {
    if (base != nullptr) base->Release();
  }
  Tarn::IFXBase* base = nullptr;
};

const PIM::IID kInterfaces[] = {Tarn::IFXBase::kIID, Tarn::IFXCustomDrawEvent::kIID,
                                Tarn::IFXParameterChangeEvent::kIID,
                                Tarn::IFXCustomUserEvent::kIID};

TEST_F(PluginObject, EveryInterfaceFindsEveryOtherAndCountsOnce) {
  // Obtain each interface once; they are distinct subobjects.
  std::vector<PIM::IBase*> found;
  for (const PIM::IID& iid : kInterfaces) {
    void* raw = nullptr;
    const std::int32_t before = base->GetRefCount();
    ASSERT_EQ(base->QueryInterface(iid, &raw), 0);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(base->GetRefCount(), before + 1);
    found.push_back(static_cast<PIM::IBase*>(raw));
  }
  // IFXBase's is the object's first interface, which IBase's id gives too.
  EXPECT_EQ(found[0], static_cast<PIM::IBase*>(base));
  void* first = nullptr;
  ASSERT_EQ(found[3]->QueryInterface(PIM::IBase::kIID, &first), 0);
  EXPECT_EQ(first, static_cast<void*>(base));
  static_cast<PIM::IBase*>(first)->Release();
  for (std::size_t a = 0; a < found.size(); ++a) {
    for (std::size_t b = a + 1; b < found.size(); ++b) EXPECT_NE(found[a], found[b]);
  }
  // From every interface, asking for every interface gives the same pointer
  // and one more reference, seen from any interface.
  for (std::size_t from = 0; from < found.size(); ++from) {
    for (std::size_t to = 0; to < found.size(); ++to) {
      void* raw = nullptr;
      const std::int32_t before = found[to]->GetRefCount();
      ASSERT_EQ(found[from]->QueryInterface(kInterfaces[to], &raw), 0);
      EXPECT_EQ(static_cast<PIM::IBase*>(raw), found[to]) << from << " -> " << to;
      EXPECT_EQ(found[from]->GetRefCount(), before + 1);
      static_cast<PIM::IBase*>(raw)->Release();
      EXPECT_EQ(base->GetRefCount(), before);
    }
  }
  for (PIM::IBase* i : found) i->Release();
  EXPECT_EQ(base->GetRefCount(), 1);
}

TEST_F(PluginObject, UnknownIdentifiersGiveStatus16AndNoReference) {
  std::vector<PIM::IID> unknown = {PIM::IID{}, Tarn::IFXParameter::kIID, Tarn::IFXImage::kIID,
                                   mattix::test::RegisteredEffectId()};
  for (const PIM::IID& iid : kInterfaces) {
    for (int byte = 0; byte < 16; ++byte) {
      PIM::IID near = iid;
      near.bytes[byte] ^= 0x10;
      unknown.push_back(near);
    }
  }
  for (const PIM::IID& id : unknown) {
    void* raw = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(base->QueryInterface(id, &raw), 16);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(base->GetRefCount(), 1);
  }
}

TEST(PluginLifetime, EachInstanceCountsFromZeroToDestruction) {
  // Whether an object is freed at 0 (and only then) is for the address
  // sanitizer to see: a leak, or a use after free in the last Release.
  Tarn::IFXBase* base = CreateRaw();
  Tarn::IFXBase* other = CreateRaw();
  ASSERT_NE(base, nullptr);
  ASSERT_NE(other, base);
  EXPECT_EQ(other->GetRefCount(), 0);
  for (std::int32_t count : {1, 2, 3}) {
    base->AddRef();
    EXPECT_EQ(base->GetRefCount(), count);
  }
  EXPECT_EQ(other->GetRefCount(), 0);  // independent counts
  other->AddRef();
  other->Release();  // destroys other only
  void* draw = nullptr;
  ASSERT_EQ(base->QueryInterface(Tarn::IFXCustomDrawEvent::kIID, &draw), 0);
  for (int i = 0; i < 3; ++i) base->Release();
  EXPECT_EQ(static_cast<Tarn::IFXCustomDrawEvent*>(draw)->GetRefCount(), 1);
  // The last reference goes through another interface.
  static_cast<Tarn::IFXCustomDrawEvent*>(draw)->Release();
}

TEST_F(PluginObject, ControlAreaForEachParameterIndex) {
  PIM::RefPtr<Tarn::IFXCustomDrawEvent> draw;
  ASSERT_EQ(PIM::Query(base, draw), 0);
  const Tarn::TRect<long> none(0, 0, 0, 0);
  const std::pair<std::int32_t, Tarn::TRect<long>> cases[] = {
      {0, none}, {4, none}, {5, {0, 0, 255, 44}}, {6, {0, 0, 260, 260}}, {7, none}, {-1, none}};
  for (const auto& [index, expected] : cases) {
    auto parameter = h::Make<h::CParameter>(Tarn::kDataParameter);
    parameter->SetIndex(index);
    Tarn::TRect<long> out(-9, -9, -9, -9);  // whatever the host had there
    EXPECT_EQ(&draw->GetControlRect(out, parameter.Get()), &out);
    EXPECT_EQ(out, expected) << "index " << index;
  }
  Tarn::TRect<long> out(1, 2, 3, 4);
  EXPECT_EQ(draw->GetControlRect(out, nullptr), none);  // no parameter
}

}  // namespace
