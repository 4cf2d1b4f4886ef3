#pragma once
// The host's parameter factory. Creations are counted from 0 in call order;
// a host can make a given creation fail or yield a faulty parameter.
#include "host/effect/HostObject.h"
#include "host/effect/Parameter.h"
#include "tarn/Parameters.h"

#include <map>
#include <vector>

namespace mattix::host {

class CParameterFactory : public TObject<Tarn::IFXParameterFactory> {
 public:
  CParameterFactory() = default;

  // A new parameter of kind 1 (number) or 3 (byte block) as interface iid.
  // Another kind gives kStatusBadArgument.
  PIM::Status Create(std::int32_t kind, const PIM::IID& iid, void** out) override;

  // The creation with this ordinal fails with status (non-zero).
  void RefuseCreation(int ordinal, PIM::Status status) { m_refusals[ordinal] = status; }
  // The creation with this ordinal yields a parameter with these faults.
  void InjectFaults(int ordinal, ParameterFaults faults) { m_faults[ordinal] = faults; }

  int CreateCount() const { return m_creations; }
  // Every parameter created so far, whether or not it reached a list.
  const std::vector<PIM::RefPtr<CParameter>>& Created() const { return m_created; }

 private:
  int m_creations = 0;
  std::map<int, PIM::Status> m_refusals;
  std::map<int, ParameterFaults> m_faults;
  std::vector<PIM::RefPtr<CParameter>> m_created;
};

}  // namespace mattix::host
