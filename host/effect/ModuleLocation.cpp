#include "host/effect/ModuleLocation.h"

#include "host/base/HostError.h"

#include <cstdlib>
#include <filesystem>

namespace mattix::host {

std::string FindEffectModule(const std::vector<std::string>& places) {
  namespace fs = std::filesystem;
  if (const char* path = std::getenv("MATTIX_MODULE"); path != nullptr && *path != '\0') {
    if (!fs::exists(path)) throw HostError(std::string(path) + " (MATTIX_MODULE): no such module");
    return path;
  }
  for (const std::string& place : places)
    if (fs::exists(place)) return place;
  std::string message = "the effect module libmattix.so was not found (looked at";
  for (const std::string& place : places) message += " " + place;
  throw HostError(message + "; set MATTIX_MODULE to its path)");
}

}  // namespace mattix::host
