#include "host/cli/MaskRecord.h"

#include "host/cli/CliError.h"
#include "host/cli/Project.h"
#include "host/cli/SampleScene.h"
#include "stdfx/DIB.h"
#include "stdfx/Rle8.h"
#include "stdfx/VfbmiHeader.h"

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
  if (picture.width != kWheelWidth || picture.height != kWheelHeight)
    throw CliError(name + ": a chroma mask picture must be " + std::to_string(kWheelWidth) + " x " +
                   std::to_string(kWheelHeight) + " pixels, not " + std::to_string(picture.width) +
                   " x " + std::to_string(picture.height));
  tagVFBMINFOHEADER header{};
  header.biSize = stdfx::kHeaderSizeVfbmi;
  header.biWidth = kWheelWidth;
  header.biHeight = kWheelHeight;  // positive: bottom-up
  header.biPlanes = 1;
  header.biBitCount = 8;
  header.biCompression = stdfx::kLayoutRGB;
  header.vfInterlacedFlag = 1;  // progressive
  header.biSizeImage = stdfx::DIBSize(&header);
  stdfx::CDIB mask(header);
  if (!mask.IsValidDIB()) throw CliError(name + ": out of memory for the mask");
  const int stride = mask.DIBBytesPerLine();
  for (int row = 0; row < kWheelHeight; ++row)
    std::memcpy(mask.GetBytes() + std::size_t(row) * std::size_t(stride),
                picture.Row(kWheelHeight - 1 - row), std::size_t(kWheelWidth));
  if (!mask.CompressRLE()) throw CliError(name + ": the mask could not be compressed");
  const tagVFBMINFOHEADER* packed = mask.GetVfBmiHeader();
  const std::size_t size = mask.DIBSize();
  std::vector<std::uint8_t> record(sizeof(tagVFBMINFOHEADER) + size);
  std::memcpy(record.data(), packed, sizeof(tagVFBMINFOHEADER));
  // A stored record carries no address: clear the alpha plane fields.
  auto* stored = reinterpret_cast<tagVFBMINFOHEADER*>(record.data());
  stored->vfAlphaBytes = nullptr;
  stored->vfAlphaBytesPerLine = 0;
  std::memcpy(record.data() + sizeof(tagVFBMINFOHEADER), mask.GetBytes(), size);
  return record;
}

GreyImage PictureFromMaskRecord(const std::vector<std::uint8_t>& record, const std::string& name) {
  if (record.size() <= kEmptyMaskRecordSize) return GreyImage(kWheelWidth, kWheelHeight);
  stdfx::CDIB mask;
  if (!stdfx::DecodeRle8Record(record.data(), record.size(), mask) || !mask.IsValidDIB())
    throw CliError(name + ": the chroma mask record is damaged and cannot be decoded");
  const int width = mask.DIBWidth(), height = mask.DIBHeight();
  const int stride = mask.DIBBytesPerLine();
  GreyImage picture(width, height);
  for (int row = 0; row < height; ++row)
    std::memcpy(picture.Row(height - 1 - row),
                mask.GetBytes() + std::size_t(row) * std::size_t(stride), std::size_t(width));
  return picture;
}

void ValidateMaskRecord(const std::vector<std::uint8_t>& record, const std::string& name) {
  if (record.size() <= kEmptyMaskRecordSize) return;
  stdfx::CDIB mask;
  if (!stdfx::DecodeRle8Record(record.data(), record.size(), mask))
    throw CliError(name + ": the chroma mask record is damaged and cannot be decoded");
}

}  // namespace mattix::cli
