#pragma once
// The picture readers (PNG, TIFF, OpenEXR, DPX) on any bytes, one body for
// the libFuzzer target (PictureFuzz.cpp) and the unit tests: the bytes are
// refused with a host::HostError naming the file, or decode to a picture
// within the size limits whose 8-bit view our PNG and TIFF writers and
// readers give back the same, and whose 16-bit integer samples, when it has
// them, come back the same through our 16-bit TIFF writer. (OpenEXR's are not compared:
// it stores colour premultiplied, so colour under partial alpha comes back
// within rounding only.)
#include "host/base/HostError.h"
#include "host/media/PictureFile.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace mattix::test {

// Empty when the property holds, else what went wrong.
inline std::string CheckPictureRoundTrip(const std::uint8_t* data, std::size_t size) {
  media::Picture picture;
  try {
    picture = media::DecodePicture(data, size, "fuzz.pic");
  } catch (const host::HostError& e) {
    const std::string what = e.what();
    return what.rfind("fuzz.pic: ", 0) == 0 ? "" : "unnamed error: " + what;
  } catch (const std::exception& e) {
    return std::string("decoding threw a non-host::HostError: ") + e.what();
  }
  const media::BgraImage& image = picture.image;
  if (!media::FrameSizeAllowed(std::uint64_t(image.width), std::uint64_t(image.height)) ||
      image.pixels.size() != std::size_t(image.width) * std::size_t(image.height) * 4)
    return "decoded picture of an impossible size";
  const media::DeepImage* deep = picture.deep ? &*picture.deep : nullptr;
  if (deep && (deep->width != image.width || deep->height != image.height ||
               deep->samples.size() != image.pixels.size()))
    return "the full-precision picture's size differs from its 8-bit view's";
  try {
    for (const auto& [type, name] :
         {std::pair{media::PictureType::Png, "a.png"}, {media::PictureType::Tiff, "b.tif"}}) {
      const auto again = media::EncodePicture(type, image, nullptr, name, 1);
      if (media::DecodePicture(again.data(), again.size(), name).image.pixels != image.pixels)
        return std::string("the 8-bit view written as ") + name + " reads back differently";
    }
    if (deep && !deep->floating && deep->sampleBits == 16) {
      const auto bytes = media::EncodePicture(media::PictureType::Tiff, image, deep, "a.tif", 1);
      const media::Picture back = media::DecodePicture(bytes.data(), bytes.size(), "a.tif");
      if (!back.deep || back.deep->samples.size() != deep->samples.size() ||
          std::memcmp(back.deep->samples.data(), deep->samples.data(),
                      deep->samples.size() * sizeof(float)) != 0)
        return "the full-precision samples written read back differently";
    }
  } catch (const std::exception& e) {
    return std::string("the decoded picture does not round-trip: ") + e.what();
  }
  return {};
}

}  // namespace mattix::test
