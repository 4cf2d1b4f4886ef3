#pragma once
// The PNG reader on any bytes, one body for the libFuzzer target
// (PngFuzz.cpp) and the unit tests: the bytes are refused with a host::HostError
// naming the file, or decode to a picture within the size limits that our
// writer encodes and our reader decodes back to the same pixels.
#include "host/base/HostError.h"
#include "host/media/PngFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace mattix::test {

// Empty when the property holds, else what went wrong.
inline std::string CheckPngRoundTrip(const std::uint8_t* data, std::size_t size) {
  media::BgraImage image;
  try {
    image = media::DecodePng(data, size, "fuzz.png");
  } catch (const host::HostError& e) {
    return std::string(e.what()).rfind("fuzz.png: ", 0) == 0
               ? ""
               : "unnamed error: " + std::string(e.what());
  } catch (const std::exception& e) {
    return std::string("decoding threw a non-host::HostError: ") + e.what();
  }
  if (!media::FrameSizeAllowed(std::uint64_t(image.width), std::uint64_t(image.height)) ||
      image.pixels.size() != std::size_t(image.width) * std::size_t(image.height) * 4)
    return "decoded picture of an impossible size";
  try {
    const std::vector<std::uint8_t> again = media::EncodePng(image, "again.png", 1);
    if (media::DecodePng(again.data(), again.size(), "again.png").pixels != image.pixels)
      return "the picture written reads back differently";
  } catch (const std::exception& e) {
    return std::string("the decoded picture does not round-trip: ") + e.what();
  }
  return {};
}

}  // namespace mattix::test
