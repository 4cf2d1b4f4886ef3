#include "host/cli/JobPool.h"

#include "host/cli/CliError.h"

#include <sched.h>
#include <charconv>

namespace mattix::cli {

int DefaultJobCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? int(n) : 1;
}

int ParseJobsFlag(std::string_view text) {
  int value = 0;
  const std::from_chars_result r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || value < 1 ||
      value > 256)
    throw CliError("--jobs: \"" + std::string(text) + "\" is not a number of jobs (1 to 256)");
  return value;
}

}  // namespace mattix::cli
