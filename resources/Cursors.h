#pragma once
// The module's cursors, drawn as text files under resources/cursors/: a
// list (cursors.txt: resource id, picture, badge or "-") and pictures of
// '#' (ink) and '.' (transparent) rows after a "hotspot X Y" line; lines
// starting with '#' before the picture are comments. Each cursor is the
// picture (up to 30 x 30) at (1, 1) of a 32 x 32 cursor with its badge at
// (22, 22), ink black and every transparent pixel touching ink (in the 8
// directions) white, so the cursor shows on any colour.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace mattix::resources {

inline constexpr unsigned kCursorType = 1;  // RT_CURSOR

struct CursorResource {
  unsigned id;
  std::vector<std::uint8_t> bytes;  // the layout LoadCursorW reads
};

// Reads every cursor of folder/cursors.txt. Throws std::runtime_error
// naming the file and line of anything malformed.
std::vector<CursorResource> ReadCursors(const std::string& folder);

}  // namespace mattix::resources
