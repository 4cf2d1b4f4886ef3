#include "host/cli/CliError.h"
#include "host/cli/FileBytes.h"
#include "host/cli/OutputFile.h"
#include "tests/cli/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <filesystem>

namespace mattix::cli {
namespace {

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const CliError& e) {
    return e.what();
  }
  return "(no error)";
}

const std::vector<std::uint8_t> kBytes = {'k', 'e', 'y', 'e', 'd'};

TEST(OutputFile, CommitPutsTheWholeFileInPlaceAndNothingElse) {
  testing::TempDir dir;
  {
    OutputFile out(dir / "a.png", false);
    out.Write(kBytes.data(), 2);
    // Before the commit, the real name does not exist: only the temporary.
    EXPECT_FALSE(std::filesystem::exists(dir / "a.png"));
    EXPECT_EQ(Listing(dir.path()).size(), 1u);
    EXPECT_EQ(std::filesystem::path(out.temporaryPath()).parent_path(), dir.path());
    out.Write(kBytes.data() + 2, 3);
    out.Commit();
  }
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"a.png"});
  EXPECT_EQ(ReadFileBytes(dir / "a.png"), kBytes);
  // New files get 0666 less the umask, like any file the user creates.
  const mode_t mask = ::umask(022);
  ::umask(mask);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "a.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);
}

TEST(OutputFile, AbandonedOutputLeavesNothing) {
  testing::TempDir dir;
  {
    OutputFile out(dir / "a.png", false);
    out.Write(kBytes.data(), kBytes.size());
  }
  EXPECT_TRUE(Listing(dir.path()).empty());
}

struct ExistingCase {
  bool force;
  bool replaced;
};

TEST(OutputFile, ExistingFileNeedsForce) {
  for (ExistingCase c : {ExistingCase{false, false}, ExistingCase{true, true}}) {
    testing::TempDir dir;
    dir.Write("a.png", std::string("old"));
    try {
      WriteFileAtomically(dir / "a.png", kBytes, c.force);
      EXPECT_TRUE(c.replaced);
    } catch (const CliError& e) {
      EXPECT_FALSE(c.replaced);
      EXPECT_NE(std::string(e.what()).find("--force"), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind(dir / "a.png", 0), 0u) << e.what();
    }
    EXPECT_EQ(ReadFileText(dir / "a.png"), c.replaced ? "keyed" : "old");
    EXPECT_EQ(Listing(dir.path()).size(), 1u);
  }
}

TEST(OutputFile, FileAppearingDuringTheRenderIsNotReplacedWithoutForce) {
  testing::TempDir dir;
  OutputFile* out = new OutputFile(dir / "a.png", false);
  out->Write(kBytes.data(), kBytes.size());
  dir.Write("a.png", std::string("someone else's"));
  EXPECT_NE(Message([&] { out->Commit(); }).find("already exists"), std::string::npos);
  delete out;
  EXPECT_EQ(ReadFileText(dir / "a.png"), "someone else's");
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"a.png"});
}

TEST(OutputFile, UnwritablePlacesAreNamed) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir / "sub");
  const std::string paths[] = {dir / "missing/a.png", dir / "sub", dir / "sub/"};
  for (const std::string& p : paths) {
    const std::string m = Message([&] { OutputFile out(p, true); });
    EXPECT_NE(m.find(p), std::string::npos) << m;
  }
}

TEST(OutputFile, OutputEqualToAnInputIsRefusedEvenWithForce) {
  testing::TempDir dir;
  dir.Write("in.png", std::string("x"));
  dir.Write("other.png", std::string("y"));
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_hard_link(dir / "in.png", dir / "hard.png");
  std::filesystem::create_symlink(dir / "in.png", dir / "soft.png");
  InputFiles inputs;
  inputs.Add(dir / "in.png");
  const std::string same[] = {dir / "in.png", dir / "./in.png", dir / "sub/../in.png",
                              dir / "hard.png", dir / "soft.png"};
  for (const std::string& p : same) {
    const std::string m = Message([&] { CheckOutputAllowed(p, true, inputs); });
    EXPECT_NE(m.find("one of the inputs"), std::string::npos) << p << ": " << m;
  }
  EXPECT_NO_THROW(CheckOutputAllowed(dir / "new.png", false, inputs));
  EXPECT_NO_THROW(CheckOutputAllowed(dir / "other.png", true, inputs));
  EXPECT_NE(Message([&] { CheckOutputAllowed(dir / "other.png", false, inputs); }).find("--force"),
            std::string::npos);
  EXPECT_NE(Message([&] { CheckOutputAllowed(dir / "sub", true, inputs); }).find("folder"),
            std::string::npos);
  EXPECT_NE(Message([&] { inputs.Add(dir / "nope.png"); }).find("nope.png"), std::string::npos);
}

TEST(OutputFile, DistinctOutputs) {
  testing::TempDir dir;
  EXPECT_NO_THROW(
      CheckDistinctOutputs({{"the output", dir / "a.png"}, {"--matte", dir / "m.png"}}));
  const std::string m = Message([&] {
    CheckDistinctOutputs({{"the output", dir / "a.png"},
                          {"--matte", dir / "m.png"},
                          {"--preview", dir / "./a.png"}});
  });
  EXPECT_NE(m.find("the output and --preview would be the same file"), std::string::npos) << m;
  // Relative spellings of a file that does not exist yet.
  EXPECT_THROW(CheckDistinctOutputs({{"a", "new.png"}, {"b", "./new.png"}}), CliError);
  EXPECT_THROW(CheckDistinctOutputs({{"a", "x/../new.png"}, {"b", "new.png"}}), CliError);
}

TEST(OutputFile, InterruptRemovesTemporaryFiles) {
  testing::TempDir dir;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstallInterruptCleanup();
    OutputFile a(dir / "a.png", false);
    OutputFile b(dir / "b.png", false);
    a.Write(kBytes.data(), kBytes.size());
    std::raise(SIGTERM);
    ::_exit(0);  // not reached: the handler ends the process by the signal
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_TRUE(Listing(dir.path()).empty());
}

}  // namespace
}  // namespace mattix::cli
