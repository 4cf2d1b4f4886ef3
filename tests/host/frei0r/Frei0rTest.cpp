// The plug-in as frei0r hosts drive it, against `mattix render` with the
// same project (the reference host: a separate path through the host API):
// through its entry points, loaded with dlopen, then inside ffmpeg and melt
// when installed (a module that does not load; unloading under valgrind; a
// Kdenlive project with keyframes in melt). That ffmpeg and melt key the sample as the command
// does is frei0r_install's check, on the installed plug-in.
#include "host/base/FileBytes.h"
#include "host/media/PngFile.h"
#include "host/media/Subprocess.h"
#include "tests/FuzzSeeds.h"
#include "tests/host/TestSupport.h"
#include "tests/host/cli/CommandRunner.h"
#include "tests/host/frei0r/Frei0rParameterCheck.h"

#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <thread>

namespace mattix::frei0r {
namespace {

const std::string &kSample = test::kSamplePicture, &kProject = test::kSampleProject;
constexpr auto Sample = &test::SamplePicture;
const std::string kPlugins = std::filesystem::path(MATTIX_FREI0R_PLUGIN).parent_path();

template <class F>
F Entry(const char* name) {
  static void* plugin = dlopen(MATTIX_FREI0R_PLUGIN, RTLD_NOW | RTLD_LOCAL);
  return reinterpret_cast<F>(plugin != nullptr ? dlsym(plugin, name) : nullptr);
}
#define F0R(name) Entry<decltype(&name)>(#name)

// One frei0r instance with the project set.
using Instance = std::unique_ptr<void, void (*)(void*)>;
Instance Make(int w, int h, const std::string& project = kProject) {
  Instance instance(F0R(f0r_construct)(unsigned(w), unsigned(h)), F0R(f0r_destruct));
  const char* path = project.c_str();
  if (instance) F0R(f0r_set_param_value)(instance.get(), &path, 0);
  return instance;
}
// One frame; the output starts as a pattern no render leaves by accident.
media::BgraImage Update(void* instance, const media::BgraImage& in) {
  media::BgraImage out(in.width, in.height);
  std::memset(out.pixels.data(), 0xA5, out.pixels.size());
  const auto update = F0R(f0r_update);
  update(instance, 0.0, reinterpret_cast<const std::uint32_t*>(in.pixels.data()),
         reinterpret_cast<std::uint32_t*>(out.pixels.data()));
  return out;
}

// `mattix render` with the project: the keyed picture, or its matte.
media::BgraImage Render(const std::vector<std::string>& flags, bool matte = false,
                        const std::string& input = kSample) {
  return test::RenderPicture(input, kProject, flags, matte);
}

// FFmpeg passes parameters by position: the first four as they always were,
// then matte finishing.
TEST(Frei0rPlugin, IsABgraFilterWithItsParametersInHostOrder) {
  f0r_plugin_info_t info{};
  F0R(f0r_get_plugin_info)(&info);
  std::string params = std::to_string(info.color_model) + ":";
  for (int i = 0; i < info.num_params; ++i) {
    f0r_param_info_t param{};
    F0R(f0r_get_param_info)(&param, i);
    params += std::string(" ") + param.name + "=" + std::to_string(param.type);
  }
  EXPECT_EQ(params,  // 0: BGRA8888; 4 string, 1 double, 0 bool
            "0: project=4 softness=1 spill=1 matte=0 despill=1 clipblack=1 clipwhite=1 "
            "shrinkgrow=1 feather=1 despilledge=1 unmix=1 refine=1 closeholes=1");
}

TEST(Frei0rPlugin, KeysLikeTheRenderCommandWithTheSameSettings) {
  // Parameters 1 to 12 as the sample project reads them back: softness 0,
  // spill 100 %, the matte as each case sets it, despill 100 %, clip white
  // 100 %, shrink/grow 0 px in the middle, despill edge 12 of 32 px, the
  // rest off.
  const std::vector<double> project = {0.0, 1.0, 0.0,   1.0, 0.0, 1.0,
                                       0.5, 0.0, 0.375, 0.0, 0.0, 0.0};
  const struct {
    std::vector<std::pair<int, double>> set;  // parameters set on the instance
    bool matte;
    std::vector<std::string> flags;  // of `mattix render` to the same effect
    // What reads back otherwise than `project`; none: the values set.
    std::vector<std::pair<int, double>> read = {};
  } cases[] = {
      {{}, false, {}},  // the project's values until set
      {{{1, 0.5}}, false, {"--softness", "50"}},
      {{{2, 0.6}, {1, -1.0}}, false, {"--spill", "60"}, {{2, 0.6}}},  // below 0: the project's
      {{{1, 7.0}}, true, {"--softness", "100"}, {{1, 1.0}}},          // clamped to 1
      {{{4, 0.6}, {5, 0.1}, {6, 0.9}, {12, 0.7}},
       false,
       {"--despill", "60", "--clip-black", "10", "--clip-white", "90", "--close-holes", "70"}},
      // NaN: the project's again
      {{{7, 0.4375}, {8, 0.125}, {8, NAN}}, false, {"--shrink-grow", "-1"}, {{7, 0.4375}}},
      {{{7, 0.75}, {8, 0.25}}, true, {"--shrink-grow", "4", "--feather", "2"}}};
  for (const auto& c : cases) {
    const Instance instance = Make(Sample().width, Sample().height);
    for (auto [index, value] : c.set) F0R(f0r_set_param_value)(instance.get(), &value, index);
    double matte = c.matte ? 0.5 : 0.49;  // frei0r: true from 0.5
    F0R(f0r_set_param_value)(instance.get(), &matte, 3);
    std::vector<double> read(project.size(), -1.0), expected = project;
    expected[2] = c.matte;
    for (const auto& [index, value] : c.read.empty() ? c.set : c.read)
      expected[std::size_t(index - 1)] = value;
    for (std::size_t i = 0; i < read.size(); ++i)
      F0R(f0r_get_param_value)(instance.get(), &read[i], int(i + 1));
    SCOPED_TRACE(c.flags.size());
    EXPECT_EQ(read, expected);
    const media::BgraImage keyed = Render(c.flags, c.matte);
    for (int frame = 0; frame < 2; ++frame)  // and the next frame
      EXPECT_EQ(Update(instance.get(), Sample()).pixels, keyed.pixels);
  }
}

// Empty and absurd sizes are refused, and a refused instance writes
// nothing. Hosts ignore frei0r's multiples of 8; MLT calls one instance from
// several threads (in turn, or on slices at once), FFmpeg may run many
// instances.
TEST(Frei0rPlugin, RefusesAbsurdSizesAndKeysAnyOtherFromInstancesAndThreads) {
  for (auto [w, h] : {std::pair{0, 8}, {8, 0}, {16385, 8}, {16384, 16384}})
    EXPECT_EQ(Make(w, h), nullptr) << w << "x" << h;
  const media::BgraImage none = Update(nullptr, media::BgraImage(8, 8));
  EXPECT_EQ(none.pixels, std::vector<std::uint8_t>(none.pixels.size(), 0xA5));
  test::TempDir dir;
  media::BgraImage crop(37, 29);
  for (int y = 0; y < crop.height; ++y)
    std::memcpy(crop.Row(y), Sample().Row(150 + y) + 4 * 120, crop.Stride());
  dir.Write("crop.png", media::EncodePng(crop, "crop"));
  EXPECT_EQ(Update(Make(37, 29).get(), crop).pixels, Render({}, false, dir / "crop.png").pixels);

  // Threads that share an instance key different frames: the sample and
  // the sample upside down.
  media::BgraImage flipped(Sample().width, Sample().height);
  for (int y = 0; y < flipped.height; ++y)
    std::memcpy(flipped.Row(y), Sample().Row(flipped.height - 1 - y), flipped.Stride());
  dir.Write("flipped.png", media::EncodePng(flipped, "flipped"));
  const media::BgraImage* frames[] = {&Sample(), &flipped};
  const media::BgraImage expected[] = {Render({}), Render({}, false, dir / "flipped.png")};
  const Instance shared = Make(flipped.width, flipped.height);
  std::vector<media::BgraImage> results(8);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < results.size(); ++t)
    threads.emplace_back([&, t] {  // the last two each on an instance of its own
      results[t] = Update(t < 6 ? shared.get() : Make(Sample().width, Sample().height).get(),
                          *frames[t % 2]);
    });
  for (std::thread& thread : threads) thread.join();
  for (std::size_t t = 0; t < results.size(); ++t)
    EXPECT_EQ(results[t].pixels, expected[t % 2].pixels) << "thread " << t;
}

// Whether `out` is `in` marked: every pixel either the input's or opaque
// magenta, and magenta in every run of 16 pixels of every row.
::testing::AssertionResult Marked(const media::BgraImage& out, const media::BgraImage& in) {
  for (int y = 0; y < in.height; ++y) {
    int sinceMagenta = 0;
    for (int x = 0; x < in.width; ++x) {
      const std::uint8_t* o = out.Row(y) + x * 4;
      const bool magenta = o[0] == 255 && o[1] == 0 && o[2] == 255 && o[3] == 255;
      if (!magenta && std::memcmp(o, in.Row(y) + x * 4, 4) != 0)
        return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is neither";
      sinceMagenta = magenta ? 0 : sinceMagenta + 1;
      if (sinceMagenta >= 16)
        return ::testing::AssertionFailure() << "no magenta before " << x << "," << y;
    }
  }
  return ::testing::AssertionSuccess();
}

// Not set, missing or damaged before any good read: frames are marked, not
// passed through, and why is said once. A repaired file is read again; lost
// mid-clip (cut short as by an editor's save, deleted, then saved with other
// settings), the last good key stays, said once for each change, until a
// good read replaces it.
TEST(Frei0rPlugin, MarksFramesUntilAProjectIsReadThenKeepsTheLastGoodKey) {
  test::TempDir dir;
  const std::string project = dir / "key.json", text = host::ReadFileText(kProject);
  auto save = [&, step = 0](const std::string& content) mutable {
    dir.Write("key.json", content);
    // A new time for each save, however quick (file times are coarse).
    std::filesystem::last_write_time(
        project, std::filesystem::file_time_type::clock::now() + std::chrono::seconds(++step));
  };
  save(text.substr(0, text.size() / 2));
  for (const std::string& path : {dir / "missing.json", project, std::string()}) {
    const Instance instance = Make(Sample().width, Sample().height, path);
    ::testing::internal::CaptureStderr();
    for (int frame = 0; frame < 2; ++frame)
      EXPECT_TRUE(Marked(Update(instance.get(), Sample()), Sample())) << path;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(test::Holds(said, "frames are marked with magenta stripes, not keyed")) << path;
    EXPECT_EQ(said.find("mattix:"), said.rfind("mattix:")) << said;
  }
  const Instance instance = Make(Sample().width, Sample().height, project);
  Update(instance.get(), Sample());
  // The project with another softness, saved in place or by an editor that
  // replaces the file: as long as before and with the same modification
  // time, but another file.
  const auto softness = [&](const std::string& value) {
    const std::string hard = "\"softness\": 0.0";
    return std::string(text).replace(text.find(hard), hard.size(), "\"softness\": " + value);
  };
  const auto replace = [&](const std::string& content) {
    dir.Write("next.json", content);
    std::filesystem::last_write_time(dir / "next.json", std::filesystem::last_write_time(project));
    std::filesystem::rename(dir / "next.json", project);
  };
  const struct {
    std::function<void()> change;
    std::vector<std::string> flags;  // of `mattix render` to the same key
    std::string said;                // the one line said, or nothing
  } steps[] = {
      {[&] { save(text); }, {}, "key.json: read again: keying with it"},
      {[&] { save(text.substr(0, text.size() / 2)); }, {}, "keeping the last good key"},
      {[&] { std::filesystem::remove(project); }, {}, "cannot open"},
      {[&] { save(softness("50.0")); }, {"--softness", "50"}, "key.json: read again"},
      {[&] { replace(softness("60.0")); }, {"--softness", "60"}, ""},
  };
  for (const auto& step : steps) {
    step.change();
    const media::BgraImage keyed = Render(step.flags);
    ::testing::internal::CaptureStderr();
    for (int frame = 0; frame < 3; ++frame)
      EXPECT_EQ(Update(instance.get(), Sample()).pixels, keyed.pixels) << step.said;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(test::Holds(said, step.said));
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), step.said.empty() ? 0 : 1) << said;
  }
}

