#pragma once
// Small helpers shared by the tests of the command.
#include "host/cli/CliError.h"
#include "host/cli/Commands.h"
#include "host/cli/Subprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace mattix::cli::testing {

struct CommandResult {
  int status;
  std::string out, err;
};

// Runs `mattix LINE` (arguments split at spaces) in-process with the given
// handlers, capturing its output.
inline CommandResult RunMattix(const std::string& line, const RenderHandler& render = nullptr,
                               const KeyPickHandler& keyPick = nullptr) {
  std::istringstream words("mattix " + line);
  std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const int status = CommandMain(int(argv.size()), argv.data(), render, nullptr, keyPick);
  std::string out = ::testing::internal::GetCapturedStdout();
  return {status, out, ::testing::internal::GetCapturedStderr()};
}

// Whether `text` holds `part`; a failure shows both.
inline ::testing::AssertionResult Holds(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
}

// A command line that fails: its exit status and a part of its message.
struct Refusal {
  std::string line;
  int status;
  std::string message;
};

// Each line exits with its status and one message, "mattix: ..." holding its part.
inline void ExpectRefusals(const std::vector<Refusal>& cases, const RenderHandler& render = nullptr,
                           const KeyPickHandler& keyPick = nullptr) {
  for (const Refusal& c : cases) {
    const CommandResult r = RunMattix(c.line, render, keyPick);
    EXPECT_EQ(r.status, c.status) << c.line << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("mattix: ", 0), 0u) << r.err;
    EXPECT_TRUE(Holds(r.err, c.message)) << c.line;
  }
}

// Skips a test that needs ffmpeg and ffprobe when they are missing, naming what goes untested.
#define MATTIX_SKIP_WITHOUT_FFMPEG(untested)                                         \
  if (!::mattix::cli::FindOnPath("ffmpeg") || !::mattix::cli::FindOnPath("ffprobe")) \
  GTEST_SKIP() << "ffmpeg is not installed (apt-get install ffmpeg): " untested " is not tested"

// The message of the CliError that `f` throws, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const CliError& e) {
    return e.what();
  }
  return "(no error)";
}

// The names in a folder, sorted.
inline std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/mattix-cli-XXXXXX";
    if (::mkdtemp(templ.data())) m_path = templ;
  }
  ~TempDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }

  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(m_path + "/" + name, std::ios::binary) << content;
  }
  void Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    Write(name, std::string(bytes.begin(), bytes.end()));
  }

 private:
  std::string m_path;
};

}  // namespace mattix::cli::testing
