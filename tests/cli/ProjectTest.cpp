// Project files: the written layout, defaults for omitted members, random
// settings round trips, refused projects naming place and reason, the
// command-line number parsers, and damaged text that never crashes.
#include "host/cli/Project.h"
#include "tests/cli/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace mattix::cli {
namespace {

std::string ParseError(const std::string& text) {
  return testing::ErrorOf([&] { ParseProject(text, "key.json"); });
}

TEST(Project, LayoutAndDefaultsForOmittedMembers) {
  EXPECT_EQ(ProjectToJson(ProjectSettings{}),
            "{\n  \"format\": \"mattix-project\",\n  \"version\": 1.0,\n  \"softness\": 0.0,\n"
            "  \"spillSuppression\": 0.0,\n  \"keyRed\": 0.0,\n  \"keyGreen\": 0.0,\n"
            "  \"keyBlue\": 0.0,\n  \"lightness\": [0.0, 0.0, 100.0, 100.0],\n"
            "  \"chromaMask\": null\n}\n");
  const std::string head = R"({"format": "mattix-project", "version": 1, "softness": 12.5,
      "lightness": [5, 10, 90, 95], "chromaMask": )";
  // 144 zero bytes then 1, 2, 3, split over lines; 6 bytes alone are too short.
  const ProjectSettings s =
      ParseProject(head + "[\"" + std::string(192, 'A') + "\", \"AQID\"]}", "");
  EXPECT_EQ(s.softness, 12.5);
  EXPECT_EQ(s.spillSuppression, 0.0);
  EXPECT_EQ(s.lightness, (std::array<double, 4>{5, 10, 90, 95}));
  ASSERT_EQ(s.chromaMask.size(), 147u);
  EXPECT_EQ(s.chromaMask[146], 3);
  EXPECT_NE(ParseError(head + "[\"AAAA\", \"AQID\"]}").find("at least 144"), std::string::npos);
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
    s.chromaMask.resize(144 + rng() % 700);
    for (auto& b : s.chromaMask) b = std::uint8_t(rng());
    const std::string text = ProjectToJson(s);
    EXPECT_EQ(ParseProject(text, "r.json"), s) << text;
    // Mask lines: indent, quote, at most 76 base64 characters, quote, comma.
    std::size_t start = 0, maskLines = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
      if (text.compare(start, 5, "    \"") == 0) {
        EXPECT_LE(end - start, 4u + 1 + 76 + 1 + 1);
        ++maskLines;
      }
    EXPECT_EQ(maskLines, ((s.chromaMask.size() + 2) / 3 * 4 + 75) / 76);
  }
}

TEST(Project, RefusedWithPlaceAndReason) {
  const std::string head = "{\"format\": \"mattix-project\", \"version\": 1, ";
  const std::pair<std::string, const char*> cases[] = {
      {"[]", "must be a JSON object"},
      {"{\"version\": 1}", "not a Mattix project"},
      {"{\"format\": \"mattix-project\"}", "no \"version\""},
      {"{\"format\": \"mattix-project\", \"version\": 2}", "newer mattix"},
      {head + "\"softness\": 100.5}", "key.json:1:56: \"softness\" must be 0 to 100"},
      {head + "\"softness\": -0.1}", "must be 0 to 100, not -0.1"},
      {head + "\"spillSuppression\": \"50\"}", "must be a number, not a string"},
      {head + "\"keyBlue\": 256}", "\"keyBlue\" must be 0 to 255"},
      {head + "\"softnes\": 1}", "unknown setting \"softnes\""},
      {head + "\"lightness\": [0, 0, 100]}", "array of four numbers"},
      {head + "\"lightness\": [0, 0, 100, 101]}", "L3 must be 0 to 100"},
      {head + "\"lightness\": [0, 50, 40, 100]}", "in order"},
      {head + "\"lightness\": [0, null, 40, 100]}", "must hold numbers"},
      {head + "\"chromaMask\": 5}", "must be null, a base64 string"},
      {head + "\"chromaMask\": [\"AA\", 1]}", "lines must be strings"},
      {head + "\"chromaMask\": \"AA=A\"}", "not valid base64"},
      {head + "\"softness\": 1,}", "trailing comma"}};
  for (const auto& [text, message] : cases) {
    const std::string error = ParseError(text);
    EXPECT_EQ(error.rfind("key.json:", 0), 0u) << error;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

TEST(Project, CommandLineNumbersAreWholeFiniteAndInRange) {
  for (const auto& [text, value] :
       {std::pair{"10", 10.0}, {"100", 100.0}, {"+7.5", 7.5}, {"1e1", 10.0}, {"-0", 0.0}})
    EXPECT_EQ(ParseNumber(text, 0, 100), value) << text;
  for (const char* text : {"100.01", "-1", "nan", "inf", "10x", "", " 10", "0x10", "1,5", "++1"})
    EXPECT_THROW(ParseNumber(text, 0, 100), CliError) << text;
  EXPECT_EQ(ParseLightness("0,10.5,90,90"), (std::array<double, 4>{0, 10.5, 90, 90}));
  for (const char* text : {"0,10,90", "0,10,90,100,100", "0,,90,100", "0,10,90,nan", "0,10,90,101",
                           "0,90,10,100", "", "a,b,c,d"})
    EXPECT_THROW(ParseLightness(text), CliError) << text;
}

// Every mutation reads as a valid project or gives a CliError; none crashes
// or reads out of bounds (run under ASan).
TEST(Project, RandomDamageNeverCrashes) {
  ProjectSettings s;
  s.chromaMask.resize(400, 7);
  const std::string valid = ProjectToJson(s);
  const std::string alphabet = "{}[]\",:0123456789.eE+-\\u tfn\x01\xC3\xA9\xFF";
  std::mt19937 rng(77);
  int accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = valid;
    for (int k = 0, edits = 1 + int(rng() % 3); k < edits && !text.empty(); ++k) {
      const std::size_t at = rng() % text.size();
      const int kind = int(rng() % 3);
      if (kind == 0) text[at] = alphabet[rng() % alphabet.size()];
      if (kind == 1) text.erase(at, 1 + rng() % 8);
      if (kind == 2) text.insert(at, 1, alphabet[rng() % alphabet.size()]);
    }
    try {
      ValidateSettings(ParseProject(text, "fuzz.json"), "fuzz.json");
      ++accepted;
    } catch (const CliError&) {
    }
  }
  // Some edits are harmless (inside a number, in white space); most are not.
  EXPECT_GT(accepted, 0);
  EXPECT_LT(accepted, 3000);
}

}  // namespace
}  // namespace mattix::cli
