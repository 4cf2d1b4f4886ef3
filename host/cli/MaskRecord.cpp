#include "host/cli/MaskRecord.h"

#include "host/cli/CliError.h"
#include "host/cli/Project.h"
#include "picker/ChromaMaskRecord.h"
#include "picker/WheelGeometry.h"
#include "resources/WheelPicture.h"
#include "stdfx/DIB.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mattix::cli {

GreyImage MaskLevelsFromPicture(const BgraImage& picture, IgnoredInPicture* ignored) {
  GreyImage levels(picture.width, picture.height);
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

BgraImage MaskGuidePicture(const GreyImage& mask) {
  const std::vector<std::uint8_t> file = resources::WheelPictureFile();
  constexpr std::size_t kHeaders = 14 + 40;  // file and info headers; rows bottom-up
  BgraImage guide(wheel::kWidth, wheel::kHeight);
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

std::vector<std::uint8_t> MaskRecordFromPicture(const GreyImage& picture, const std::string& name) {
  if (picture.width != wheel::kWidth || picture.height != wheel::kHeight)
    throw CliError(name + ": a chroma mask picture must be " + std::to_string(wheel::kWidth) +
                   " x " + std::to_string(wheel::kHeight) + " pixels, not " +
                   std::to_string(picture.width) + " x " + std::to_string(picture.height));
  stdfx::CDIB mask(wheel::MaskHeader());
  if (!mask.IsValidDIB()) throw CliError(name + ": out of memory for the mask");
  const std::size_t stride = std::size_t(mask.DIBBytesPerLine());
  for (int row = 0; row < wheel::kHeight; ++row)
    std::memcpy(mask.GetBytes() + std::size_t(row) * stride, picture.Row(wheel::kHeight - 1 - row),
                std::size_t(wheel::kWidth));
  std::vector<std::uint8_t> record;
  if (!wheel::EncodeRecord(mask, record))
    throw CliError(name + ": the mask could not be compressed");
  return record;
}

GreyImage PictureFromMaskRecord(const std::vector<std::uint8_t>& record, const std::string& name) {
  if (wheel::RecordIsEmpty(record.data(), record.size()))
    return GreyImage(wheel::kWidth, wheel::kHeight);
  stdfx::CDIB mask;
  if (!wheel::DecodeRecord(record.data(), record.size(), mask))
    throw CliError(name + ": the chroma mask record is damaged and cannot be decoded");
  const int width = mask.DIBWidth(), height = mask.DIBHeight();
  const std::size_t stride = std::size_t(mask.DIBBytesPerLine());
  GreyImage picture(width, height);
  for (int row = 0; row < height; ++row)
    std::memcpy(picture.Row(height - 1 - row), mask.GetBytes() + std::size_t(row) * stride,
                std::size_t(width));
  return picture;
}

void ValidateMaskRecord(const std::vector<std::uint8_t>& record, const std::string& name) {
  if (wheel::RecordIsEmpty(record.data(), record.size())) return;
  stdfx::CDIB mask;
  if (!wheel::DecodeRecord(record.data(), record.size(), mask))
    throw CliError(name + ": the chroma mask record is damaged and cannot be decoded");
}

}  // namespace mattix::cli
