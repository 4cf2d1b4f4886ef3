#pragma once
// Where a host finds the effect module libmattix.so: the path in the
// environment variable MATTIX_MODULE when set, else the first of the places
// the host names (next to itself, the build tree it was built in...).
#include <string>
#include <vector>

namespace mattix::host {

// The module to load. Throws HostError when MATTIX_MODULE names no file, or
// when it is unset and none of `places` exists (the message lists them).
std::string FindEffectModule(const std::vector<std::string>& places);

}  // namespace mattix::host
