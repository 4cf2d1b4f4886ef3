#pragma once
// Numbered picture sequences named printf-style: "shot_%04d.png" stands for
// shot_0001.png, shot_0002.png ... A pattern holds exactly one %d or %0Nd
// (N from 1 to 9) in its file name; "%%" is a literal percent sign. Frame
// numbers are not negative; a number wider than N is written in full, as
// printf does.
#include <optional>
#include <string>
#include <vector>

namespace mattix::media {

struct SequencePattern {
  std::string prefix;  // everything before the placeholder, "%%" resolved
  std::string suffix;  // everything after it, "%%" resolved
  int width = 0;       // minimum digits (zero-padded); 0 for plain %d
};

// Parses a path as a sequence pattern. Returns nullopt when the path has no
// placeholder (a single file; a "%%" is then still a literal "%"). Throws
// host::HostError naming the path for a malformed pattern (an unknown conversion,
// two placeholders, a placeholder in a folder name).
std::optional<SequencePattern> ParseSequencePattern(const std::string& path);

// The path of frame `number` (not negative).
std::string FrameName(const SequencePattern& pattern, long number);

struct FrameList {
  std::vector<std::string> paths;
  std::vector<long> numbers;  // same order; increasing (consecutive unless gaps are allowed)
  std::string gaps;           // with gaps allowed: what is missing, as the error would say
};

// Lists the frames of a pattern: every number from the lowest to the
// highest found as a file. Only canonical names count (for %04d,
// shot_0012.png but not shot_12.png). Throws host::HostError naming the pattern
// when no frame exists, when the folder cannot be read, or, unless
// `allowGaps`, when a number in between is missing (naming the missing
// frames, the first five of them; with `allowGaps` that text is in `gaps`).
FrameList ExpandSequence(const std::string& pattern, bool allowGaps = false);

}  // namespace mattix::media
