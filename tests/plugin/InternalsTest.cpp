// The module's internals where its own calls through the built module do not
// reach them, linked statically: the fuzz bodies of parameter loading and of
// host frame descriptions over their seeds and fixed damage (see FuzzSeeds.h).
//
// Each answer of DescribeImage's format facet changes its own flag and nothing
// else (geometry, planes and refusals are the frame description fuzz body's).
// A CKParam snapshot loads afresh (what it reads from any set is the parameter
// set fuzz body's).
#include "host/Image.h"
#include "host/Parameter.h"
#include "host/ParameterFactory.h"
#include "host/ParameterList.h"
#include "host/ParameterSet.h"
#include "plugin/DescribeImage.h"
#include "plugin/KParam.h"
#include "plugin/Parameters.h"
#include "stdfx/DIB.h"

#include "tests/FuzzSeeds.h"
#include "tests/plugin/FrameDescriptionCheck.h"
#include "tests/plugin/ParameterSetCheck.h"

#include <gtest/gtest.h>

#include <array>
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

struct FlagCase {
  const char* name;
  h::ImageFormat format;  // bottomUp, premultiplied, interlaced, detail, value, blackTransparent
  std::int32_t alphaKind;
  std::array<DWORD, 4> flags;  // expected alpha, format, interlaced and image flags
};

TEST(DescribeImage, EachFormatAnswerSetsItsOwnFlag) {
  // Straight and premultiplied alpha, host-interlaced, progressive content,
  // black transparent.
  const DWORD kS = stdfx::kAlphaStraight, kP = stdfx::kAlphaPremultiplied;
  const DWORD kHI = stdfx::kFormatHostInterlaced, kPR = stdfx::kContentProgressive;
  const DWORD kBT = stdfx::kImageFlagBlackTransparent;
  const FlagCase cases[] = {{"Plain", {1, 0, 0, 0, 0.f, 0}, 0, {kS, 0, kPR, 0}},
                            {"Premultiplied", {1, 1, 0, 0, 0.f, 0}, 0, {kP, 0, kPR, 0}},
                            {"InterlacedDetail1", {1, 0, 1, 1, 0.f, 0}, 0, {kS, kHI, 0, 0}},
                            {"InterlacedDetail2", {1, 0, 1, 2, 0.f, 0}, 0, {kS, 0, 0, 0}},
                            {"BlackTransparentKind3", {1, 0, 0, 0, 0.f, 1}, 3, {kS, 0, kPR, kBT}},
                            {"BlackTransparentKind2", {1, 0, 0, 0, 0.f, 1}, 2, {kS, 0, kPR, 0}},
                            {"FormatValue", {1, 0, 0, 0, 2.5f, 0}, 0, {kS, 0, kPR, 0}}};
  std::vector<std::uint8_t> pixels(56);  // 4 x 2, rows padded to 28 bytes
  tagYUVBMINFOHEADER plain;
  for (const FlagCase& c : cases) {
    SCOPED_TRACE(c.name);
    h::ImageDescription d;
    d.width = 4, d.height = 2, d.bytesPerRow = 28, d.pixels = pixels.data(), d.layoutCode = 4;
    d.format = c.format, d.alphaKind = c.alphaKind;
    tagYUVBMINFOHEADER header;
    ASSERT_TRUE(DescribeImage(header, h::Make<h::CImage>(d).Get()));
    tagVFBMINFOHEADER& vf = header.vf;
    EXPECT_EQ((std::array{vf.vfAlphaFlag, vf.vfFormatFlag, vf.vfInterlacedFlag, vf.vfImageFlag}),
              c.flags);
    EXPECT_EQ(vf.vfFormatValue, c.format.value);
    if (&c == &cases[0]) plain = header;
    // Every other byte is as for the plain frame.
    vf.vfAlphaFlag = plain.vf.vfAlphaFlag, vf.vfFormatFlag = plain.vf.vfFormatFlag;
    vf.vfInterlacedFlag = plain.vf.vfInterlacedFlag, vf.vfImageFlag = plain.vf.vfImageFlag;
    vf.vfFormatValue = plain.vf.vfFormatValue;
    EXPECT_EQ(std::memcmp(&header, &plain, sizeof(tagVFBMINFOHEADER)), 0);
  }
}

const std::string kSeeds = std::string(MATTIX_SOURCE_DIR) + "/tests/plugin/fuzz/";

TEST(FuzzBody, ParameterSetsOfAnyShape) {
  mattix::test::ExpectSeedsHold(kSeeds + "parameters", mattix::test::CheckParameterSet);
}

TEST(FuzzBody, FrameDescriptionsOfAnyLayout) {
  mattix::test::ExpectSeedsHold(kSeeds + "frames", mattix::test::CheckFrameDescription, 200);
}

}  // namespace
