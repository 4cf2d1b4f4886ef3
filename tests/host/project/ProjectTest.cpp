// The project file and its layers. Base64: every length against
// a bitwise reference, strictness. JSON: values and positions, refused texts
// with their positions, numbers that read back exactly. Projects: layout,
// defaults, random round trips, refusals naming place and reason, the
// command-line number parsers, and the fuzz body on its seeds.
#include "host/base/Base64.h"
#include "host/base/HostError.h"
#include "host/base/Json.h"
#include "host/project/MaskRecord.h"
#include "host/project/Project.h"
#include "tests/FuzzSeeds.h"
#include "tests/host/TestSupport.h"
#include "tests/host/project/ProjectCheck.h"
#include "tests/pixmill/Rle8Check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <bitset>
#include <cmath>
#include <cstring>
#include <random>
#include <tuple>

namespace mattix::project {
namespace {

// Reference decoder: the text as a string of 6-bit groups, cut into bytes.
std::vector<std::uint8_t> BitwiseDecode(const std::string& text) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bits;
  for (char c : text.substr(0, text.find('=')))
    bits += std::bitset<6>(alphabet.find(c)).to_string();
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 8 <= bits.size(); i += 8)
    out.push_back(std::uint8_t(std::bitset<8>(bits.substr(i, 8)).to_ulong()));
  return out;
}

// Every length against the bitwise reference (which with the exact length
// and the strict decoder's round trip pins padding and spare bits, as RFC
// 4648's vectors would), and non-canonical or malformed text refused with
// its position.
TEST(Base64, RoundTripAndStrictness) {
  std::mt19937 rng(7);
  for (std::size_t n = 0; n < 200; ++n) {
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes) b = std::uint8_t(rng());
    const std::string text = host::Base64Encode(bytes);
    ASSERT_EQ(text.size(), (n + 2) / 3 * 4);
    EXPECT_EQ(BitwiseDecode(text), bytes) << n;
    EXPECT_EQ(host::Base64Decode(text, nullptr), bytes) << n;
  }
  for (const char* text : {"Zg=", "Zh==", "Zm9=", "Z===", "Zm9v\n", "Zm 9v", "=Zm9",
                           "Zg==Zg==", "Zm9-", "Zm9_", "Zm9vYg=a", "Zm8", "===="}) {
    std::string error;
    EXPECT_FALSE(host::Base64Decode(text, &error)) << text;
    EXPECT_TRUE(test::Holds(error, "at character")) << text;
  }
}

TEST(Json, ReadsEveryKindAndKeepsPositions) {
  const host::JsonValue v = host::JsonValue::Parse(
      "{\n  \"a\": [1, -2.5, 3e2, -0.0, 1e-400],\n  \"b\": {\"t\": true, \"n\": null},\n"
      "  \"s\": \"x\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\uD83D\\uDE00\u00e9\"\n}",
      "t.json");
  const std::vector<host::JsonValue>& a = v.Find("a")->Elements();
  std::vector<double> numbers;
  for (const host::JsonValue& n : a) numbers.push_back(n.AsNumber());
  EXPECT_EQ(numbers, (std::vector<double>{1, -2.5, 300, 0, 0}));  // underflow reads as zero
  EXPECT_TRUE(std::signbit(a[3].AsNumber()));
  EXPECT_EQ(std::tuple(v.Find("a")->line(), v.Find("a")->column(), a[1].column()),
            std::tuple(2, 8, 12));
  EXPECT_TRUE(v.Find("b")->Find("t")->AsBool() && v.Find("b")->Find("n")->IsNull());
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
      {"[NaN]", "1:2", "expected a value"}, {"[1e999]", "1:2", "too large"},
      {"[-]", "1:3", "expected a digit"}, {"[1.]", "1:4", "decimal point"},
      {"[1e]", "1:4", "exponent"}, {"[.5]", "1:2", "expected a value"},
      {"\"abc", "1:1", "unterminated"}, {"\"a\tb\"", "1:3", "control character"},
      {"\"\\x\"", "1:4", "unknown escape"}, {"\"\\ud800\"", "1:8", "unpaired surrogate"},
      {"\"\\u12g4\"", "1:6", "hexadecimal"}, {"\"\xC3\"", "1:2", "UTF-8"},
      {"\"\xC0\x80\"", "1:2", "UTF-8"}, {"\"\xED\xA0\x80\"", "1:2", "UTF-8"},
      {"{} {}", "1:4", "after the end"}, {"{\"a\" 1}", "1:6", "':'"},
      {"{a: 1}", "1:2", "member name"}, {"[1 2]", "1:4", "',' or ']'"},
      {"[tru]", "1:2", "expected true"}, {"[nulll]", "1:2", "unknown word"},
      {"{\n\"\xC3\xA9\xC3\xA9\": x}", "2:7", "expected a value"}};
  // clang-format on
  for (const auto& [text, where, reason] : cases) {
    const std::string error = test::ErrorOf([&t = text] { host::JsonValue::Parse(t, "key.json"); });
    EXPECT_TRUE(error.starts_with("key.json:" + std::string(where) + ": ")) << error;
    EXPECT_TRUE(test::Holds(error, reason)) << text;
  }
  EXPECT_NO_THROW(host::JsonValue::Parse(std::string(64, '[') + std::string(64, ']'), "d.json"));
  EXPECT_THROW(host::JsonValue::Parse(std::string(100000, '['), "d.json"), host::HostError);
}

