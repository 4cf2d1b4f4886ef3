#pragma once
// A source of one frame (an effect's output or one of its inputs).
#include "host/effect/HostObject.h"
#include "host/effect/Image.h"
#include "tarn/Images.h"

#include <utility>

namespace mattix::host {

class CImageSource : public TObject<Tarn::IFXImageSource> {
 public:
  // A null image makes a source without a frame.
  explicit CImageSource(PIM::RefPtr<CImage> image = nullptr) : m_image(std::move(image)) {}

  Tarn::IFXImage* GetImage() override { return m_image.Get(); }
  CImage* Image() const { return m_image.Get(); }

 private:
  PIM::RefPtr<CImage> m_image;
};

}  // namespace mattix::host
