#pragma once
// The project reader on any text, one body for the libFuzzer target
// (ProjectFuzz.cpp) and the unit tests: a text is refused with a CliError or
// read; a project read is written and read back identically, and written
// again to the same text. Any other exception, or a difference, is a fault.
#include "host/cli/CliError.h"
#include "host/cli/Project.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mattix::cli::testing {

// Empty when the property holds, else what went wrong.
inline std::string CheckProjectRoundTrip(const std::uint8_t* data, std::size_t size) {
  ProjectSettings read;
  try {
    read = ParseProject(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.json");
    ValidateSettings(read, "fuzz.json");
  } catch (const CliError&) {
    return {};
  } catch (const std::exception& e) {
    return std::string("reading threw a non-CliError: ") + e.what();
  }
  try {
    const std::string written = ProjectToJson(read);
    const ProjectSettings again = ParseProject(written, "written.json");
    if (!(again == read)) return "the written project reads back differently:\n" + written;
    if (ProjectToJson(again) != written) return "writing again gives another text:\n" + written;
  } catch (const std::exception& e) {
    return std::string("the written project is refused: ") + e.what();
  }
  return {};
}

}  // namespace mattix::cli::testing