TEST(Json, WrittenNumbersAreShortAndReadBackExactly) {
  const std::pair<double, const char*> cases[] = {
      {10.0, "10.0"},    {0.1, "0.1"},        {-0.0, "-0.0"},
      {1e300, "1e+300"}, {2.5e-8, "2.5e-08"}, {123456789.0, "123456789.0"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(host::FormatJsonNumber(value), text);
  EXPECT_THROW(host::FormatJsonNumber(std::nan("")), host::HostError);
  EXPECT_THROW(host::FormatJsonNumber(HUGE_VAL), host::HostError);
  std::mt19937_64 rng(99);
  for (int i = 0; i < 2000; ++i) {
    const double d = std::bit_cast<double>(std::uint64_t(rng()));
    if (!std::isfinite(d)) continue;
    const double back = host::JsonValue::Parse(host::FormatJsonNumber(d), "n.json").AsNumber();
    EXPECT_EQ(back, d) << host::FormatJsonNumber(d);  // bit for bit, but for zero's sign
  }
}

std::string ParseError(const std::string& text) {
  return test::ErrorOf([&] { ParseProject(text, "key.json"); });
}

// A real mask record: a 241 x 209 picture whose pixels are `value` where
// rng picks them (one in `sparsity`), else 0.
std::vector<std::uint8_t> RecordOf(std::mt19937& rng, std::uint8_t value, unsigned sparsity) {
  media::GreyImage picture(241, 209);
  for (auto& p : picture.pixels) p = rng() % sparsity == 0 ? value : 0;
  return MaskRecordFromPicture(picture, "mask");
}

TEST(Project, LayoutAndDefaultsForOmittedMembers) {
  EXPECT_EQ(ProjectToJson(ProjectSettings{}),
            "{\n  \"format\": \"mattix-project\",\n  \"version\": 1.0,\n  \"softness\": 0.0,\n"
            "  \"spillSuppression\": 0.0,\n  \"keyRed\": 0.0,\n  \"keyGreen\": 0.0,\n"
            "  \"keyBlue\": 0.0,\n  \"lightness\": [0.0, 0.0, 100.0, 100.0],\n"
            "  \"chromaMask\": null\n}\n");
  const std::string head = R"({"format": "mattix-project", "version": 1, "softness": 12.5,
      "lightness": [5, 10, 90, 95], "chromaMask": )";
  // A record split over lines; 6 bytes alone are too short; 144 zero bytes
  // then 1, 2, 3 do not decode.
  std::mt19937 rng(1);
  const std::vector<std::uint8_t> record = RecordOf(rng, 200, 5);
  const std::string text = host::Base64Encode(record);
  const ProjectSettings s =
      ParseProject(head + "[\"" + text.substr(0, 192) + "\", \"" + text.substr(192) + "\"]}", "");
  EXPECT_EQ(s, (ProjectSettings{12.5, 0, 0, 0, 0, {5, 10, 90, 95}, record, {}}));
  EXPECT_TRUE(test::Holds(ParseError(head + "[\"AAAA\", \"AQID\"]}"), "at least 144"));
  EXPECT_TRUE(test::Holds(ParseError(head + "[\"" + std::string(192, 'A') + "\", \"AQID\"]}"),
                          "\"chromaMask\" is damaged"));
  std::vector<std::uint8_t> cut(record.begin(), record.end() - 1);
  EXPECT_TRUE(test::Holds(ParseError(head + "\"" + host::Base64Encode(cut) + "\"}"), "is damaged"));
}

TEST(Project, RandomSettingsRoundTrip) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> percent(0.0, 100.0), channel(0.0, 255.0);
  for (int round = 0; round < 50; ++round) {
    ProjectSettings s;
    s.softness = percent(rng);
    s.spillSuppression = round == 0 ? 100.0 : percent(rng);
    s.keyRed = channel(rng);
    s.keyBlue = round == 1 ? 255.0 : channel(rng);
    for (double& l : s.lightness) l = percent(rng);
    std::sort(s.lightness.begin(), s.lightness.end());
    s.chromaMask = RecordOf(rng, std::uint8_t(1 + rng() % 255), 1 + rng() % 300);
    // Every other project finishes its matte with every setting (shapes
    // below); the others must read back off.
    if (round % 2) {
      const ScreenChannel screen = round % 4 == 1 ? ScreenChannel::kBlue : ScreenChannel::kGreen;
      // clang-format off
      s.finishing = {.despill = percent(rng), .despillEdge = percent(rng) / 4,
                     .unmix = percent(rng), .screen = screen, .refine = percent(rng) / 20,
                     .clipBlack = percent(rng) / 2, .clipWhite = 50 + percent(rng) / 2,
                     .closeHoles = percent(rng), .shrinkGrow = (percent(rng) - 50) / 10,
                     .feather = percent(rng) / 20, .shapes = {}};
      // clang-format on
      for (int k = 0; k < round % 3; ++k)
        s.finishing.shapes.push_back({k == 1, {{0.5, 1}, {percent(rng), -2}, {30, channel(rng)}}});
    }
    const std::string text = ProjectToJson(s);
    EXPECT_EQ(ParseProject(text, "r.json"), s) << text;
  }
}

