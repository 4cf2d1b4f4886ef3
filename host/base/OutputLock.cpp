#include "host/base/OutputLock.h"

#include "host/base/OutputFile.h"

#include "host/base/FileBytes.h"
#include "host/base/HostError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <thread>

namespace mattix::host {

namespace {

// A write lock over bytes start to start + length - 1 (length 0: to the
// end of any file).
struct flock Range(off_t start, off_t length) {
  struct flock range {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = start;
  range.l_len = length;
  return range;
}

// Attempts at taking a lock that a finishing render holds whole for the
// moment it takes to remove the lock file, and at a lock file removed
// between its opening and its locking.
constexpr int kAttempts = 20;
constexpr auto kPause = std::chrono::milliseconds(5);

}  // namespace

OutputLock::OutputLock(const std::string& output, std::optional<std::pair<long, long>> frames) {
  const std::string folder = FolderOf(output);
  if (std::error_code ec; !std::filesystem::is_directory(folder, ec)) {
    std::filesystem::create_directories(folder, ec);
    if (ec) throw HostError(output + ": cannot create its folder " + folder + ": " + ec.message());
  }
  m_lockPath = folder + "/." + BaseOf(output) + ".mattix-lock";
  struct flock range = Range(0, 0);
  if (frames)
    range = Range(off_t(frames->first),
                  frames->second == LONG_MAX ? 0 : off_t(frames->second - frames->first + 1));
  const std::string which =
      !frames ? "it"
      : frames->second == LONG_MAX
          ? "its frames from " + std::to_string(frames->first) + " on"
          : "its frames " + std::to_string(frames->first) + " to " + std::to_string(frames->second);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const int fd = ::open(m_lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
      throw HostError(output + ": cannot create its lock file " + m_lockPath + ": " +
                      std::strerror(errno));
    if (::fcntl(fd, F_OFD_SETLK, &range) != 0) {
      const int err = errno;
      ::close(fd);
      if (err != EAGAIN && err != EACCES)
        throw HostError(output + ": cannot lock " + m_lockPath + ": " + std::strerror(err));
      if (attempt + 1 < kAttempts) {
        std::this_thread::sleep_for(kPause);
        continue;
      }
      throw HostError(output + ": another render is writing " + which + " (" + m_lockPath +
                      " is locked); wait for it to end, or choose another output");
    }
    // The last holder may have removed the file between its opening and
    // its locking here: then the lock is on a file no other render finds.
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) == 0 && ::stat(m_lockPath.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      m_fd = fd;
      // An interrupt removes it with the output's temporary, unless another
      // render holds a part (a farm's chunks of one sequence).
      m_interruptToken = RemoveLockOnInterrupt(m_lockPath, fd);
      return;
    }
    ::close(fd);
  }
  throw HostError(output + ": cannot lock " + m_lockPath + ": it keeps being replaced");
}

OutputLock::~OutputLock() {
  KeepOnInterrupt(m_interruptToken);
  // Whole, the file is locked only when no other render holds a part of it.
  struct flock whole = Range(0, 0);
  if (::fcntl(m_fd, F_OFD_SETLK, &whole) == 0) ::unlink(m_lockPath.c_str());
  ::close(m_fd);
}

}  // namespace mattix::host
