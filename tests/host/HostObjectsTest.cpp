// The reference host's objects where the module does not reach them: a data
// value written from its own bytes, events (the module's controls leave them
// alone) and the registry's copies of descriptions. Everything else the
// host offers is driven by the plug-in tests through the built module.
#include "host/DataValue.h"
#include "host/EffectInfo.h"
#include "host/EffectRegistry.h"
#include "host/Event.h"
#include "host/Parameter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace h = mattix::host;

TEST(HostDataValue, SetFromItsOwnBytesKeepsThem) {
  auto value = h::Make<h::CDataValue>();
  const std::uint8_t bytes[] = {9, 8, 7, 6};
  ASSERT_EQ(value->Set(4, bytes), 0);
  // A prefix of its own buffer, as an effect might hand back what it read.
  ASSERT_EQ(value->Set(2, value->GetData()), 0);
  EXPECT_EQ(value->Bytes(), (std::vector<std::uint8_t>{9, 8}));
  EXPECT_EQ(value->Set(0, nullptr), 0);
  EXPECT_EQ(value->GetData(), nullptr);
}

TEST(HostEvent, RecordsHandledChangesAndMouse) {
  std::vector<h::ChangeReport> seen;
  h::EventDescription d;
  d.mouse = h::MouseState{-5, 260, false, true};
  auto event = h::Make<h::CEvent>(d, [&](const h::ChangeReport& r) { seen.push_back(r); });
  EXPECT_FALSE(event->Handled().has_value());
  event->SetHandled(false);
  event->SetHandled(true);
  EXPECT_EQ(event->Handled(), true);
  EXPECT_EQ(event->HandledCount(), 2);

  auto parameter = h::Make<h::CParameter>(Tarn::kDataParameter);
  parameter->SetIndex(6);
  event->ReportChange(parameter.Get(), 1, 0);
  event->ReportChange(nullptr, 0, 1);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].parameterIndex, 6);
  EXPECT_EQ(seen[1].parameterIndex, -1);
  EXPECT_EQ(event->Changes().size(), 2u);
  EXPECT_EQ(event->Changes()[1].flag2, 1);

  PIM::RefPtr<Tarn::IFXMouseEvent> mouse;
  ASSERT_EQ(PIM::Query(static_cast<Tarn::IFXEvent*>(event.Get()), mouse), 0);
  EXPECT_EQ(mouse->Position().x, -5);
  EXPECT_EQ(mouse->Position().y, 260);
  ASSERT_NE(mouse->Buttons(), nullptr);
  EXPECT_FALSE(mouse->Buttons()->Left());
  EXPECT_TRUE(mouse->Buttons()->Right());
  auto without = h::Make<h::CEvent>(h::EventDescription{});
  EXPECT_EQ(PIM::Query(static_cast<Tarn::IFXEvent*>(without.Get()), mouse), PIM::kNoInterface);
}

TEST(HostRegistry, KeepsACopyOfEachAcceptedDescription) {
  auto registry = h::Make<h::CEffectRegistry>();
  auto info = h::Make<h::CEffectInfo>();
  std::string name = "Temporary";
  info->SetName(name.c_str());
  name.assign("Overwritten");  // the host copied the text
  info->SetText(nullptr);      // null reads as empty
  EXPECT_EQ(registry->Register(info.Get()), 0);
  info->SetName("Later");
  ASSERT_EQ(registry->Registered().size(), 1u);
  EXPECT_EQ(registry->Registered()[0].name, "Temporary");
  EXPECT_EQ(registry->Registered()[0].text, "");
  auto refusing = h::Make<h::CEffectRegistry>(h::EffectRegistryOptions{true, true, 0x5A});
  EXPECT_EQ(refusing->Register(info.Get()), 0x5A);
  EXPECT_TRUE(refusing->Registered().empty());
}

}  // namespace
