#include "host/effect/NumberValue.h"

namespace mattix::host {

PIM::Status CNumberValue::Set(double value) {
  m_value = value;
  ++m_revision;
  return PIM::kOk;
}

}  // namespace mattix::host
