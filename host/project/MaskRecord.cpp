#include "host/project/MaskRecord.h"

#include "host/base/HostError.h"
#include "host/project/Project.h"
#include "resources/WheelPicture.h"
#include "stdfx/DIB.h"
#include "wheel/ChromaMaskRecord.h"
#include "wheel/WheelGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mattix::project {

namespace {

// ValidateMaskRecord's rule; a record that holds a mask is decoded into
// `mask` (left invalid for the empty record).
void DecodeCheckedRecord(const std::vector<std::uint8_t>& record, const std::string& name,
                         stdfx::CDIB& mask) {
  if (record.size() < wheel::kEmptyRecordSize)
    throw host::HostError(name + ": \"chromaMask\" holds " + std::to_string(record.size()) +
                          " bytes; a mask record has at least " +
                          std::to_string(wheel::kEmptyRecordSize));
  if (wheel::RecordIsEmpty(record.data(), record.size())) return;
  const std::string damaged =
      name + ": \"chromaMask\" is damaged: it is not a chroma mask record that can be decoded";
  tagVFBMINFOHEADER header;
  std::memcpy(&header, record.data(), wheel::kRecordHeaderSize);
  if (header.biWidth != wheel::kWidth || header.biHeight != wheel::kHeight) {
    if (header.biSize != wheel::kRecordHeaderSize || header.biBitCount != 8)
      throw host::HostError(damaged);
    throw host::HostError(name + ": \"chromaMask\" is a " + std::to_string(header.biWidth) + " x " +
                          std::to_string(header.biHeight) +
                          " mask; a chroma mask has the wheel's size, " +
                          std::to_string(wheel::kWidth) + " x " + std::to_string(wheel::kHeight));
  }
  if (!wheel::DecodeRecord(record.data(), record.size(), mask)) throw host::HostError(damaged);
}

}  // namespace

media::GreyImage MaskLevelsFromPicture(const media::BgraImage& picture, IgnoredInPicture* ignored) {
  media::GreyImage levels(picture.width, picture.height);
  IgnoredInPicture found;
  for (int y = 0; y < picture.height; ++y) {
    const std::uint8_t* p = picture.Row(y);
    std::uint8_t* out = levels.Row(y);
    for (int x = 0; x < picture.width; ++x, p += 4) {
      out[x] = std::max({p[0], p[1], p[2]});
      found.colour |= p[0] != p[1] || p[1] != p[2];
      found.alpha |= p[3] != 255;
    }
  }
  if (ignored) *ignored = found;
  return levels;
}

media::BgraImage MaskGuidePicture(const media::GreyImage& mask) {
  if (mask.width != wheel::kWidth || mask.height != wheel::kHeight)
    throw host::HostError("a mask guide needs a mask of the wheel's size (" +
                          std::to_string(wheel::kWidth) + " x " + std::to_string(wheel::kHeight) +
                          "), not " + std::to_string(mask.width) + " x " +
                          std::to_string(mask.height));
  const std::vector<std::uint8_t> file = resources::WheelPictureFile();
  constexpr std::size_t kHeaders = 14 + 40;  // file and info headers; rows bottom-up
  media::BgraImage guide(wheel::kWidth, wheel::kHeight);
  for (int y = 0; y < wheel::kHeight; ++y) {
    const std::uint8_t* w =
        file.data() + kHeaders + std::size_t(wheel::kHeight - 1 - y) * wheel::kWidth * 4;
    std::uint8_t* out = guide.Row(y);
    for (int x = 0; x < wheel::kWidth; ++x, w += 4, out += 4) {
      const double lift = 0.75 * mask.Row(y)[x] / 255.0;
      for (int c = 0; c < 3; ++c) {
        const double base = 0.5 * w[c] * w[3] / 255.0;  // half brightness over black
        out[c] = std::uint8_t(std::lround(base + (255.0 - base) * lift));
      }
      out[3] = 255;
    }
  }
  return guide;
}

