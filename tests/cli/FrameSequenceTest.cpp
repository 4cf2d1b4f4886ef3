// Sequence patterns: printf is the reference for what a pattern names; the
// frames found on disk are the first consecutive run of canonical names.
#include "host/cli/FrameSequence.h"
#include "tests/cli/TempDir.h"
#include "tests/cli/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace mattix::cli {
namespace {

using testing::ErrorOf;

TEST(FrameSequence, PatternsNameFramesAsPrintfDoes) {
  const struct {
    const char* pattern;
    long number;
  } cases[] = {{"shot_%04d.png", 7}, {"shot_%04d.png", 12345}, {"dir/f%d.png", 0},
               {"/abs/x%09dy", 123}, {"100%%_%02d.png", 5},    {"f%d", 42}};
  for (const auto& c : cases) {
    char expected[64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(expected, sizeof expected, c.pattern, int(c.number));
#pragma GCC diagnostic pop
    EXPECT_EQ(FrameName(ParseSequencePattern(c.pattern).value(), c.number), expected);
  }
  EXPECT_FALSE(ParseSequencePattern("plain.png"));
  EXPECT_FALSE(ParseSequencePattern("50%%.png"));
  // A width must be zero-padded ("%1d" is refused), and one placeholder only.
  for (const char* path : {"a%s.png", "a%1d.png", "a%00d.png", "a%010d.png", "a%d_%d.png", "a%",
                           "dir%d/x.png", "a%0d.png", "a%-4d.png"})
    EXPECT_NE(ErrorOf([&] { ParseSequencePattern(path); }).find(path), std::string::npos) << path;
}

TEST(FrameSequence, ExpandTakesTheFirstConsecutiveRunOfCanonicalNames) {
  testing::TempDir dir;
  for (const char* n :
       {"shot_0003.png", "shot_0004.png", "shot_0005.png", "shot_0006.png", "shot_0008.png",
        "shot_0009.png", "shot_3.png", "shot_00002.png", "shot_0002.jpg", "shot_000x.png",
        "other_0001.png", "f98.png", "f99.png", "f100.png", "f0101.png", "a_000.png", "a_001.png"})
    dir.Write(n, std::string("x"));
  std::filesystem::create_directory(dir / "shot_0001.png");  // a folder is not a frame
  const FrameList list = ExpandSequence(dir / "shot_%04d.png");
  EXPECT_EQ(list.numbers, (std::vector<long>{3, 4, 5, 6}));
  EXPECT_EQ(list.paths.front(), dir / "shot_0003.png");
  EXPECT_EQ(list.paths.back(), dir / "shot_0006.png");
  EXPECT_EQ(list.ignoredAfterGap, 2);
  // With %02d, 100 is canonical too (printf writes it in full); 0101 is not.
  EXPECT_EQ(ExpandSequence(dir / "f%02d.png").numbers, (std::vector<long>{98, 99, 100}));
  EXPECT_EQ(ExpandSequence(dir / "a_%03d.png").numbers, (std::vector<long>{0, 1}));
  for (const std::string& p : {dir / "none_%04d.png", dir / "nofolder/x_%04d.png"})
    EXPECT_NE(ErrorOf([&] { ExpandSequence(p); }).find(p), std::string::npos) << p;
}

}  // namespace
}  // namespace mattix::cli
