#pragma once
// The one error type of the command: a complete, user-facing message that
// already names the file (and the frame, where there is one). Thrown by the
// file, project and process layers; never thrown through a pixel loop.
#include <stdexcept>
#include <string>

namespace mattix::cli {

class CliError : public std::runtime_error {
 public:
  explicit CliError(const std::string& message) : std::runtime_error(message) {}
};

// A command line that cannot be understood (exit status 2, usage hint).
class UsageError : public CliError {
 public:
  explicit UsageError(const std::string& message) : CliError(message) {}
};

}  // namespace mattix::cli
