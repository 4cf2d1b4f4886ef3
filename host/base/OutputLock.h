#pragma once
// Keeps two renders from writing one output at once. A render holds a lock
// on each of its outputs from its start to its end: a lock file beside the
// output (".NAME.mattix-lock", NAME the file's or the sequence pattern's
// name) locked with an open file description lock (Linux's OFD locks, which
// NFS carries to the server too). For a sequence, byte n of the lock file
// stands for frame n, and only the frames the render writes are locked, so
// that the chunks of a shot (disjoint frames, as on a render farm) write
// into one pattern side by side; a single file is locked whole. A render
// whose outputs another render holds is refused at its start. The last
// holder removes the lock file, also when interrupted; one left by a killed
// render (its lock died with it) is taken over by the next render and
// removed in turn.
#include <optional>
#include <string>
#include <utility>

namespace mattix::host {

class OutputLock {
 public:
  // Locks `output` whole (no frames), or frames first to last of the
  // sequence it names (last: LONG_MAX for every frame from first on).
  // Creates the output's folder when missing, as the output would. Throws
  // HostError naming the output when another render holds any of it, or
  // when the lock file cannot be made.
  OutputLock(const std::string& output, std::optional<std::pair<long, long>> frames);
  // Unlocks, and removes the lock file when no other render holds a part.
  ~OutputLock();
  OutputLock(const OutputLock&) = delete;
  OutputLock& operator=(const OutputLock&) = delete;

 private:
  std::string m_lockPath;
  int m_fd = -1;
  int m_interruptToken = -1;  // RemoveLockOnInterrupt's
};

}  // namespace mattix::host
