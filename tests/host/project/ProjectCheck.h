#pragma once
// The project reader on any text, one body for the libFuzzer target
// (ProjectFuzz.cpp) and the unit tests: a text is refused with a host::HostError or
// read; a project read is written and read back identically, and written
// again to the same text. Any other exception, or a difference, is a fault.
#include "host/base/HostError.h"
#include "host/project/Project.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mattix::test {

// Empty when the property holds, else what went wrong.
inline std::string CheckProjectRoundTrip(const std::uint8_t* data, std::size_t size) {
  project::ProjectSettings read;
  try {
    read = project::ParseProject(std::string_view(reinterpret_cast<const char*>(data), size),
                                 "fuzz.json");
    project::ValidateSettings(read, "fuzz.json");
  } catch (const host::HostError&) {
    return {};
  } catch (const std::exception& e) {
    return std::string("reading threw a non-host::HostError: ") + e.what();
  }
  try {
    const std::string written = project::ProjectToJson(read);
    const project::ProjectSettings again = project::ParseProject(written, "written.json");
    if (!(again == read)) return "the written project reads back differently:\n" + written;
    if (ProjectToJson(again) != written) return "writing again gives another text:\n" + written;
  } catch (const std::exception& e) {
    return std::string("the written project is refused: ") + e.what();
  }
  return {};
}

}  // namespace mattix::test
