// The fuzz bodies of the plug-in's parameter loading and of host frame
// descriptions over their seeds and fixed damage (see FuzzSeeds.h).
#include "tests/FuzzSeeds.h"
#include "tests/plugin/FrameDescriptionCheck.h"
#include "tests/plugin/ParameterSetCheck.h"

#include <gtest/gtest.h>

namespace {

const std::string kSeeds = std::string(MATTIX_SOURCE_DIR) + "/tests/plugin/fuzz/";

TEST(FuzzBody, ParameterSetsOfAnyShape) {
  mattix::test::ExpectSeedsHold(kSeeds + "parameters", mattix::test::CheckParameterSet);
}

TEST(FuzzBody, FrameDescriptionsOfAnyLayout) {
  mattix::test::ExpectSeedsHold(kSeeds + "frames", mattix::test::CheckFrameDescription, 200);
}

}  // namespace
