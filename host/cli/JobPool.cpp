#include "host/cli/JobPool.h"

#include <sched.h>

#include <algorithm>

namespace mattix::cli {

int DefaultJobCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return std::min(n, kMaxJobs);
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? std::min(int(n), kMaxJobs) : 1;
}

}  // namespace mattix::cli
