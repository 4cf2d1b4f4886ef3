#pragma once
// What the host tells an effect about the frame being rendered: the whole
// frame (mode 0) or one field (mode 1, field 0 or 1).
#include "host/effect/HostObject.h"
#include "tarn/Images.h"

#include <cstdint>

namespace mattix::host {

class CRenderContext : public TObject<Tarn::IFXRenderContext> {
 public:
  explicit CRenderContext(std::int32_t mode = 0, std::int32_t field = 0)
      : m_mode(mode), m_field(field) {}

  std::int32_t Mode() override { return m_mode; }
  std::int32_t Field() override { return m_field; }

 private:
  std::int32_t m_mode;
  std::int32_t m_field;
};

}  // namespace mattix::host
