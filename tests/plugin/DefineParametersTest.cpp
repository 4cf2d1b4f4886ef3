// The parameters the module defines on the host's list, and how it copes
// with a host that refuses parts of the definition.
#include "host/Parameter.h"
#include "host/ParameterFactory.h"
#include "host/ParameterList.h"
#include "tests/plugin/ModuleFixture.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

namespace h = mattix::host;

struct NumberRow {
  const char* name;
  double minimum;
  double maximum;
  double step;
  double initial;
};

// The effect's number parameters 0 to 4, as published.
const NumberRow kNumbers[] = {
    {"Softness", 0.0, 100.0, 0.1, 0.0}, {"Spill Suppression", 0.0, 100.0, 0.1, 0.0},
    {"Key Red", 0.0, 255.0, 0.1, 0.0},  {"Key Green", 0.0, 255.0, 0.1, 0.0},
    {"Key Blue", 0.0, 255.0, 0.1, 0.0},
};

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
  std::vector<std::int32_t> Indexes() const {
    std::vector<std::int32_t> indexes;
    for (const auto& p : list->Parameters()) indexes.push_back(p->Index());
    return indexes;
  }

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
    const NumberRow& row = kNumbers[i];
    SCOPED_TRACE(row.name);
    EXPECT_EQ(p.Name(), row.name);
    EXPECT_EQ(p.Index(), i);
    EXPECT_EQ(p.Kind(), 1);
    EXPECT_EQ(p.Range().step, row.step);
    EXPECT_EQ(p.Range().minimum, row.minimum);
    EXPECT_EQ(p.Range().maximum, row.maximum);
    // The display range is the value range.
    EXPECT_EQ(p.Range().displayMinimum, row.minimum);
    EXPECT_EQ(p.Range().displayMaximum, row.maximum);
    EXPECT_EQ(p.CurrentNumber()->Value(), row.initial);
    EXPECT_EQ(p.DefaultNumber()->Value(), row.initial);
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

class FactoryRefusesOne : public DefineParameters, public ::testing::WithParamInterface<int> {};

// The factory is asked in index order, so creation k is parameter k. A
// refused parameter is left out; the others are all defined and the
// definition succeeds.
TEST_P(FactoryRefusesOne, OthersAreStillDefined) {
  const int refused = GetParam();
  factory->RefuseCreation(refused, 0x77);
  EXPECT_EQ(Define(), 0);
  std::vector<std::int32_t> expected;
  for (std::int32_t i = 0; i < 7; ++i) {
    if (i != refused) expected.push_back(i);
  }
  EXPECT_EQ(Indexes(), expected);
  EXPECT_EQ(factory->CreateCount(), 7);
}

INSTANTIATE_TEST_SUITE_P(Ordinals, FactoryRefusesOne, ::testing::Range(0, 7));

struct FaultCase {
  std::string name;
  int ordinal;
  h::ParameterFaults faults;
  PIM::Status expectedStatus;
  std::vector<std::int32_t> expectedIndexes;
  int expectedCreations;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class ParameterFault : public DefineParameters, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ParameterFault, StopsOrGoesOnAsPublished) {
  const FaultCase& c = GetParam();
  factory->InjectFaults(c.ordinal, c.faults);
  EXPECT_EQ(Define(), c.expectedStatus);
  EXPECT_EQ(Indexes(), c.expectedIndexes);
  EXPECT_EQ(factory->CreateCount(), c.expectedCreations);
}

h::ParameterFaults NoRange() { return {true, 0, 0}; }
h::ParameterFaults NoCurrent(PIM::Status s) { return {false, s, 0}; }
h::ParameterFaults NoDefault(PIM::Status s) { return {false, 0, s}; }

INSTANTIATE_TEST_SUITE_P(
    Faults, ParameterFault,
    ::testing::Values(
        // A number parameter that fails is left out silently.
        FaultCase{"NumberWithoutRange", 1, NoRange(), 0, {0, 2, 3, 4, 5, 6}, 7},
        FaultCase{"NumberWithoutCurrentValue", 0, NoCurrent(0x31), 0, {1, 2, 3, 4, 5, 6}, 7},
        FaultCase{"NumberWithoutDefaultValue", 4, NoDefault(0x32), 0, {0, 1, 2, 3, 5, 6}, 7},
        // A byte block whose value facet fails ends the definition with
        // that status; "Chroma Mask" is then never asked for.
        FaultCase{"LightnessWithoutCurrentValue", 5, NoCurrent(0x33), 0x33, {0, 1, 2, 3, 4}, 6},
        FaultCase{"LightnessWithoutDefaultValue", 5, NoDefault(0x34), 0x34, {0, 1, 2, 3, 4}, 6},
        FaultCase{"MaskWithoutCurrentValue", 6, NoCurrent(0x35), 0x35, {0, 1, 2, 3, 4, 5}, 7},
        FaultCase{"MaskWithoutDefaultValue", 6, NoDefault(0x36), 0x36, {0, 1, 2, 3, 4, 5}, 7}),
    [](const auto& test) { return test.param.name; });

TEST_F(DefineParameters, ListRefusingAnAddDoesNotStopTheOthers) {
  list->RefuseAdd(2, 0x55);  // "Key Red"
  list->RefuseAdd(5, 0x56);  // "Lightness"
  EXPECT_EQ(Define(), 0);
  EXPECT_EQ(Indexes(), (std::vector<std::int32_t>{0, 1, 3, 4, 6}));
  EXPECT_EQ(list->AddCount(), 7);
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