// Loaded, keying a frame and unloaded by FFmpeg, under valgrind: the plug-in
// leaves nothing allocated, the module's layers give back their process-wide
// state (133 KB stayed).
TEST(Frei0rPlugin, UnloadingGivesBackItsMemory) {
  if (const std::string why = test::HostUnavailable("valgrind", "valgrind"); !why.empty())
    GTEST_SKIP() << why;
  MATTIX_SKIP_WITHOUT_FFMPEG("memory left at unloading");
  // Valgrind does not know every instruction that FFmpeg's libraries run
  // when they load on every processor (libhwy's timer on some): FFmpeg
  // alone first.
  const std::string bare = test::Shell("valgrind -q ffmpeg -v error -nostdin -version >/dev/null");
  if (!bare.empty())
    GTEST_SKIP() << "valgrind cannot run ffmpeg itself on this machine, so memory left at "
                 << "unloading is not tested: " << bare.substr(0, 300);
  test::TempDir dir;
  const std::string valgrind =
      "valgrind -q --leak-check=full --show-leak-kinds=definite,indirect "
      "--errors-for-leak-kinds=definite,indirect --error-exitcode=3";
  EXPECT_TRUE(test::Ran("FREI0R_PATH='" + kPlugins + "' " + valgrind +
                        " ffmpeg -v error -nostdin -i '" + kSample +
                        "' -vf 'frei0r=mattix:" + kProject + "' '" + dir / "k.png" + "'"));
}

