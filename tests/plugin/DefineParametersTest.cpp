// The parameters the module defines on the host's list, and how it copes
// with a host that refuses parts of the definition.
#include "host/Parameter.h"
#include "host/ParameterFactory.h"
#include "host/ParameterList.h"
#include "tests/plugin/ModuleFixture.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

namespace h = mattix::host;

// The effect's number parameters 0 to 4, as published: each from 0 to its
// maximum in steps of 0.1, starting at 0, shown over its whole range.
const std::pair<const char*, double> kNumbers[] = {{"Softness", 100.0},
                                                   {"Spill Suppression", 100.0},
                                                   {"Key Red", 255.0},
                                                   {"Key Green", 255.0},
                                                   {"Key Blue", 255.0}};

// Four little-endian doubles, built here byte by byte from their IEEE-754
// encodings: 0.0 is all zero, 100.0 is 0x4059000000000000.
std::vector<std::uint8_t> LightnessDefault() {
  std::vector<std::uint8_t> bytes(32, 0);
  for (int value : {2, 3}) {
    bytes[value * 8 + 6] = 0x59;
    bytes[value * 8 + 7] = 0x40;
  }
  return bytes;
}

class DefineParameters : public ::testing::Test {
 protected:
  void SetUp() override {
    base = PIM::RefPtr<Tarn::IFXBase>::Retain(mattix::test::CreateRaw());
    ASSERT_TRUE(base);
  }
  PIM::Status Define() { return base->DefineParameters(list.Get(), factory.Get()); }

  PIM::RefPtr<Tarn::IFXBase> base;
  PIM::RefPtr<h::CParameterList> list = h::Make<h::CParameterList>();
  PIM::RefPtr<h::CParameterFactory> factory = h::Make<h::CParameterFactory>();
};

TEST_F(DefineParameters, TheSevenParametersAsPublished) {
  ASSERT_EQ(Define(), 0);
  const auto& parameters = list->Parameters();
  ASSERT_EQ(parameters.size(), 7u);
  for (std::int32_t i = 0; i < 5; ++i) {
    const h::CParameter& p = *parameters[i];
    const auto [name, maximum] = kNumbers[i];
    SCOPED_TRACE(name);
    EXPECT_EQ(p.Name(), name);
    EXPECT_EQ(p.Index(), i);
    EXPECT_EQ(p.Kind(), 1);
    EXPECT_EQ(p.Range().step, 0.1);
    EXPECT_EQ(p.Range().minimum, 0.0);
    EXPECT_EQ(p.Range().maximum, maximum);
    EXPECT_EQ(p.Range().displayMinimum, 0.0);
    EXPECT_EQ(p.Range().displayMaximum, maximum);
    EXPECT_EQ(p.CurrentNumber()->Value(), 0.0);
    EXPECT_EQ(p.DefaultNumber()->Value(), 0.0);
    EXPECT_EQ(p.CurrentNumber()->Revision(), 1u);  // set once, by the module
    EXPECT_EQ(p.DefaultNumber()->Revision(), 1u);
  }
  const h::CParameter& lightness = *parameters[5];
  EXPECT_EQ(lightness.Name(), "Lightness");
  EXPECT_EQ(lightness.Index(), 5);
  EXPECT_EQ(lightness.Kind(), 3);
  EXPECT_EQ(lightness.CurrentData()->Bytes(), LightnessDefault());
  EXPECT_EQ(lightness.DefaultData()->Bytes(), LightnessDefault());
  EXPECT_FALSE(lightness.Range().step.has_value());

  const h::CParameter& mask = *parameters[6];
  EXPECT_EQ(mask.Name(), "Chroma Mask");
  EXPECT_EQ(mask.Index(), 6);
  EXPECT_EQ(mask.Kind(), 3);
  EXPECT_EQ(mask.CurrentData()->Bytes(), std::vector<std::uint8_t>(144, 0));
  EXPECT_EQ(mask.DefaultData()->Bytes(), std::vector<std::uint8_t>(144, 0));

  // The module kept no reference to anything it defined.
  for (const auto& p : parameters) EXPECT_EQ(p->GetRefCount(), 2) << p->Name();  // list + factory
  EXPECT_EQ(list->GetRefCount(), 1);
  EXPECT_EQ(factory->GetRefCount(), 1);
}

