#include "host/effect/Event.h"

#include <utility>

namespace mattix::host {

CEvent::CEvent(EventDescription description) : m_description(std::move(description)) {
  if (m_description.mouse) {
    m_buttons = Make<CMouseButtons>(m_description.mouse->left, m_description.mouse->right);
  }
}

bool CEvent::Offers(const PIM::IID& iid) const {
  if (iid == Tarn::IFXMouseEvent::kIID) return m_description.mouse.has_value();
  return true;
}

void CEvent::SetHandled(bool handled) { m_handled = handled; }

void CEvent::ReportChange(Tarn::IFXParameter* parameter, std::int32_t flag1, std::int32_t flag2) {
  m_changes.push_back({parameter != nullptr ? parameter->GetIndex() : -1, flag1, flag2});
}

Tarn::TPoint<long> CEvent::Position() {
  if (!m_description.mouse) return {};
  return {m_description.mouse->x, m_description.mouse->y};
}

}  // namespace mattix::host
