#include "host/media/FrameSequence.h"

#include "host/base/HostError.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <set>
#include <system_error>

namespace mattix::media {

namespace {

// Frame numbers stay below 10^9 so that they fit a long on every platform
// and a name never needs more than nine digits.
constexpr long kMaxFrameNumber = 999999999;

}  // namespace

std::optional<SequencePattern> ParseSequencePattern(const std::string& path) {
  SequencePattern pattern;
  bool found = false;
  std::string* part = &pattern.prefix;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (c != '%') {
      *part += c;
      continue;
    }
    if (i + 1 < path.size() && path[i + 1] == '%') {
      *part += '%';
      ++i;
      continue;
    }
    // A placeholder: %d or %0Nd.
    std::size_t j = i + 1;
    int width = 0;
    if (j < path.size() && path[j] == '0') {
      ++j;
      if (j >= path.size() || path[j] < '1' || path[j] > '9')
        throw host::HostError(path +
                              ": bad frame-number placeholder (use %d or %0Nd, N from 1 to 9)");
      width = path[j] - '0';
      ++j;
    }
    if (j >= path.size() || path[j] != 'd')
      throw host::HostError(path +
                            ": bad frame-number placeholder (use %d or %0Nd, N from 1 to 9; "
                            "write %% for a percent sign)");
    if (found) throw host::HostError(path + ": more than one frame-number placeholder");
    found = true;
    pattern.width = width;
    part = &pattern.suffix;
    i = j;
  }
  if (!found) return std::nullopt;
  if (pattern.suffix.find('/') != std::string::npos)
    throw host::HostError(path +
                          ": the frame-number placeholder must be in the file name, not a folder");
  return pattern;
}

std::string FrameName(const SequencePattern& pattern, long number) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%0*ld", pattern.width, number < 0 ? 0L : number);
  return pattern.prefix + digits + pattern.suffix;
}

FrameList ExpandSequence(const std::string& patternText, bool allowGaps) {
  std::optional<SequencePattern> parsed = ParseSequencePattern(patternText);
  if (!parsed) throw host::HostError(patternText + ": not a numbered sequence (no %d or %0Nd)");
  const SequencePattern& pattern = *parsed;
  const std::size_t slash = pattern.prefix.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : pattern.prefix.substr(0, slash));
  const std::string namePrefix =
      slash == std::string::npos ? pattern.prefix : pattern.prefix.substr(slash + 1);

  std::set<long> numbers;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec)
    throw host::HostError(patternText + ": cannot list folder " + folder + ": " + ec.message());
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (ec)
      throw host::HostError(patternText + ": cannot list folder " + folder + ": " + ec.message());
    const std::string name = it->path().filename().string();
    if (name.size() <= namePrefix.size() + pattern.suffix.size()) continue;
    if (name.compare(0, namePrefix.size(), namePrefix) != 0) continue;
    if (name.compare(name.size() - pattern.suffix.size(), pattern.suffix.size(), pattern.suffix) !=
        0)
      continue;
    const std::string middle =
        name.substr(namePrefix.size(), name.size() - namePrefix.size() - pattern.suffix.size());
    if (middle.size() > 9 ||
        !std::all_of(middle.begin(), middle.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    const long number = std::stol(middle);
    if (number > kMaxFrameNumber) continue;
    // Only the name printf would give this number belongs to the sequence.
    char digits[32];
    std::snprintf(digits, sizeof digits, "%0*ld", pattern.width, number);
    if (middle != digits) continue;
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    numbers.insert(number);
  }
  if (numbers.empty()) throw host::HostError(patternText + ": no frame of this sequence exists");

  // Every number from the lowest to the highest must exist: a render that
  // stopped at a gap, or skipped it, would exit with frames missing; only
  // when asked are the frames that exist rendered.
  FrameList list;
  std::vector<long> missing;
  long missingCount = 0;
  for (auto at = numbers.begin(); std::next(at) != numbers.end(); ++at)
    for (long n = *at + 1; n < *std::next(at); ++n, ++missingCount)
      if (missing.size() < 5) missing.push_back(n);
  if (missingCount > 0) {
    std::string listed;
    for (long n : missing) listed += (listed.empty() ? "" : ", ") + FrameName(pattern, n);
    if (missingCount > long(missing.size()))
      listed += " and " + std::to_string(missingCount - long(missing.size())) + " more";
    const std::string gaps =
        patternText + ": the sequence has a gap: frame" + (missingCount == 1 ? " " : "s ") +
        listed + (missingCount == 1 ? " is" : " are") + " missing between frames " +
        std::to_string(*numbers.begin()) + " and " + std::to_string(*numbers.rbegin());
    if (!allowGaps) throw host::HostError(gaps + " (--allow-gaps renders the frames that exist)");
    list.gaps = gaps;
  }
  for (long n : numbers) {
    list.numbers.push_back(n);
    list.paths.push_back(FrameName(pattern, n));
  }
  return list;
}

}  // namespace mattix::media