std::vector<std::uint8_t> MaskRecordFromPicture(const media::GreyImage& picture,
                                                const std::string& name) {
  if (picture.width != wheel::kWidth || picture.height != wheel::kHeight)
    throw host::HostError(name + ": a chroma mask picture must be " +
                          std::to_string(wheel::kWidth) + " x " + std::to_string(wheel::kHeight) +
                          " pixels, not " + std::to_string(picture.width) + " x " +
                          std::to_string(picture.height));
  stdfx::CDIB mask(wheel::MaskHeader());
  if (!mask.IsValidDIB()) throw host::HostError(name + ": out of memory for the mask");
  const std::size_t stride = std::size_t(mask.DIBBytesPerLine());
  for (int row = 0; row < wheel::kHeight; ++row)
    std::memcpy(mask.GetBytes() + std::size_t(row) * stride, picture.Row(wheel::kHeight - 1 - row),
                std::size_t(wheel::kWidth));
  std::vector<std::uint8_t> record;
  if (!wheel::EncodeRecord(mask, record))
    throw host::HostError(name + ": the mask could not be compressed");
  return record;
}

media::GreyImage PictureFromMaskRecord(const std::vector<std::uint8_t>& record,
                                       const std::string& name) {
  stdfx::CDIB mask;
  DecodeCheckedRecord(record, name, mask);
  if (!mask.IsValidDIB()) return media::GreyImage(wheel::kWidth, wheel::kHeight);
  const int width = mask.DIBWidth(), height = mask.DIBHeight();
  const std::size_t stride = std::size_t(mask.DIBBytesPerLine());
  media::GreyImage picture(width, height);
  for (int row = 0; row < height; ++row)
    std::memcpy(picture.Row(height - 1 - row), mask.GetBytes() + std::size_t(row) * stride,
                std::size_t(width));
  return picture;
}

std::string MaskSummary(const media::GreyImage& picture) {
  const float fx = 0.5f * float(picture.width - 1), fy = 0.5f * float(picture.height - 1);
  long keyed = 0, full = 0;
  std::vector<bool> degrees(360);
  bool greys = false;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) {
      const std::uint8_t v = picture.Row(y)[x];
      if (v == 0) continue;
      ++keyed;
      full += v == 255;
      const int row = picture.height - 1 - y;  // buffer row, up from the bottom
      if (row == wheel::kGreyRow && x == wheel::kGreyColumn) greys = true;
      // The hue whose colours fall here: the wheel's positions inverted.
      const double dx = x / fx - 1.0, dy = row / fy - 1.0;
      if (std::hypot(dx, dy) < 0.05) continue;  // the centre holds every hue
      const double turns = std::atan2(dy, dx) / (2.0 * M_PI);
      degrees[std::size_t(std::lround((turns - std::floor(turns)) * 360.0)) % 360] = true;
    }
  if (keyed == 0) return "nothing keyed";
  std::string text =
      std::to_string(keyed) + " of the wheel's pixels keyed (" + std::to_string(full) + " fully)";
  // Arcs of keyed degrees, one gap degree allowed, starting after a gap so
  // that an arc through red is not split.
  int start = 0;
  while (start < 360 && degrees[std::size_t(start)]) ++start;
  std::vector<std::pair<int, int>> arcs;  // first and last degree, the last possibly past 359
  if (start == 360) {
    arcs.emplace_back(0, 359);
  } else {
    for (int i = 1; i <= 360; ++i) {
      const int d = start + i;
      if (!degrees[std::size_t(d % 360)]) continue;
      if (!arcs.empty() && d - arcs.back().second <= 2)
        arcs.back().second = d;
      else
        arcs.emplace_back(d, d);
    }
  }
  static const char* const kNames[] = {"red", "yellow", "green", "cyan", "blue", "magenta"};
  for (std::size_t i = 0; i < arcs.size(); ++i) {
    const auto [first, last] = arcs[i];
    const int middle = ((first + last) / 2) % 360;
    text += (i == 0 ? ": hues " : ", ") + std::to_string(first % 360) + " to " +
            std::to_string(last % 360) + " degrees (" + kNames[((middle + 30) / 60) % 6] + ")";
  }
  if (greys) text += (arcs.empty() ? ": " : ", ") + std::string("greys");
  return text;
}

void ValidateMaskRecord(const std::vector<std::uint8_t>& record, const std::string& name) {
  stdfx::CDIB mask;
  DecodeCheckedRecord(record, name, mask);
}

}  // namespace mattix::project
