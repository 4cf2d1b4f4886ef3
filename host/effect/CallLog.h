#pragma once
// A record of the calls an effect makes on host objects, in order, one text
// per call (e.g. "info.SetName(Chroma Key)"). Objects that share a log
// interleave their entries, so a host can see the order across objects.
#include <memory>
#include <string>
#include <vector>

namespace mattix::host {

class CCallLog {
 public:
  void Add(std::string entry) { m_entries.push_back(std::move(entry)); }
  const std::vector<std::string>& Entries() const { return m_entries; }
  void Clear() { m_entries.clear(); }

 private:
  std::vector<std::string> m_entries;
};

using CallLogPtr = std::shared_ptr<CCallLog>;

inline void Log(const CallLogPtr& log, std::string entry) {
  if (log) log->Add(std::move(entry));
}

}  // namespace mattix::host
