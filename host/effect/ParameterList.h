#pragma once
// The list an effect adds its defined parameters to.
#include "host/effect/HostObject.h"
#include "host/effect/Parameter.h"
#include "tarn/Parameters.h"

#include <vector>

namespace mattix::host {

class CParameterList : public TObject<Tarn::IFXParameterList> {
 public:
  CParameterList() = default;

  // Keeps a reference to parameter, which must be one of the host's own
  // (kStatusBadArgument otherwise). Adds are counted.
  PIM::Status Add(Tarn::IFXParameter* parameter) override;

  // The parameters in the order they were added.
  const std::vector<PIM::RefPtr<CParameter>>& Parameters() const { return m_parameters; }
  int AddCount() const { return m_adds; }

 private:
  int m_adds = 0;
  std::vector<PIM::RefPtr<CParameter>> m_parameters;
};

}  // namespace mattix::host
