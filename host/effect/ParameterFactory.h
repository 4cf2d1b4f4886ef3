#pragma once
// The host's parameter factory.
#include "host/effect/HostObject.h"
#include "host/effect/Parameter.h"
#include "tarn/Parameters.h"

namespace mattix::host {

class CParameterFactory : public TObject<Tarn::IFXParameterFactory> {
 public:
  CParameterFactory() = default;

  // A new parameter of kind 1 (number) or 3 (byte block) as interface iid.
  // Another kind gives kStatusBadArgument.
  PIM::Status Create(std::int32_t kind, const PIM::IID& iid, void** out) override;
};

}  // namespace mattix::host
