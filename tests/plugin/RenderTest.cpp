// Rendering frames through the built module: the statuses, premultiplied inputs, PrepareOutput and
// the diagnostic keys; the fuzz body of mask records (row orders, fields and heights) over its
// seeds and fixed damage (see FuzzSeeds.h), on one instance as the fuzz target uses.
#include "host/Image.h"
#include "host/ImageSource.h"
#include "host/OutputRequest.h"
#include "host/RenderContext.h"
#include "tests/FuzzSeeds.h"
#include "tests/plugin/MaskRenderCheck.h"
#include "tests/plugin/ModuleFixture.h"
#include "win/WinDesktop.h"
#include "win/WinUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <vector>

namespace {

namespace h = mattix::host;

constexpr std::uint32_t kSentinel = 0x5A5A5A5A;

// A "Chroma Mask" record keying every colour fully: a 241 x 209 8-bit header
// followed by hand-written BI_RLE8 runs (241 pixels of 255, end of line per
// row, end of bitmap).
std::vector<std::uint8_t> FullMaskRecord() {
  std::vector<std::uint8_t> runs;
  for (int row = 0; row < 209; ++row) runs.insert(runs.end(), {241, 255, 0, 0});
  runs.back() = 1;  // the last end of line becomes the end of bitmap
  // Little-endian header words: size, width, height, planes 1 | 8 bits,
  // compression BI_RLE8, bytes of runs; the rest of the 144 bytes zero.
  const std::uint32_t words[6] = {144, 241, 209, 1 | 8 << 16, 1, std::uint32_t(runs.size())};
  std::vector<std::uint8_t> record(144, 0);
  std::memcpy(record.data(), words, sizeof words);
  record.insert(record.end(), runs.begin(), runs.end());
  return record;
}

std::unique_ptr<h::CEffectInstance> NewInstance(bool fullMask) {
  auto instance = mattix::test::NewInstance();
  const std::vector<std::uint8_t> mask = FullMaskRecord();
  EXPECT_EQ(fullMask ? instance->SetData(6, mask.data(), std::uint32_t(mask.size())) : 0, 0);
  return instance;
}

// Refused frames and modes leave the output untouched.
TEST(Render, RefusalsLeaveTheOutputUntouched) {
  struct Case {
    std::int32_t outLayout, inLayout, mode;
    PIM::Status status;
  };
  const Case cases[] = {{4, 4, 3, 0x1000},   // mode 3
                        {8, 4, 0, 0x3400},   // an output of another layout
                        {4, 2, 0, 0x3400},   // an input of another layout
                        {8, 8, 0, 0x3400},   // both of a refused layout
                        {1, 2, 0, 0x1000}};  // YUV family: described but not keyed
  auto instance = NewInstance(true);
  auto frame = [](std::vector<std::uint32_t>& pixels, std::int32_t layout) {
    h::ImageDescription d;
    d.width = d.height = 4, d.bytesPerRow = 16, d.pixels = pixels.data(), d.layoutCode = layout;
    return h::Make<h::CImage>(d);
  };
  for (const Case& c : cases) {
    std::vector<std::uint32_t> in(16, 0xFF00FF00u), out(16, kSentinel);
    EXPECT_EQ(instance->Render(*frame(out, c.outLayout), *frame(in, c.inLayout), c.mode, 0),
              c.status)
        << c.outLayout << " " << c.inLayout << " " << c.mode;
    EXPECT_EQ(out, std::vector<std::uint32_t>(16, kSentinel));
  }
  // A missing input or output frame.
  std::vector<std::uint32_t> pixels(4);
  auto image = h::CImage::WrapBgra(pixels.data(), 2, 2, 8, true);
  auto empty = h::Make<h::CImageSource>();
  auto full = h::Make<h::CImageSource>(image);
  auto context = h::Make<h::CRenderContext>();
  Tarn::IFXImageSource* noInput[] = {empty.Get()};
  Tarn::IFXImageSource* oneInput[] = {full.Get()};
  EXPECT_EQ(instance->Render(full.Get(), Tarn::TSourceList{noInput, 1}, context.Get()), 0x3400);
  EXPECT_EQ(instance->Render(empty.Get(), Tarn::TSourceList{oneInput, 1}, context.Get()), 0x3400);
}

// Premultiplied input without a mask: the output is the input made straight,
// c = round(c' * 255 / a) with halves up.
TEST(Render, PremultipliedInputComesOutStraight) {
  const std::vector<std::uint8_t> premultiplied = {50,  100, 0,   100, 0, 0, 0, 0,
                                                   200, 10,  255, 255, 1, 2, 3, 4};
  std::vector<std::uint8_t> in = premultiplied, out(16, 0xAB);  // the input may be converted
  auto input = h::CImage::WrapBgra(in.data(), 2, 2, 8, true, true);
  auto output = h::CImage::WrapBgra(out.data(), 2, 2, 8, true);
  auto instance = NewInstance(false);
  ASSERT_EQ(instance->Render(*output, *input), 0);
  for (std::size_t i = 0; i < 16; ++i) {
    const int c = premultiplied[i], a = premultiplied[i | 3];
    const int straight = i % 4 == 3 ? a : a == 0 ? 0 : std::min(255, (c * 255 * 2 + a) / (2 * a));
    EXPECT_EQ(out[i], straight) << "byte " << i;
  }
}

// The output's format is asked for as the input's, with option 0 set on it.
TEST(PrepareOutput, PassesTheInputFormatOn) {
  auto instance = NewInstance(false);
  auto request = h::Make<h::COutputRequest>(0x77);
  EXPECT_EQ(instance->PrepareOutput(nullptr, *request), 0x4002);
  EXPECT_TRUE(request->Calls().empty());
  std::vector<std::uint32_t> pixels(4);
  auto input = h::CImage::WrapBgra(pixels.data(), 2, 2, 8, false);
  EXPECT_EQ(instance->PrepareOutput(input.Get(), *request), 0x77);
  ASSERT_EQ(request->Calls().size(), 1u);
  const h::OutputRequestCall& call = request->Calls()[0];
  EXPECT_EQ(call.id, Tarn::IFXOutputRequest::kFormatRequest);
  EXPECT_EQ(std::tuple(call.output, call.format, call.a, call.b),
            std::tuple(instance.get(), static_cast<Tarn::IFXImageFormat*>(input.Get()), 512, 64));
  EXPECT_EQ(input->FormatOptions(), std::vector<std::int32_t>{0});
}

// Holding a diagnostic key shows the keyed output (or its alpha) at the
// desktop's corner; released, nothing is drawn.
TEST(Render, DiagnosticKeysShowTheOutput) {
  // Keys and the desktop pixels shown from (0, 0), the whole 2 x 2 frame, opaque.
  const std::pair<int, std::uint32_t> cases[] = {
      {VK_OEM_3, 0xFF123456u}, {VK_OEM_4, 0xFF123456u}, {VK_OEM_6, 0xFFC0C0C0u}};
  auto instance = NewInstance(false);
  for (const auto& [vk, expected] : cases) {
    WinDesktopClear(0);
    std::vector<std::uint32_t> in(4, 0xC0123456u), out(4, 0);
    auto input = h::CImage::WrapBgra(in.data(), 2, 2, 8, true);
    auto output = h::CImage::WrapBgra(out.data(), 2, 2, 8, true);
    const DWORD writes = WinDesktopWriteCount();
    ASSERT_EQ(instance->Render(*output, *input), 0);
    EXPECT_EQ(WinDesktopWriteCount(), writes) << "key " << vk << " released";
    WinSetAsyncKeyState(vk, TRUE);
    ASSERT_EQ(instance->Render(*output, *input), 0);
    WinSetAsyncKeyState(vk, FALSE);
    std::vector<std::uint32_t> shown(4);
    ASSERT_TRUE(WinDesktopRead(0, 0, 2, 2, shown.data(), 8));
    EXPECT_EQ(shown, std::vector<std::uint32_t>(4, expected)) << "key " << vk;
  }
}

TEST(FuzzBody, MaskRecordsSetByAHostThenRendered) {
  auto instance = NewInstance(false);
  mattix::test::ExpectSeedsHold(std::string(MATTIX_SOURCE_DIR) + "/tests/plugin/fuzz/mask",
                                [&](const std::uint8_t* data, std::size_t size) {
                                  return mattix::test::CheckMaskRender(*instance, data, size);
                                });
}

}  // namespace