// The parameter path on the fuzz target's scripts and their damage.
TEST(Frei0rPlugin, ParameterScriptsHold) {
  test::TempDir dir;
  const test::Frei0rApi api{F0R(f0r_construct),       F0R(f0r_destruct), F0R(f0r_set_param_value),
                            F0R(f0r_get_param_value), F0R(f0r_update),   F0R(f0r_get_plugin_info)};
  ::testing::internal::CaptureStderr();  // what the plug-in says of the damaged projects
  test::ExpectSeedsHold("tests/host/frei0r/fuzz", [&](const std::uint8_t* data, std::size_t size) {
    return test::CheckFrei0rScript(api, dir / "p.json", data, size);
  });
  ::testing::internal::GetCapturedStderr();
}

// A module that is missing or damaged is said on standard error, and the
// frames come out marked rather than passed through as if keyed: the
// instance is made (MLT would pass frames through untouched for an instance
// refused; ffmpeg, run here, would fail).
TEST(Frei0rInHosts, ReportAMissingOrDamagedModuleAndMarkFrames) {
  if (const std::string why = test::HostUnavailable("ffmpeg", "ffmpeg"); !why.empty())
    GTEST_SKIP() << why;
  test::TempDir dir;
  dir.Write("damaged.so", std::string("not a shared library"));
  for (const std::string& module : {dir / "missing.so", dir / "damaged.so"}) {
    const std::string out = module + ".png";
    media::Subprocess run(
        {"env", "FREI0R_PATH=" + kPlugins, "MATTIX_MODULE=" + module, "ffmpeg", "-nostdin", "-v",
         "error", "-i", kSample, "-vf", "frei0r=mattix:" + kProject, out},
        {}, "env is missing");
    EXPECT_EQ(run.Wait(), 0) << module << ": " << run.ErrorTail();
    EXPECT_TRUE(test::Holds(run.ErrorTail(), module));
    EXPECT_TRUE(test::Holds(run.ErrorTail(), "frames are marked with magenta stripes"));
    EXPECT_TRUE(Marked(media::ReadPng(out), Sample())) << module;  // throws when ffmpeg wrote none
  }
}

