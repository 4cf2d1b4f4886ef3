#include "host/base/OutputFile.h"

#include "host/base/FileBytes.h"
#include "host/base/HostError.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <utility>

namespace mattix::host {

namespace {

// Temporary files to remove when the process is interrupted. The signal
// handler may run on any thread at any moment, so the list is a fixed array
// of fixed buffers guarded by atomic states; it only ever reads them.
constexpr int kSlots = 64;
constexpr int kFree = 0, kFilling = 1, kArmed = 2;
std::array<std::atomic<int>, kSlots> g_slotState{};
std::array<std::array<char, PATH_MAX>, kSlots> g_slotPath{};
// A lock file's descriptor (else -1): the file is removed only when its
// lock can be taken whole, that is when no other render holds a part.
std::array<int, kSlots> g_slotLock{};

// A file's name is armed before the file is made, and the handler waits
// for the threads that are making one: so no file appears after it ran.
// g_dying tells makers to stop; g_making counts those past that check;
// t_making is this thread's part of it (the handler, run on a maker,
// does not wait for itself: that thread never goes on).
std::atomic<bool> g_dying{false};
std::atomic<int> g_making{0};
thread_local int t_making = 0;

int ArmSlot(const std::string& path, int lock = -1) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (g_slotState[std::size_t(i)].compare_exchange_strong(expected, kFilling)) {
      std::memcpy(g_slotPath[std::size_t(i)].data(), path.c_str(), path.size() + 1);
      g_slotLock[std::size_t(i)] = lock;
      g_slotState[std::size_t(i)].store(kArmed);
      return i;
    }
  }
  return -1;  // more than kSlots live outputs: this one is not cleaned on a signal
}

void ReleaseSlot(int slot) {
  if (slot >= 0) g_slotState[std::size_t(slot)].store(kFree);
}

extern "C" void OnInterrupt(int sig) {
  g_dying.store(true);
  // Making a file takes a few system calls; a stuck maker is not waited
  // for past about a second.
  for (int spins = 0; g_making.load() - t_making > 0 && spins < 100000; ++spins) ::usleep(10);
  bool removed = false;
  for (int i = 0; i < kSlots; ++i)
    if (g_slotState[std::size_t(i)].load() == kArmed) {
      struct flock whole {};
      whole.l_type = F_WRLCK;
      whole.l_whence = SEEK_SET;
      const int lock = g_slotLock[std::size_t(i)];
      if (lock < 0 || ::fcntl(lock, F_OFD_SETLK, &whole) == 0)
        ::unlink(g_slotPath[std::size_t(i)].data());
      removed = true;
    }
  // write(2) is safe in a signal handler; the messages are fixed.
  static const char kStopped[] =
      "\nmattix: interrupted: the render stopped; files it had finished are kept, the file it "
      "was writing is removed\n";
  static const char kIdle[] = "\nmattix: interrupted\n";
  [[maybe_unused]] const ssize_t n = removed ? ::write(STDERR_FILENO, kStopped, sizeof kStopped - 1)
                                             : ::write(STDERR_FILENO, kIdle, sizeof kIdle - 1);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

// Permissions of a new file as open() would give them: 0666 less the umask,
// which can only be read by setting it (done once).
mode_t NewFileMode() {
  static const mode_t mode = [] {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mode_t(0666 & ~mask);
  }();
  return mode;
}

bool RenameNoReplace(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without RENAME_NOREPLACE: link fails too when `to` exists.
  if (::link(from, to) != 0) return false;
  ::unlink(from);
  return true;
}

constexpr char kTempMark[] = ".mattix-";

// The owner's process id in a temporary file's name
// (".NAME.mattix-PID-XXXXXX"), or 0 when the name is not of that form.
pid_t TemporaryOwner(const std::string& name) {
  const std::size_t mark = name.rfind(kTempMark);
  if (name.empty() || name[0] != '.' || mark == std::string::npos) return 0;
  const std::size_t start = mark + sizeof kTempMark - 1, dash = name.find('-', start);
  if (dash == std::string::npos || dash == start || dash - start > 9 || name.size() - dash != 7)
    return 0;
  pid_t pid = 0;
  for (std::size_t i = start; i < dash; ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    pid = pid * 10 + (name[i] - '0');
  }
  return pid;
}

// Removes the temporary files that killed renders left in `folder`, once per
// folder and process. A file counts as left behind only when both hold: the
// process named in it is gone, and nobody holds the lock that its owner
// takes for as long as it writes (a lock dies with its process, however the
// process ends). A reused process id only keeps a file; it never removes
// one that is being written.
void RemoveStaleTemporaries(const std::string& folder) {
  static std::mutex mutex;
  static std::set<std::string> done;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!done.insert(folder).second) return;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    const pid_t owner = TemporaryOwner(name);
    if (owner <= 0 || owner == ::getpid()) continue;
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    const int fd = ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlinkat(::dirfd(dir), name.c_str(), 0);
    ::close(fd);
  }
  ::closedir(dir);
}

}  // namespace

void InputFiles::Add(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw HostError(path + ": cannot open: " + std::strerror(errno));
  m_ids.push_back({st.st_dev, st.st_ino});
}

