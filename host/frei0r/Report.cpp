#include "host/frei0r/Report.h"

#include <cstdio>
#include <mutex>
#include <set>

namespace mattix::frei0r {

void ReportOnce(const std::string& message) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  std::lock_guard<std::mutex> lock(mutex);
  if (reported.insert(message).second) std::fprintf(stderr, "mattix: %s\n", message.c_str());
}

}  // namespace mattix::frei0r
