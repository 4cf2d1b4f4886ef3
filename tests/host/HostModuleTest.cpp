// The host API over the built module: effects found by name, values read and
// written by index and name, the module's lifetime, load errors, and the
// registry's copies of descriptions. The host objects the module drives are
// tested by the plug-in tests through it.
#include "host/EffectInfo.h"
#include "host/EffectRegistry.h"
#include "host/HostError.h"
#include "host/HostModule.h"
#include "tests/plugin/ModuleFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace h = mattix::host;

TEST(HostModule, ReadsAndWritesValuesByIndexAndNameAndKeepsTheModuleLoaded) {
  auto module = h::CHostModule::Load(mattix::test::ModulePath());
  EXPECT_THROW(module->CreateInstance(), h::HostError);  // nothing registered yet
  ASSERT_EQ(module->RegisterEffects(), 0);
  ASSERT_EQ(module->Effects().size(), 1u);
  EXPECT_EQ(module->FindEffect("Chroma Key"), &module->Effects()[0]);
  EXPECT_EQ(module->FindEffect("Chroma"), nullptr);
  auto instance = module->CreateInstance();
  ASSERT_EQ(instance->DefineParameters(), 0);
  ASSERT_EQ(instance->SetNumber(0, 12.5), 0);
  EXPECT_EQ(instance->Number("Softness"), 12.5);
  EXPECT_EQ(instance->Parameter("Softness")->DefaultNumber()->Value(), 0.0);
  EXPECT_EQ(instance->Data(6).size(), 144u);
  const std::uint8_t bytes[3] = {1, 2, 3};
  ASSERT_EQ(instance->SetData(6, bytes, 3), 0);
  EXPECT_EQ(instance->Data(6), (std::vector<std::uint8_t>{1, 2, 3}));

  EXPECT_THROW(instance->Number(5), h::HostError);  // a byte block
  EXPECT_THROW(instance->Data(0), h::HostError);    // a number
  EXPECT_THROW(instance->Number(9), h::HostError);  // no such parameter
  EXPECT_THROW(instance->Number("Hue"), h::HostError);

  auto second = module->CreateInstance();
  module.reset();  // the instances still hold the module
  ASSERT_EQ(second->DefineParameters(), 0);
  EXPECT_EQ(second->Parameters()->Parameters().size(), 7u);
}

TEST(HostModuleLoad, ErrorsNameThePathOrTheMissingEntryPoint) {
  // The C library is a shared library without effect entry points.
  for (auto [path, named] : {std::pair{"/nonexistent/libmattix.so", "/nonexistent/libmattix.so"},
                             {"libc.so.6", "registerEffects"}}) {
    try {
      h::CHostModule::Load(path);
      ADD_FAILURE() << path << " was loaded";
    } catch (const h::HostError& error) {
      EXPECT_NE(std::string(error.what()).find(named), std::string::npos) << error.what();
    }
  }
}

// The registry keeps its own copy of each description it accepted.
TEST(HostRegistry, KeepsACopyOfTheDescription) {
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
}

}  // namespace
