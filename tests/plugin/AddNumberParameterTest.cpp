// AddNumberParameter, the module's internal helper, against the host's
// list and factory.
#include "host/Parameter.h"
#include "host/ParameterFactory.h"
#include "host/ParameterList.h"
#include "plugin/Parameters.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

namespace h = mattix::host;

class AddNumber : public ::testing::Test {
 protected:
  PIM::Status Add(Tarn::IFXParameterList* l, Tarn::IFXParameterFactory* f, double displayMinimum,
                  double displayMaximum) {
    return mattix::AddNumberParameter(l, f, "Gain", 9, 2.5, 0.5, -10.0, 10.0, displayMinimum,
                                      displayMaximum);
  }
  PIM::RefPtr<h::CParameterList> list = h::Make<h::CParameterList>();
  PIM::RefPtr<h::CParameterFactory> factory = h::Make<h::CParameterFactory>();
};

TEST_F(AddNumber, NullListAsksTheFactoryNothing) {
  EXPECT_EQ(Add(nullptr, factory.Get(), -1.0, -1.0), 0x5000);
  EXPECT_EQ(factory->CreateCount(), 0);
}

TEST_F(AddNumber, NullFactoryTouchesNoList) {
  EXPECT_EQ(Add(list.Get(), nullptr, -1.0, -1.0), 0x5000);
  EXPECT_EQ(list->AddCount(), 0);
}

TEST_F(AddNumber, DefinesEveryAttribute) {
  ASSERT_EQ(Add(list.Get(), factory.Get(), -1.0, -1.0), 0);
  ASSERT_EQ(list->Parameters().size(), 1u);
  const h::CParameter& p = *list->Parameters()[0];
  EXPECT_EQ(p.Name(), "Gain");
  EXPECT_EQ(p.Index(), 9);
  EXPECT_EQ(p.Kind(), Tarn::kNumberParameter);
  EXPECT_EQ(p.Range().step, 0.5);
  EXPECT_EQ(p.Range().minimum, -10.0);
  EXPECT_EQ(p.Range().maximum, 10.0);
  EXPECT_EQ(p.Range().displayMinimum, -10.0);
  EXPECT_EQ(p.Range().displayMaximum, 10.0);
  EXPECT_EQ(p.CurrentNumber()->Value(), 2.5);
  EXPECT_EQ(p.DefaultNumber()->Value(), 2.5);
}

TEST_F(AddNumber, GivenDisplayRangeIsKept) {
  ASSERT_EQ(Add(list.Get(), factory.Get(), -2.0, 3.0), 0);
  const h::CParameter& p = *list->Parameters()[0];
  EXPECT_EQ(p.Range().displayMinimum, -2.0);
  EXPECT_EQ(p.Range().displayMaximum, 3.0);
  EXPECT_EQ(p.Range().minimum, -10.0);
}

struct RefusalCase {
  const char* name;
  bool refuseCreation;
  h::ParameterFaults faults;
  PIM::Status listRefusal;
  PIM::Status expected;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class AddNumberRefusal : public AddNumber, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(AddNumberRefusal, ReturnsTheStatusOfTheStepThatFailed) {
  const RefusalCase& c = GetParam();
  if (c.refuseCreation) factory->RefuseCreation(0, 0x90);
  factory->InjectFaults(0, c.faults);
  if (c.listRefusal != 0) list->RefuseAdd(0, c.listRefusal);
  EXPECT_EQ(Add(list.Get(), factory.Get(), -1.0, -1.0), c.expected);
  EXPECT_TRUE(list->Parameters().empty());
  // Whatever was created is released again: only the factory holds it.
  for (const auto& p : factory->Created()) EXPECT_EQ(p->GetRefCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Steps, AddNumberRefusal,
                         ::testing::Values(
                             // The factory's own status is replaced by 0x5000.
                             RefusalCase{"Factory", true, {}, 0, 0x5000},
                             RefusalCase{"Range", false, {true, 0, 0}, 0, PIM::kNoInterface},
                             RefusalCase{"CurrentValue", false, {false, 0x91, 0}, 0, 0x91},
                             RefusalCase{"DefaultValue", false, {false, 0, 0x92}, 0, 0x92},
                             RefusalCase{"List", false, {}, 0x93, 0x93}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(AddData, FactoryRefusalIsNotAnError) {
  auto list = h::Make<h::CParameterList>();
  auto factory = h::Make<h::CParameterFactory>();
  factory->RefuseCreation(0, 0x90);
  const std::uint8_t bytes[3] = {1, 2, 3};
  EXPECT_EQ(mattix::AddDataParameter(list.Get(), factory.Get(), "Blob", 8, bytes, 3), 0);
  EXPECT_TRUE(list->Parameters().empty());
  ASSERT_EQ(mattix::AddDataParameter(list.Get(), factory.Get(), "Blob", 8, bytes, 3), 0);
  ASSERT_EQ(list->Parameters().size(), 1u);
  EXPECT_EQ(list->Parameters()[0]->CurrentData()->Bytes(), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(list->Parameters()[0]->DefaultData()->Bytes(), (std::vector<std::uint8_t>{1, 2, 3}));
}

}  // namespace
