// AddNumberParameter, the module's internal helper, where the module's own
// definitions do not reach it: a display range of its own, and the status
// of the step that failed (the module goes on without the parameter).
#include "host/Parameter.h"
#include "host/ParameterFactory.h"
#include "host/ParameterList.h"
#include "plugin/Parameters.h"

#include <gtest/gtest.h>

namespace {

namespace h = mattix::host;

PIM::Status AddGain(h::CParameterList& list, h::CParameterFactory& factory) {
  return mattix::AddNumberParameter(&list, &factory, "Gain", 9, 2.5, 0.5, -10.0, 10.0, -2.0, 3.0);
}

TEST(AddNumberParameter, KeepsAGivenDisplayRange) {
  auto list = h::Make<h::CParameterList>();
  auto factory = h::Make<h::CParameterFactory>();
  ASSERT_EQ(AddGain(*list, *factory), 0);
  ASSERT_EQ(list->Parameters().size(), 1u);
  const h::CParameter& p = *list->Parameters()[0];
  EXPECT_EQ(p.Index(), 9);
  EXPECT_EQ(p.Range().displayMinimum, -2.0);
  EXPECT_EQ(p.Range().displayMaximum, 3.0);
  EXPECT_EQ(p.Range().minimum, -10.0);
  EXPECT_EQ(p.Range().maximum, 10.0);
  EXPECT_EQ(p.CurrentNumber()->Value(), 2.5);
}

TEST(AddNumberParameter, ReturnsTheStatusOfTheStepThatFailed) {
  struct Case {
    bool refuseCreation;
    h::ParameterFaults faults;
    PIM::Status listRefusal;
    PIM::Status expected;
  };
  const Case cases[] = {
      {true, {}, 0, 0x5000},                        // the factory's own status is replaced
      {false, {true, 0, 0}, 0, PIM::kNoInterface},  // no range facet
      {false, {false, 0x91, 0}, 0, 0x91},           // no current value
      {false, {false, 0, 0x92}, 0, 0x92},           // no default value
      {false, {}, 0x93, 0x93},                      // the list refuses
  };
  for (const Case& c : cases) {
    auto list = h::Make<h::CParameterList>();
    auto factory = h::Make<h::CParameterFactory>();
    if (c.refuseCreation) factory->RefuseCreation(0, 0x90);
    factory->InjectFaults(0, c.faults);
    if (c.listRefusal != 0) list->RefuseAdd(0, c.listRefusal);
    EXPECT_EQ(AddGain(*list, *factory), c.expected);
    EXPECT_TRUE(list->Parameters().empty());
    // Whatever was created is released again: only the factory holds it.
    for (const auto& p : factory->Created()) EXPECT_EQ(p->GetRefCount(), 1);
  }
}

}  // namespace
