#include "tests/frei0r/Frei0rPlugin.h"

#include "host/cli/PngFile.h"
#include "host/cli/RenderCommand.h"
#include "tests/cli/TempDir.h"

namespace mattix::test {

const std::string kSample = std::string(MATTIX_SOURCE_DIR) + "/samples/greenscreen.png";
const std::string kProject = std::string(MATTIX_SOURCE_DIR) + "/samples/key.json";

const Frei0rPlugin& Plugin() {
  static const Frei0rPlugin plugin = [] {
    Frei0rPlugin p;
    void* handle = dlopen(MATTIX_FREI0R_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      ADD_FAILURE() << dlerror();
      return p;
    }
    auto entry = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handle, name));
      EXPECT_NE(slot, nullptr) << name;
    };
    decltype(&f0r_init) init = nullptr;
    entry(init, "f0r_init");
    entry(p.getPluginInfo, "f0r_get_plugin_info");
    entry(p.getParamInfo, "f0r_get_param_info");
    entry(p.construct, "f0r_construct");
    entry(p.destruct, "f0r_destruct");
    entry(p.setParam, "f0r_set_param_value");
    entry(p.getParam, "f0r_get_param_value");
    entry(p.update, "f0r_update");
    if (init != nullptr) {
      EXPECT_EQ(init(), 1);
    }
    return p;
  }();
  return plugin;
}

cli::BgraImage RenderWithCommand(const std::string& input, const std::vector<std::string>& flags,
                                 bool matte) {
  cli::testing::TempDir dir;
  std::vector<std::string> args = {
      input, "-o", dir / "keyed.png", "--matte", dir / "matte.png", "--project", kProject};
  args.insert(args.end(), flags.begin(), flags.end());
  cli::RenderCommand(args);
  return cli::ReadPng(dir / (matte ? "matte.png" : "keyed.png"));
}

}  // namespace mattix::test
