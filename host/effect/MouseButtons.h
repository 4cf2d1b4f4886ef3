#pragma once
// The buttons held during a mouse event.
#include "host/effect/HostObject.h"
#include "tarn/Events.h"

namespace mattix::host {

class CMouseButtons : public TObject<Tarn::IFXMouseButtons> {
 public:
  CMouseButtons(bool left, bool right) : m_left(left), m_right(right) {}

  bool Left() override { return m_left; }
  bool Right() override { return m_right; }

 private:
  bool m_left;
  bool m_right;
};

}  // namespace mattix::host
