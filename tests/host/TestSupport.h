#pragma once
// Small helpers shared by the host's tests: temporary folders, error
// messages, message checks, shell lines, child processes, frames of noise,
// frames read back.
#include "host/base/HostError.h"
#include "host/media/FrameReader.h"
#include "host/media/PngFile.h"
#include "host/media/Subprocess.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace mattix::test {

// Whether `text` holds `part`; a failure shows both.
inline ::testing::AssertionResult Holds(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
}

// Skips a test that needs ffmpeg and ffprobe when they are missing, naming what goes untested.
#define MATTIX_SKIP_WITHOUT_FFMPEG(untested)                                             \
  if (!::mattix::media::FindOnPath("ffmpeg") || !::mattix::media::FindOnPath("ffprobe")) \
  GTEST_SKIP() << "ffmpeg is not installed (apt-get install ffmpeg): " untested " is not tested"

// The message of the host::HostError that `f` throws, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const host::HostError& e) {
    return e.what();
  }
  return "(no error)";
}
// Whether `f` throws a host::HostError whose message holds `part`.
inline ::testing::AssertionResult Throws(const std::function<void()>& f, const std::string& part) {
  return Holds(ErrorOf(f), part);
}

// Why `program`, a host of the plug-ins, cannot run them here, or "": it is
// missing, or the plug-ins are built with the sanitizers, which it cannot load.
inline std::string HostUnavailable(const std::string& program, const std::string& package) {
#ifdef MATTIX_SANITIZE
  return program + " cannot load a plug-in built with the sanitizers";
#endif
  return media::FindOnPath(program)
             ? ""
             : program + " is not installed (Debian package " + package + ")";
}

// Runs `sh -c line`: "" when it succeeds, else its exit status and the end
// of what it wrote to standard error.
inline std::string Shell(const std::string& line) {
  media::Subprocess sh({"sh", "-c", line}, {}, "sh is missing");
  const int status = sh.Wait();
  return status == 0 ? "" : "exit " + std::to_string(status) + ": " + sh.ErrorTail();
}
// The same as an assertion: success, or the exit status and the error.
inline ::testing::AssertionResult Ran(const std::string& line) {
  const std::string error = Shell(line);
  return error.empty() ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << error;
}
// Runs ffmpeg with `args`, saying errors only and reading no terminal.
inline ::testing::AssertionResult Ffmpeg(const std::string& args) {
  return Ran("ffmpeg -v error -nostdin " + args);
}

// Runs `body` in a forked child, which then exits with status 0 unless the
// body ended it; the child's process id and its wait status.
inline std::pair<pid_t, int> InChild(const std::function<void()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    body();
    ::_exit(0);
  }
  int status = 0;
  EXPECT_TRUE(child > 0 && ::waitpid(child, &status, 0) == child) << "fork or wait failed";
  return {child, status};
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

// Opaque frames of random colours written as PNG into `dir`, named `prefix`
// + n + ".png" for each n of `numbers`; the frames, in that order.
inline std::vector<media::BgraImage> WriteNoiseFrames(const TempDir& dir, const std::string& prefix,
                                                      const std::vector<long>& numbers, int width,
                                                      int height) {
  std::mt19937 rng(11);
  std::vector<media::BgraImage> frames;
  for (const long n : numbers) {
    media::BgraImage& f = frames.emplace_back(width, height);
    for (std::size_t i = 0; i < f.pixels.size(); ++i)
      f.pixels[i] = i % 4 == 3 ? 255 : std::uint8_t(rng());
    dir.Write(prefix + std::to_string(n) + ".png", media::EncodePng(f, ""));
  }
  return frames;
}

// Every frame of a video or a sequence (or of its frames first to last), as
// read; their numbers into `numbers` when given.
inline std::vector<media::BgraImage> ReadFrames(const std::string& path,
                                                std::optional<std::pair<long, long>> range = {},
                                                std::vector<long>* numbers = nullptr) {
  std::unique_ptr<media::FrameReader> reader =
      media::FrameReader::Open(path, media::FrameSelection{range});
  std::vector<media::BgraImage> frames;
  while (std::optional<media::InputFrame> f = reader->Next()) {
    if (numbers) numbers->push_back(f->number);
    frames.push_back(reader->Load(*f));
  }
  return frames;
}

}  // namespace mattix::test
