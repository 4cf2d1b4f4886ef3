// The plug-in driven through its frei0r entry points, as hosts drive it: it
// keys like `mattix render` with the same project (the reference host, a
// separate path through the host API), maps its parameters onto the
// project's, passes frames through without a usable project, refuses sizes
// it cannot key, and keys alike from many instances and threads.
#include "host/cli/PngFile.h"
#include "tests/cli/TempDir.h"
#include "tests/frei0r/Frei0rPlugin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <thread>

namespace mattix::test {
namespace {

using cli::BgraImage;

// One frei0r instance, destroyed with the object.
class Instance {
 public:
  Instance(unsigned width, unsigned height) : m_handle(Plugin().construct(width, height)) {}
  ~Instance() {
    if (m_handle != nullptr) Plugin().destruct(m_handle);
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  f0r_instance_t get() const { return m_handle; }
  void Set(int index, double value) { Plugin().setParam(m_handle, &value, index); }
  void SetProject(const std::string& path) {
    const char* text = path.c_str();
    Plugin().setParam(m_handle, &text, 0);
  }
  double Get(int index) const {
    double value = -1;
    Plugin().getParam(m_handle, &value, index);
    return value;
  }
  // The output of one frame; the output buffer starts as a pattern that no
  // render leaves behind by accident.
  BgraImage Update(const BgraImage& in) const {
    BgraImage out(in.width, in.height);
    std::memset(out.pixels.data(), 0xA5, out.pixels.size());
    Plugin().update(m_handle, 0.0, reinterpret_cast<const std::uint32_t*>(in.pixels.data()),
                    reinterpret_cast<std::uint32_t*>(out.pixels.data()));
    return out;
  }

 private:
  f0r_instance_t m_handle;
};

const BgraImage& Sample() {
  static const BgraImage sample = cli::ReadPng(kSample);
  return sample;
}

// The number of pixels that differ (0 for equal pictures of equal size).
long Differing(const BgraImage& a, const BgraImage& b) {
  if (a.width != b.width || a.height != b.height) return -1;
  long count = 0;
  for (std::size_t i = 0; i < a.pixels.size(); i += 4)
    count += std::memcmp(&a.pixels[i], &b.pixels[i], 4) != 0;
  return count;
}

TEST(Frei0rPlugin, IsABgraFilterWithItsParametersInHostOrder) {
  f0r_plugin_info_t info{};
  Plugin().getPluginInfo(&info);
  EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
  EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_BGRA8888);
  EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
  ASSERT_EQ(info.num_params, 4);
  const std::pair<const char*, int> expected[] = {{"project", F0R_PARAM_STRING},
                                                  {"softness", F0R_PARAM_DOUBLE},
                                                  {"spill", F0R_PARAM_DOUBLE},
                                                  {"matte", F0R_PARAM_BOOL}};
  for (int i = 0; i < 4; ++i) {
    f0r_param_info_t param{};
    Plugin().getParamInfo(&param, i);
    EXPECT_STREQ(param.name, expected[i].first);
    EXPECT_EQ(param.type, expected[i].second) << param.name;
    EXPECT_NE(param.explanation, nullptr);
  }
}

struct KeyCase {
  const char* name;
  std::optional<double> softness, spill;
  bool matte;
  std::vector<std::string> flags;  // of `mattix render`, to the same effect
  double softnessReadBack, spillReadBack;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

// samples/key.json holds softness 10 and spill suppression 60.
const KeyCase kKeyCases[] = {
    {"Project", {}, {}, false, {}, 0.10, 0.60},
    {"Softness", 0.5, {}, false, {"--softness", "50"}, 0.5, 0.60},
    {"Spill", {}, 0.0, false, {"--spill", "0"}, 0.10, 0.0},
    {"Matte", {}, {}, true, {}, 0.10, 0.60},
    {"ClampedAboveOne", 7.0, {}, false, {"--softness", "100"}, 1.0, 0.60},
};

class Frei0rKey : public ::testing::TestWithParam<KeyCase> {};

TEST_P(Frei0rKey, GivesThePixelsOfTheRenderCommand) {
  const KeyCase& c = GetParam();
  Instance instance(unsigned(Sample().width), unsigned(Sample().height));
  ASSERT_NE(instance.get(), nullptr);
  instance.SetProject(kProject);
  if (c.softness) instance.Set(1, *c.softness);
  if (c.spill) instance.Set(2, *c.spill);
  instance.Set(3, c.matte ? 1.0 : 0.0);
  EXPECT_DOUBLE_EQ(instance.Get(1), c.softnessReadBack);
  EXPECT_DOUBLE_EQ(instance.Get(2), c.spillReadBack);
  const BgraImage expected = RenderWithCommand(kSample, c.flags, c.matte);
  EXPECT_EQ(Differing(instance.Update(Sample()), expected), 0);
  EXPECT_EQ(Differing(instance.Update(Sample()), expected), 0);  // the next frame alike
}

INSTANTIATE_TEST_SUITE_P(Sample, Frei0rKey, ::testing::ValuesIn(kKeyCases),
                         [](const auto& p) { return std::string(p.param.name); });

// Frames whose sides are not multiples of 8 (frei0r asks for them, hosts do
// not keep to it): a crop of the sample, across the backdrop's edge.
TEST(Frei0rPlugin, KeysFramesOfAnySize) {
  cli::testing::TempDir dir;
  for (auto [w, h] : {std::pair{1, 1}, {37, 29}}) {
    BgraImage crop(w, h);
    for (int y = 0; y < h; ++y)
      std::memcpy(crop.Row(y), Sample().Row(150 + y) + 4 * 120, crop.Stride());
    const std::string path = dir / "crop.png";
    const std::vector<std::uint8_t> png = cli::EncodePng(crop, path);
    dir.Write("crop.png", png);
    Instance instance{unsigned(w), unsigned(h)};
    instance.SetProject(kProject);
    EXPECT_EQ(Differing(instance.Update(crop), RenderWithCommand(path, {})), 0) << w << "x" << h;
  }
}

// A project that is not set, missing or damaged: the frame passes through
// and the reason is said once; a repaired file is read again.
TEST(Frei0rPlugin, PassesFramesThroughWithoutAUsableProject) {
  cli::testing::TempDir dir;
  dir.Write("damaged.json", std::string("{\"format\": \"mattix-project\", \"version\": "));
  for (const std::string& path : {dir / "missing.json", dir / "damaged.json", std::string()}) {
    Instance instance(unsigned(Sample().width), unsigned(Sample().height));
    instance.SetProject(path);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Differing(instance.Update(Sample()), Sample()), 0) << path;
    EXPECT_EQ(Differing(instance.Update(Sample()), Sample()), 0) << path;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("pass through unkeyed"), std::string::npos) << path;
    EXPECT_EQ(said.find("mattix:"), said.rfind("mattix:")) << said;
    EXPECT_DOUBLE_EQ(instance.Get(1), 0.0);  // no project to read the softness from
  }
  Instance instance(unsigned(Sample().width), unsigned(Sample().height));
  instance.SetProject(dir / "damaged.json");
  ::testing::internal::CaptureStderr();
  instance.Update(Sample());
  ::testing::internal::GetCapturedStderr();
  std::filesystem::copy_file(kProject, dir / "damaged.json",
                             std::filesystem::copy_options::overwrite_existing);
  EXPECT_EQ(Differing(instance.Update(Sample()), RenderWithCommand(kSample, {})), 0);
}

TEST(Frei0rPlugin, RefusesEmptyAndAbsurdSizesAndWritesNothing) {
  ::testing::internal::CaptureStderr();
  for (auto [w, h] : {std::pair{0u, 8u}, {8u, 0u}, {16385u, 8u}, {8u, 1u << 30}, {16384u, 16384u}})
    EXPECT_EQ(Plugin().construct(w, h), nullptr) << w << "x" << h;
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("refused"), std::string::npos);
  BgraImage in(8, 8), out(8, 8);
  std::memset(out.pixels.data(), 0xA5, out.pixels.size());
  Plugin().update(nullptr, 0.0, reinterpret_cast<const std::uint32_t*>(in.pixels.data()),
                  reinterpret_cast<std::uint32_t*>(out.pixels.data()));
  EXPECT_EQ(out.pixels, std::vector<std::uint8_t>(out.pixels.size(), 0xA5));
}

// FFmpeg may run many instances at once; MLT calls one instance from several
// threads (in turn, or on slices of a frame at the same time).
TEST(Frei0rPlugin, InstancesAndThreadsKeyAlike) {
  const BgraImage expected = RenderWithCommand(kSample, {});
  const unsigned w = unsigned(Sample().width), h = unsigned(Sample().height);
  Instance shared(w, h);
  shared.SetProject(kProject);
  std::vector<BgraImage> results(6);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < results.size(); ++t)
    threads.emplace_back([&, t] {
      if (t % 2 == 0) {
        results[t] = shared.Update(Sample());
      } else {
        Instance own(w, h);
        own.SetProject(kProject);
        results[t] = own.Update(Sample());
      }
    });
  for (std::thread& thread : threads) thread.join();
  for (std::size_t t = 0; t < results.size(); ++t)
    EXPECT_EQ(Differing(results[t], expected), 0) << "thread " << t;
}

}  // namespace
}  // namespace mattix::test
