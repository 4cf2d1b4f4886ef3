#pragma once
// Safe output files. Every output is written under a temporary name in its
// own folder and renamed into place only when complete, so an interrupted
// render never leaves a half-written file under the real name. An existing
// file is replaced only when `force` is given (checked before any work and
// again, atomically, at the rename), and a path that is one of the inputs is
// refused even with `force` (identity by device and inode, so hard links and
// other spellings of the same path are caught).
#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mattix::host {

// The identities of the files a render reads.
class InputFiles {
 public:
  // Records an existing input; throws HostError naming it when it cannot be
  // examined.
  void Add(const std::string& path);
  // True when `path` exists and is one of the inputs.
  bool Contains(const std::string& path) const;

 private:
  struct Id {
    dev_t dev;
    ino_t ino;
  };
  std::vector<Id> m_ids;
};

// Throws HostError when `path` may not be written: it is one of the inputs,
// it is a folder, or it exists and `force` is false.
void CheckOutputAllowed(const std::string& path, bool force, const InputFiles& inputs);

// Throws HostError when two of the paths name the same file (the main
// output, --matte and --preview must differ). `what` names each path.
void CheckDistinctOutputs(const std::vector<std::pair<std::string, std::string>>& namedPaths);

class OutputFile {
 public:
  // Creates the folder of `path` when missing (with its parents), then an
  // empty temporary file beside `path` (".NAME.mattix-PID-XXXXXX",
  // PID this process, locked while it is open). Before the first one in a
  // folder, removes the temporary files there whose process is gone and
  // whose lock is free: those of killed renders. Throws HostError naming
  // `path` when the folder is not writable or when `path` exists and `force`
  // is false.
  OutputFile(std::string path, bool force);
  // Removes the temporary file unless Commit succeeded.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& path() const { return m_path; }
  const std::string& temporaryPath() const { return m_temp; }
  // The open temporary file, for a writer of its own (the video encoder
  // writes through the descriptor and never opens the file by its name, so
  // it cannot make it again once an interrupt removed it). -1 once
  // committed.
  int descriptor() const { return m_fd; }

  void Write(const void* data, std::size_t size);
  // Closes the file and renames it to `path`. Without `force` the rename
  // fails, rather than replace a file that appeared meanwhile.
  void Commit();

 private:
  std::string m_path;
  std::string m_temp;
  bool m_force;
  int m_fd = -1;
  int m_slot = -1;  // place in the interrupt clean-up list
  bool m_committed = false;
};

// Writes a whole file through an OutputFile.
void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                         bool force);

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the temporary
// files of all live OutputFiles, then end the process by the same signal.
// Files being made on other threads meanwhile are waited for and removed
// too; none is made after.
void InstallInterruptCleanup();

// Adds a file of the caller's to those the handlers remove (a lock file no
// other process shares); returns a token for KeepOnInterrupt, which takes it
// off again. -1 (nothing armed) when the list is full.
int RemoveOnInterrupt(const std::string& path);
// The same for a lock file that other renders may share: removed when the
// lock on `fd` (an open file description's) can be taken whole.
int RemoveLockOnInterrupt(const std::string& path, int fd);
void KeepOnInterrupt(int token);

}  // namespace mattix::host
