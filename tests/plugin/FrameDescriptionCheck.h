#pragma once
// Host frames of any description through DescribeImage, then a render of the
// described frame: one body for the libFuzzer target (FrameDescriptionFuzz.cpp)
// and the unit test's seed set. A frame is described exactly when it is one
// Mattix can key from the host's memory: layout code 4 or of the YUV family,
// a format facet, sides of 0 to 16384 pixels (the YUV width rounded down to
// even), rows at least as long as their pixels, and an alpha plane, when the
// source reports one, with pixels, as wide and as high as the frame. A described frame is
// addressed at the host's own rows and nowhere else; a 32-bit one rendered
// without a mask comes out as its input (made straight), its row padding
// untouched, and a YUV one is refused with the output untouched. Each answer
// of the format facet sets its own flag of the header. The buffers
// are exactly as large as the host says, so the address sanitizer sees any
// access past them.
//
// Input: a layout byte (% 10: codes 4, 1, 2, 3, 0, 8, 5, 0x7FFFFFFF, -1, or
// the next 4 bytes), width and height (16 bits each: below 0xF000 the value %
// 67, else one of -1, -2, 0, 16383, 16384, 16385, 17000, 65535, INT32_MAX,
// INT32_MIN), the row padding (a signed byte; -128: the next 4 bytes are the
// bytes per row), the format byte (bits: bottom-up, premultiplied,
// interlaced, interlace detail 1 (else 2), black transparent, no format
// facet, an alpha source, reporting alpha), the alpha kind (% 5), the plane
// byte (bit 0: no plane), the plane's row padding and extra height (signed
// bytes), the format value (a float). Buffers over 1 << 22 bytes are skipped.
#include "host/effect/Image.h"
#include "plugin/DescribeImage.h"
#include "plugin/KParam.h"
#include "stdfx/DibFunctions.h"
#include "tests/plugin/FuzzInput.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace mattix::test {

