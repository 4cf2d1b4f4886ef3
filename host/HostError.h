#pragma once
// The host API's error: a message that names what failed (the module's path
// and the loader's reason, a missing entry point...).
#include <stdexcept>
#include <string>

namespace mattix::host {

class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace mattix::host
