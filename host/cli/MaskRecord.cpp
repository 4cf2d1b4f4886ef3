#include "host/cli/MaskRecord.h"

#include "host/cli/CliError.h"
#include "host/cli/Project.h"
#include "picker/ChromaMaskRecord.h"
#include "picker/WheelGeometry.h"
#include "stdfx/DIB.h"

#include <cstring>

namespace mattix::cli {

GreyImage MaskLevelsFromPicture(const BgraImage& picture) {
  GreyImage levels(picture.width, picture.height);
  for (int y = 0; y < picture.height; ++y) {
    const std::uint8_t* p = picture.Row(y);
    std::uint8_t* out = levels.Row(y);
    for (int x = 0; x < picture.width; ++x, p += 4) {
      // round((b + g + r) / 3 * a / 255) = round(v / 765), v <= 195075.
      const std::uint32_t v = (std::uint32_t(p[0]) + p[1] + p[2]) * p[3];
      out[x] = std::uint8_t((2 * v + 765) / 1530);
    }
  }
  return levels;
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