bool InputFiles::Contains(const std::string& path) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  for (const Id& id : m_ids)
    if (id.dev == st.st_dev && id.ino == st.st_ino) return true;
  return false;
}

void CheckOutputAllowed(const std::string& path, bool force, const InputFiles& inputs) {
  if (inputs.Contains(path))
    throw HostError(path + ": the output is one of the inputs; choose another output name");
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) throw HostError(path + ": is a folder; give a file name for the output");
  if (!force) throw HostError(path + ": already exists (use --force to replace it)");
}

void CheckDistinctOutputs(const std::vector<std::pair<std::string, std::string>>& namedPaths) {
  std::vector<std::string> normal;
  for (const auto& [what, path] : namedPaths) {
    // Absolute first: weakly_canonical leaves a relative path whose first
    // part does not exist as it is ("out.png" but "./out.png" resolved).
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec).lexically_normal();
    std::string p = std::filesystem::weakly_canonical(absolute, ec).string();
    if (ec) p = absolute.string();
    normal.push_back(p);
  }
  for (std::size_t i = 0; i < normal.size(); ++i)
    for (std::size_t j = i + 1; j < normal.size(); ++j)
      if (normal[i] == normal[j])
        throw HostError(namedPaths[j].second + ": " + namedPaths[i].first + " and " +
                        namedPaths[j].first + " would be the same file");
}

OutputFile::OutputFile(std::string path, bool force) : m_path(std::move(path)), m_force(force) {
  if (m_path.empty() || m_path.back() == '/')
    throw HostError("\"" + m_path + "\": not a file name for an output");
  struct stat st {};
  if (::stat(m_path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode))
      throw HostError(m_path + ": is a folder; give a file name for the output");
    if (!m_force) throw HostError(m_path + ": already exists (use --force to replace it)");
  }
  // A folder that does not exist yet is made, as `mkdir -p` would.
  if (std::error_code ec; !std::filesystem::is_directory(FolderOf(m_path), ec)) {
    std::filesystem::create_directories(FolderOf(m_path), ec);
    if (ec)
      throw HostError(m_path + ": cannot create its folder " + FolderOf(m_path) + ": " +
                      ec.message());
  }
  RemoveStaleTemporaries(FolderOf(m_path));
  const std::string prefix =
      FolderOf(m_path) + "/." + BaseOf(m_path) + kTempMark + std::to_string(::getpid()) + "-";
  // The name is armed for the interrupt handler before the file exists
  // (see g_making), with six random letters as mkstemp would choose.
  static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  int error = 0;
  for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
    m_temp = prefix;
    for (int i = 0; i < 6; ++i) m_temp += letters[random() % (sizeof letters - 1)];
    ++g_making;
    ++t_making;
    if (!g_dying.load()) {
      m_slot = ArmSlot(m_temp);
      m_fd = ::open(m_temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      error = errno;
      if (m_fd < 0) ReleaseSlot(std::exchange(m_slot, -1));
    }
    --t_making;
    --g_making;
    if (m_fd < 0 && error != EEXIST) break;
  }
  if (m_fd < 0)
    throw HostError(m_path + ": cannot create the output: " + std::strerror(error ? error : EINTR));
  // Held until the descriptor closes: the file's owner is alive.
  ::flock(m_fd, LOCK_EX | LOCK_NB);
  ::fchmod(m_fd, NewFileMode());
}

OutputFile::~OutputFile() {
  if (m_fd >= 0) ::close(m_fd);
  if (!m_committed) ::unlink(m_temp.c_str());
  ReleaseSlot(m_slot);
}

void OutputFile::Write(const void* data, std::size_t size) {
  if (m_fd < 0) throw HostError(m_path + ": output is already closed");
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(m_fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw HostError(m_path + ": cannot write: " + std::strerror(errno));
    }
    p += n;
    size -= std::size_t(n);
  }
}

void OutputFile::Commit() {
  if (m_committed) return;
  if (m_fd >= 0) {
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) throw HostError(m_path + ": cannot write: " + std::strerror(errno));
  }
  if (m_force) {
    if (::rename(m_temp.c_str(), m_path.c_str()) != 0)
      throw HostError(m_path + ": cannot put the output in place: " + std::strerror(errno));
  } else if (!RenameNoReplace(m_temp.c_str(), m_path.c_str())) {
    if (errno == EEXIST) throw HostError(m_path + ": already exists (use --force to replace it)");
    throw HostError(m_path + ": cannot put the output in place: " + std::strerror(errno));
  }
  m_committed = true;
}

void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                         bool force) {
  OutputFile out(path, force);
  out.Write(bytes.data(), bytes.size());
  out.Commit();
}

int RemoveOnInterrupt(const std::string& path) { return ArmSlot(path); }

int RemoveLockOnInterrupt(const std::string& path, int fd) { return ArmSlot(path, fd); }

void KeepOnInterrupt(int token) { ReleaseSlot(token); }

void InstallInterruptCleanup() {
  static std::once_flag once;
  std::call_once(once, [] {
    NewFileMode();
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);
  });
}

}  // namespace mattix::host
