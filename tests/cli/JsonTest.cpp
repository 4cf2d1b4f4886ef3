// The strict JSON reader and the writer: values and positions, a table of
// refused texts with their positions, and numbers that read back exactly.
// (The written layout is checked through the project file.)
#include "host/cli/CliError.h"
#include "host/cli/Json.h"
#include "tests/cli/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace mattix::cli {
namespace {

TEST(Json, ReadsEveryKindAndKeepsPositions) {
  const JsonValue v = JsonValue::Parse(
      "{\n  \"a\": [1, -2.5, 3e2, -0.0, 1e-400],\n  \"b\": {\"t\": true, \"n\": null},\n"
      "  \"s\": \"x\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\ud83d\\ude00\u00e9\"\n}",
      "t.json");
  const std::vector<JsonValue>& a = v.Find("a")->Elements();
  ASSERT_EQ(a.size(), 5u);
  EXPECT_EQ(a[1].AsNumber(), -2.5);
  EXPECT_EQ(a[2].AsNumber(), 300.0);
  EXPECT_TRUE(std::signbit(a[3].AsNumber()));
  EXPECT_EQ(a[4].AsNumber(), 0.0);  // underflow reads as zero
  EXPECT_EQ(v.Find("a")->line(), 2);
  EXPECT_EQ(v.Find("a")->column(), 8);
  EXPECT_EQ(a[1].column(), 12);
  EXPECT_TRUE(v.Find("b")->Find("t")->AsBool());
  EXPECT_TRUE(v.Find("b")->Find("n")->IsNull());
  EXPECT_EQ(v.Find("s")->AsString(), "x\"\\/\b\f\n\r\t\xC3\xA9\xF0\x9F\x98\x80\xC3\xA9");
  EXPECT_EQ(v.Find("missing"), nullptr);
}

// Each text is refused with an error starting "key.json:LINE:COLUMN: " and
// holding the reason.
TEST(Json, RefusedTextsNameFileLineAndColumn) {
  // clang-format off
  const char* const cases[][3] = {
      {"", "1:1", "end of the file"}, {"{\"a\": 1,}", "1:9", "trailing comma"},
      {"[1, 2,]", "1:7", "trailing"}, {"{\n  \"a\": 01\n}", "2:8", "leading zeros"},
      {"{\"a\": 1, \"a\": 2}", "1:10", "appears twice"}, {"// c\n{}", "1:1", "expected a value"},
      {"[NaN]", "1:2", "expected a value"}, {"[Infinity]", "1:2", "expected a value"},
      {"[1e999]", "1:2", "too large"}, {"[-]", "1:3", "expected a digit"},
      {"[1.]", "1:4", "decimal point"}, {"[1e]", "1:4", "exponent"},
      {"[.5]", "1:2", "expected a value"}, {"[+1]", "1:2", "expected a value"},
      {"\"abc", "1:1", "unterminated"}, {"\"a\tb\"", "1:3", "control character"},
      {"\"\\x\"", "1:4", "unknown escape"}, {"\"\\ud800\"", "1:8", "unpaired surrogate"},
      {"\"\\udc00\"", "1:8", "unpaired surrogate"}, {"\"\\u12g4\"", "1:6", "hexadecimal"},
      {"\"\xC3\"", "1:2", "UTF-8"}, {"\"\xC0\x80\"", "1:2", "UTF-8"},
      {"\"\xED\xA0\x80\"", "1:2", "UTF-8"}, {"{} {}", "1:4", "after the end"},
      {"{\"a\" 1}", "1:6", "':'"}, {"{a: 1}", "1:2", "member name"}, {"[1 2]", "1:4", "',' or ']'"},
      {"[tru]", "1:2", "expected true"}, {"[nulll]", "1:2", "unknown word"},
      {"{\n\"\xC3\xA9\xC3\xA9\": x}", "2:7", "expected a value"}};
  // clang-format on
  for (const auto& [text, where, reason] : cases) {
    const std::string error = testing::ErrorOf([&] { JsonValue::Parse(text, "key.json"); });
    EXPECT_EQ(error.rfind("key.json:" + std::string(where) + ": ", 0), 0u)
        << text << " -> " << error;
    EXPECT_NE(error.find(reason), std::string::npos) << text << " -> " << error;
  }
  EXPECT_NO_THROW(JsonValue::Parse(std::string(64, '[') + std::string(64, ']'), "d.json"));
  EXPECT_THROW(JsonValue::Parse(std::string(100000, '['), "d.json"), CliError);
}

TEST(Json, WrittenNumbersAreShortAndReadBackExactly) {
  const std::pair<double, const char*> cases[] = {
      {10.0, "10.0"},    {0.1, "0.1"},        {-0.0, "-0.0"},
      {1e300, "1e+300"}, {2.5e-8, "2.5e-08"}, {123456789.0, "123456789.0"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatJsonNumber(value), text);
  EXPECT_THROW(FormatJsonNumber(std::nan("")), CliError);
  EXPECT_THROW(FormatJsonNumber(HUGE_VAL), CliError);
  std::mt19937_64 rng(99);
  for (int i = 0; i < 2000; ++i) {
    double d;
    const std::uint64_t bits = rng();
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d)) continue;
    const double back = JsonValue::Parse(FormatJsonNumber(d), "n.json").AsNumber();
    EXPECT_EQ(std::memcmp(&back, &d, sizeof d), 0) << FormatJsonNumber(d);
  }
}

}  // namespace
}  // namespace mattix::cli
