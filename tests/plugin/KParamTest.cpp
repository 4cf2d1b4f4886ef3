// CKParam snapshots from host parameter sets, and SetDataParameter.
#include "host/HostStatus.h"
#include "host/Parameter.h"
#include "host/ParameterSet.h"
#include "plugin/KParam.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

namespace h = mattix::host;

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
  std::size_t at = 0;
  for (double v : values) {
    std::memcpy(bytes.data() + at, &v, sizeof v);
    at += sizeof v;
  }
  return bytes;
}

struct SnapshotCase {
  std::string name;
  std::vector<PIM::RefPtr<h::CParameter>> parameters;
  double softness;
  double spill;
  std::vector<double> lightness;
  std::uint32_t maskSize;  // the mask pointer must be the host's bytes
};

void PrintTo(const SnapshotCase& c, std::ostream* os) { *os << c.name; }

class Snapshot : public ::testing::TestWithParam<SnapshotCase> {};

TEST_P(Snapshot, ReadsWhatTheSetOffers) {
  const SnapshotCase& c = GetParam();
  auto set = h::Make<h::CParameterSet>(c.parameters);
  const CKParam snapshot(set.Get());
  EXPECT_EQ(snapshot.Softness(), c.softness);
  EXPECT_EQ(snapshot.SpillSuppression(), c.spill);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(snapshot.Lightness()[i], c.lightness[i]) << "L" << i;
  // The six values as one block, in order.
  const double block[6] = {c.softness,     c.spill,        c.lightness[0],
                           c.lightness[1], c.lightness[2], c.lightness[3]};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(snapshot.KeyValues()[i], block[i]) << i;

  EXPECT_EQ(snapshot.MaskSize(), c.maskSize);
  h::CParameter* mask = set->Find(6);
  if (c.maskSize == 0) {
    EXPECT_EQ(snapshot.Mask(), nullptr);
  } else {
    // Not a copy: the host's bytes, valid during the call.
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(static_cast<const void*>(snapshot.Mask()), mask->CurrentData()->GetData());
  }
}

const std::vector<double> kL = {0.0, 0.0, 100.0, 100.0};  // the default lightness
const std::vector<std::uint8_t> kRecord(200, 1);

INSTANTIATE_TEST_SUITE_P(
    Sets, Snapshot,
    ::testing::Values(
        SnapshotCase{"OffersNothing", {}, 0.0, 0.0, kL, 0},
        SnapshotCase{"Numbers", {Number(0, 12.5), Number(1, 80.0)}, 12.5, 80.0, kL, 0},
        SnapshotCase{
            "Lightness", {Data(5, Doubles({10, 20.5, 70, 99}))}, 0, 0, {10, 20.5, 70, 99}, 0},
        SnapshotCase{"LongerLightness", {Data(5, Doubles({1, 2, 3, 4, 5}))}, 0, 0, {1, 2, 3, 4}, 0},
        // Shorter than 32 bytes, refused, or of the other kind: the defaults stay.
        SnapshotCase{"ShortLightness", {Data(5, std::vector<std::uint8_t>(31, 0x11))}, 0, 0, kL, 0},
        SnapshotCase{
            "LightnessRefused", {Data(5, Doubles({1, 2, 3, 4}), {false, 0x66, 0})}, 0, 0, kL, 0},
        SnapshotCase{"LightnessIsANumber", {Number(5, 42.0)}, 0.0, 0.0, kL, 0},
        SnapshotCase{"SoftnessIsAByteBlock", {Data(0, Doubles({7.0}))}, 0.0, 0.0, kL, 0},
        SnapshotCase{"MaskOfOneByte", {Data(6, {0xAB})}, 0.0, 0.0, kL, 1},
        SnapshotCase{"MaskEmpty", {Data(6, {})}, 0.0, 0.0, kL, 0},
        SnapshotCase{"MaskRefused", {Data(6, kRecord, {false, 0x67, 0})}, 0.0, 0.0, kL, 0},
        SnapshotCase{"Everything",
                     {Number(0, 3), Number(1, 4), Data(5, Doubles({5, 6, 7, 8})), Data(6, kRecord)},
                     3,
                     4,
                     {5, 6, 7, 8},
                     200}),
    [](const auto& test) { return test.param.name; });

TEST(SnapshotLoad, LoadReadsAfreshAndForgetsWhatIsGone) {
  auto full = h::Make<h::CParameterSet>(std::vector<PIM::RefPtr<h::CParameter>>{
      Number(0, 9.0), Data(5, Doubles({1, 2, 3, 4})), Data(6, {1, 2, 3})});
  CKParam snapshot(full.Get());
  EXPECT_EQ(snapshot.MaskSize(), 3u);
  full->Find(0)->CurrentNumber()->Set(11.0);
  snapshot.Load(full.Get());
  EXPECT_EQ(snapshot.Softness(), 11.0);
  snapshot.Load(nullptr);
  EXPECT_EQ(snapshot.Softness(), 0.0);
  EXPECT_EQ(snapshot.Lightness()[0], 0.0);
  EXPECT_EQ(snapshot.Lightness()[2], 100.0);
  EXPECT_EQ(snapshot.MaskSize(), 0u);
  EXPECT_EQ(snapshot.Mask(), nullptr);
  // Everything asked for was released: only the set holds its parameters.
  EXPECT_EQ(full->Find(0)->GetRefCount(), 1);
  EXPECT_EQ(full->Find(0)->CurrentNumber()->GetRefCount(), 1);
  EXPECT_EQ(full->Find(6)->CurrentData()->GetRefCount(), 1);
}

struct WriteCase {
  std::string name;
  std::vector<PIM::RefPtr<h::CParameter>> parameters;
  bool nullSet;
  std::int32_t index;
  PIM::Status expected;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class SetData : public ::testing::TestWithParam<WriteCase> {};

TEST_P(SetData, WritesTheCurrentValueOrReturnsTheFirstFailure) {
  const WriteCase& c = GetParam();
  auto set = h::Make<h::CParameterSet>(c.parameters);
  const std::uint8_t bytes[5] = {5, 4, 3, 2, 1};
  EXPECT_EQ(SetDataParameter(c.nullSet ? nullptr : set.Get(), c.index, bytes, 5), c.expected);
  if (c.expected == 0) {
    h::CParameter* p = set->Find(c.index);
    EXPECT_EQ(p->CurrentData()->Bytes(), (std::vector<std::uint8_t>{5, 4, 3, 2, 1}));
    EXPECT_TRUE(p->DefaultData()->Bytes().empty());  // the default stays
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sets, SetData,
    ::testing::Values(
        WriteCase{"Written", {Data(6, std::vector<std::uint8_t>(144, 0))}, false, 6, 0},
        WriteCase{"NullSet", {}, true, 6, 0x5000},
        WriteCase{"MissingParameter", {Data(5, {})}, false, 6, h::kStatusNotFound},
        WriteCase{"NumberParameter", {Number(6, 0.0)}, false, 6, PIM::kNoInterface},
        WriteCase{"ValueRefused", {Data(6, {}, {false, 0x68, 0})}, false, 6, 0x68}),
    [](const auto& test) { return test.param.name; });

TEST(SetDataParameter, HostRefusingTheCopyIsReported) {
  auto set = h::Make<h::CParameterSet>(std::vector<PIM::RefPtr<h::CParameter>>{Data(5, {})});
  EXPECT_EQ(SetDataParameter(set.Get(), 5, nullptr, 4), h::kStatusBadArgument);
  EXPECT_EQ(SetDataParameter(set.Get(), 5, nullptr, 0), 0);
}

}  // namespace
