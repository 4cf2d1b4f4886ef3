#pragma once
// A host frame: its geometry, pixel address, layout code and alpha kind,
// with a format facet and an optional alpha-source facet. The frame either
// wraps memory that its creator owns or owns a zeroed buffer of its own.
#include "host/effect/HostObject.h"
#include "tarn/Images.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace mattix::host {

// What the format facet reports (1 or non-zero meaning yes, as the SDK
// spells it).
struct ImageFormat {
  std::int32_t bottomUp = 0;
  std::int32_t premultiplied = 0;
  std::int32_t interlaced = 0;
  std::int32_t interlaceDetail = 0;
  float value = 0.0f;
  std::int32_t blackTransparent = 0;
};

// Layout codes of frames, as the SDK names them.
using Tarn::kLayoutBgra32;
using Tarn::kLayoutUyvy;

struct ImageDescription {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t bytesPerRow = 0;
  void* pixels = nullptr;  // not owned
  std::int32_t layoutCode = kLayoutBgra32;
  std::int32_t alphaKind = 0;
  ImageFormat format;
  bool offerFormat = true;  // false: no format facet
};

class CImage : public TObject<Tarn::IFXImage, Tarn::IFXImageFormat, Tarn::IFXAlphaSource> {
 public:
  // Wraps description.pixels, which must outlive the frame.
  explicit CImage(const ImageDescription& description);
  // Wraps a frame of layout code 4 over pixels, rows bytesPerRow apart in
  // buffer order: the first buffer row is the bottom of the picture when
  // bottomUp, else the top.
  static PIM::RefPtr<CImage> WrapBgra(void* pixels, std::int32_t width, std::int32_t height,
                                      std::int32_t bytesPerRow, bool bottomUp,
                                      bool premultiplied = false);
  // Owns a zeroed buffer of height rows of bytesPerRow bytes; the
  // description's pixels are ignored. Negative sizes count as 0.
  static PIM::RefPtr<CImage> Allocate(ImageDescription description);

  // IFXImage.
  std::int32_t Width() override { return m_description.width; }
  std::int32_t Height() override { return m_description.height; }
  std::int32_t BytesPerRow() override { return m_description.bytesPerRow; }
  void* Pixels() override { return m_description.pixels; }
  std::int32_t LayoutCode() override { return m_description.layoutCode; }
  // The format and alpha-source facets, as QueryInterface gives them.
  PIM::Status GetFacet(const PIM::IID& iid, void** out) override;
  std::int32_t AlphaKind() override { return m_description.alphaKind; }

  // IFXImageFormat.
  std::int32_t IsBottomUp() override { return m_description.format.bottomUp; }
  std::int32_t IsPremultiplied() override { return m_description.format.premultiplied; }
  std::int32_t IsInterlaced() override { return m_description.format.interlaced; }
  std::int32_t InterlaceDetail() override { return m_description.format.interlaceDetail; }
  float FormatValue() override { return m_description.format.value; }
  std::int32_t IsBlackTransparent() override { return m_description.format.blackTransparent; }
  void SetFormatOption(std::int32_t value) override { m_formatOptions.push_back(value); }

  // IFXAlphaSource.
  bool HasAlpha() override { return m_alpha.has_value() && m_alpha->hasAlpha; }
  Tarn::IFXImage* AlphaPlane() override;

  // Gives the frame an alpha-source facet reporting hasAlpha, with plane as
  // its separate alpha plane (may be null: a source that reports alpha but
  // yields no plane).
  void SetAlphaSource(bool hasAlpha, PIM::RefPtr<CImage> plane);

  const ImageDescription& Description() const { return m_description; }
  // Values given to SetFormatOption, in order.
  const std::vector<std::int32_t>& FormatOptions() const { return m_formatOptions; }

 protected:
  bool Offers(const PIM::IID& iid) const override;

 private:
  struct AlphaSource {
    bool hasAlpha;
    PIM::RefPtr<CImage> plane;
  };

  ImageDescription m_description;
  std::vector<std::uint8_t> m_storage;  // empty when the memory is wrapped
  std::optional<AlphaSource> m_alpha;
  std::vector<std::int32_t> m_formatOptions;
};

}  // namespace mattix::host
