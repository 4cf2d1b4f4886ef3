#include "host/media/Subprocess.h"

#include "host/base/HostError.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace mattix::media {

namespace {

constexpr std::size_t kErrorTailBytes = 2000;

std::string Reason(int err) { return std::strerror(err); }

// An unnamed temporary file for the child's standard error.
int TemporaryErrorFile() {
  const char* base = std::getenv("TMPDIR");
  std::string folder = base && *base ? base : "/tmp";
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string templ = folder + "/mattix-stderr-XXXXXX";
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  fd = ::mkostemp(buffer.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(buffer.data());
  return fd;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

std::optional<std::string> FindOnPath(const std::string& program) {
  if (program.find('/') != std::string::npos) {
    if (::access(program.c_str(), X_OK) == 0) return program;
    return std::nullopt;
  }
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = dirs.find(':', start);
    std::string dir =
        dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + program;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (colon == std::string::npos) return std::nullopt;
    start = colon + 1;
  }
}

Subprocess::Subprocess(const std::vector<std::string>& argv, Pipes pipes,
                       const std::string& missingMessage)
    : m_program(argv.empty() ? std::string() : argv.front()) {
  if (argv.empty()) throw host::HostError("no program to start");
  if (!FindOnPath(m_program)) throw host::HostError(missingMessage);

  int outPipe[2] = {-1, -1};
  auto closeAll = [&] {
    for (int* fd : {&outPipe[0], &outPipe[1]}) CloseFd(*fd);
  };
  if (pipes.out && ::pipe2(outPipe, O_CLOEXEC) != 0) {
    const int err = errno;
    closeAll();
    throw host::HostError("cannot start " + m_program + ": " + Reason(err));
  }
  m_err = TemporaryErrorFile();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (pipes.out)
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  else
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  if (m_err >= 0) posix_spawn_file_actions_adddup2(&actions, m_err, STDERR_FILENO);

  // The child starts with default signal handling, whatever ours is.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, sig);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int rc = ::posix_spawnp(&m_pid, m_program.c_str(), &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  CloseFd(outPipe[1]);
  if (rc != 0) {
    m_pid = -1;
    closeAll();
    CloseFd(m_err);
    if (rc == ENOENT) throw host::HostError(missingMessage);
    throw host::HostError("cannot start " + m_program + ": " + Reason(rc));
  }
  m_out = outPipe[0];
}

Subprocess::~Subprocess() {
  CloseFd(m_out);
  if (m_pid > 0 && !m_status) {
    ::kill(m_pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  CloseFd(m_err);
}

std::size_t Subprocess::ReadFull(void* data, std::size_t size) {
  auto* p = static_cast<unsigned char*>(data);
  std::size_t got = 0;
  while (got < size && m_out >= 0) {
    const ssize_t n = ::read(m_out, p + got, size - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw host::HostError("cannot read data from " + m_program + ": " + Reason(errno));
    }
    if (n == 0) break;
    got += std::size_t(n);
  }
  return got;
}

int Subprocess::Wait() {
  if (m_status) return *m_status;
  int status = 0;
  for (;;) {
    if (::waitpid(m_pid, &status, 0) >= 0) break;
    if (errno != EINTR) {
      m_status = 127;
      return *m_status;
    }
  }
  m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return *m_status;
}

std::string Subprocess::ErrorTail() const {
  if (m_err < 0) return {};
  const off_t end = ::lseek(m_err, 0, SEEK_END);
  if (end <= 0) return {};
  const off_t start = end > off_t(kErrorTailBytes) ? end - off_t(kErrorTailBytes) : 0;
  std::string text(std::size_t(end - start), '\0');
  const ssize_t n = ::pread(m_err, text.data(), text.size(), start);
  text.resize(n > 0 ? std::size_t(n) : 0);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  // Drop a partial first line when the tail was cut.
  if (start > 0) {
    const std::size_t nl = text.find('\n');
    if (nl != std::string::npos) text.erase(0, nl + 1);
  }
  return text;
}

}  // namespace mattix::media
