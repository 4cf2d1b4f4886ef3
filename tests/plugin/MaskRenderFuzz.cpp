// libFuzzer target for the mask record through the built module (built with
// clang only, see CMakeLists.txt); seeds in tests/plugin/fuzz/mask. The
// module is the one MATTIX_MODULE names, else the one built beside; it is
// loaded before fuzzing starts, so that its coverage is counted.
#include "MaskRenderCheck.h"
#include "host/effect/KeyingEffect.h"

#include <cstdlib>
#include <memory>

namespace {
std::unique_ptr<mattix::host::CKeyingEffect> g_effect;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* path = std::getenv("MATTIX_MODULE");
  g_effect = std::make_unique<mattix::host::CKeyingEffect>(
      mattix::host::CKeyingEffect::LoadModule(path ? path : MATTIX_BUILT_MODULE));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mattix::test::AbortOnFault(mattix::test::CheckMaskRender(*g_effect, data, size));
}
