#pragma once
// Whole-file reading for inputs small enough to hold in memory (pictures,
// projects). Errors name the file and the reason.
//
// Only regular files are read. The file is opened without blocking and its
// kind checked on the descriptor opened, so a FIFO or a device put in a
// file's place (after a folder was listed, say) is refused at once rather
// than waited on or read without end.
#include <cstdint>
#include <string>
#include <vector>

namespace mattix::host {

// The largest file read unless the caller bounds it lower: no input of ours
// is anywhere near it, and a bigger one is a mistake.
inline constexpr std::uint64_t kMaxFileBytes = std::uint64_t(1) << 31;

// Reads the whole file; throws HostError "PATH: cannot read: REASON", "PATH:
// is not a regular file (a FIFO)" or "PATH: file is too large (N bytes; at
// most MAX)" for a file of more than maxBytes bytes, refused before reading.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path,
                                        std::uint64_t maxBytes = kMaxFileBytes);

// Reads the whole file as text (same errors).
std::string ReadFileText(const std::string& path, std::uint64_t maxBytes = kMaxFileBytes);

// The folder of a path ("." for a bare name, "/" at the root) and its last
// component, split at the last slash.
std::string FolderOf(const std::string& path);
std::string BaseOf(const std::string& path);

}  // namespace mattix::host
