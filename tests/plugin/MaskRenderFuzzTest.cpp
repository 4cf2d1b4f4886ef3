// The fuzz body of the mask record through the module over its seeds and
// fixed damage (see FuzzSeeds.h), on one instance as the fuzz target uses.
#include "tests/FuzzSeeds.h"
#include "tests/plugin/MaskRenderCheck.h"
#include "tests/plugin/ModuleFixture.h"

#include <gtest/gtest.h>

namespace {

TEST(FuzzBody, MaskRecordsSetByAHostThenRendered) {
  ASSERT_EQ(mattix::test::Module()->RegisterEffects(), 0);
  const auto instance = mattix::test::Module()->CreateInstance();
  ASSERT_EQ(instance->DefineParameters(), 0);
  mattix::test::ExpectSeedsHold(std::string(MATTIX_SOURCE_DIR) + "/tests/plugin/fuzz/mask",
                                [&](const std::uint8_t* data, std::size_t size) {
                                  return mattix::test::CheckMaskRender(*instance, data, size);
                                });
}

}  // namespace
