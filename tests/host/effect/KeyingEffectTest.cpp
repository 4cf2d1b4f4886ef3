// CKeyingEffect, the one way the hosts drive the built module, through what
// it does: the sample keyed through it equals the sample keyed by `mattix
// render` (whole, one field, a band of rows), parameters set by name read
// back, what it refuses is named, and instances key at once as they key
// alone. The module's own behaviour is the plug-in tests'.
#include "host/effect/KeyingEffect.h"
#include "tests/host/TestSupport.h"
#include "tests/host/cli/CommandRunner.h"
#include "tests/plugin/ModuleFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace mattix::host {
namespace {

using Effect = CKeyingEffect;
using test::kSampleProject, test::Module;  // the module that MATTIX_MODULE names
constexpr auto Sample = &test::SamplePicture;

// `mattix render` of the sample with its project, matte finishing off (the
// effect's own output): the keyed picture.
media::BgraImage Rendered(int field, double softness) {
  std::vector<std::string> flags = {"--softness", std::to_string(softness), "--despill", "0"};
  if (field >= 0) flags.insert(flags.end(), {"--field", std::to_string(field)});
  return test::RenderPicture(test::kSamplePicture, kSampleProject, flags);
}

// Whole frames, one field, and bands of rows (starting on an odd row too):
// the band's rows of the field asked for are the render's, every other row
// keeps what the output held.
TEST(KeyingEffect, KeysTheSampleAsTheRenderCommandDoes) {
  const struct {
    int field;
    double softness;
    FrameRows rows;
  } cases[] = {{-1, 0, {}}, {1, 30, {}}, {-1, 30, {40, 101}}, {0, 0, {101, -1}}};
  project::ProjectSettings settings = project::ReadProject(kSampleProject);
  const media::BgraImage& in = Sample();
  const std::vector<std::uint8_t> untouched(in.Stride(), 0xA5), original = in.pixels;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.field << " " << c.softness << " " << c.rows.first);
    const media::BgraImage rendered = Rendered(c.field, c.softness);
    settings.softness = c.softness;
    Effect effect(Module(), settings);
    if (c.rows.first == 0 && c.rows.count < 0) {
      EXPECT_EQ(effect.Key(in, c.field).pixels, rendered.pixels);
      media::BgraImage inPlace = in;
      effect.Key(inPlace.pixels.data(), inPlace.pixels.data(), in.width, in.height, in.Stride(),
                 c.field);
      EXPECT_EQ(inPlace.pixels, rendered.pixels) << "in place";
      continue;
    }
    media::BgraImage out(in.width, in.height);
    std::memset(out.pixels.data(), 0xA5, out.pixels.size());
    effect.Key(in.pixels.data(), out.pixels.data(), in.width, in.height, in.Stride(), c.field,
               c.rows);
    const int last = c.rows.count < 0 ? in.height : c.rows.first + c.rows.count;
    for (int y = 0; y < in.height; ++y) {
      const bool keyed = y >= c.rows.first && y < last && (c.field < 0 || y % 2 == c.field);
      ASSERT_TRUE(std::equal(out.Row(y), out.Row(y) + in.Stride(),
                             keyed ? rendered.Row(y) : untouched.data()))
          << "row " << y;
    }
  }
  EXPECT_EQ(in.pixels, original) << "the input was written";
}

