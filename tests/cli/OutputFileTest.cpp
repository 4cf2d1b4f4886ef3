// Output safety: a temporary beside the output renamed into place, nothing
// left behind when abandoned or interrupted, no overwrite without --force
// (also at the rename), and never an input as output, however spelt.
#include "host/cli/FileBytes.h"
#include "host/cli/OutputFile.h"
#include "tests/cli/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>

namespace mattix::cli {
namespace {

using testing::ErrorOf, testing::Listing;
namespace fs = std::filesystem;

const std::vector<std::uint8_t> kBytes = {'k', 'e', 'y', 'e', 'd'};

TEST(OutputFile, CommitPutsTheWholeFileInPlaceAndNeedsForceToReplace) {
  testing::TempDir dir;
  {
    OutputFile out(dir / "a.png", false), abandoned(dir / "b.png", false);
    out.Write(kBytes.data(), 2);
    // Before the commit only the temporaries exist, beside the outputs.
    EXPECT_EQ(Listing(dir.path()).size(), 2u);
    EXPECT_FALSE(fs::exists(dir / "a.png"));
    EXPECT_EQ(fs::path(out.temporaryPath()).parent_path(), dir.path());
    out.Write(kBytes.data() + 2, 3);
    out.Commit();
  }
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"a.png"});
  EXPECT_EQ(ReadFileBytes(dir / "a.png"), kBytes);
  // New files get 0666 less the umask, like any file the user creates.
  const mode_t mask = ::umask(022);
  ::umask(mask);
  EXPECT_EQ(fs::status(dir / "a.png").permissions(), fs::perms(0666 & ~mask));
  // Existing files need --force, even when they appear during the render.
  dir.Write("a.png", std::string("old"));
  WriteFileAtomically(dir / "a.png", kBytes, true);
  EXPECT_EQ(ReadFileText(dir / "a.png"), "keyed");
  auto out = std::make_unique<OutputFile>(dir / "b.png", false);
  out->Write(kBytes.data(), kBytes.size());
  dir.Write("b.png", std::string("someone else's"));
  EXPECT_TRUE(testing::Holds(ErrorOf([&] { out->Commit(); }), "already exists"));
  out.reset();
  EXPECT_EQ(ReadFileText(dir / "b.png"), "someone else's");
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"a.png", "b.png"}));
  fs::create_directory(dir / "sub");
  // A folder under a file cannot be made; a missing folder is.
  for (const std::string& p : {dir / "a.png/x.png", dir / "sub", dir / "sub/"})
    EXPECT_TRUE(testing::Holds(ErrorOf([&] { OutputFile o(p, true); }), p)) << p;
  WriteFileAtomically(dir / "new/deeper/c.png", kBytes, false);
  EXPECT_EQ(ReadFileText(dir / "new/deeper/c.png"), "keyed");
}

TEST(OutputFile, OutputEqualToAnInputIsRefusedEvenWithForce) {
  testing::TempDir dir;
  dir.Write("in.png", std::string("x"));
  dir.Write("other.png", std::string("y"));
  fs::create_directory(dir / "sub");
  fs::create_hard_link(dir / "in.png", dir / "hard.png");
  fs::create_symlink(dir / "in.png", dir / "soft.png");
  InputFiles inputs;
  inputs.Add(dir / "in.png");
  for (const char* p : {"in.png", "./in.png", "sub/../in.png", "hard.png", "soft.png"})
    EXPECT_TRUE(testing::Holds(ErrorOf([&] { CheckOutputAllowed(dir / p, true, inputs); }),
                               "one of the inputs"))
        << p;
  EXPECT_NO_THROW(CheckOutputAllowed(dir / "new.png", false, inputs));
  EXPECT_NO_THROW(CheckOutputAllowed(dir / "other.png", true, inputs));
  const std::pair<std::string, const char*> refused[] = {
      {ErrorOf([&] { CheckOutputAllowed(dir / "other.png", false, inputs); }), "--force"},
      {ErrorOf([&] { CheckOutputAllowed(dir / "sub", true, inputs); }), "folder"},
      {ErrorOf([&] { inputs.Add(dir / "nope.png"); }), "nope.png"}};
  for (const auto& [error, part] : refused) EXPECT_TRUE(testing::Holds(error, part));
}

TEST(OutputFile, InterruptRemovesTemporaryFiles) {
  testing::TempDir dir;
  int err[2];
  ASSERT_EQ(::pipe(err), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(err[1], STDERR_FILENO);
    InstallInterruptCleanup();
    OutputFile a(dir / "a.png", false), b(dir / "b.png", false);
    a.Write(kBytes.data(), kBytes.size());
    std::raise(SIGTERM);
    ::_exit(0);  // not reached: the handler ends the process by the signal
  }
  ::close(err[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_TRUE(Listing(dir.path()).empty());
  char said[256] = {};
  EXPECT_GT(::read(err[0], said, sizeof said - 1), 0);
  ::close(err[0]);
  EXPECT_TRUE(testing::Holds(
      said, "mattix: interrupted: the render stopped; files it had finished are kept"));
}

// A render killed outright (no handler runs) leaves its temporary file; the
// next output in that folder removes it, and only files whose process is
// gone and whose lock is free.
TEST(OutputFile, StaleTemporaryFilesOfKilledRendersAreRemoved) {
  testing::TempDir dir;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    OutputFile k(dir / "k.png", false);
    k.Write(kBytes.data(), kBytes.size());
    std::raise(SIGKILL);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(Listing(dir.path()).size(), 1u);  // the killed render's
  const std::string dead = std::to_string(child);
  const std::string locked = ".x.png.mattix-" + dead + "-abcdef";
  const std::string kept[] = {".k.png.mattix-1-abcdef",  // process 1 is alive
                              locked, ".notes.mattix-" + dead, ".k.png.mattix-" + dead + "-abc"};
  for (const std::string& name : kept) dir.Write(name, std::string("x"));
  const int fd = ::open((dir / locked).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  WriteFileAtomically(dir / "k.png", kBytes, false);
  ::close(fd);
  std::vector<std::string> expected(std::begin(kept), std::end(kept));
  expected.push_back("k.png");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(dir.path()), expected);
}

}  // namespace
}  // namespace mattix::cli
