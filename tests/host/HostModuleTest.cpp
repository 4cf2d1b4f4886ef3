// A host loads the built module from the build tree, lists its effect and
// the effect's parameters, as an editor would show them.
#include "host/HostError.h"
#include "host/HostModule.h"
#include "tests/host/ModulePath.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace h = mattix::host;

class HostModule : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = mattix::test::ModulePath();
    ASSERT_FALSE(path.empty()) << "MATTIX_MODULE is not set";
    module = h::CHostModule::Load(path);
  }
  std::shared_ptr<h::CHostModule> module;
};

TEST_F(HostModule, ListsChromaKeyWithVersionAndSevenParameters) {
  ASSERT_EQ(module->RegisterEffects(), 0);
  ASSERT_EQ(module->Effects().size(), 1u);
  const h::EffectDescription& effect = module->Effects()[0];
  EXPECT_EQ(effect.name, "Chroma Key");
  EXPECT_EQ(effect.version, "1.0");
  ASSERT_NE(module->FindEffect("Chroma Key"), nullptr);

  std::unique_ptr<h::CEffectInstance> instance = module->CreateInstance();
  ASSERT_NE(instance, nullptr);
  ASSERT_EQ(instance->DefineParameters(), 0);
  const std::vector<std::string> expected = {"Softness",   "Spill Suppression", "Key Red",
                                             "Key Green",  "Key Blue",          "Lightness",
                                             "Chroma Mask"};
  const auto& parameters = instance->Parameters()->Parameters();
  ASSERT_EQ(parameters.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(parameters[i]->Name(), expected[i]);
    EXPECT_EQ(parameters[i]->Index(), static_cast<std::int32_t>(i));
  }
}

TEST_F(HostModule, ReadsAndWritesValuesByIndexAndName) {
  ASSERT_EQ(module->RegisterEffects(), 0);
  auto instance = module->CreateInstance();
  ASSERT_EQ(instance->DefineParameters(), 0);
  EXPECT_EQ(instance->Number("Softness"), 0.0);
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
}

TEST_F(HostModule, ControlAreasOfTheTwoCustomParameters) {
  ASSERT_EQ(module->RegisterEffects(), 0);
  auto instance = module->CreateInstance();
  ASSERT_EQ(instance->DefineParameters(), 0);
  EXPECT_EQ(instance->ControlRect(5), Tarn::TRect<long>(0, 0, 255, 44));
  EXPECT_EQ(instance->ControlRect(6), Tarn::TRect<long>(0, 0, 260, 260));
  EXPECT_EQ(instance->ControlRect(1), Tarn::TRect<long>(0, 0, 0, 0));
}

TEST_F(HostModule, InstanceKeepsTheModuleLoaded) {
  ASSERT_EQ(module->RegisterEffects(), 0);
  auto instance = module->CreateInstance();
  module.reset();  // the instance still holds the module
  ASSERT_EQ(instance->DefineParameters(), 0);
  EXPECT_EQ(instance->Parameters()->Parameters().size(), 7u);
}

TEST_F(HostModule, CreatingBeforeRegisteringIsAnError) {
  EXPECT_THROW(module->CreateInstance(), h::HostError);
}

TEST(HostModuleLoad, MissingFileNamesThePath) {
  try {
    h::CHostModule::Load("/nonexistent/libmattix.so");
    FAIL() << "loading a missing module succeeded";
  } catch (const h::HostError& error) {
    EXPECT_NE(std::string(error.what()).find("/nonexistent/libmattix.so"), std::string::npos);
  }
}

TEST(HostModuleLoad, LibraryWithoutEntryPointsIsRefused) {
  // The C library is a shared library without effect entry points.
  try {
    h::CHostModule::Load("libc.so.6");
    FAIL() << "a library without entry points was accepted";
  } catch (const h::HostError& error) {
    EXPECT_NE(std::string(error.what()).find("registerEffects"), std::string::npos);
  }
}

}  // namespace
