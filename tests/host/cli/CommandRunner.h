#pragma once
// Runs the `mattix` command in-process, as the command-line tests need, and
// the shipped sample it keys.
#include "host/cli/Commands.h"
#include "host/media/PngFile.h"
#include "tests/host/TestSupport.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace mattix::test {

// The shipped sample picture and its project.
inline const std::string kSamplePicture = MATTIX_SOURCE_DIR "/samples/greenscreen.png";
inline const std::string kSampleProject = MATTIX_SOURCE_DIR "/samples/key.json";

// The sample picture, read once.
inline const media::BgraImage& SamplePicture() {
  static const media::BgraImage sample = media::ReadPng(kSamplePicture);
  return sample;
}

struct CommandResult {
  int status;
  std::string out, err;
};

// Runs `mattix LINE` (arguments split at spaces) in-process, capturing its
// output.
inline CommandResult RunMattix(const std::string& line) {
  std::istringstream words("mattix " + line);
  std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  // A braced list is evaluated in order: the status, then standard output, then error.
  return {cli::CommandMain(int(argv.size()), argv.data()), ::testing::internal::GetCapturedStdout(),
          ::testing::internal::GetCapturedStderr()};
}

// `mattix LINE`, which must succeed.
inline CommandResult RunMattixOk(const std::string& line) {
  const CommandResult r = RunMattix(line);
  EXPECT_EQ(r.status, 0) << line << "\n" << r.err;
  return r;
}

// `mattix render INPUT --project PROJECT FLAGS` with a matte beside the
// keyed picture: the keyed picture, or the matte.
inline media::BgraImage RenderPicture(const std::string& input, const std::string& project,
                                      const std::vector<std::string>& flags, bool matte = false) {
  const TempDir dir;
  std::string line = "render " + input + " -o " + dir / "k.png" + " --matte " + dir / "m.png" +
                     " --project " + project;
  for (const std::string& f : flags) line += " " + f;
  RunMattixOk(line);
  return media::ReadPng(dir / (matte ? "m.png" : "k.png"));
}

// A command line that fails, its exit status and a part of its message.
using Refusal = std::tuple<std::string, int, std::string>;

// Each line exits with its status and one message, "mattix: ..." holding its part.
inline void ExpectRefusals(const std::vector<Refusal>& cases) {
  for (const auto& [line, status, message] : cases) {
    const CommandResult r = RunMattix(line);
    EXPECT_EQ(r.status, status) << line << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("mattix: ", 0), 0u) << r.err;
    EXPECT_TRUE(Holds(r.err, message)) << line;
  }
}

}  // namespace mattix::test
