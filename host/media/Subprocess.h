#pragma once
// A child process started without a shell (posix_spawnp), with optional
// pipes to its standard input and output. Its standard error goes to an
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

// Writing to a pipe whose reader has gone must fail with EPIPE rather than
// kill the process; called by every Subprocess that gets an input pipe.
void IgnoreBrokenPipes();

class Subprocess {
 public:
  struct Pipes {
    bool in = false;   // a pipe to the child's standard input (else /dev/null)
    bool out = false;  // a pipe from its standard output (else /dev/null)
    int fd3 = -1;      // a descriptor of ours the child gets as its descriptor 3
  };

  // Starts argv[0], looked up on PATH. When it is not found, throws
  // host::HostError with `missingMessage`; other start failures name the program.
  Subprocess(const std::vector<std::string>& argv, Pipes pipes, const std::string& missingMessage);
  // Kills the child if it is still running and reaps it.
  ~Subprocess();
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  // Writes everything to the child's input; false when the child has
  // closed it (it stopped early).
  bool WriteAll(const void* data, std::size_t size);
  // Reads until `size` bytes or the end of the child's output; returns the
  // number of bytes read. Throws host::HostError on a read error.
  std::size_t ReadFull(void* data, std::size_t size);
  void CloseInput();
  void CloseOutput();

  // Waits for the child to end. Returns its exit code, or 128 + the signal
  // that ended it.
  int Wait();
  // The last part (up to 2000 bytes) of what the child wrote to standard
  // error, trimmed; empty when it wrote nothing.
  std::string ErrorTail() const;
  const std::string& program() const { return m_program; }

 private:
  std::string m_program;
  pid_t m_pid = -1;
  int m_in = -1;
  int m_out = -1;
  int m_err = -1;  // the unnamed temporary file holding standard error
  std::optional<int> m_status;
};

}  // namespace mattix::media
