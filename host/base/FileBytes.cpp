#include "host/base/FileBytes.h"

#include "host/base/HostError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace mattix::host {

namespace {

std::string Reason(int err) { return std::strerror(err); }

// What a file that is not regular is, for the message.
const char* KindName(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a file";
}

class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

}  // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::string& path, std::uint64_t maxBytes) {
  // O_NONBLOCK: opening a FIFO without a writer would wait for one.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) throw HostError(path + ": cannot open: " + Reason(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw HostError(path + ": cannot read: " + Reason(errno));
  if (S_ISDIR(st.st_mode)) throw HostError(path + ": is a folder, not a file");
  if (!S_ISREG(st.st_mode))
    throw HostError(path + ": is not a regular file (" + KindName(st.st_mode) + ")");
  const auto tooLarge = [&](std::uint64_t size) {
    return HostError(path + ": file is too large (" + std::to_string(size) + " bytes; at most " +
                     std::to_string(maxBytes) + ")");
  };
  if (std::uint64_t(st.st_size) > maxBytes) throw tooLarge(std::uint64_t(st.st_size));
  std::vector<std::uint8_t> bytes;
  bytes.reserve(std::size_t(st.st_size));
  std::uint8_t buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw HostError(path + ": cannot read: " + Reason(errno));
    }
    if (n == 0) break;
    // A file that grows while it is read is bounded too.
    if (bytes.size() + std::size_t(n) > maxBytes) throw tooLarge(bytes.size() + std::size_t(n));
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

std::string ReadFileText(const std::string& path, std::uint64_t maxBytes) {
  std::vector<std::uint8_t> bytes = ReadFileBytes(path, maxBytes);
  return std::string(bytes.begin(), bytes.end());
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace mattix::host
