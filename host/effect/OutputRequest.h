#pragma once
// The host's answer channel of PrepareOutput: records every request and
// returns a status the host chose.
#include "host/effect/HostObject.h"
#include "tarn/Images.h"

#include <cstdint>
#include <vector>

namespace mattix::host {

struct OutputRequestCall {
  PIM::IID id;
  void* output;
  Tarn::IFXImageFormat* format;  // borrowed during the call only
  std::int32_t a;
  std::int32_t b;
};

class COutputRequest : public TObject<Tarn::IFXOutputRequest> {
 public:
  explicit COutputRequest(PIM::Status answer = PIM::kOk) : m_answer(answer) {}

  PIM::Status Request(const PIM::IID& id, void* output, Tarn::IFXImageFormat* format,
                      std::int32_t a, std::int32_t b) override {
    m_calls.push_back({id, output, format, a, b});
    return m_answer;
  }

  const std::vector<OutputRequestCall>& Calls() const { return m_calls; }

 private:
  PIM::Status m_answer;
  std::vector<OutputRequestCall> m_calls;
};

}  // namespace mattix::host
