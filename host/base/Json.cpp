#include "host/base/Json.h"

#include "host/base/HostError.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unordered_set>

namespace mattix::host {

JsonValue JsonValue::Bool(bool b) {
  JsonValue v;
  v.m_kind = Kind::Bool;
  v.m_bool = b;
  return v;
}

JsonValue JsonValue::Number(double d) {
  JsonValue v;
  v.m_kind = Kind::Number;
  v.m_number = d;
  return v;
}

JsonValue JsonValue::String(std::string s) {
  JsonValue v;
  v.m_kind = Kind::String;
  v.m_string = std::move(s);
  return v;
}

JsonValue JsonValue::Array(std::vector<JsonValue> elements) {
  JsonValue v;
  v.m_kind = Kind::Array;
  v.m_elements = std::move(elements);
  return v;
}

JsonValue JsonValue::Object(std::vector<Member> members) {
  JsonValue v;
  v.m_kind = Kind::Object;
  v.m_members = std::move(members);
  return v;
}

const JsonValue* JsonValue::Find(std::string_view key) const {
  for (const Member& m : m_members)
    if (m.first == key) return &m.second;
  return nullptr;
}

const char* JsonKindName(JsonValue::Kind kind) {
  switch (kind) {
    case JsonValue::Kind::Null:
      return "null";
    case JsonValue::Kind::Bool:
      return "a boolean";
    case JsonValue::Kind::Number:
      return "a number";
    case JsonValue::Kind::String:
      return "a string";
    case JsonValue::Kind::Array:
      return "an array";
    case JsonValue::Kind::Object:
      return "an object";
  }
  return "a value";
}

class JsonParser {
 public:
  JsonParser(std::string_view text, const std::string& name, std::size_t maxValues)
      : m_text(text), m_name(name), m_maxValues(maxValues) {}

  JsonValue ParseDocument() {
    SkipSpace();
    JsonValue v = ParseValue(0);
    SkipSpace();
    if (m_pos != m_text.size()) Fail("unexpected text after the end of the document");
    return v;
  }

 private:
  static constexpr int kMaxDepth = 64;

  [[noreturn]] void Fail(const std::string& message) const { FailAt(m_line, m_column, message); }
  [[noreturn]] void FailAt(int line, int column, const std::string& message) const {
    throw HostError(m_name + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                    message);
  }

  bool AtEnd() const { return m_pos >= m_text.size(); }
  char Peek() const { return m_text[m_pos]; }

  // Advances one byte, keeping line and column (columns count characters:
  // UTF-8 continuation bytes do not move the column).
  void Advance() {
    const unsigned char c = static_cast<unsigned char>(m_text[m_pos++]);
    if (c == '\n') {
      ++m_line;
      m_column = 1;
    } else if ((c & 0xC0) != 0x80) {
      ++m_column;
    }
  }

  void SkipSpace() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r'))
      Advance();
  }

  void Expect(char c, const char* what) {
    if (AtEnd() || Peek() != c) Fail(std::string("expected ") + what);
    Advance();
  }

