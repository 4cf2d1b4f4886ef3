// libFuzzer target for the plug-in's parameter loading (built with clang
// only, see CMakeLists.txt); seeds in tests/plugin/fuzz/parameters.
#include "ParameterSetCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mattix::test::AbortOnFault(mattix::test::CheckParameterSet(data, size));
}
