#pragma once
// ffprobe's output read into the facts of a video, one body for the
// libFuzzer target (ProbeFuzz.cpp) and the unit tests: any text is refused
// with a host::HostError naming the file, or gives frames within the size
// limits, turned by a quarter turn, of a positive rate; and the count of
// missing frames keeps its bounds for the counts the text declares.
#include "host/base/HostError.h"
#include "host/media/Video.h"

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mattix::test {

// Empty when the property holds, else what went wrong.
inline std::string CheckProbeOutput(const std::uint8_t* data, std::size_t size) {
  media::VideoInfo info;
  try {
    info = media::ParseProbeOutput(std::string_view(reinterpret_cast<const char*>(data), size),
                                   "fuzz.mp4");
  } catch (const host::HostError& e) {
    const std::string what = e.what();
    return what.rfind("fuzz.mp4", 0) == 0 ? "" : "unnamed error: " + what;
  } catch (const std::exception& e) {
    return std::string("reading threw a non-host::HostError: ") + e.what();
  }
  if (info.width < 1 || info.height < 1 ||
      !media::FrameSizeAllowed(std::uint64_t(info.width), std::uint64_t(info.height)))
    return "frames of an impossible size";
  if (info.rotation % 90 != 0 || info.rotation < 0 || info.rotation >= 360)
    return "a rotation that is not a quarter turn";
  // The height of a stored frame is kept; only the other side is stretched.
  const bool turned = info.rotation % 180 != 0;
  if ((turned ? info.width : info.height) != info.storedHeight)
    return "the stored height is not a side of the frame";
  if (!(info.fps > 0.0) || !std::isfinite(info.fps) || info.frameRate.empty())
    return "no usable frame rate";
  if (info.frameCount < -1 || info.frameCount == 0 || info.frameCount > media::kMaxDeclaredFrames)
    return "an impossible frame count";
  // Missing frames: never negative, never more than asked for, none once
  // every frame asked for arrived, and fewer as more arrive.
  const long count = info.frameCount, firsts[] = {1, 2, count > 1 ? count : 3};
  for (long first : firsts)
    for (long last : {first, first + 5, count, 2 * count + 1, LONG_MAX})
      for (long arrived : {0L, 1L, 4L, count > 0 ? count : 7}) {
        const long missing = media::MissingFrames(count, first, last, arrived);
        const long asked = last >= first ? last - first + 1 : 0;
        if (missing < 0 || missing > asked || (arrived >= asked && missing != 0))
          return "missing frames out of bounds";
        if (media::MissingFrames(count, first, last, arrived + 1) > missing)
          return "more frames arrived, more missing";
        if (count < 0 && missing != 0) return "frames missing of an undeclared count";
      }
  return {};
}

}  // namespace mattix::test
