// The module's entry points: registration as seen by the host's registry and
// effect info, and creation by identifier.
#include "host/CallLog.h"
#include "host/EffectInfo.h"
#include "host/EffectRegistry.h"
#include "tests/plugin/ModuleFixture.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

namespace h = mattix::host;
using mattix::test::Module;

struct RegistrationCase {
  std::string name;
  h::EffectRegistryOptions registry;
  h::EffectInfoOptions info;
  PIM::Status expectedStatus;
  std::vector<std::string> expectedCalls;
};

void PrintTo(const RegistrationCase& c, std::ostream* os) { *os << c.name; }

// The calls a registration must make, in order, written from the published
// sequence: registry facets, update, the description, the info facets,
// register, update.
const std::vector<std::string> kFacets1 = {"registry1.AttachModuleRecord"};
const std::vector<std::string> kFacets2 = {"registry2.Announce"};
const std::vector<std::string> kDescribe = {"registry.Update",         "info.SetName(Chroma Key)",
                                            "info.SetText()",          "info.SetEffectId",
                                            "info.SetVersion(1.0)",    "info.SetInteger(0)",
                                            "info.SetIntegerPair(1,4)"};
const std::vector<std::string> kFacetA = {"infoA.SetFacetInteger(2)"};
const std::vector<std::string> kFacetB = {"infoB.SetFacetTriple(2,0,0)", "infoB.SetFacetOption(1)"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class Registration : public ::testing::TestWithParam<RegistrationCase> {};

TEST_P(Registration, CallsTheHostInTheDocumentedOrder) {
  const RegistrationCase& c = GetParam();
  auto log = std::make_shared<h::CCallLog>();
  auto registry = h::Make<h::CEffectRegistry>(c.registry, log);
  auto info = h::Make<h::CEffectInfo>(c.info, log);
  EXPECT_EQ(Module()->RegisterEntry()(registry.Get(), info.Get()), c.expectedStatus);
  EXPECT_EQ(log->Entries(), c.expectedCalls);
  // Every facet the module asked for was released again.
  EXPECT_EQ(registry->GetRefCount(), 1);
  EXPECT_EQ(info->GetRefCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, Registration,
    ::testing::Values(
        RegistrationCase{"AllFacets",
                         {true, true, 0},
                         {true, true},
                         0,
                         Join({kFacets1,
                               kFacets2,
                               kDescribe,
                               kFacetA,
                               kFacetB,
                               {"registry.Register", "registry.Update"}})},
        RegistrationCase{
            "NoRegistryFacets",
            {false, false, 0},
            {true, true},
            0,
            Join({kDescribe, kFacetA, kFacetB, {"registry.Register", "registry.Update"}})},
        RegistrationCase{
            "OnlySecondRegistryFacet",
            {false, true, 0},
            {true, true},
            0,
            Join(
                {kFacets2, kDescribe, kFacetA, kFacetB, {"registry.Register", "registry.Update"}})},
        RegistrationCase{
            "NoInfoFacets",
            {true, true, 0},
            {false, false},
            0,
            Join({kFacets1, kFacets2, kDescribe, {"registry.Register", "registry.Update"}})},
        RegistrationCase{"OnlyInfoFacetB",
                         {true, true, 0},
                         {false, true},
                         0,
                         Join({kFacets1,
                               kFacets2,
                               kDescribe,
                               kFacetB,
                               {"registry.Register", "registry.Update"}})},
        RegistrationCase{"NoFacetsAtAll",
                         {false, false, 0},
                         {false, false},
                         0,
                         Join({kDescribe, {"registry.Register", "registry.Update"}})},
        // A refusal is returned at once: no second update.
        RegistrationCase{
            "RegistryRefuses",
            {true, true, 0x4711},
            {true, true},
            0x4711,
            Join({kFacets1, kFacets2, kDescribe, kFacetA, kFacetB, {"registry.Register"}})}),
    [](const auto& test) { return test.param.name; });

TEST(RegistrationValues, DescribeChromaKey) {
  auto registry = h::Make<h::CEffectRegistry>();
  auto info = h::Make<h::CEffectInfo>();
  ASSERT_EQ(Module()->RegisterEntry()(registry.Get(), info.Get()), 0);
  ASSERT_EQ(registry->Registered().size(), 1u);
  const h::EffectDescription& d = registry->Registered()[0];
  EXPECT_EQ(d.name, "Chroma Key");
  EXPECT_EQ(d.text, "");
  EXPECT_EQ(d.version, "1.0");
  ASSERT_TRUE(d.id.has_value());
  EXPECT_EQ(d.integer, 0);
  EXPECT_EQ(d.integerPair, (std::array<std::int32_t, 2>{1, 4}));
  EXPECT_EQ(d.facetInteger, 2);
  EXPECT_EQ(d.facetTriple, (std::array<std::int32_t, 3>{2, 0, 0}));
  EXPECT_EQ(d.facetOption, 1);
  EXPECT_NE(registry->ModuleRecord(), nullptr);
  EXPECT_EQ(registry->UpdateCount(), 2);
  EXPECT_EQ(registry->AnnounceCount(), 1);
}

TEST(RegistrationValues, SameIdentifierEveryTime) {
  auto first = h::Make<h::CEffectInfo>();
  auto second = h::Make<h::CEffectInfo>();
  auto registry = h::Make<h::CEffectRegistry>();
  ASSERT_EQ(Module()->RegisterEntry()(registry.Get(), first.Get()), 0);
  ASSERT_EQ(Module()->RegisterEntry()(registry.Get(), second.Get()), 0);
  ASSERT_TRUE(first->Description().id && second->Description().id);
  EXPECT_TRUE(*first->Description().id == *second->Description().id);
}

TEST(RegistrationValues, NullRegistryOrInfoIsRefused) {
  auto registry = h::Make<h::CEffectRegistry>();
  auto info = h::Make<h::CEffectInfo>();
  EXPECT_NE(Module()->RegisterEntry()(nullptr, info.Get()), 0);
  EXPECT_NE(Module()->RegisterEntry()(registry.Get(), nullptr), 0);
  EXPECT_TRUE(registry->Registered().empty());
  EXPECT_FALSE(info->Description().id.has_value());
}

TEST(CreateEffect, WrongIdentifiersYieldNull) {
  const PIM::IID effect = mattix::test::RegisteredEffectId();
  std::vector<PIM::IID> wrong = {PIM::IID{}, PIM::IBase::kIID, Tarn::IFXBase::kIID};
  // The comparison covers all 16 bytes: one bit off anywhere is another id.
  for (int byte = 0; byte < 16; ++byte) {
    for (std::uint8_t bit : {0x01, 0x80}) {
      PIM::IID near = effect;
      near.bytes[byte] ^= bit;
      wrong.push_back(near);
    }
  }
  for (const PIM::IID& id : wrong) {
    EXPECT_EQ(Module()->CreateEntry()(&id), nullptr);
  }
  EXPECT_EQ(Module()->CreateEntry()(nullptr), nullptr);
}

TEST(CreateEffect, EachCallMakesANewInstanceAtCountZero) {
  Tarn::IFXBase* a = mattix::test::CreateRaw();
  Tarn::IFXBase* b = mattix::test::CreateRaw();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->GetRefCount(), 0);
  EXPECT_EQ(b->GetRefCount(), 0);
  a->AddRef();
  EXPECT_EQ(a->GetRefCount(), 1);
  EXPECT_EQ(b->GetRefCount(), 0);  // independent counts
  b->AddRef();
  a->Release();  // destroys a only
  EXPECT_EQ(b->GetRefCount(), 1);
  auto list = h::Make<h::CParameterList>();
  auto factory = h::Make<h::CParameterFactory>();
  EXPECT_EQ(b->DefineParameters(list.Get(), factory.Get()), 0);
  EXPECT_EQ(list->Parameters().size(), 7u);
  b->Release();
}

}  // namespace