  std::string Describe() const {
    if (AtEnd()) return "the end of the file";
    const unsigned char c = static_cast<unsigned char>(Peek());
    if (c >= 0x20 && c < 0x7F) return std::string("'") + char(c) + "'";
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "byte 0x%02X", c);
    return buffer;
  }

  JsonValue ParseValue(int depth) {
    if (depth > kMaxDepth) Fail("nesting deeper than 64 levels");
    if (++m_values > m_maxValues)
      Fail("more than " + std::to_string(m_maxValues) + " values, more than this file may hold");
    const int line = m_line, column = m_column;
    JsonValue v;
    if (AtEnd()) Fail("expected a value, found the end of the file");
    switch (Peek()) {
      case '{':
        v = ParseObject(depth);
        break;
      case '[':
        v = ParseArray(depth);
        break;
      case '"':
        v = JsonValue::String(ParseString());
        break;
      case 't':
        ParseWord("true");
        v = JsonValue::Bool(true);
        break;
      case 'f':
        ParseWord("false");
        v = JsonValue::Bool(false);
        break;
      case 'n':
        ParseWord("null");
        break;
      default:
        if (Peek() == '-' || (Peek() >= '0' && Peek() <= '9')) {
          v = ParseNumber();
        } else {
          Fail("expected a value, found " + Describe());
        }
    }
    v.m_line = line;
    v.m_column = column;
    return v;
  }

  void ParseWord(const char* word) {
    const int line = m_line, column = m_column;
    for (const char* p = word; *p; ++p) {
      if (AtEnd() || Peek() != *p) FailAt(line, column, std::string("expected ") + word);
      Advance();
    }
    if (!AtEnd() && ((Peek() >= 'a' && Peek() <= 'z') || (Peek() >= '0' && Peek() <= '9')))
      FailAt(line, column, "unknown word");
  }

  JsonValue ParseNumber() {
    const int line = m_line, column = m_column;
    const std::size_t start = m_pos;
    auto digits = [&] {
      std::size_t n = 0;
      while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
        Advance();
        ++n;
      }
      return n;
    };
    if (Peek() == '-') Advance();
    if (AtEnd() || Peek() < '0' || Peek() > '9') Fail("expected a digit");
    if (Peek() == '0') {
      Advance();
      if (!AtEnd() && Peek() >= '0' && Peek() <= '9')
        FailAt(line, column, "leading zeros are not allowed");
    } else {
      digits();
    }
    if (!AtEnd() && Peek() == '.') {
      Advance();
      if (digits() == 0) Fail("expected a digit after the decimal point");
    }
    if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
      Advance();
      if (!AtEnd() && (Peek() == '+' || Peek() == '-')) Advance();
      if (digits() == 0) Fail("expected a digit in the exponent");
    }
    double value = 0.0;
    const char* first = m_text.data() + start;
    const char* last = m_text.data() + m_pos;
    const std::from_chars_result r = std::from_chars(first, last, value);
    if (r.ec == std::errc::result_out_of_range) {
      // Either too large for a double or so small that it underflows;
      // strtod tells them apart (the grammar above has checked the text).
      const double rough = std::strtod(std::string(first, last).c_str(), nullptr);
      if (std::isinf(rough)) FailAt(line, column, "number is too large");
      value = rough;
    } else if (r.ec != std::errc() || r.ptr != last) {
      FailAt(line, column, "malformed number");
    }
    return JsonValue::Number(value);
  }

  unsigned ParseHex4() {
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) {
      if (AtEnd()) Fail("unfinished \\u escape");
      const char c = Peek();
      int d;
      if (c >= '0' && c <= '9')
        d = c - '0';
      else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
      else
        Fail("expected a hexadecimal digit in a \\u escape");
      v = v * 16 + unsigned(d);
      Advance();
    }
    return v;
  }

  static void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | (cp >> 6));
      out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += char(0xE0 | (cp >> 12));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xF0 | (cp >> 18));
      out += char(0x80 | ((cp >> 12) & 0x3F));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  }

  // Copies one UTF-8 encoded character, refusing overlong forms,
  // surrogates and code points above U+10FFFF.
  void CopyUtf8(std::string& out) {
    const int line = m_line, column = m_column;
    const unsigned char c = static_cast<unsigned char>(Peek());
    int extra;
    std::uint32_t cp, min;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
      min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
      min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
      min = 0x10000;
    } else
      FailAt(line, column, "invalid UTF-8 in a string");
    const std::size_t start = m_pos;
    Advance();
    for (int i = 0; i < extra; ++i) {
      if (AtEnd() || (static_cast<unsigned char>(Peek()) & 0xC0) != 0x80)
        FailAt(line, column, "invalid UTF-8 in a string");
      cp = cp << 6 | (static_cast<unsigned char>(Peek()) & 0x3F);
      Advance();
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      FailAt(line, column, "invalid UTF-8 in a string");
    out.append(m_text.substr(start, m_pos - start));
  }

  std::string ParseString() {
    const int line = m_line, column = m_column;
    Advance();  // the opening quote
    std::string out;
    for (;;) {
      if (AtEnd()) FailAt(line, column, "unterminated string");
      const unsigned char c = static_cast<unsigned char>(Peek());
      if (c == '"') {
        Advance();
        return out;
      }
      if (c < 0x20) Fail("control character in a string (escape it)");
      if (c >= 0x80) {
        CopyUtf8(out);
        continue;
      }
      if (c != '\\') {
        out += char(c);
        Advance();
        continue;
      }
      Advance();
      if (AtEnd()) FailAt(line, column, "unterminated string");
      const char e = Peek();
      Advance();
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          std::uint32_t cp = ParseHex4();
          if (cp >= 0xDC00 && cp <= 0xDFFF) Fail("unpaired surrogate in a \\u escape");
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (AtEnd() || Peek() != '\\') Fail("unpaired surrogate in a \\u escape");
            Advance();
            if (AtEnd() || Peek() != 'u') Fail("unpaired surrogate in a \\u escape");
            Advance();
            const std::uint32_t low = ParseHex4();
            if (low < 0xDC00 || low > 0xDFFF) Fail("unpaired surrogate in a \\u escape");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, cp);
          break;
        }
        default:
          Fail("unknown escape in a string");
      }
    }
  }

  JsonValue ParseArray(int depth) {
    Advance();
    JsonValue v = JsonValue::Array();
    SkipSpace();
    if (!AtEnd() && Peek() == ']') {
      Advance();
      return v;
    }
    for (;;) {
      SkipSpace();
      v.m_elements.push_back(ParseValue(depth + 1));
      SkipSpace();
      if (!AtEnd() && Peek() == ',') {
        Advance();
        SkipSpace();
        if (!AtEnd() && Peek() == ']') Fail("trailing comma before ']'");
        continue;
      }
      if (!AtEnd() && Peek() == ']') {
        Advance();
        return v;
      }
      Fail("expected ',' or ']' in an array, found " + Describe());
    }
  }

  JsonValue ParseObject(int depth) {
    Advance();
    JsonValue v = JsonValue::Object();
    std::unordered_set<std::string> keys;
    SkipSpace();
    if (!AtEnd() && Peek() == '}') {
      Advance();
      return v;
    }
    for (;;) {
      SkipSpace();
      if (AtEnd() || Peek() != '"') Fail("expected a member name in quotes, found " + Describe());
      const int keyLine = m_line, keyColumn = m_column;
      std::string key = ParseString();
      if (!keys.insert(key).second) FailAt(keyLine, keyColumn, "\"" + key + "\" appears twice");
      SkipSpace();
      Expect(':', "':' after a member name");
      SkipSpace();
      JsonValue member = ParseValue(depth + 1);
      v.m_members.emplace_back(std::move(key), std::move(member));
      SkipSpace();
      if (!AtEnd() && Peek() == ',') {
        Advance();
        SkipSpace();
        if (!AtEnd() && Peek() == '}') Fail("trailing comma before '}'");
        continue;
      }
      if (!AtEnd() && Peek() == '}') {
        Advance();
        return v;
      }
      Fail("expected ',' or '}' in an object, found " + Describe());
    }
  }

  std::string_view m_text;
  const std::string& m_name;
  std::size_t m_maxValues;
  std::size_t m_values = 0;
  std::size_t m_pos = 0;
  int m_line = 1;
  int m_column = 1;
};

