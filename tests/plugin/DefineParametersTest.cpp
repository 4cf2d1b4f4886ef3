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

TEST(DefineParameters, TheSevenParametersAsPublished) {
  auto base = PIM::RefPtr<Tarn::IFXBase>::Retain(mattix::test::CreateRaw());
  auto list = h::Make<h::CParameterList>();
  auto factory = h::Make<h::CParameterFactory>();
  // Without a list or a factory nothing is asked.
  EXPECT_EQ(base->DefineParameters(nullptr, factory.Get()), 0x5000);
  EXPECT_EQ(base->DefineParameters(list.Get(), nullptr), 0x5000);
  EXPECT_EQ(factory->CreateCount() + list->AddCount(), 0);
  // Each definition makes new parameters.
  ASSERT_EQ(base->DefineParameters(list.Get(), factory.Get()), 0);
  ASSERT_EQ(base->DefineParameters(list.Get(), factory.Get()), 0);
  ASSERT_EQ(list->Parameters().size(), 14u);
  EXPECT_NE(list->Parameters()[0].Get(), list->Parameters()[7].Get());
  const auto& parameters = list->Parameters();
  for (std::int32_t i = 0; i < 5; ++i) {
    const h::CParameter& p = *parameters[i];
    // Numbers 0 to 4: from 0 to their maximum (percentages, or colour
    // components to 255) in steps of 0.1, starting at 0, shown over their
    // whole range.
    const char* const names[] = {"Softness", "Spill Suppression", "Key Red", "Key Green",
                                 "Key Blue"};
    const char* name = names[i];
    const double maximum = i < 2 ? 100.0 : 255.0;
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
  // "Lightness" holds four little-endian doubles 0, 0, 100, 100, written
  // here from their IEEE-754 encodings (100.0 is 0x4059000000000000); an
  // empty "Chroma Mask" record is 144 zero bytes.
  std::vector<std::uint8_t> lightness(32, 0);
  lightness[22] = lightness[30] = 0x59;
  lightness[23] = lightness[31] = 0x40;
  const std::pair<const char*, std::vector<std::uint8_t>> blocks[] = {
      {"Lightness", lightness}, {"Chroma Mask", std::vector<std::uint8_t>(144, 0)}};
  for (std::int32_t i = 5; i < 7; ++i) {
    const h::CParameter& p = *parameters[i];
    EXPECT_EQ(p.Name(), blocks[i - 5].first);
    EXPECT_EQ(p.Index(), i);
    EXPECT_EQ(p.Kind(), 3);
    EXPECT_EQ(p.CurrentData()->Bytes(), blocks[i - 5].second);
    EXPECT_EQ(p.DefaultData()->Bytes(), blocks[i - 5].second);
    EXPECT_FALSE(p.Range().step.has_value());
  }
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

}  // namespace
