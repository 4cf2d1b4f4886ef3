#pragma once
// A request that names no control, an out-of-range value or point: the
// message says which; the server answers 400.
#include <stdexcept>
#include <string>

namespace mattix::serve {

class BadRequest : public std::invalid_argument {
 public:
  explicit BadRequest(const std::string& message) : std::invalid_argument(message) {}
};

}  // namespace mattix::serve
