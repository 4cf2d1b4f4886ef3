#include "host/project/internal/JsonFields.h"

#include "host/base/HostError.h"

#include <charconv>

namespace mattix::project::internal {

std::string Where(const std::string& file, const host::JsonValue& v) {
  return file + ":" + std::to_string(v.line()) + ":" + std::to_string(v.column()) + ": ";
}

std::string Num(double d) {
  char buffer[32];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, d);
  return std::string(buffer, r.ptr);
}

double ReadNumber(const host::JsonValue& v, const NumberRange& range, const std::string& file,
                  const std::string& context) {
  const std::string field = Where(file, v) + context + "\"" + range.key + "\" must be ";
  if (v.kind() != host::JsonValue::Kind::Number)
    throw host::HostError(field + "a number, not " + host::JsonKindName(v.kind()));
  const double d = v.AsNumber();
  if (!(d >= range.min && d <= range.max))
    throw host::HostError(field + Num(range.min) + " to " + Num(range.max) + ", not " + Num(d));
  return d;
}

}  // namespace mattix::project::internal
