// libFuzzer target for the PNG reader (built with clang only, see
// CMakeLists.txt); seeds in tests/cli/fuzz/png.
#include "PngCheck.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string fault = mattix::test::CheckPngRoundTrip(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "%s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