JsonValue JsonValue::Parse(std::string_view text, const std::string& name, std::size_t maxValues) {
  return JsonParser(text, name, maxValues).ParseDocument();
}

std::string FormatJsonNumber(double value) {
  if (!std::isfinite(value)) throw HostError("cannot write a non-finite number in JSON");
  char buffer[64];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string s(buffer, r.ptr);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

namespace {

void WriteString(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out += buffer;
        } else {
          out += char(c);
        }
    }
  }
  out += '"';
}

bool IsScalar(const JsonValue& v) {
  return v.kind() == JsonValue::Kind::Null || v.kind() == JsonValue::Kind::Bool ||
         v.kind() == JsonValue::Kind::Number;
}

}  // namespace

void JsonValue::WriteTo(std::string& out, int indent) const {
  const bool compact = indent < 0;
  const std::string pad(compact ? 0 : std::size_t(indent + 2), ' ');
  switch (m_kind) {
    case Kind::Null:
      out += "null";
      break;
    case Kind::Bool:
      out += m_bool ? "true" : "false";
      break;
    case Kind::Number:
      out += FormatJsonNumber(m_number);
      break;
    case Kind::String:
      WriteString(out, m_string);
      break;
    case Kind::Array: {
      if (m_elements.empty()) {
        out += "[]";
        break;
      }
      bool inlineArray = true;
      for (const JsonValue& e : m_elements) inlineArray = inlineArray && IsScalar(e);
      out += '[';
      for (std::size_t i = 0; i < m_elements.size(); ++i) {
        if (i) out += inlineArray && !compact ? ", " : ",";
        if (!inlineArray && !compact) out += "\n" + pad;
        m_elements[i].WriteTo(out, compact ? indent : indent + 2);
      }
      if (!inlineArray && !compact) out += "\n" + std::string(std::size_t(indent), ' ');
      out += ']';
      break;
    }
    case Kind::Object: {
      if (m_members.empty()) {
        out += "{}";
        break;
      }
      out += '{';
      for (std::size_t i = 0; i < m_members.size(); ++i) {
        if (i) out += ',';
        if (!compact) out += "\n" + pad;
        WriteString(out, m_members[i].first);
        out += compact ? ":" : ": ";
        m_members[i].second.WriteTo(out, compact ? indent : indent + 2);
      }
      if (!compact) out += "\n" + std::string(std::size_t(indent), ' ');
      out += '}';
      break;
    }
  }
}

std::string JsonValue::Write() const {
  std::string out;
  WriteTo(out, 0);
  out += '\n';
  return out;
}

std::string JsonValue::WriteCompact() const {
  std::string out;
  WriteTo(out, -1);
  return out;
}

}  // namespace mattix::host
