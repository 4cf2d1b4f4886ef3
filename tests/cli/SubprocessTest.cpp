#include "host/cli/CliError.h"
#include "host/cli/Subprocess.h"

#include <gtest/gtest.h>

#include <chrono>

namespace mattix::cli {
namespace {

TEST(Subprocess, PipesCarryBytesBothWays) {
  Subprocess cat({"cat"}, {true, true}, "cat missing");
  std::string data(1000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = char(i * 31);
  ASSERT_TRUE(cat.WriteAll(data.data(), data.size()));
  cat.CloseInput();
  std::string back(1200, '\0');
  EXPECT_EQ(cat.ReadFull(back.data(), back.size()), data.size());
  back.resize(data.size());
  EXPECT_EQ(back, data);
  EXPECT_EQ(cat.Wait(), 0);
}

struct StatusCase {
  const char* script;
  int status;
  const char* errorTail;
};

TEST(Subprocess, ExitStatusAndErrorTail) {
  const StatusCase cases[] = {
      {"exit 0", 0, ""},
      {"exit 3", 3, ""},
      {"echo first >&2; echo ' oops ' >&2; exit 1", 1, "first\n oops"},
      {"kill -TERM $$", 128 + 15, ""},
  };
  for (const StatusCase& c : cases) {
    Subprocess sh({"sh", "-c", c.script}, {}, "sh missing");
    EXPECT_EQ(sh.Wait(), c.status) << c.script;
    EXPECT_EQ(sh.ErrorTail(), c.errorTail) << c.script;
  }
}

TEST(Subprocess, LongErrorOutputKeepsWholeLastLines) {
  Subprocess sh(
      {"sh", "-c", "i=0; while [ $i -lt 3000 ]; do echo line $i >&2; i=$((i+1)); done; exit 2"}, {},
      "sh missing");
  EXPECT_EQ(sh.Wait(), 2);
  const std::string tail = sh.ErrorTail();
  EXPECT_LE(tail.size(), 2000u);
  EXPECT_GT(tail.size(), 1500u);
  EXPECT_EQ(tail.rfind("line ", 0), 0u) << "starts with a whole line";
  EXPECT_EQ(tail.substr(tail.size() - 9), "line 2999");
}

TEST(Subprocess, MissingProgramGivesTheCallersMessage) {
  try {
    Subprocess p({"mattix-no-such-program-x"}, {}, "install it with: apt-get install x");
    FAIL() << "started";
  } catch (const CliError& e) {
    EXPECT_STREQ(e.what(), "install it with: apt-get install x");
  }
  EXPECT_TRUE(FindOnPath("sh"));
  EXPECT_FALSE(FindOnPath("mattix-no-such-program-x"));
}

TEST(Subprocess, WritingToAChildThatLeftFailsWithoutKillingUs) {
  Subprocess t({"true"}, {true, false}, "true missing");
  const std::string big(1 << 20, 'x');
  // The child exits without reading: the write ends with EPIPE, not SIGPIPE.
  bool ok = true;
  for (int i = 0; i < 8 && ok; ++i) ok = t.WriteAll(big.data(), big.size());
  EXPECT_FALSE(ok);
  EXPECT_EQ(t.Wait(), 0);
}

TEST(Subprocess, DestructorEndsARunningChild) {
  const auto start = std::chrono::steady_clock::now();
  { Subprocess s({"sleep", "100"}, {true, true}, "sleep missing"); }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

}  // namespace
}  // namespace mattix::cli
