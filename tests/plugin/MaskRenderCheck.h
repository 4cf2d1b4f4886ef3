#pragma once
// A "Chroma Mask" value of any bytes, set on an instance of the built module
// as a host sets it, then a render: one body for the libFuzzer target
// (MaskRenderFuzz.cpp) and the module test's seed set. The render succeeds,
// writes exactly the picture rows of the field asked for, never raises an
// alpha, leaves the colour alone without spill suppression, leaves the input
// as it was, keys nothing when the wheel's decoder refuses the record and
// everything when the record's mask is 255 throughout and not blurred.
//
// Input: byte 0 softness (0 below 128, else byte % 101 percent); byte 1 bits
// 0-1 the field (0 the whole frame, 1 field 0, 2 field 1, 3 field 2, which is
// the whole frame too), bit 2 input bottom-up, bit 3 output bottom-up, bit 4
// spill suppression 100 (else 0), bits 5-6 rows taken off the 7-row frame;
// the rest is the record. Records claiming
// more than 1 << 22 mask pixels are skipped, so that a fuzzer explores
// decoding rather than allocation.
#include "host/effect/Image.h"
#include "host/effect/KeyingEffect.h"
#include "stdfx/DIB.h"
#include "tests/plugin/FuzzInput.h"
#include "wheel/ChromaMaskRecord.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mattix::test {

inline std::string CheckMaskRender(host::CKeyingEffect& effect, const std::uint8_t* data,
                                   std::size_t size) {
  constexpr int kW = 24;
  constexpr std::uint32_t kSentinel = 0xA5C3A5C3;
  FuzzInput in(data, size);
  const std::uint8_t soft = in.Byte(), how = in.Byte();
  const int height = 7 - (how >> 5 & 3);
  std::size_t recordSize = in.Left();
  const std::uint8_t* record = in.Take(recordSize);
  if (ClaimsHugeMask(record, recordSize)) return {};
  const bool inBottomUp = how & 4, outBottomUp = how & 8, spill = how & 16;
  const int field = (how & 3) == 1 ? 0 : (how & 3) == 2 ? 1 : -1;
  effect.SetNumber(host::CKeyingEffect::kSoftness, soft < 128 ? 0.0 : soft % 101);
  effect.SetNumber(host::CKeyingEffect::kSpillSuppression, spill ? 100.0 : 0.0);
  effect.SetData(host::CKeyingEffect::kChromaMask,
                 std::vector<std::uint8_t>(record, record + recordSize));

  // Colours of every kind, alphas from 0 to 255, straight.
  std::vector<std::uint32_t> input(kW * height), output(kW * height, kSentinel);
  std::uint32_t state = 12345;
  for (std::uint32_t& p : input) p = (state = state * 1103515245u + 12345u) >> 1;
  const std::vector<std::uint32_t> before = input;
  auto inFrame = host::CImage::WrapBgra(input.data(), kW, height, kW * 4, inBottomUp);
  auto outFrame = host::CImage::WrapBgra(output.data(), kW, height, kW * 4, outBottomUp);
  if (effect.Instance().Render(*outFrame, *inFrame, (how & 3) != 0 ? 1 : 0, (how & 3) - 1) != 0)
    return "the render failed";
  if (input != before) return "the input was written";
  stdfx::CDIB mask;
  const bool keys = wheel::DecodeRecord(record, recordSize, mask);
  bool full = keys && soft < 128;  // an unblurred mask of 255 only
  for (LONG r = 0; full && r < mask.DIBHeight(); ++r)
    for (LONG c = 0; full && c < mask.DIBWidth(); ++c)
      full = mask.GetBytes()[r * mask.DIBBytesPerLine() + c] == 255;
  for (int line = 0; line < height; ++line) {
    // Buffer line `line` of the input shows picture row p, held by buffer
    // line `outLine` of the output.
    const int p = inBottomUp ? height - 1 - line : line, outLine = outBottomUp ? height - 1 - p : p;
    const bool written = field < 0 || line % 2 == field;
    for (int x = 0; x < kW; ++x) {
      const std::uint32_t i = input[std::size_t(line * kW + x)];
      const std::uint32_t o = output[std::size_t(outLine * kW + x)];
      const std::string at = " at picture row " + std::to_string(p) + ", x " + std::to_string(x);
      if (!written) {
        if (o != kSentinel) return "a row outside the field was written" + at;
        continue;
      }
      if ((o >> 24) > (i >> 24)) return "alpha raised" + at;
      if (!spill && (o & 0xFFFFFF) != (i & 0xFFFFFF)) return "colour changed without spill" + at;
      if (!keys && o != i) return "a record the decoder refuses keyed" + at;
      if (full && o >> 24 != 0) return "a mask keying every colour left an alpha" + at;
    }
  }
  return {};
}

}  // namespace mattix::test
