#include "host/effect/Image.h"

#include "host/media/Image.h"
#include "stdfx/DibFunctions.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace mattix::host {

// The host keys no frame that the module's image library cannot address.
static_assert(media::kMaxFrameSide == stdfx::kMaxDIBDimension);

CImage::CImage(const ImageDescription& description) : m_description(description) {}

PIM::RefPtr<CImage> CImage::Allocate(ImageDescription description) {
  const std::size_t rows = static_cast<std::size_t>(std::max(description.height, 0));
  const std::size_t stride = static_cast<std::size_t>(std::max(description.bytesPerRow, 0));
  description.pixels = nullptr;
  PIM::RefPtr<CImage> image = Make<CImage>(description);
  image->m_storage.assign(rows * stride, 0);
  image->m_description.pixels = image->m_storage.empty() ? nullptr : image->m_storage.data();
  return image;
}

PIM::RefPtr<CImage> CImage::WrapBgra(void* pixels, std::int32_t width, std::int32_t height,
                                     std::int32_t bytesPerRow, bool bottomUp, bool premultiplied) {
  ImageDescription description;
  description.width = width;
  description.height = height;
  description.bytesPerRow = bytesPerRow;
  description.pixels = pixels;
  description.layoutCode = kLayoutBgra32;
  description.format.bottomUp = bottomUp ? 1 : 0;
  description.format.premultiplied = premultiplied ? 1 : 0;
  return Make<CImage>(description);
}

bool CImage::Offers(const PIM::IID& iid) const {
  if (iid == Tarn::IFXImageFormat::kIID) return m_description.offerFormat;
  if (iid == Tarn::IFXAlphaSource::kIID) return m_alpha.has_value();
  return true;
}

PIM::Status CImage::GetFacet(const PIM::IID& iid, void** out) { return QueryInterface(iid, out); }

Tarn::IFXImage* CImage::AlphaPlane() {
  if (!m_alpha || !m_alpha->plane) return nullptr;
  return m_alpha->plane.Get();
}

void CImage::SetAlphaSource(bool hasAlpha, PIM::RefPtr<CImage> plane) {
  m_alpha = AlphaSource{hasAlpha, std::move(plane)};
}

}  // namespace mattix::host
