#pragma once
// The PNG reader on any bytes, one body for the libFuzzer target
// (PngFuzz.cpp) and the unit tests: the bytes are refused with a CliError
// naming the file, or decode to a picture within the size limits that our
// writer encodes and our reader decodes back to the same pixels.
#include "host/cli/CliError.h"
#include "host/cli/PngFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace mattix::cli::testing {

// Empty when the property holds, else what went wrong.
inline std::string CheckPngRoundTrip(const std::uint8_t* data, std::size_t size) {
  BgraImage image;
  try {
    image = DecodePng(data, size, "fuzz.png");
  } catch (const CliError& e) {
    return std::string(e.what()).rfind("fuzz.png: ", 0) == 0
               ? ""
               : "unnamed error: " + std::string(e.what());
  } catch (const std::exception& e) {
    return std::string("decoding threw a non-CliError: ") + e.what();
  }
  if (!FrameSizeAllowed(std::uint64_t(image.width), std::uint64_t(image.height)) ||
      image.pixels.size() != std::size_t(image.width) * std::size_t(image.height) * 4)
    return "decoded picture of an impossible size";
  try {
    const std::vector<std::uint8_t> again = EncodePng(image, "again.png", 1);
    if (DecodePng(again.data(), again.size(), "again.png").pixels != image.pixels)
      return "the picture written reads back differently";
  } catch (const std::exception& e) {
    return std::string("the decoded picture does not round-trip: ") + e.what();
  }
  return {};
}

}  // namespace mattix::cli::testing
