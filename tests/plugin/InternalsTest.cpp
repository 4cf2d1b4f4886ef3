// The module's internals where its own calls through the built module do not
// reach them, linked statically: the fuzz bodies of parameter loading and of
// host frame descriptions over their seeds and fixed damage (see FuzzSeeds.h).
//
// A CKParam snapshot loads afresh (what it reads from any set is the parameter
// set fuzz body's).
#include "host/Parameter.h"
#include "host/ParameterFactory.h"
#include "host/ParameterList.h"
#include "host/ParameterSet.h"
#include "plugin/KParam.h"
#include "plugin/Parameters.h"

#include "tests/FuzzSeeds.h"
#include "tests/plugin/FrameDescriptionCheck.h"
#include "tests/plugin/ParameterSetCheck.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

namespace h = mattix::host;
using Parameters = std::vector<PIM::RefPtr<h::CParameter>>;

PIM::RefPtr<h::CParameter> Number(std::int32_t index, double value) {
  auto p = h::Make<h::CParameter>(Tarn::kNumberParameter);
  p->SetIndex(index);
  p->CurrentNumber()->Set(value);
  p->DefaultNumber()->Set(-123.0);  // never read by a snapshot
  return p;
}

PIM::RefPtr<h::CParameter> Data(std::int32_t index, const std::vector<std::uint8_t>& bytes,
                                h::ParameterFaults faults = {}) {
  auto p = h::Make<h::CParameter>(Tarn::kDataParameter, faults);
  p->SetIndex(index);
  p->CurrentData()->Set(static_cast<std::uint32_t>(bytes.size()), bytes.data());
  return p;
}

std::vector<std::uint8_t> Doubles(std::initializer_list<double> values) {
  std::vector<std::uint8_t> bytes(values.size() * sizeof(double));
  std::memcpy(bytes.data(), std::data(values), bytes.size());
  return bytes;
}

TEST(Snapshot, LoadReadsAfreshAndForgetsWhatIsGone) {
  auto full = h::Make<h::CParameterSet>(
      Parameters{Number(0, 9.0), Data(5, Doubles({1, 2, 3, 4})), Data(6, {1, 2, 3})});
  CKParam snapshot(full.Get());
  EXPECT_EQ(snapshot.MaskSize(), 3u);
  full->Find(0)->CurrentNumber()->Set(11.0);
  snapshot.Load(full.Get());
  EXPECT_EQ(snapshot.Softness(), 11.0);
  snapshot.Load(nullptr);
  EXPECT_EQ(std::vector<double>(snapshot.KeyValues(), snapshot.KeyValues() + 6),
            (std::vector<double>{0, 0, 0, 0, 100, 100}));
  EXPECT_EQ(snapshot.MaskSize(), 0u);
  EXPECT_EQ(snapshot.Mask(), nullptr);
  // Everything asked for was released: only the set holds its parameters.
  EXPECT_EQ(full->Find(0)->GetRefCount() + full->Find(0)->CurrentNumber()->GetRefCount() +
                full->Find(6)->CurrentData()->GetRefCount(),
            3);
}

const std::string kSeeds = std::string(MATTIX_SOURCE_DIR) + "/tests/plugin/fuzz/";

TEST(FuzzBody, ParameterSetsOfAnyShape) {
  mattix::test::ExpectSeedsHold(kSeeds + "parameters", mattix::test::CheckParameterSet);
}

TEST(FuzzBody, FrameDescriptionsOfAnyLayout) {
  mattix::test::ExpectSeedsHold(kSeeds + "frames", mattix::test::CheckFrameDescription, 200);
}

}  // namespace
