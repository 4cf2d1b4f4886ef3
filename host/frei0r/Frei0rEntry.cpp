// The frei0r entry points of the plug-in mattix.so: a filter that keys each
// frame through the Mattix effect module, loaded with the host API on the
// first instance and shared by all instances (host/effect/KeyingEffect.h
// says where the module is found: next to the plug-in, in the installed
// layout...). The version script (frei0r.map) exports these functions
// alone. No exception leaves them.
#include "host/effect/KeyingEffect.h"
#include "host/frei0r/Frei0rKeyer.h"
#include "host/frei0r/Report.h"
#include "host/media/Image.h"

// The header declares C functions without saying so.
extern "C" {
#include <frei0r.h>
}

#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace mattix::frei0r {

namespace {

const f0r_param_info_t kParameters[kParameterCount] = {
    {"project", F0R_PARAM_STRING,
     "Path of a Mattix project file (mattix project new, mattix mask import); frames are "
     "marked with magenta stripes, not keyed, until one is read"},
    {"softness", F0R_PARAM_DOUBLE,
     "Softness, 0 to 1 for 0 to 100 %: feathers the key (the project's value unless set)"},
    {"spill", F0R_PARAM_DOUBLE,
     "Spill suppression, 0 to 1 for 0 to 100 %: takes the key colour's cast off the edges "
     "(the project's value unless set)"},
    {"matte", F0R_PARAM_BOOL, "Output the matte (the key's alpha as grey) instead of the picture"},
};

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

// Frame sizes the plug-in accepts: the frames Mattix keys, not empty.
bool AcceptsSize(unsigned width, unsigned height) {
  return width >= 1 && height >= 1 && media::FrameSizeAllowed(width, height);
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
  info->name = "Mattix chroma key";
  info->author = "Mattix";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_BGRA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = 1;
  info->minor_version = 0;
  info->num_params = mattix::frei0r::kParameterCount;
  info->explanation =
      "Keys the colours drawn on the Mattix hue/saturation wheel within its lightness window, "
      "with softness and spill suppression, as set in a Mattix project file";
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
  if (index >= 0 && index < mattix::frei0r::kParameterCount)
    *info = mattix::frei0r::kParameters[index];
}

// Null for a size the plug-in refuses (see AcceptsSize) or when the module
// cannot be loaded; the reason goes to standard error.
f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  using mattix::frei0r::ReportOnce;
  if (!mattix::frei0r::AcceptsSize(width, height)) {
    ReportOnce("frame size " + std::to_string(width) + "x" + std::to_string(height) +
               " refused (sides 1 to " + std::to_string(mattix::media::kMaxFrameSide) +
               ", at most " + std::to_string(mattix::media::kMaxFramePixels) + " pixels)");
    return nullptr;
  }
  try {
    return new CFrei0rKeyer(mattix::frei0r::NewEffect(), width, height);
  } catch (const std::bad_alloc&) {
    ReportOnce("out of memory for frames of " + std::to_string(width) + "x" +
               std::to_string(height));
  } catch (const std::exception& e) {  // HostError: the module's path and the fault
    ReportOnce(e.what());
  }
  return nullptr;
}

void f0r_destruct(f0r_instance_t instance) { delete static_cast<CFrei0rKeyer*>(instance); }

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t value, int index) {
  if (instance != nullptr && value != nullptr)
    static_cast<CFrei0rKeyer*>(instance)->SetParameter(index, value);
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t value, int index) {
  if (instance != nullptr && value != nullptr)
    static_cast<CFrei0rKeyer*>(instance)->GetParameter(index, value);
}

void f0r_update(f0r_instance_t instance, double, const uint32_t* in, uint32_t* out) {
  if (instance != nullptr && in != nullptr && out != nullptr)
    static_cast<CFrei0rKeyer*>(instance)->Update(in, out);
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t* in, const uint32_t*,
                 const uint32_t*, uint32_t* out) {
  f0r_update(instance, time, in, out);
}

}  // extern "C"
#pragma GCC visibility pop
