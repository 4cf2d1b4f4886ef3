#pragma once
// The frei0r plug-in's parameter path on any bytes, one body for the
// libFuzzer target (Frei0rParameterFuzz.cpp) and the unit tests: the bytes
// are a script of host calls on one instance of 8 x 6 pixels (parameters
// set to any values, a project file written with any text or taken away,
// frames keyed, parameters read back). Nothing may crash or read out of
// bounds (the sanitizers watch); parameters read back in their ranges and
// as set; until a project file has been given at all, every frame comes out
// marked.
extern "C" {
#include <frei0r.h>
}
#include "tests/plugin/FuzzInput.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace mattix::test {

// The entry points, from a loaded plug-in or linked in.
struct Frei0rApi {
  decltype(&f0r_construct) construct;
  decltype(&f0r_destruct) destruct;
  decltype(&f0r_set_param_value) set;
  decltype(&f0r_get_param_value) get;
  decltype(&f0r_update) update;
  decltype(&f0r_get_plugin_info) info;
};

// Empty when the property holds, else what went wrong. `projectPath` is a
// file the script may write.
inline std::string CheckFrei0rScript(const Frei0rApi& api, const std::string& projectPath,
                                     const std::uint8_t* data, std::size_t size) {
  constexpr unsigned kWidth = 8, kHeight = 6;
  f0r_plugin_info_t about{};
  api.info(&about);
  const int parameters = about.num_params;  // project, softness, spill, matte, then finishing
  FuzzInput script(data, size);
  std::remove(projectPath.c_str());
  f0r_instance_t instance = api.construct(kWidth, kHeight);
  if (instance == nullptr) return "an 8 x 6 instance was refused";
  std::string fault, path;    // path: the project path as last set
  bool projectGiven = false;  // a project file with text was ever set
  std::vector<std::uint32_t> in(kWidth * kHeight), out(in.size());
  while (script.Left() > 0 && fault.empty()) {
    const int op = script.Byte() % 6;
    if (op == 0) {  // a project: text written and set, missing, empty or null
      const std::size_t high = script.Byte();  // the high byte first, as any compiler reads it
      std::size_t length = high << 8 | script.Byte();
      const unsigned mode = script.Byte() % 4;
      const std::uint8_t* text = script.Take(length);  // as much as is left
      if (mode == 0) {
        std::ofstream(projectPath, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(text), std::streamsize(length));
        projectGiven = true;
      }
      path = mode == 0 ? projectPath : mode == 1 ? projectPath + ".missing" : "";
      const char* value = mode == 3 ? nullptr : path.c_str();
      api.set(instance, &value, 0);
    } else if (op <= 3) {  // a number or matte: any double, NaN and infinities too
      const int index = 1 + (op - 1 + 3 * script.Byte()) % (parameters - 1);
      double value = script.Raw<double>();
      api.set(instance, &value, index);
    } else if (op == 4) {  // an index the plug-in does not have
      const int index = std::int8_t(script.Byte());
      double value = script.Raw<double>();
      if (index < 0 || index >= parameters) api.set(instance, &value, index);
    } else {  // a frame, then every parameter read back
      for (std::uint32_t& p : in)
        p = (std::uint32_t(script.Byte()) * 0x01010101u ^ 0x00FF0000u) | 0xFF000000u;
      std::memset(out.data(), 0xA5, out.size() * 4);
      api.update(instance, 0.0, in.data(), out.data());
      if (!projectGiven) {
        bool magenta = false;
        for (std::size_t i = 0; i < in.size(); ++i) {
          const bool m = out[i] == 0xFFFF00FFu;
          magenta = magenta || m;
          if (!m && out[i] != in[i]) fault = "a frame without a project is neither input nor mark";
        }
        if (!magenta) fault = "a frame without a project is not marked";
      }
      const char* readPath = nullptr;
      api.get(instance, &readPath, 0);
      if (readPath == nullptr || path != readPath) fault = "the project path reads back otherwise";
      for (int index = 1; index < parameters; ++index) {
        double value = -1.0;
        api.get(instance, &value, index);
        if (!(value >= 0.0 && value <= 1.0)) fault = "a parameter reads back out of 0 to 1";
      }
    }
  }
  api.destruct(instance);
  return fault;
}

}  // namespace mattix::test
