#include "host/base/FileBytes.h"

#include "host/base/HostError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace mattix::host {

namespace {

// Files above this are refused before allocation: no input of ours (a
// picture, a project) is anywhere near it, and a bigger one is a mistake.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t(1) << 31;

std::string Reason(int err) { return std::strerror(err); }

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

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) throw HostError(path + ": cannot open: " + Reason(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw HostError(path + ": cannot read: " + Reason(errno));
  if (S_ISDIR(st.st_mode)) throw HostError(path + ": is a folder, not a file");
  if (S_ISREG(st.st_mode) && std::uint64_t(st.st_size) > kMaxFileBytes)
    throw HostError(path + ": file is too large (" + std::to_string(st.st_size) + " bytes)");
  std::vector<std::uint8_t> bytes;
  if (S_ISREG(st.st_mode)) bytes.reserve(std::size_t(st.st_size));
  std::uint8_t buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw HostError(path + ": cannot read: " + Reason(errno));
    }
    if (n == 0) break;
    if (bytes.size() + std::size_t(n) > kMaxFileBytes)
      throw HostError(path + ": file is too large");
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

std::string ReadFileText(const std::string& path) {
  std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace mattix::host