// What `project show` and `key auto` say of the finishing: each step that
// is on, in the order the steps run.
TEST(Project, FinishingIsDescribedStepByStep) {
  MatteFinishing f;
  EXPECT_EQ(DescribeFinishing(f), "off");
  f = {50, 10, 100, ScreenChannel::kBlue, 1.5, 2, 98, 0.5, -0.5, 1, {{false, {}}, {true, {}}}};
  EXPECT_EQ(DescribeFinishing(f),
            "refine 1.5 px, clip 2 to 98 %, close holes 0.5 %, shrink/grow -0.5 px, feather 1 px, "
            "unmix 100 %, "
            "despill 50 %, despill edge 10 px, blue screen, 2 shape(s)");
}

// A record of a w x h mask of one grey level, made by the record encoder
// (which takes any size) as a foreign writer would.
std::vector<std::uint8_t> RecordOfSize(int w, int h) {
  return pixmill_test::MaskRecordOf(w, h, [](int, int) { return 200; });
}

// Projects refused naming the project, the place and the reason: the
// wrong kind of text, settings out of range or misspelt; and hostile ones
// through the one reader: records of any size but the wheel's (a 391-byte project
// whose record claims 16384 x 16384 is refused from the header, before
// anything is decoded), too many keys, values, or bytes. The limits are
// those Project.h documents.
TEST(Project, RefusedWithPlaceAndReasonHostileOnesByTheOneReader) {
  const std::string bare = "{\"format\": \"mattix-project\", \"version\": 1", head = bare + ", ";
  const auto withMask = [&](const std::vector<std::uint8_t>& record) {
    return head + "\"chromaMask\": \"" + host::Base64Encode(record) + "\"}";
  };
  std::vector<std::uint8_t> huge = RecordOfSize(8, 8);
  const std::int32_t side = 16384;  // biWidth and biHeight, at bytes 4 and 8
  for (const std::size_t at : {4, 8}) std::memcpy(&huge[at], &side, 4);
  std::string manyKeys = bare, manyNumbers = bare + ", \"lightness\": [";
  for (int i = 0; i < 70000; ++i) manyKeys += ", \"k" + std::to_string(i) + "\": 0";
  for (int i = 0; i < 70000; ++i) manyNumbers += i ? ",0" : "0";
  std::string distinctKeys = bare;  // within the value limit: read, then the first is unknown
  for (int i = 0; i < 60000; ++i) distinctKeys += ", \"k" + std::to_string(i) + "\": 0";
  // Each text is refused with an error that names the file and holds the message.
  const std::pair<std::string, std::string> refused[] = {
      {"[]", "must be a JSON object"},
      {"{\"version\": 1}", "not a Mattix project"},
      {"{\"format\": \"mattix-project\"}", "no \"version\""},
      {"{\"format\": \"mattix-project\", \"version\": 2}", "newer mattix"},
      {head + "\"softness\": 100.5}", "key.json:1:56: \"softness\" must be 0 to 100"},
      {head + "\"spillSuppression\": \"50\"}", "must be a number, not a string"},
      {head + "\"keyBlue\": 256}", "\"keyBlue\" must be 0 to 255"},
      {head + "\"softnes\": 1}", "unknown setting \"softnes\""},
      {head + "\"lightness\": [0, 0, 100]}", "array of four numbers"},
      {head + "\"lightness\": [0, 0, 100, 101]}", "L3 must be 0 to 100"},
      {head + "\"lightness\": [0, 50, 40, 100]}", "in order"},
      {head + "\"chromaMask\": 5}", "must be null, a base64 string"},
      {head + "\"chromaMask\": [\"AA\", 1]}", "lines must be strings"},
      {head + "\"chromaMask\": \"AA=A\"}", "not valid base64"},
      {head + "\"finishing\": []}", "\"finishing\" must be an object"},
      {head + "\"finishing\": {\"screen\": \"red\"}}", "\"green\" or \"blue\""},
      {head + "\"finishing\": {\"clipBlack\": 60, \"clipWhite\": 60}}", "must be below"},
      {head + "\"finishing\": {\"shrinkGrow\": -9}}", "must be -8 to 8"},
      {head + "\"finishing\": {\"despil\": 1}}", "unknown finishing setting"},
      {head + "\"finishing\": {\"shapes\": [{\"points\": [[0, 0], [1, 1]]}]}}",
       "at least three points"},
      {head + "\"finishing\": {\"shapes\": [{\"points\": [[0, 0], [1, 1], [2]]}]}}",
       "must be [x, y]"},
      {withMask(RecordOfSize(16384, 8)),
       "key.json:1:58: \"chromaMask\" is a 16384 x 8 mask; a chroma mask has the wheel's size, "
       "241 x 209"},
      {withMask(RecordOfSize(1, 1)), "key.json:1:58: \"chromaMask\" is a 1 x 1 mask"},
      {withMask(RecordOfSize(241, 208)), "\"chromaMask\" is a 241 x 208 mask"},
      {withMask(RecordOfSize(240, 209)), "\"chromaMask\" is a 240 x 209 mask"},
      {withMask(huge), "\"chromaMask\" is a 16384 x 16384 mask"},
      {withMask(std::vector<std::uint8_t>(200, 0xFF)), "\"chromaMask\" is damaged"},
      {manyKeys + "}", "more than 65536 values"},
      {manyNumbers + "]}", "more than 65536 values"},
      {distinctKeys + ", \"k7\": 1}", "\"k7\" appears twice"},
      {distinctKeys + "}", "unknown setting \"k0\""},
      {head + "\"chromaMask\": \"" + std::string(std::size_t(1) << 20, 'A') + "\"}",
       "bytes is more than a project holds (at most 1048576)"}};
  for (const auto& [text, message] : refused) {
    const std::string error = ParseError(text);
    EXPECT_EQ(error.rfind("key.json:", 0), 0u) << error;
    EXPECT_TRUE(test::Holds(error, message));
  }
  // The same rule holds for settings made in code, and for the mask's pictures.
  const ProjectSettings s{.chromaMask = RecordOfSize(16384, 8), .finishing = {}};
  EXPECT_TRUE(test::Throws([&] { ValidateSettings(s, "k"); }, "16384 x 8 mask"));
  EXPECT_TRUE(test::Throws([&] { PictureFromMaskRecord(s.chromaMask, "k"); }, "16384 x 8 mask"));
  EXPECT_TRUE(test::Throws([&] { MaskGuidePicture(media::GreyImage(1, 1)); }, "not 1 x 1"));
}

