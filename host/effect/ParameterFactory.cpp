#include "host/effect/ParameterFactory.h"

#include "host/effect/HostStatus.h"

namespace mattix::host {

PIM::Status CParameterFactory::Create(std::int32_t kind, const PIM::IID& iid, void** out) {
  if (out == nullptr) return kStatusBadArgument;
  *out = nullptr;
  if (kind != Tarn::kNumberParameter && kind != Tarn::kDataParameter) return kStatusBadArgument;
  return Make<CParameter>(kind)->QueryInterface(iid, out);
}

}  // namespace mattix::host