// Each parameter takes a value by its name and gives it back (the settings
// read by name), and a project configures what a render reads (the key
// colours stay the effect's: 0 until picked).
TEST(KeyingEffect, ParametersSetByNameReadBack) {
  Effect effect(Module());
  const char* const numbers[] = {Effect::kSoftness, Effect::kSpillSuppression, Effect::kKeyRed,
                                 Effect::kKeyGreen, Effect::kKeyBlue};
  for (int i = 0; i < 5; ++i) effect.SetNumber(numbers[i], 10 + i);
  const double window[] = {1, 2, 3, 4};
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(window);
  effect.SetData(Effect::kLightness, {bytes, bytes + sizeof window});
  const project::ProjectSettings project = project::ReadProject(kSampleProject);
  effect.SetData(Effect::kChromaMask, project.chromaMask);
  EXPECT_EQ(effect.Settings(),
            (project::ProjectSettings{10, 11, 12, 13, 14, {1, 2, 3, 4}, project.chromaMask, {}}));

  project::ProjectSettings configured = project;
  configured.keyRed = configured.keyGreen = configured.keyBlue = 1;
  effect.Configure(configured);
  // The key colours stay the effect's; finishing is the host's, not the effect's.
  const project::ProjectSettings expected{project.softness,  project.spillSuppression, 12, 13, 14,
                                          project.lightness, project.chromaMask,       {}};
  EXPECT_EQ(effect.Settings(), expected);
}

// What the effect refuses, each named (the module's path leads every
// message), and modules that do not load.
TEST(KeyingEffect, RefusalsNameWhatIsRefused) {
  Effect effect(Module());
  std::uint8_t f[16 * 4] = {};
  const struct {
    std::function<void()> call;
    std::string message;
  } cases[] = {
      {[&] { effect.SetNumber("Hardness", 1); }, "the effect has no parameter \"Hardness\""},
      {[&] { effect.Number("Chroma Mask"); },
       "the effect's parameter \"Chroma Mask\" is not a number"},
      {[&] { effect.SetData("Softness", {}); },
       "the effect's parameter \"Softness\" is not a byte block"},
      {[&] { effect.Key(f, f, 0, 16, 0); }, "the frame is 0 x 16 pixels"},
      {[&] {
         effect.Key(f, f, 4, 4, 16, -1, {3, 2});
       },
       "rows 3 to 4 lie outside the frame of 4"}};
  for (const auto& c : cases)
    EXPECT_TRUE(test::Throws(c.call, Module()->Path() + ": " + c.message));
  // A module that cannot be loaded is named: a missing file, a file that is
  // no library, and MATTIX_MODULE naming nothing.
  test::TempDir dir;
  dir.Write("text.so", std::string("not a library"));
  for (const std::string& path : {dir / "missing.so", dir / "text.so"})
    EXPECT_TRUE(test::Throws([&] { Effect::LoadModule(path); }, path));
  const std::string before = test::ModulePath();  // set, as Module() found the module
  setenv("MATTIX_MODULE", (dir / "missing.so").c_str(), 1);
  const std::string error = test::ErrorOf([] { Effect::LoadModule(); });
  setenv("MATTIX_MODULE", before.c_str(), 1);
  EXPECT_TRUE(test::Holds(error, dir / "missing.so (MATTIX_MODULE): no such module"));
}

// Four effects of one module, created and keying on threads of their own,
// changing their settings between frames: each frame equals the one keyed
// alone with the same settings. (Run under ThreadSanitizer too, where a race
// is reported even when pixels agree.)
TEST(KeyingEffect, InstancesKeyingAtOnceMatchKeyingAlone) {
  std::vector<project::ProjectSettings> settings(3, project::ReadProject(kSampleProject));
  settings[1].softness = 40;
  settings[2].spillSuppression = 80;
  settings[2].lightness = {5, 9, 80, 95};
  std::vector<media::BgraImage> alone;
  for (const project::ProjectSettings& s : settings)
    alone.push_back(Effect(Module(), s).Key(Sample()));
  ASSERT_NE(alone[0].pixels, alone[1].pixels);
  ASSERT_NE(alone[0].pixels, alone[2].pixels);
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < mismatches.size(); ++t)
    threads.emplace_back([&, t] {
      Effect effect(Module());
      for (std::size_t round = 0; round < 6; ++round) {
        const std::size_t k = (t + round) % settings.size();
        effect.Configure(settings[k]);
        mismatches[t] += effect.Key(Sample()).pixels != alone[k].pixels;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(mismatches.size(), 0));
}

}  // namespace
}  // namespace mattix::host
