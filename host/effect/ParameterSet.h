#pragma once
// The parameter set a host hands to an effect: its parameters by index.
#include "host/effect/HostObject.h"
#include "host/effect/Parameter.h"
#include "tarn/Parameters.h"

#include <string>
#include <vector>

namespace mattix::host {

class CParameterSet : public TObject<Tarn::IFXParameterSet> {
 public:
  // An empty set offers nothing. When two parameters share an index the
  // first one listed is found.
  explicit CParameterSet(std::vector<PIM::RefPtr<CParameter>> parameters = {});

  // The parameter at index as interface iid; kStatusNotFound when there is
  // none.
  PIM::Status GetParameter(std::int32_t index, const PIM::IID& iid, void** out) override;

  CParameter* Find(std::int32_t index) const;
  CParameter* Find(const std::string& name) const;
  const std::vector<PIM::RefPtr<CParameter>>& Parameters() const { return m_parameters; }

 private:
  std::vector<PIM::RefPtr<CParameter>> m_parameters;
};

}  // namespace mattix::host
