// libFuzzer target for the frei0r plug-in's parameter path (built with
// clang only, see CMakeLists.txt), linked to the plug-in; seeds in
// tests/host/frei0r/fuzz.
#include "Frei0rParameterCheck.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string project = [] {
    const char* base = std::getenv("TMPDIR");
    return std::string(base && *base ? base : "/tmp") + "/mattix-frei0r-fuzz-" +
           std::to_string(::getpid()) + ".json";
  }();
  static const mattix::test::Frei0rApi api{f0r_construct,       f0r_destruct, f0r_set_param_value,
                                           f0r_get_param_value, f0r_update,   f0r_get_plugin_info};
  return mattix::test::AbortOnFault(mattix::test::CheckFrei0rScript(api, project, data, size));
}
