#pragma once
// Whole-file reading for inputs small enough to hold in memory (pictures,
// projects). Errors name the file and the reason.
#include <cstdint>
#include <string>
#include <vector>

namespace mattix::host {

// Reads the whole file; throws HostError "PATH: cannot read: REASON".
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

// Reads the whole file as text (same errors).
std::string ReadFileText(const std::string& path);

}  // namespace mattix::host