inline std::string CheckFrameDescription(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  static constexpr std::int32_t kCodes[] = {4, 1, 2, 3, 0, 8, 5, 0x7FFFFFFF, -1};
  const std::uint8_t layoutByte = in.Byte();
  const std::int32_t code = layoutByte % 10 < 9 ? kCodes[layoutByte % 10] : in.I32();
  auto side = [&in] {
    static constexpr std::int32_t kSides[] = {-1,    -2,    0,     16383,     16384,
                                              16385, 17000, 65535, INT32_MAX, INT32_MIN};
    const std::uint16_t v = in.U16();
    return v < 0xF000 ? std::int32_t(v % 67) : kSides[v % 10];
  };
  const std::int32_t width = side(), height = side();
  const bool yuv = (code & 3) != 0;
  const std::int64_t shownWidth = yuv ? (width & ~1) : width, payload = shownWidth * (yuv ? 2 : 4);
  const auto pad = std::int8_t(in.Byte());
  const std::int64_t bpr = pad == -128 ? in.I32() : payload + pad;
  const std::uint8_t f = in.Byte(), alphaKind = in.Byte() % 5, noPlane = in.Byte() & 1;
  const std::int64_t planeBpr = shownWidth + std::int8_t(in.Byte());
  const std::int64_t planeHeight = std::int64_t(height) + std::int8_t(in.Byte()) % 3;
  const float value = in.Raw<float>();
  if (bpr < INT32_MIN || bpr > INT32_MAX || planeBpr < INT32_MIN || planeBpr > INT32_MAX ||
      planeHeight < INT32_MIN || planeHeight > INT32_MAX)
    return {};
  auto bytes = [](std::int64_t rows, std::int64_t pitch) {
    return rows > 0 && pitch > 0 ? rows * pitch : 0;
  };
  const std::int64_t size0 = bytes(height, bpr), planeSize = bytes(planeHeight, planeBpr);
  if (size0 > (1 << 22) || planeSize > (1 << 22)) return {};

  std::vector<std::uint8_t> pixels(std::size_t(size0), 0), alpha(std::size_t(planeSize), 0);
  std::uint32_t state = 99;
  for (std::uint8_t& b : pixels) b = std::uint8_t((state = state * 1103515245u + 12345u) >> 23);
  host::ImageDescription d;
  d.width = width;
  d.height = height;
  d.bytesPerRow = std::int32_t(bpr);
  d.pixels = pixels.empty() ? nullptr : pixels.data();
  d.layoutCode = code;
  d.alphaKind = alphaKind;
  d.format = {f & 1, (f >> 1) & 1, (f >> 2) & 1, (f & 8) ? 1 : 2, value, (f >> 4) & 1};
  d.offerFormat = !(f & 0x20);
  auto frame = host::Make<host::CImage>(d);
  const bool source = f & 0x40, reports = f & 0x80;
  if (source) {
    host::ImageDescription plane;
    plane.width = width;
    plane.height = std::int32_t(planeHeight);
    plane.bytesPerRow = std::int32_t(planeBpr);
    plane.pixels = alpha.empty() ? nullptr : alpha.data();
    frame->SetAlphaSource(reports, noPlane ? nullptr : host::Make<host::CImage>(plane));
  }

  // Which frames must be described, written from the rules above.
  const bool withPlane = yuv && alphaKind != Tarn::kAlphaNoPlane && source && reports;
  const bool expected =
      (code == Tarn::kLayoutBgra32 || yuv) && d.offerFormat && width >= 0 && height >= 0 &&
      shownWidth <= 16384 && height <= 16384 && bpr >= payload && bpr * height <= INT32_MAX &&
      (!withPlane ||
       (!noPlane && !alpha.empty() && planeBpr >= shownWidth && planeHeight >= height));
  tagYUVBMINFOHEADER header;
  const bool described = DescribeImage(header, frame.Get());
  if (described != expected)
    return described ? "described a frame it cannot address" : "refused a frame it can key";
  if (!described) return {};

  const tagVFBMINFOHEADER* h = &header.vf;
  if (!stdfx::IsDIBHeaderSane(h) || h->biWidth != shownWidth ||
      h->biHeight != (d.format.bottomUp != 0 ? height : -height) ||
      stdfx::DIBRowBytes(h) != payload)
    return "the header's geometry is not the frame's";
  // Each answer of the format facet in its own flag; black transparency only
  // for 32-bit frames whose alpha kind says so.
  const DWORD blackTransparent =
      (f & 16) && alphaKind == Tarn::kAlphaBlackTransparent && h->biBitCount == 32
          ? stdfx::kImageFlagBlackTransparent
          : 0;
  if (h->vfAlphaFlag != ((f & 2) ? stdfx::kAlphaPremultiplied : stdfx::kAlphaStraight) ||
      h->vfFormatFlag != ((f & 4) && (f & 8) ? stdfx::kFormatHostInterlaced : 0) ||
      h->vfInterlacedFlag != ((f & 4) ? 0 : stdfx::kContentProgressive) ||
      h->vfImageFlag != blackTransparent || std::memcmp(&h->vfFormatValue, &value, 4) != 0)
    return "a format answer is not in its own flag";
  if (withPlane != (h->vfAlphaBytes != nullptr) || (withPlane && h->vfAlphaBytes != alpha.data()))
    return "the alpha plane is not the host's";
  // YUV frames are packed 4:2:2 UYVY, CCIR 601, 8 bits a sample; 32 bits with their plane.
  if (yuv &&
      (header.yuvColorSpaceID != stdfx::kYUVCCIR601 ||
       (header.yuvBitsPerSample != 0 && header.yuvBitsPerSample != 8) ||
       header.yuvHSubSampling != stdfx::kSub422UYVY || h->biBitCount != (withPlane ? 32 : 24)))
    return "a YUV frame is not described as the library reads it";
  for (int y = 0; y < height; ++y) {
    if (stdfx::DIBLineOffset(h, y) != y * bpr) return "a line is not at the host's row";
    if (withPlane && stdfx::DIBAlphaLineOffset(h, y) != y * planeBpr)
      return "an alpha line is not at the host's row";
  }

  // The same description over an output buffer, rendered without a mask.
  std::vector<std::uint8_t> output(pixels.size(), 0xA5);
  CKParam noMask(nullptr);
  const PIM::Status status = noMask.Render(h, output.data(), h, pixels.data(), -1);
  if (yuv && (status == 0 || output != std::vector<std::uint8_t>(output.size(), 0xA5)))
    return "a YUV frame was keyed, or its refused render wrote the output";
  // A frame without pixels may be refused; it has nothing to write.
  if (yuv || pixels.empty()) return {};
  if (status != 0) return "a 32-bit frame was refused";
  for (std::int64_t y = 0; y < height; ++y)
    for (std::int64_t i = y * bpr; i < (y + 1) * bpr; ++i)
      if (output[std::size_t(i)] != (i - y * bpr < payload ? pixels[std::size_t(i)] : 0xA5))
        return "row " + std::to_string(y) + " is not the input's, or its padding was written";
  return {};
}

}  // namespace mattix::test
