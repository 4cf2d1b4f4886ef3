#include "host/frei0r/Report.h"

#include <cstdio>
#include <mutex>
#include <set>

namespace mattix::frei0r {

namespace {

std::mutex g_mutex;
std::set<std::string> g_reported;

}  // namespace

void Report(const std::string& message) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::fprintf(stderr, "mattix: %s\n", message.c_str());
}

void ReportOnce(const std::string& message) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_reported.insert(message).second) std::fprintf(stderr, "mattix: %s\n", message.c_str());
}

}  // namespace mattix::frei0r
