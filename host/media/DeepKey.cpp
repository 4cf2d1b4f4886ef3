#include "host/media/DeepKey.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

namespace mattix::media {

float SrgbEncode(float linear) {
  const float a = std::fabs(linear);
  const float coded = a <= 0.0031308f ? a * 12.92f : 1.055f * std::pow(a, 1.0f / 2.4f) - 0.055f;
  return std::copysign(coded, linear);
}

float SrgbDecode(float coded) {
  const float a = std::fabs(coded);
  const float linear = a <= 0.04045f ? a / 12.92f : std::pow((a + 0.055f) / 1.055f, 2.4f);
  return std::copysign(linear, coded);
}

namespace internal {

namespace {

// lround of a finite x from 0 to 2^23 (halves away from zero), inline: x's
// whole part and its fraction, which the subtraction gives exactly.
inline int RoundHalfUp(float x) {
  const int whole = int(x);
  return whole + int(x - float(whole) >= 0.5f);
}

std::uint8_t ToByte(float v) {
  if (!(v > 0.0f)) return 0;  // NaN too
  if (v >= 1.0f) return 255;
  return std::uint8_t(RoundHalfUp(v * 255.0f));
}

// SrgbByte's tables. The byte is a rising step function of the linear
// value; bound[k] is the least float whose byte is k or more (found by
// halving over the floats' bit patterns, which rise with the positive
// floats), and start[j] the byte of the least float whose top 17 bits are
// j. A value's byte is its bucket's start, raised past each bound it
// reaches: one step or none, as a bucket spans a 256th of an octave.
struct SrgbBytes {
  static constexpr std::uint32_t kOne = 0x3F800000u;  // 1.0f
  static constexpr int kShift = 15;
  std::array<float, 257> bound{};  // bound[256]: +inf, ends the steps
  std::array<std::uint8_t, (kOne >> kShift) + 1> start{};

  SrgbBytes() {
    const auto byte = [](std::uint32_t bits) { return SrgbByte_ref(std::bit_cast<float>(bits)); };
    for (int k = 1; k < 256; ++k) {
      std::uint32_t lo = 0, hi = kOne;  // byte(lo) < k <= byte(hi)
      while (hi - lo > 1) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        (byte(mid) >= k ? hi : lo) = mid;
      }
      bound[std::size_t(k)] = std::bit_cast<float>(hi);
    }
    bound[256] = INFINITY;
    for (std::uint32_t j = 0; j < start.size(); ++j) start[j] = byte(j << kShift);
  }

  std::uint8_t Byte(float linear) const {
    if (!(linear > 0.0f)) return 0;  // NaN too
    if (linear >= 1.0f) return 255;
    unsigned k = start[std::bit_cast<std::uint32_t>(linear) >> kShift];
    while (linear >= bound[k + 1]) ++k;
    return std::uint8_t(k);
  }
};

// Made on first use, once for the process.
const SrgbBytes& TheSrgbBytes() {
  static const SrgbBytes tables;
  return tables;
}

}  // namespace

std::uint8_t SrgbByte_ref(float linear) { return ToByte(SrgbEncode(linear)); }

std::uint8_t SrgbByte(float linear) { return TheSrgbBytes().Byte(linear); }

void EightBitRow(const float* deep, std::uint8_t* bgra, int width, bool linear) {
  const SrgbBytes* srgb = linear ? &TheSrgbBytes() : nullptr;
  for (int x = 0; x < width; ++x, deep += 4, bgra += 4) {
    for (int c = 0; c < 3; ++c) bgra[2 - c] = srgb ? srgb->Byte(deep[c]) : ToByte(deep[c]);
    bgra[3] = ToByte(deep[3]);
  }
}

void ApplyKeyRow(const float* deep, const std::uint8_t* view, const std::uint8_t* keyed, float* out,
                 int width, bool linear) {
  for (int x = 0; x < width; ++x, deep += 4, view += 4, keyed += 4, out += 4) {
    for (int c = 0; c < 3; ++c) {
      const int change = int(keyed[2 - c]) - int(view[2 - c]);
      if (change == 0) {
        out[c] = deep[c];
        continue;
      }
      const float coded = (linear ? SrgbEncode(deep[c]) : deep[c]) + float(change) / 255.0f;
      out[c] = linear ? SrgbDecode(std::max(coded, 0.0f)) : std::clamp(coded, 0.0f, 1.0f);
    }
    out[3] = float(keyed[3]) / 255.0f;
  }
}

}  // namespace internal

BgraImage EightBitView(const DeepImage& deep) {
  BgraImage view(deep.width, deep.height);
  for (int y = 0; y < deep.height; ++y)
    internal::EightBitRow(deep.Row(y), view.Row(y), deep.width, deep.linear);
  return view;
}

std::vector<std::uint16_t> SixteenBitSamples(const DeepImage& deep) {
  std::vector<std::uint16_t> samples(deep.samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    float v = deep.samples[i];
    if (deep.linear && i % 4 != 3) v = SrgbEncode(v);
    samples[i] = v > 0.0f ? std::uint16_t(internal::RoundHalfUp(std::min(v, 1.0f) * 65535.0f)) : 0;
  }
  return samples;
}

DeepImage ApplyKey(DeepImage deep, const BgraImage& view, const BgraImage& keyed) {
  for (int y = 0; y < deep.height; ++y)
    internal::ApplyKeyRow(deep.Row(y), view.Row(y), keyed.Row(y), deep.Row(y), deep.width,
                          deep.linear);
  return deep;
}

}  // namespace mattix::media
