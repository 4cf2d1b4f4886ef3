// Child processes: pipes both ways, exit statuses and the error tail, a
// missing program, and a child that stops reading.
#include "host/cli/CliError.h"
#include "host/cli/Subprocess.h"

#include <gtest/gtest.h>

namespace mattix::cli {
namespace {

TEST(Subprocess, PipesCarryBytesBothWays) {
  Subprocess cat({"cat"}, {true, true}, "cat missing");
  std::string data(1000, '\0'), back(1200, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = char(i * 31);
  ASSERT_TRUE(cat.WriteAll(data.data(), data.size()));
  cat.CloseInput();
  EXPECT_EQ(cat.ReadFull(back.data(), back.size()), data.size());
  EXPECT_EQ(back.substr(0, data.size()), data);
  EXPECT_EQ(cat.Wait(), 0);
}

TEST(Subprocess, ExitStatusAndErrorTail) {
  const struct {
    const char* script;
    int status;
    std::string errorTail;
  } cases[] = {
      {"exit 3", 3, ""},
      {"echo first >&2; echo ' oops ' >&2; exit 1", 1, "first\n oops"},
      {"kill -TERM $$", 128 + 15, ""},
  };
  for (const auto& c : cases) {
    Subprocess sh({"sh", "-c", c.script}, {}, "sh missing");
    EXPECT_EQ(sh.Wait(), c.status) << c.script;
    EXPECT_EQ(sh.ErrorTail(), c.errorTail) << c.script;
  }
  // Long output keeps at most 2000 bytes: whole lines, the last ones.
  Subprocess sh({"sh", "-c", "i=0; while [ $i -lt 3000 ]; do echo line $i >&2; i=$((i+1)); done"},
                {}, "sh missing");
  EXPECT_EQ(sh.Wait(), 0);
  const std::string tail = sh.ErrorTail();
  EXPECT_TRUE(tail.size() > 1500 && tail.size() <= 2000) << tail.size();
  EXPECT_EQ(tail.rfind("line ", 0), 0u);
  EXPECT_EQ(tail.substr(tail.size() - 9), "line 2999");
}

TEST(Subprocess, MissingProgramAndChildThatLeft) {
  EXPECT_THROW(
      {
        try {
          Subprocess p({"mattix-no-such-program-x"}, {}, "install it with: apt-get install x");
        } catch (const CliError& e) {
          EXPECT_STREQ(e.what(), "install it with: apt-get install x");
          throw;
        }
      },
      CliError);
  EXPECT_FALSE(FindOnPath("mattix-no-such-program-x"));
  // The child exits without reading: the write fails with EPIPE, not SIGPIPE.
  Subprocess t({"true"}, {true, false}, "true missing");
  const std::string big(1 << 20, 'x');
  bool ok = true;
  for (int i = 0; i < 8 && ok; ++i) ok = t.WriteAll(big.data(), big.size());
  EXPECT_FALSE(ok);
  EXPECT_EQ(t.Wait(), 0);
}

}  // namespace
}  // namespace mattix::cli
