#pragma once
// The plug-in's parameter loading from a parameter set of any shape, then a
// render with what was loaded: one body for the libFuzzer target
// (ParameterSetFuzz.cpp) and the unit test's seed set. The snapshot holds,
// for each value, what the first parameter of its index offers when it is of
// the right kind and its value can be had (numbers as they are, "Lightness"
// from 32 bytes or more, the mask as the host's own bytes), else the
// starting value; the render succeeds, never raises an alpha and leaves the
// colour alone unless spill suppression is above 0.
//
// Input: parameters until the input ends (at most 12), each a kind byte (bit
// 7: its current value is refused; the other bits % 3: number, byte block, a
// kind of the host's own), an index byte (% 10 - 1), then a double, or a
// 16-bit length and that many bytes. Mask records claiming more than 1 << 22 pixels are not
// rendered, so that a fuzzer explores decoding rather than allocation.
#include "host/effect/Parameter.h"
#include "host/effect/ParameterSet.h"
#include "plugin/KParam.h"
#include "tests/pixmill/ImageTestUtil.h"
#include "tests/plugin/FuzzInput.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace mattix::test {

inline std::string CheckParameterSet(const std::uint8_t* data, std::size_t size) {
  struct Offer {
    int kind;  // 0 number, 1 byte block, 2 other
    bool refused;
    std::int32_t index;
    double number;
    std::vector<std::uint8_t> bytes;
  };
  FuzzInput in(data, size);
  std::vector<Offer> offers;
  std::vector<PIM::RefPtr<host::CParameter>> parameters;
  while (in.Left() > 0 && offers.size() < 12) {
    const std::uint8_t k = in.Byte();
    Offer o{(k & 0x7F) % 3, (k & 0x80) != 0, std::int32_t(in.Byte() % 10) - 1, 0.0, {}};
    if (o.kind == 0) {
      o.number = in.Raw<double>();
    } else {
      std::size_t n = in.U16();
      const std::uint8_t* p = in.Take(n);
      o.bytes.assign(p, p + n);
    }
    const std::int32_t kinds[] = {Tarn::kNumberParameter, Tarn::kDataParameter, 9};
    auto parameter = host::Make<host::CParameter>(kinds[o.kind], o.refused ? 0x66 : 0);
    parameter->SetIndex(o.index);
    if (o.kind == 0)
      parameter->CurrentNumber()->Set(o.number);
    else if (parameter->CurrentData()->Set(std::uint32_t(o.bytes.size()), o.bytes.data()) != 0)
      return "the host could not hold a byte block";
    parameters.push_back(parameter);
    offers.push_back(std::move(o));
  }
  auto set = host::Make<host::CParameterSet>(parameters);

  // What the first parameter of each index offers, when it can be had.
  auto first = [&](std::int32_t index) -> const Offer* {
    for (const Offer& o : offers)
      if (o.index == index) return o.refused ? nullptr : &o;
    return nullptr;
  };
  double want[6] = {0, 0, 0, 0, 100, 100};
  for (int i = 0; i < 2; ++i)
    if (const Offer* o = first(i); o && o->kind == 0) want[i] = o->number;
  if (const Offer* o = first(5); o && o->kind != 0 && o->bytes.size() >= 32)
    std::memcpy(&want[2], o->bytes.data(), 32);
  const Offer* mask = first(6);
  if (mask && (mask->kind == 0 || mask->bytes.empty())) mask = nullptr;

  CKParam snapshot(set.Get());
  if (std::memcmp(snapshot.KeyValues(), want, sizeof want) != 0)
    return "the six values differ from what the set offers";
  const host::CParameter* hostMask = set->Find(6);
  if (mask ? snapshot.MaskSize() != mask->bytes.size() ||
                 snapshot.Mask() != hostMask->CurrentData()->GetData()
           : snapshot.MaskSize() != 0 || snapshot.Mask() != nullptr)
    return "the mask is not the host's value";

  if (mask && ClaimsHugeMask(mask->bytes.data(), mask->bytes.size())) return {};
  const tagVFBMINFOHEADER header = pixmill_test::MakeHeader(16, -5, 32);
  tagVFBMINFOHEADER outHeader = header;
  std::vector<std::uint32_t> input(16 * 5), output(16 * 5, 0xA5C3A5C3);
  std::uint32_t state = 777;
  for (std::uint32_t& p : input) p = (state = state * 1103515245u + 12345u) >> 1;
  const std::vector<std::uint32_t> before = input;
  if (snapshot.Render(&outHeader, output.data(), &header, input.data(), -1) != 0)
    return "the render failed";
  const bool spill = snapshot.SpillSuppression() > 0;
  for (std::size_t i = 0; i < input.size(); ++i) {
    if ((output[i] >> 24) > (before[i] >> 24)) return "alpha raised at " + std::to_string(i);
    if (!spill && (output[i] & 0xFFFFFF) != (before[i] & 0xFFFFFF))
      return "colour changed without spill at " + std::to_string(i);
  }
  return {};
}

}  // namespace mattix::test
