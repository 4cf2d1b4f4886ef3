// libFuzzer target for the plug-in's parameter loading (built with clang
// only, see CMakeLists.txt); seeds in tests/plugin/fuzz/parameters.
#include "ParameterSetCheck.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string fault = mattix::test::CheckParameterSet(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "%s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
