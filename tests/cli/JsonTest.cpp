#include "host/cli/CliError.h"
#include "host/cli/Json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace mattix::cli {
namespace {

TEST(JsonParse, ReadsEveryKindAndKeepsPositions) {
  const std::string text =
      "{\n"
      "  \"a\": [1, -2.5, 3e2, 0, -0.0],\n"
      "  \"b\": {\"t\": true, \"f\": false, \"n\": null},\n"
      "  \"s\": \"x\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\ud83d\\ude00\u00e9\"\n"
      "}";
  JsonValue v = JsonValue::Parse(text, "t.json");
  ASSERT_EQ(v.kind(), JsonValue::Kind::Object);
  ASSERT_EQ(v.Members().size(), 3u);
  const JsonValue* a = v.Find("a");
  ASSERT_TRUE(a);
  ASSERT_EQ(a->Elements().size(), 5u);
  EXPECT_EQ(a->Elements()[0].AsNumber(), 1.0);
  EXPECT_EQ(a->Elements()[1].AsNumber(), -2.5);
  EXPECT_EQ(a->Elements()[2].AsNumber(), 300.0);
  EXPECT_TRUE(std::signbit(a->Elements()[4].AsNumber()));
  EXPECT_EQ(a->line(), 2);
  EXPECT_EQ(a->column(), 8);
  EXPECT_EQ(a->Elements()[1].column(), 12);
  const JsonValue* b = v.Find("b");
  EXPECT_TRUE(b->Find("t")->AsBool());
  EXPECT_FALSE(b->Find("f")->AsBool());
  EXPECT_TRUE(b->Find("n")->IsNull());
  EXPECT_EQ(b->Find("n")->line(), 3);
  EXPECT_EQ(v.Find("s")->AsString(), "x\"\\/\b\f\n\r\t\xC3\xA9\xF0\x9F\x98\x80\xC3\xA9");
  EXPECT_EQ(v.Find("missing"), nullptr);
}

struct BadCase {
  const char* text;
  int line;
  int column;
  const char* message;
};

class JsonBadTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(JsonBadTest, ErrorNamesFileLineAndColumn) {
  const BadCase& c = GetParam();
  try {
    JsonValue::Parse(c.text, "key.json");
    FAIL() << "accepted: " << c.text;
  } catch (const CliError& e) {
    const std::string expected =
        "key.json:" + std::to_string(c.line) + ":" + std::to_string(c.column) + ": ";
    EXPECT_EQ(std::string(e.what()).rfind(expected, 0), 0u) << e.what();
    EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonBadTest,
    ::testing::Values(
        BadCase{"", 1, 1, "end of the file"}, BadCase{"{\"a\": 1,}", 1, 9, "trailing comma"},
        BadCase{"[1, 2,]", 1, 7, "trailing comma"},
        BadCase{"{\n  \"a\": 01\n}", 2, 8, "leading zeros"},
        BadCase{"{\"a\": 1, \"a\": 2}", 1, 10, "appears twice"},
        BadCase{"// c\n{}", 1, 1, "expected a value"}, BadCase{"[NaN]", 1, 2, "expected a value"},
        BadCase{"[Infinity]", 1, 2, "expected a value"}, BadCase{"[1e999]", 1, 2, "too large"},
        BadCase{"[-]", 1, 3, "expected a digit"}, BadCase{"[1.]", 1, 4, "after the decimal point"},
        BadCase{"[1e]", 1, 4, "exponent"}, BadCase{"[.5]", 1, 2, "expected a value"},
        BadCase{"[+1]", 1, 2, "expected a value"}, BadCase{"\"abc", 1, 1, "unterminated"},
        BadCase{"\"a\tb\"", 1, 3, "control character"}, BadCase{"\"\\x\"", 1, 4, "unknown escape"},
        BadCase{"\"\\ud800\"", 1, 8, "unpaired surrogate"},
        BadCase{"\"\\udc00\"", 1, 8, "unpaired surrogate"},
        BadCase{"\"\\u12g4\"", 1, 6, "hexadecimal"}, BadCase{"\"\xC3\"", 1, 2, "UTF-8"},
        BadCase{"\"\xC0\x80\"", 1, 2, "UTF-8"}, BadCase{"\"\xED\xA0\x80\"", 1, 2, "UTF-8"},
        BadCase{"{} {}", 1, 4, "after the end"}, BadCase{"{\"a\" 1}", 1, 6, "':'"},
        BadCase{"{a: 1}", 1, 2, "member name"}, BadCase{"[1 2]", 1, 4, "',' or ']'"},
        BadCase{"[tru]", 1, 2, "expected true"}, BadCase{"[nulll]", 1, 2, "unknown word"},
        BadCase{"{\n\"\xC3\xA9\xC3\xA9\": x}", 2, 7, "expected a value"}));

TEST(JsonParse, NestingIsLimited) {
  EXPECT_NO_THROW(JsonValue::Parse(std::string(64, '[') + std::string(64, ']'), "d.json"));
  EXPECT_THROW(JsonValue::Parse(std::string(100000, '['), "d.json"), CliError);
}

TEST(JsonParse, UnderflowReadsAsZero) {
  EXPECT_EQ(JsonValue::Parse("1e-400", "u.json").AsNumber(), 0.0);
}

struct NumberCase {
  double value;
  const char* text;
};

TEST(JsonWrite, NumbersAreShortestAndLookReal) {
  const NumberCase cases[] = {{10.0, "10.0"},
                              {0.1, "0.1"},
                              {-0.0, "-0.0"},
                              {100.0, "100.0"},
                              {1e300, "1e+300"},
                              {2.5e-8, "2.5e-08"},
                              {123456789.0, "123456789.0"}};
  for (const NumberCase& c : cases) EXPECT_EQ(FormatJsonNumber(c.value), c.text);
  EXPECT_THROW(FormatJsonNumber(std::numeric_limits<double>::quiet_NaN()), CliError);
  EXPECT_THROW(FormatJsonNumber(std::numeric_limits<double>::infinity()), CliError);
}

TEST(JsonWrite, RandomDoublesReadBackExactly) {
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

TEST(JsonWrite, LayoutIsStable) {
  JsonValue v = JsonValue::Object();
  v.Add("version", JsonValue::Number(1));
  v.Add("list", JsonValue::Array({JsonValue::Number(0), JsonValue::Number(100)}));
  v.Add("lines", JsonValue::Array({JsonValue::String("ab"), JsonValue::String("c\"\n\x01")}));
  v.Add("empty", JsonValue::Array());
  v.Add("nested", JsonValue::Object({{"x", JsonValue::Bool(true)}, {"y", JsonValue()}}));
  const std::string expected =
      "{\n"
      "  \"version\": 1.0,\n"
      "  \"list\": [0.0, 100.0],\n"
      "  \"lines\": [\n"
      "    \"ab\",\n"
      "    \"c\\\"\\n\\u0001\"\n"
      "  ],\n"
      "  \"empty\": [],\n"
      "  \"nested\": {\n"
      "    \"x\": true,\n"
      "    \"y\": null\n"
      "  }\n"
      "}\n";
  EXPECT_EQ(v.Write(), expected);
  // And what it writes reads back to the same text.
  EXPECT_EQ(JsonValue::Parse(v.Write(), "w.json").Write(), expected);
}

}  // namespace
}  // namespace mattix::cli
