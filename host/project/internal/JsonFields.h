#pragma once

#include "host/base/Json.h"

#include <string>

namespace mattix::project::internal {

// A number field of the project file and the closed range it must lie in.
struct NumberRange {
  const char* key;
  double min;
  double max;
};

// "file:line:column: " of a value, the prefix of every error about it.
std::string Where(const std::string& file, const host::JsonValue& v);

// The shortest text that reads back as d (no trailing zeros).
std::string Num(double d);

// The value of a number field, or a HostError naming the file, the place,
// the field (after `context`, e.g. "\"finishing\": ") and its range.
double ReadNumber(const host::JsonValue& v, const NumberRange& range, const std::string& file,
                  const std::string& context = {});

}  // namespace mattix::project::internal
