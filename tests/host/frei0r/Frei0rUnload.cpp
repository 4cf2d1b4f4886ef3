// A frei0r host's life of the plug-in, as FFmpeg leads it: loaded, one
// instance keying a frame with the project given, then closed and
// unloaded. The test runs it under valgrind, which reports what the
// plug-in, the module and their layers left allocated.
//   frei0r_unload PLUGIN PROJECT
#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}

#include <cstdint>
#include <cstdio>
#include <vector>

template <class F>
F Entry(void* plugin, const char* name) {
  return reinterpret_cast<F>(dlsym(plugin, name));
}
#define F0R(name) Entry<decltype(&name)>(plugin, #name)

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  void* plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (plugin == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  F0R(f0r_init)();
  f0r_instance_t instance = F0R(f0r_construct)(16, 8);
  if (instance == nullptr) return 2;
  const char* project = argv[2];
  F0R(f0r_set_param_value)(instance, &project, 0);
  std::vector<std::uint32_t> in(16 * 8, 0xFF00FF00u), out(in.size());
  F0R(f0r_update)(instance, 0.0, in.data(), out.data());
  F0R(f0r_destruct)(instance);
  F0R(f0r_deinit)();
  return dlclose(plugin) == 0 ? 0 : 2;
}
