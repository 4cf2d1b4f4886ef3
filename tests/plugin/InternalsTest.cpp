// The module's internals where its own calls through the built module do not
// reach them, linked statically: the fuzz bodies of parameter loading and of
// host frame descriptions over their seeds and fixed damage (see FuzzSeeds.h).
//
// A CKParam snapshot loads afresh (what it reads from any set is the parameter
// set fuzz body's).
#include "host/effect/Parameter.h"
#include "host/effect/ParameterSet.h"
#include "plugin/KParam.h"

#include "tests/FuzzSeeds.h"
#include "tests/plugin/FrameDescriptionCheck.h"
#include "tests/plugin/ParameterSetCheck.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

namespace h = mattix::host;

TEST(Snapshot, LoadReadsAfreshAndForgetsWhatIsGone) {
  auto softness = h::Make<h::CParameter>(Tarn::kNumberParameter);
  softness->SetIndex(0);
  softness->CurrentNumber()->Set(9.0);
  const double lightness[4] = {1, 2, 3, 4};
  const std::uint8_t mask[3] = {1, 2, 3};
  auto data = [](std::int32_t index, const void* bytes, std::uint32_t size) {
    auto p = h::Make<h::CParameter>(Tarn::kDataParameter);
    p->SetIndex(index);
    p->CurrentData()->Set(size, bytes);
    return p;
  };
  auto full = h::Make<h::CParameterSet>(std::vector<PIM::RefPtr<h::CParameter>>{
      softness, data(5, lightness, sizeof lightness), data(6, mask, sizeof mask)});
  CKParam snapshot(full.Get());
  EXPECT_EQ(snapshot.MaskSize(), 3u);
  softness->CurrentNumber()->Set(11.0);
  snapshot.Load(full.Get());
  EXPECT_EQ(snapshot.Softness(), 11.0);
  snapshot.Load(nullptr);
  EXPECT_EQ(std::vector<double>(snapshot.KeyValues(), snapshot.KeyValues() + 6),
            (std::vector<double>{0, 0, 0, 0, 100, 100}));
  EXPECT_EQ(snapshot.MaskSize(), 0u);
  EXPECT_EQ(snapshot.Mask(), nullptr);
  // Everything asked for was released: only the set (and this test, the
  // softness) holds the parameters.
  EXPECT_EQ(full->Find(0)->GetRefCount() + full->Find(0)->CurrentNumber()->GetRefCount() +
                full->Find(6)->CurrentData()->GetRefCount(),
            4);
}

// Parameter sets of any shape, frame descriptions of any layout.
TEST(FuzzBody, ParameterSetsAndFrameDescriptions) {
  mattix::test::ExpectSeedsHold("tests/plugin/fuzz/parameters", mattix::test::CheckParameterSet);
  mattix::test::ExpectSeedsHold("tests/plugin/fuzz/frames", mattix::test::CheckFrameDescription,
                                200);
}

}  // namespace
