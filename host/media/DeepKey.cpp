#include "host/media/DeepKey.h"

#include <algorithm>
#include <cmath>

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

std::uint8_t ToByte(float v) {
  if (!(v > 0.0f)) return 0;  // NaN too
  if (v >= 1.0f) return 255;
  return std::uint8_t(std::lround(v * 255.0f));
}

}  // namespace

void EightBitRow(const float* deep, std::uint8_t* bgra, int width, bool linear) {
  for (int x = 0; x < width; ++x, deep += 4, bgra += 4) {
    for (int c = 0; c < 3; ++c) {
      const float v = linear ? SrgbEncode(deep[c]) : deep[c];
      bgra[2 - c] = ToByte(v);
    }
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
    samples[i] = v > 0.0f ? std::uint16_t(std::lround(std::min(v, 1.0f) * 65535.0f)) : 0;
  }
  return samples;
}

DeepImage ApplyKey(const DeepImage& deep, const BgraImage& view, const BgraImage& keyed) {
  DeepImage out(deep.width, deep.height);
  out.sampleBits = deep.sampleBits;
  out.floating = deep.floating;
  out.linear = deep.linear;
  for (int y = 0; y < deep.height; ++y)
    internal::ApplyKeyRow(deep.Row(y), view.Row(y), keyed.Row(y), out.Row(y), deep.width,
                          deep.linear);
  return out;
}

}  // namespace mattix::media
