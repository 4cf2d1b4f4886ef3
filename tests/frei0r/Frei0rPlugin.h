#pragma once
// The built frei0r plug-in as a frei0r host sees it: loaded with dlopen, its
// entry points found by name; and the render of the shipped sample by
// `mattix render` (the reference host) that the plug-in's output must equal.
#include "host/cli/Image.h"

#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mattix::test {

struct Frei0rPlugin {
  decltype(&f0r_get_plugin_info) getPluginInfo = nullptr;
  decltype(&f0r_get_param_info) getParamInfo = nullptr;
  decltype(&f0r_construct) construct = nullptr;
  decltype(&f0r_destruct) destruct = nullptr;
  decltype(&f0r_set_param_value) setParam = nullptr;
  decltype(&f0r_get_param_value) getParam = nullptr;
  decltype(&f0r_update) update = nullptr;
};

// The entry points of MATTIX_FREI0R_PLUGIN, loaded once (f0r_init called).
const Frei0rPlugin& Plugin();

extern const std::string kSample;   // samples/greenscreen.png
extern const std::string kProject;  // samples/key.json

// `mattix render` of `input` with samples/key.json and extra flags: the
// keyed picture, or with matte its matte (as opaque grey BGRA).
cli::BgraImage RenderWithCommand(const std::string& input, const std::vector<std::string>& flags,
                                 bool matte = false);

}  // namespace mattix::test
