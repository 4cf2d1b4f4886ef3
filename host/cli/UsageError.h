#pragma once
// A command line that cannot be understood: exit status 2 and a usage hint.
// Every other failure of a command is a host::HostError naming what failed.
#include "host/base/HostError.h"

#include <string>

namespace mattix::cli {

class UsageError : public host::HostError {
 public:
  explicit UsageError(const std::string& message) : host::HostError(message) {}
};

}  // namespace mattix::cli
