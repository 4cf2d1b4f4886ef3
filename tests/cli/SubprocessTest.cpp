// Child processes: pipes both ways, exit statuses and the error tail, a
// missing program, and a child that stops reading.
#include "host/cli/Subprocess.h"
#include "tests/cli/TestSupport.h"

#include <gtest/gtest.h>

namespace mattix::cli {
namespace {

TEST(Subprocess, PipesStatusesAndErrorTail) {
  Subprocess cat({"cat"}, {true, true}, "cat missing");
  std::string data(1000, '\0'), back(1200, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = char(i * 31);
  ASSERT_TRUE(cat.WriteAll(data.data(), data.size()));
  cat.CloseInput();
  EXPECT_EQ(cat.ReadFull(back.data(), back.size()), data.size());
  EXPECT_EQ(back.substr(0, data.size()), data);
  EXPECT_EQ(cat.Wait(), 0);
  const std::tuple<const char*, int, std::string> cases[] = {
      {"echo first >&2; echo ' oops ' >&2; exit 3", 3, "first\n oops"},
      {"kill -TERM $$", 128 + 15, ""},
      // Long output keeps at most 2000 bytes: whole lines, the last ones.
      {"i=0; while [ $i -lt 3000 ]; do echo line $i >&2; i=$((i+1)); done", 0, "line 2999"}};
  for (const auto& [script, status, tail] : cases) {
    Subprocess sh({"sh", "-c", script}, {}, "sh missing");
    EXPECT_EQ(sh.Wait(), status) << script;
    const std::string got = sh.ErrorTail();
    EXPECT_LE(got.size(), 2000u);
    EXPECT_EQ(got.rfind(got.size() > 100 ? "line " : tail, 0), 0u) << got;
    EXPECT_EQ(got.substr(got.size() - tail.size()), tail) << script;
  }
}

TEST(Subprocess, MissingProgramAndAChildThatLeft) {
  const std::string message = testing::ErrorOf(
      [] { Subprocess({"mattix-no-such-program-x"}, {}, "install it with: apt-get install x"); });
  EXPECT_EQ(message, "install it with: apt-get install x");
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