enum class Refuse { kCreation, kRange, kCurrentValue, kDefaultValue, kAdd };

struct FaultCase {
  Refuse what;
  int ordinal;  // creations and adds are asked in index order
  PIM::Status expectedStatus;
  std::vector<std::int32_t> expectedIndexes;
  int expectedCreations;
};

// A number parameter that fails, and any parameter the factory or the list
// refuses, is left out silently. A byte block whose value facet fails ends
// the definition with that status; "Chroma Mask" is then never asked for.
TEST(DefineParametersRefused, SkippedOrEndingTheDefinitionAsPublished) {
  std::vector<FaultCase> cases = {{Refuse::kRange, 1, 0, {0, 2, 3, 4, 5, 6}, 7},
                                  {Refuse::kCurrentValue, 0, 0, {1, 2, 3, 4, 5, 6}, 7},
                                  {Refuse::kDefaultValue, 4, 0, {0, 1, 2, 3, 5, 6}, 7},
                                  {Refuse::kCurrentValue, 5, 0x99, {0, 1, 2, 3, 4}, 6},
                                  {Refuse::kDefaultValue, 5, 0x99, {0, 1, 2, 3, 4}, 6},
                                  {Refuse::kCurrentValue, 6, 0x99, {0, 1, 2, 3, 4, 5}, 7},
                                  {Refuse::kDefaultValue, 6, 0x99, {0, 1, 2, 3, 4, 5}, 7},
                                  {Refuse::kAdd, 2, 0, {0, 1, 3, 4, 5, 6}, 7},
                                  {Refuse::kAdd, 5, 0, {0, 1, 2, 3, 4, 6}, 7}};
  for (int k = 0; k < 7; ++k) {
    std::vector<std::int32_t> others;
    for (std::int32_t i = 0; i < 7; ++i)
      if (i != k) others.push_back(i);
    cases.push_back({Refuse::kCreation, k, 0, others, 7});
  }
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "refusal " << int(c.what) << " at " << c.ordinal);
    auto base = PIM::RefPtr<Tarn::IFXBase>::Retain(mattix::test::CreateRaw());
    auto list = h::Make<h::CParameterList>();
    auto factory = h::Make<h::CParameterFactory>();
    if (c.what == Refuse::kCreation) factory->RefuseCreation(c.ordinal, 0x77);
    if (c.what == Refuse::kRange) factory->InjectFaults(c.ordinal, {true, 0, 0});
    if (c.what == Refuse::kCurrentValue) factory->InjectFaults(c.ordinal, {false, 0x99, 0});
    if (c.what == Refuse::kDefaultValue) factory->InjectFaults(c.ordinal, {false, 0, 0x99});
    if (c.what == Refuse::kAdd) list->RefuseAdd(c.ordinal, 0x55);
    EXPECT_EQ(base->DefineParameters(list.Get(), factory.Get()), c.expectedStatus);
    std::vector<std::int32_t> indexes;
    for (const auto& p : list->Parameters()) indexes.push_back(p->Index());
    EXPECT_EQ(indexes, c.expectedIndexes);
    EXPECT_EQ(factory->CreateCount(), c.expectedCreations);
  }
}

TEST_F(DefineParameters, NullListOrFactoryAsksNothing) {
  EXPECT_EQ(base->DefineParameters(nullptr, factory.Get()), 0x5000);
  EXPECT_EQ(factory->CreateCount(), 0);
  EXPECT_EQ(base->DefineParameters(list.Get(), nullptr), 0x5000);
  EXPECT_EQ(list->AddCount(), 0);
}

TEST_F(DefineParameters, EachDefinitionMakesNewParameters) {
  ASSERT_EQ(Define(), 0);
  ASSERT_EQ(Define(), 0);
  EXPECT_EQ(list->Parameters().size(), 14u);
  EXPECT_NE(list->Parameters()[0].Get(), list->Parameters()[7].Get());
}

}  // namespace
