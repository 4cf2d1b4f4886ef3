#pragma once
// A small strict JSON reader and writer for project files.
//
// Reading follows RFC 8259 without extensions: no comments, no trailing
// commas, no leading zeros, no NaN or infinity, strings in valid UTF-8 with
// control characters escaped, \u escapes with paired surrogates. An object
// may not repeat a key (checked through a hash set, so reading stays linear
// in the text). Nesting is limited to 64 levels, and the number of values to
// what the caller allows, which bounds the memory a text can take (a value
// takes about 150 bytes). Errors read "NAME:LINE:COLUMN: message" (1-based;
// columns count characters).
//
// Writing is deterministic and diff-friendly: two-space indentation, object
// members in insertion order, one member or element per line, except arrays
// of numbers, booleans and nulls, which stay on one line. Numbers are written
// in the shortest form that reads back to the same double, with ".0" added to
// integral values so that they read as numbers of a real quantity. The
// compact form is the same on one line without spaces (for HTTP answers).
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mattix::host {

class JsonValue {
 public:
  enum class Kind { Null, Bool, Number, String, Array, Object };
  using Member = std::pair<std::string, JsonValue>;

  JsonValue() = default;
  static JsonValue Bool(bool b);
  static JsonValue Number(double d);
  static JsonValue String(std::string s);
  static JsonValue Array(std::vector<JsonValue> elements = {});
  static JsonValue Object(std::vector<Member> members = {});

  Kind kind() const { return m_kind; }
  bool IsNull() const { return m_kind == Kind::Null; }
  bool AsBool() const { return m_bool; }
  double AsNumber() const { return m_number; }
  const std::string& AsString() const { return m_string; }
  const std::vector<JsonValue>& Elements() const { return m_elements; }
  const std::vector<Member>& Members() const { return m_members; }
  // The member with this key, or nullptr.
  const JsonValue* Find(std::string_view key) const;

  // Where the value began in the parsed text (1-based); 0 for built values.
  int line() const { return m_line; }
  int column() const { return m_column; }

  // Appends to an array or an object built in code.
  void Append(JsonValue element) { m_elements.push_back(std::move(element)); }
  void Add(std::string key, JsonValue value) {
    m_members.emplace_back(std::move(key), std::move(value));
  }

  // Parses a whole text of at most `maxValues` values (every number, string,
  // array, object... counts one); `name` (the file) starts error messages.
  // Throws HostError.
  static JsonValue Parse(std::string_view text, const std::string& name,
                         std::size_t maxValues = kDefaultMaxValues);
  static constexpr std::size_t kDefaultMaxValues = std::size_t(1) << 20;

  // The text of the value, ending with a newline. Throws HostError for a
  // number that JSON cannot hold (NaN, infinity).
  std::string Write() const;
  // The same on one line without spaces and without the final newline.
  std::string WriteCompact() const;

 private:
  friend class JsonParser;
  void WriteTo(std::string& out, int indent) const;  // indent < 0: compact

  Kind m_kind = Kind::Null;
  bool m_bool = false;
  double m_number = 0.0;
  std::string m_string;
  std::vector<JsonValue> m_elements;
  std::vector<Member> m_members;
  int m_line = 0;
  int m_column = 0;
};

// A name for a kind in messages: "a number", "an array"...
const char* JsonKindName(JsonValue::Kind kind);

// Formats a double as the writer does ("10.0", "0.1", "1e+300").
std::string FormatJsonNumber(double value);

}  // namespace mattix::host