// A Kdenlive project (one track, the clip with the effect as Kdenlive adds
// it: every parameter at the description's default, numbers as keyframes
// from the clip's start) rendered by melt keys as `mattix render` does with
// the project alone; softness keyframed to 50 % at frame 2 keys as
// --softness 50 there.
TEST(Frei0rInKdenlive, AProjectRendersInMeltLikeTheRenderCommand) {
  if (const std::string why = test::HostUnavailable("melt", "melt"); !why.empty())
    GTEST_SKIP() << why;
  test::TempDir dir;
  // Each parameter of Kdenlive's description (type, name, default) as a property.
  const std::string xml = host::ReadFileText(std::string(MATTIX_SOURCE_DIR) +
                                             "/host/frei0r/kdenlive/frei0r_mattix.xml");
  const std::regex parameter(
      R"re(<parameter type="([a-z]+)" name="([a-z]+)"(?: default="([^"]*)")?)re");
  std::string properties;
  for (auto m = std::sregex_iterator(xml.begin(), xml.end(), parameter);
       m != std::sregex_iterator(); ++m) {
    const std::string type = (*m)[1], name = (*m)[2];
    std::string value = type == "url" ? kProject : (*m)[3].str();
    if (type == "animated") value = "00:00:00.000=" + value;
    if (name == "softness") value += ";00:00:00.080=0.5";
    properties += "<property name=\"" + name + "\">" + value + "</property>\n";
  }
  dir.Write("key.kdenlive", R"(<?xml version="1.0" encoding="utf-8"?>
<mlt LC_NUMERIC="C" producer="main_bin" version="7.12.0"><profile description="480x320 25fps"
 width="480" height="320" progressive="1" sample_aspect_num="1" sample_aspect_den="1"
 display_aspect_num="3" display_aspect_den="2" frame_rate_num="25" frame_rate_den="1"
 colorspace="709"/><producer id="producer0" in="00:00:00.000" out="00:00:00.080">
 <property name="resource">)" + kSample +
                                R"(</property><property name="kdenlive:id">2</property>
</producer><playlist id="playlist0"><entry producer="producer0" in="00:00:00.000"
 out="00:00:00.080"><filter id="filter0"><property name="mlt_service">frei0r.mattix</property>
<property name="kdenlive_id">frei0r.mattix</property>)" +
                                properties + R"(</filter></entry>
</playlist><tractor id="tractor0" in="00:00:00.000" out="00:00:00.080">
<track producer="playlist0"/></tractor></mlt>)");
  std::string error;
  for (int attempt = 0; attempt < 2 && !std::filesystem::exists(dir / "f3.png"); ++attempt)
    error = test::Shell("FREI0R_PATH='" + kPlugins + "' melt -quiet '" + dir / "key.kdenlive" +
                        "' -consumer 'avformat:" + dir / "f%d.png" +
                        "' vcodec=png pix_fmt=rgba real_time=0 </dev/null");
  ASSERT_EQ(error, "");
  EXPECT_EQ(media::ReadPng(dir / "f1.png").pixels, Render({}).pixels);
  EXPECT_EQ(media::ReadPng(dir / "f3.png").pixels, Render({"--softness", "50"}).pixels);
}

}  // namespace
}  // namespace mattix::frei0r
