#include "host/cli/CliError.h"
#include "host/cli/FrameSequence.h"
#include "tests/cli/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace mattix::cli {
namespace {

struct PatternCase {
  const char* path;
  bool isPattern;
  const char* prefix;
  const char* suffix;
  int width;
};

class PatternParseTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternParseTest, Parses) {
  const PatternCase& c = GetParam();
  std::optional<SequencePattern> p = ParseSequencePattern(c.path);
  ASSERT_EQ(p.has_value(), c.isPattern) << c.path;
  if (!p) return;
  EXPECT_EQ(p->prefix, c.prefix);
  EXPECT_EQ(p->suffix, c.suffix);
  EXPECT_EQ(p->width, c.width);
}

INSTANTIATE_TEST_SUITE_P(Table, PatternParseTest,
                         ::testing::Values(PatternCase{"shot_%04d.png", true, "shot_", ".png", 4},
                                           PatternCase{"dir/take%d.png", true, "dir/take", ".png",
                                                       0},
                                           PatternCase{"/abs/f%09d", true, "/abs/f", "", 9},
                                           PatternCase{"100%%_%03d.png", true, "100%_", ".png", 3},
                                           PatternCase{"plain.png", false, "", "", 0},
                                           PatternCase{"50%%.png", false, "", "", 0}));

// A width must be zero-padded ("%1d" is refused), and one placeholder only.
TEST(PatternParse, MalformedPatternsAreRefusedWithThePath) {
  const char* bad[] = {"a%s.png", "a%1d.png",    "a%00d.png", "a%010d.png", "a%d_%d.png",
                       "a%",      "dir%d/x.png", "a%0d.png",  "a%-4d.png"};
  for (const char* path : bad) {
    try {
      ParseSequencePattern(path);
      ADD_FAILURE() << path << " was accepted";
    } catch (const CliError& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
}

TEST(FrameName, MatchesPrintf) {
  const struct {
    const char* pattern;
    long number;
  } cases[] = {{"shot_%04d.png", 7}, {"shot_%04d.png", 12345}, {"f%d.png", 0},
               {"f%d.png", 42},      {"x%09dy", 123},          {"p%%_%02d", 5}};
  for (const auto& c : cases) {
    char expected[64];
    // printf itself is the reference for what a pattern means.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(expected, sizeof expected, c.pattern, int(c.number));
#pragma GCC diagnostic pop
    EXPECT_EQ(FrameName(*ParseSequencePattern(c.pattern), c.number), expected) << c.pattern;
  }
}

class SequenceExpandTest : public ::testing::Test {
 protected:
  testing::TempDir dir;
  void Touch(const std::string& name) { dir.Write(name, std::string("x")); }
};

TEST_F(SequenceExpandTest, TakesTheFirstConsecutiveRunOfCanonicalNames) {
  for (const char* n : {"shot_0003.png", "shot_0004.png", "shot_0005.png", "shot_0006.png",
                        "shot_0008.png", "shot_0009.png", "shot_3.png", "shot_00002.png",
                        "shot_0002.jpg", "shot_000x.png", "other_0001.png"})
    Touch(n);
  std::filesystem::create_directory(dir / "shot_0001.png");  // a folder is not a frame
  FrameList list = ExpandSequence(dir / "shot_%04d.png");
  ASSERT_EQ(list.numbers, (std::vector<long>{3, 4, 5, 6}));
  EXPECT_EQ(list.paths.front(), dir / "shot_0003.png");
  EXPECT_EQ(list.paths.back(), dir / "shot_0006.png");
  EXPECT_EQ(list.ignoredAfterGap, 2);
}

TEST_F(SequenceExpandTest, WideNumbersAndPlainPlaceholder) {
  for (const char* n : {"f98.png", "f99.png", "f100.png", "f101.png", "f0102.png"}) Touch(n);
  FrameList plain = ExpandSequence(dir / "f%d.png");
  EXPECT_EQ(plain.numbers, (std::vector<long>{98, 99, 100, 101}));
  // With %02d, 100 and 101 are canonical too (printf writes them in full).
  FrameList padded = ExpandSequence(dir / "f%02d.png");
  EXPECT_EQ(padded.numbers, (std::vector<long>{98, 99, 100, 101}));
}

TEST_F(SequenceExpandTest, StartsAtZero) {
  for (const char* n : {"a_000.png", "a_001.png"}) Touch(n);
  EXPECT_EQ(ExpandSequence(dir / "a_%03d.png").numbers, (std::vector<long>{0, 1}));
}

TEST_F(SequenceExpandTest, MissingSequenceOrFolderIsNamed) {
  const std::string patterns[] = {dir / "none_%04d.png", dir / "nofolder/x_%04d.png",
                                  dir / "plain.png"};
  for (const std::string& p : patterns) {
    try {
      ExpandSequence(p);
      ADD_FAILURE() << p;
    } catch (const CliError& e) {
      EXPECT_NE(std::string(e.what()).find(p), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace mattix::cli
