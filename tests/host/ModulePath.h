#pragma once
// The built module's path, which the test registration passes in
// MATTIX_MODULE.
#include <cstdlib>
#include <string>

namespace mattix::test {

inline std::string ModulePath() {
  const char* path = std::getenv("MATTIX_MODULE");
  return path != nullptr ? std::string(path) : std::string();
}

}  // namespace mattix::test
