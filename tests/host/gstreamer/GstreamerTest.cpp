// The element mattixkey in gst-launch-1.0, as a pipeline uses it: PNG
// decoded, converted to BGRA or RGBA, keyed, encoded again; the pixels
// against `mattix render` with the same settings (the reference host).
#include "host/media/PngFile.h"
#include "host/media/Subprocess.h"
#include "tests/host/TestSupport.h"
#include "tests/host/cli/CommandRunner.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace mattix::gstreamer {
namespace {

const std::string &kSample = test::kSamplePicture, &kProject = test::kSampleProject;

// Why gst-launch cannot run the element here, or "".
std::string Unavailable() { return test::HostUnavailable("gst-launch-1.0", "gstreamer1.0-tools"); }

struct Launch {
  int status;
  std::string said;  // what gst-launch printed, and the end of its standard error
};

// gst-launch-1.0 on the sample: pngdec, the caps, the element with its
// properties, RGBA PNG into out. Extra variables (NAME=VALUE) first.
Launch LaunchKey(const test::TempDir& dir, const std::string& format, const std::string& properties,
                 const std::string& out, const std::vector<std::string>& variables = {}) {
  std::vector<std::string> argv = {"env", "GST_PLUGIN_PATH=" + std::string(MATTIX_GST_PLUGIN_DIR),
                                   "GST_REGISTRY=" + dir / "registry.bin"};
  argv.insert(argv.end(), variables.begin(), variables.end());
  std::istringstream pipeline(
      "gst-launch-1.0 filesrc location=" + kSample +
      " ! pngdec ! videoconvert ! video/x-raw,format=" + format + " ! mattixkey " + properties +
      " ! videoconvert ! video/x-raw,format=RGBA ! pngenc ! filesink location=" + out);
  for (std::string word; pipeline >> word;) argv.push_back(word);
  // Its standard output: where gst-launch prints the bus's warnings and errors.
  media::Subprocess run(argv, {.out = true}, "env is missing");
  std::string printed;
  char chunk[4096];
  for (std::size_t n; (n = run.ReadFull(chunk, sizeof chunk)) > 0;) printed.append(chunk, n);
  return {run.Wait(), printed + run.ErrorTail()};  // Wait first: a braced list runs in order
}

// Properties left unset (-1) keep the project's values. No project: frames
// marked (the plug-in keyer's rule, tested through the frei0r plug-in) and a
// warning on the bus; no module: an error naming it.
TEST(MattixKey, KeysLikeTheRenderCommandInBgraAndRgbaAndNamesWhatIsMissing) {
  if (const std::string why = Unavailable(); !why.empty()) GTEST_SKIP() << why;
  test::TempDir dir;
  const struct {
    std::string format, properties;  // besides the project
    std::vector<std::string> flags;
    bool matte;
  } cases[] = {{"RGBA",
                "softness=0.5 despill=0.6 despilledge=0.25 unmix=0.5 clipblack=0.1 clipwhite=0.9 "
                "closeholes=0.7",
                {"--softness", "50", "--despill", "60", "--despill-edge", "8", "--unmix", "50",
                 "--clip-black", "10", "--clip-white", "90", "--close-holes", "70"},
                false},
               {"BGRA",
                "spill=0.2 shrinkgrow=0.4375 feather=0.125 refine=0.25 matte=true",
                {"--spill", "20", "--shrink-grow", "-1", "--feather", "1", "--refine", "2"},
                true}};
  for (const auto& c : cases) {
    const std::string out = dir / (c.format + ".png");
    const Launch launch = LaunchKey(dir, c.format, "project=" + kProject + " " + c.properties, out);
    ASSERT_EQ(launch.status, 0) << launch.said;
    EXPECT_EQ(media::ReadPng(out).pixels,
              test::RenderPicture(kSample, kProject, c.flags, c.matte).pixels)
        << c.format << " " << c.properties;
  }
  const Launch unset = LaunchKey(dir, "BGRA", "project=" + dir / "missing.json", dir / "m.png");
  EXPECT_EQ(unset.status, 0) << unset.said;
  for (const char* part : {"missing.json", "frames are marked with magenta stripes"})
    EXPECT_TRUE(test::Holds(unset.said, part));
  const Launch missing = LaunchKey(dir, "BGRA", "project=" + kProject, dir / "none.png",
                                   {"MATTIX_MODULE=" + dir / "missing.so"});
  EXPECT_NE(missing.status, 0);
  EXPECT_TRUE(test::Holds(missing.said, dir / "missing.so"));
}

}  // namespace
}  // namespace mattix::gstreamer
