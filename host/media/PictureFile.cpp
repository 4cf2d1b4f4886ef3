#include "host/media/PictureFile.h"

#include "host/base/HostError.h"
#include "host/media/DeepKey.h"
#include "host/media/DpxFile.h"
#include "host/media/ExrFile.h"
#include "host/media/PngFile.h"
#include "host/media/TiffFile.h"

#include <algorithm>
#include <cctype>

namespace mattix::media {

std::optional<PictureType> PictureTypeOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  if (ext == "png") return PictureType::Png;
  if (ext == "tif" || ext == "tiff") return PictureType::Tiff;
  if (ext == "exr") return PictureType::Exr;
  if (ext == "dpx") return PictureType::Dpx;
  return std::nullopt;
}

Picture DecodePicture(const std::uint8_t* data, std::size_t size, const std::string& name) {
  Picture picture;
  if (IsTiff(data, size)) {
    picture.image = DecodeTiff(data, size, name, &picture.deep);
  } else if (IsDpx(data, size)) {
    picture.image = DecodeDpx(data, size, name, &picture.deep);
  } else if (IsExr(data, size)) {
    picture.deep = DecodeExr(data, size, name);
    picture.image = EightBitView(*picture.deep);
  } else {
    // PNG, or the PNG reader's message for what is not one.
    picture.image = DecodePng(data, size, name, &picture.deep);
  }
  if (picture.deep) picture.sampleBits = picture.deep->sampleBits;
  return picture;
}

std::vector<std::uint8_t> EncodePicture(PictureType type, const BgraImage& image,
                                        const DeepImage* deep, const std::string& name,
                                        int zlibLevel) {
  switch (type) {
    case PictureType::Png:
      return deep ? EncodePng16(*deep, name) : EncodePng(image, name, zlibLevel);
    case PictureType::Tiff:
      return EncodeTiff(image, deep, name);
    case PictureType::Dpx:
      return EncodeDpx(image, deep, name);
    case PictureType::Exr: {
      if (deep) return EncodeExr(*deep, name);
      DeepImage eight(image.width, image.height);
      for (std::size_t i = 0; i < eight.samples.size(); ++i)
        eight.samples[i] = float(image.pixels[i / 4 * 4 + (i % 4 == 3 ? 3 : 2 - i % 4)]) / 255.0f;
      return EncodeExr(eight, name);
    }
  }
  throw host::HostError(name + ": unknown picture type");
}

}  // namespace mattix::media