TEST(Project, CommandLineNumbersAreWholeFiniteAndInRange) {
  for (const auto& [text, value] :
       {std::pair{"10", 10.0}, {"100", 100.0}, {"+7.5", 7.5}, {"1e1", 10.0}, {"-0", 0.0}})
    EXPECT_EQ(ParseNumber(text, 0, 100), value) << text;
  for (const char* text : {"100.01", "-1", "nan", "inf", "10x", "", " 10", "0x10", "1,5", "++1"})
    EXPECT_THROW(ParseNumber(text, 0, 100), host::HostError) << text;
  EXPECT_EQ(ParseLightness("0,10.5,90,90"), (std::array<double, 4>{0, 10.5, 90, 90}));
  for (const char* text : {"0,10,90", "0,10,90,100,100", "0,,90,100", "0,10,90,nan", "0,10,90,101",
                           "0,90,10,100", "", "a,b,c,d"})
    EXPECT_THROW(ParseLightness(text), host::HostError) << text;
}

// The fuzz target's body over its seeds and their fixed damage: a text is
// read or refused with a host::HostError, and what is read writes and reads
// back the same (random damage is the fuzz target's, project_fuzz).
TEST(Project, FuzzBodyHoldsOnItsSeeds) {
  mattix::test::ExpectSeedsHold("tests/host/project/fuzz", test::CheckProjectRoundTrip);
}

}  // namespace
}  // namespace mattix::project
