// The frei0r entry points of the plug-in mattix.so: a filter that keys each
// frame through the Mattix effect module, loaded with the host API on the
// first instance and shared by all instances (host/effect/KeyingEffect.h
// says where the module is found: next to the plug-in, in the installed
// layout...). The version script (frei0r.map) exports these functions
// alone. No exception leaves them (Guarded).
#include "host/effect/KeyingEffect.h"
#include "host/frei0r/Frei0rKeyer.h"
#include "host/frei0r/Report.h"
#include "host/media/Image.h"
#include "host/project/PluginSettings.h"

// The header declares C functions without saying so.
extern "C" {
#include <frei0r.h>
}

#include <cstddef>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace mattix::frei0r {

namespace {

const f0r_param_info_t kProjectInfo = {"project", F0R_PARAM_STRING, render::kProjectExplanation};
const f0r_param_info_t kMatteInfo = {"matte", F0R_PARAM_BOOL, render::kMatteExplanation};

std::mutex g_moduleMutex;
std::shared_ptr<host::CHostModule> g_module;  // effects hold it too

// A new effect at its defaults, the module loaded by the first; throws
// HostError.
std::unique_ptr<host::CKeyingEffect> NewEffect() {
  std::shared_ptr<host::CHostModule> module;
  {
    std::lock_guard<std::mutex> lock(g_moduleMutex);
    if (!g_module) g_module = host::CKeyingEffect::LoadModule();
    module = g_module;
  }
  return std::make_unique<host::CKeyingEffect>(std::move(module));
}

// The host's callers are C: no exception (out of memory copying a path or
// building a message) may unwind into them. What failed is said with texts
// that allocate nothing.
template <class F>
void Guarded(const char* entry, F&& f) noexcept {
  try {
    f();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mattix: %s: %s\n", entry, e.what());
  } catch (...) {
    std::fprintf(stderr, "mattix: %s failed\n", entry);
  }
}

// Frame sizes the plug-in accepts: the frames Mattix keys, not empty.
bool AcceptsSize(unsigned width, unsigned height) {
  return width >= 1 && height >= 1 && media::FrameSizeAllowed(width, height);
}

// A new instance, null (said on standard error) without memory for it.
// When the module cannot be loaded the instance marks every frame: hosts
// such as MLT pass frames through untouched when an instance is refused,
// which would look keyed.
CFrei0rKeyer* Construct(unsigned width, unsigned height) {
  try {
    std::unique_ptr<mattix::host::CKeyingEffect> effect;
    try {
      effect = NewEffect();
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {  // HostError: the module's path and the fault
      ReportOnce(std::string(e.what()) + ": " + render::kMarked);
    }
    return new CFrei0rKeyer(std::move(effect), width, height);
  } catch (const std::bad_alloc&) {
    ReportOnce("out of memory for frames of " + std::to_string(width) + "x" +
               std::to_string(height));
  }
  return nullptr;
}

}  // namespace

}  // namespace mattix::frei0r

using mattix::frei0r::CFrei0rKeyer;

// The entry points are visible (the build hides everything by default).
#pragma GCC visibility push(default)
extern "C" {

int f0r_init() { return 1; }

void f0r_deinit() {
  std::lock_guard<std::mutex> lock(mattix::frei0r::g_moduleMutex);
  mattix::frei0r::g_module.reset();
}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  info->name = mattix::render::kFilterName;
  info->author = "Mattix";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_BGRA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = 1;
  info->minor_version = 0;
  info->num_params = mattix::frei0r::kParameterCount;
  info->explanation = mattix::render::kFilterExplanation;
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
  using namespace mattix::frei0r;
  if (index == kProject) {
    *info = kProjectInfo;
  } else if (index == kMatte) {
    *info = kMatteInfo;
  } else if (const int s = SettingOf(index); s >= 0) {
    const mattix::project::PluginSetting& setting =
        mattix::project::kPluginSettings[std::size_t(s)];
    *info = {setting.name, F0R_PARAM_DOUBLE, setting.description};
  }
}

// Null for a size the plug-in refuses (see AcceptsSize) or without memory;
// the reason goes to standard error.
f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  using mattix::frei0r::ReportOnce;
  f0r_instance_t instance = nullptr;
  mattix::frei0r::Guarded("f0r_construct", [&] {
    if (!mattix::frei0r::AcceptsSize(width, height)) {
      ReportOnce("frame size " + std::to_string(width) + "x" + std::to_string(height) +
                 " refused: Mattix keys frames of " + mattix::media::FrameLimitText());
      return;
    }
    instance = mattix::frei0r::Construct(width, height);
  });
  return instance;
}

void f0r_destruct(f0r_instance_t instance) { delete static_cast<CFrei0rKeyer*>(instance); }

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t value, int index) {
  if (instance != nullptr && value != nullptr)
    mattix::frei0r::Guarded("f0r_set_param_value", [&] {
      static_cast<CFrei0rKeyer*>(instance)->SetParameter(index, value);
    });
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t value, int index) {
  if (instance != nullptr && value != nullptr)
    mattix::frei0r::Guarded("f0r_get_param_value", [&] {
      static_cast<CFrei0rKeyer*>(instance)->GetParameter(index, value);
    });
}

void f0r_update(f0r_instance_t instance, double, const uint32_t* in, uint32_t* out) {
  if (instance != nullptr && in != nullptr && out != nullptr)
    mattix::frei0r::Guarded("f0r_update",
                            [&] { static_cast<CFrei0rKeyer*>(instance)->Update(in, out); });
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t* in, const uint32_t*,
                 const uint32_t*, uint32_t* out) {
  f0r_update(instance, time, in, out);
}

}  // extern "C"
#pragma GCC visibility pop
