#pragma once
// A child process started without a shell (posix_spawnp), its standard
// input /dev/null and its standard output a pipe to us or /dev/null. Its standard error goes to an
// unnamed temporary file, so that a chatty child can never block on a full
// pipe, and its tail is kept for error messages. Every descriptor of ours
// is close-on-exec, so a child inherits only the ends meant for it.
#include <sys/types.h>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace mattix::media {

// The full path of `program` found on PATH, or nullopt.
std::optional<std::string> FindOnPath(const std::string& program);

class Subprocess {
 public:
  struct Pipes {
    bool out = false;  // a pipe from the child's standard output (else /dev/null)
  };

  // Starts argv[0], looked up on PATH. When it is not found, throws
  // host::HostError with `missingMessage`; other start failures name the program.
  Subprocess(const std::vector<std::string>& argv, Pipes pipes, const std::string& missingMessage);
  // Kills the child if it is still running and reaps it.
  ~Subprocess();
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  // Reads until `size` bytes or the end of the child's output; returns the
  // number of bytes read. Throws host::HostError on a read error.
  std::size_t ReadFull(void* data, std::size_t size);

  // Waits for the child to end. Returns its exit code, or 128 + the signal
  // that ended it.
  int Wait();
  // The last part (up to 2000 bytes) of what the child wrote to standard
  // error, trimmed; empty when it wrote nothing.
  std::string ErrorTail() const;

 private:
  std::string m_program;
  pid_t m_pid = -1;
  int m_out = -1;
  int m_err = -1;  // the unnamed temporary file holding standard error
  std::optional<int> m_status;
};

}  // namespace mattix::media
