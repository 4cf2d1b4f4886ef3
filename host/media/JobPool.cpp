#include "host/media/JobPool.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>

namespace mattix::media {

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

std::uint64_t BytesPerJob(int width, int height, bool deep) {
  return std::uint64_t(std::max(width, 1)) * std::uint64_t(std::max(height, 1)) *
             (kBytesPerPixelPerJob + (deep ? kDeepBytesPerPixelPerJob : 0)) +
         kBytesPerJob;
}

int JobsWithinMemory(int jobs, int width, int height, std::uint64_t memoryBytes, bool deep) {
  // Unknown memory bounds nothing.
  if (memoryBytes == 0) return std::max(jobs, 1);
  const std::uint64_t half = memoryBytes / 2;
  const std::uint64_t fit =
      (half - std::min(half, kSharedBytes)) / BytesPerJob(width, height, deep);
  return int(std::clamp<std::uint64_t>(fit, 1, std::uint64_t(std::max(jobs, 1))));
}

std::uint64_t PhysicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  return pages > 0 && pageSize > 0 ? std::uint64_t(pages) * std::uint64_t(pageSize) : 0;
}

}  // namespace mattix::media
