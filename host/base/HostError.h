#pragma once
// The one error type of the host's rooms (files, media, project, the effect
// driver, the matte tools): a complete, user-facing message that already
// names what failed (the file and the frame where there is one, the
// module's path and the loader's reason). Never thrown through a pixel loop.
#include <stdexcept>
#include <string>

namespace mattix::host {

class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace mattix::host
