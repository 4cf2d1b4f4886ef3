#include "host/cli/CliError.h"
#include "host/cli/Project.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace mattix::cli {
namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const CliError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(Project, DefaultsAreWrittenInAStableReadableLayout) {
  const std::string expected =
      "{\n"
      "  \"format\": \"mattix-project\",\n"
      "  \"version\": 1.0,\n"
      "  \"softness\": 0.0,\n"
      "  \"spillSuppression\": 0.0,\n"
      "  \"keyRed\": 0.0,\n"
      "  \"keyGreen\": 0.0,\n"
      "  \"keyBlue\": 0.0,\n"
      "  \"lightness\": [0.0, 0.0, 100.0, 100.0],\n"
      "  \"chromaMask\": null\n"
      "}\n";
  EXPECT_EQ(ProjectToJson(ProjectSettings{}), expected);
}

TEST(Project, HandWrittenProjectWithDefaultsForOmittedMembers) {
  const char* text = R"({
      "format": "mattix-project", "version": 1,
      "softness": 12.5,
      "lightness": [5, 10, 90, 95],
      "chromaMask": ["AAAA", "AQID"]
    })";
  // "AAAA" + "AQID" is 0,0,0,1,2,3: too short for a record.
  EXPECT_NE(ErrorOf([&] { ParseProject(text, "p.json"); }).find("at least 144"), std::string::npos);

  std::string mask(192, 'A');  // 144 zero bytes
  mask += "AQID";              // then 1, 2, 3
  const std::string good = std::string(R"({"format": "mattix-project", "version": 1,
      "softness": 12.5, "lightness": [5, 10, 90, 95], "chromaMask": ")") +
                           mask + "\"}";
  ProjectSettings s = ParseProject(good, "p.json");
  EXPECT_EQ(s.softness, 12.5);
  EXPECT_EQ(s.spillSuppression, 0.0);
  EXPECT_EQ(s.keyGreen, 0.0);
  EXPECT_EQ(s.lightness, (std::array<double, 4>{5, 10, 90, 95}));
  ASSERT_EQ(s.chromaMask.size(), 147u);
  EXPECT_EQ(s.chromaMask[144], 1);
  EXPECT_EQ(s.chromaMask[146], 3);
  EXPECT_TRUE(s.HasMask());
}

TEST(Project, RandomSettingsRoundTrip) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> percent(0.0, 100.0), channel(0.0, 255.0);
  for (int round = 0; round < 50; ++round) {
    ProjectSettings s;
    s.softness = percent(rng);
    s.spillSuppression = round == 0 ? 100.0 : percent(rng);
    s.keyRed = channel(rng);
    s.keyGreen = std::floor(channel(rng));
    s.keyBlue = round == 1 ? 255.0 : channel(rng);
    for (double& l : s.lightness) l = percent(rng);
    std::sort(s.lightness.begin(), s.lightness.end());
    s.chromaMask.resize(144 + rng() % 700);
    for (auto& b : s.chromaMask) b = std::uint8_t(rng());
    const std::string text = ProjectToJson(s);
    EXPECT_EQ(ParseProject(text, "r.json"), s) << text;
    // The mask is written as base64 lines of at most 76 characters, each
    // line "    \"...\"," (indent, quotes, comma).
    std::size_t longest = 0, lines = 0, start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i)
      if (i == text.size() || text[i] == '\n') {
        if (text.compare(start, 5, "    \"") == 0) {
          longest = std::max(longest, i - start);
          ++lines;
        }
        start = i + 1;
      }
    EXPECT_EQ(lines, (s.chromaMask.size() + 2) / 3 * 4 / 76 +
                         ((s.chromaMask.size() + 2) / 3 * 4 % 76 != 0));
    EXPECT_LE(longest, 4u + 1 + 76 + 1 + 1);
  }
}

struct BadProject {
  const char* text;
  const char* message;
};

class BadProjectTest : public ::testing::TestWithParam<BadProject> {};

TEST_P(BadProjectTest, IsRefusedWithPlaceAndReason) {
  const std::string error = ErrorOf([&] { ParseProject(GetParam().text, "key.json"); });
  EXPECT_EQ(error.rfind("key.json:", 0), 0u) << error;
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

#define HEAD "{\"format\": \"mattix-project\", \"version\": 1, "
INSTANTIATE_TEST_SUITE_P(
    Table, BadProjectTest,
    ::testing::Values(
        BadProject{"[]", "must be a JSON object"},
        BadProject{"{\"version\": 1}", "not a Mattix project"},
        BadProject{"{\"format\": \"mattix-project\"}", "no \"version\""},
        BadProject{"{\"format\": \"mattix-project\", \"version\": 2}", "newer mattix"},
        BadProject{HEAD "\"softness\": 100.5}", "key.json:1:56: \"softness\" must be 0 to 100"},
        BadProject{HEAD "\"softness\": -0.1}", "must be 0 to 100, not -0.1"},
        BadProject{HEAD "\"spillSuppression\": \"50\"}", "must be a number, not a string"},
        BadProject{HEAD "\"keyBlue\": 256}", "\"keyBlue\" must be 0 to 255"},
        BadProject{HEAD "\"softnes\": 1}", "unknown setting \"softnes\""},
        BadProject{HEAD "\"lightness\": [0, 0, 100]}", "array of four numbers"},
        BadProject{HEAD "\"lightness\": [0, 0, 100, 101]}", "L3 must be 0 to 100"},
        BadProject{HEAD "\"lightness\": [0, 50, 40, 100]}", "in order"},
        BadProject{HEAD "\"lightness\": [0, null, 40, 100]}", "must hold numbers"},
        BadProject{HEAD "\"chromaMask\": 5}", "must be null, a base64 string"},
        BadProject{HEAD "\"chromaMask\": [\"AA\", 1]}", "lines must be strings"},
        BadProject{HEAD "\"chromaMask\": \"AA=A\"}", "not valid base64"},
        BadProject{HEAD "\"softness\": 1,}", "trailing comma"}));
#undef HEAD

TEST(Project, LightnessRecordIsLittleEndianIeeeDoubles) {
  // 0.0 is all zero; 100.0 is 0x4059000000000000; 12.5 is 0x4029000000000000;
  // 0.1 is 0x3FB999999999999A.
  const std::array<std::uint8_t, 32> r = LightnessRecord({0.0, 100.0, 12.5, 0.1});
  const std::array<std::uint8_t, 32> expected = {
      0, 0, 0, 0, 0, 0, 0,    0,    0,    0,    0,    0,    0,    0,    0x59, 0x40,
      0, 0, 0, 0, 0, 0, 0x29, 0x40, 0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0x3F};
  EXPECT_EQ(r, expected);
}

struct FlagCase {
  const char* text;
  bool ok;
  double value;
};

TEST(ProjectFlags, NumbersAreWholeFiniteAndInRange) {
  const FlagCase cases[] = {{"10", true, 10},     {"0", true, 0},    {"100", true, 100},
                            {"+7.5", true, 7.5},  {"1e1", true, 10}, {"-0", true, 0},
                            {"100.01", false, 0}, {"-1", false, 0},  {"nan", false, 0},
                            {"NaN", false, 0},    {"inf", false, 0}, {"10x", false, 0},
                            {"", false, 0},       {" 10", false, 0}, {"0x10", false, 0},
                            {"1,5", false, 0},    {"++1", false, 0}};
  for (const FlagCase& c : cases) {
    if (c.ok) {
      EXPECT_EQ(ParseNumber(c.text, 0, 100), c.value) << c.text;
    } else {
      EXPECT_THROW(ParseNumber(c.text, 0, 100), CliError) << c.text;
    }
  }
}

TEST(ProjectFlags, Lightness) {
  EXPECT_EQ(ParseLightness("0,10.5,90,100"), (std::array<double, 4>{0, 10.5, 90, 100}));
  EXPECT_EQ(ParseLightness("50,50,50,50"), (std::array<double, 4>{50, 50, 50, 50}));
  const char* bad[] = {"0,10,90",     "0,10,90,100,100", "0,,90,100", "0,10,90,nan",
                       "0,10,90,101", "0,90,10,100",     "",          "a,b,c,d"};
  for (const char* text : bad) EXPECT_THROW(ParseLightness(text), CliError) << text;
}

TEST(ProjectFlags, OverridesReplaceOnlyWhatIsGiven) {
  ProjectSettings s;
  s.softness = 5;
  s.spillSuppression = 6;
  SettingOverrides o;
  o.spillSuppression = 60;
  ApplyOverrides(s, o);
  EXPECT_EQ(s.softness, 5);
  EXPECT_EQ(s.spillSuppression, 60);
  o.lightness = std::array<double, 4>{1, 2, 3, 4};
  ApplyOverrides(s, o);
  EXPECT_EQ(s.lightness, (std::array<double, 4>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace mattix::cli

namespace mattix::cli {
namespace {

// Damaged project files: every mutation either reads as a valid project or
// gives a CliError; none crashes or reads out of bounds (run under ASan).
TEST(Project, RandomDamageNeverCrashes) {
  ProjectSettings s;
  s.softness = 12.5;
  s.chromaMask.resize(400);
  for (std::size_t i = 0; i < s.chromaMask.size(); ++i) s.chromaMask[i] = std::uint8_t(i * 7);
  const std::string valid = ProjectToJson(s);
  const char alphabet[] = "{}[]\",:0123456789.eE+-\\u tfn\x01\xC3\xA9\xFF";
  std::mt19937 rng(77);
  int accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = valid;
    const int edits = 1 + int(rng() % 3);
    for (int k = 0; k < edits; ++k) {
      const std::size_t at = rng() % text.size();
      switch (rng() % 3) {
        case 0:
          text[at] = alphabet[rng() % (sizeof alphabet - 1)];
          break;
        case 1:
          text.erase(at, 1 + rng() % 8);
          break;
        default:
          text.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]);
          break;
      }
      if (text.empty()) text = "{";
    }
    try {
      const ProjectSettings read = ParseProject(text, "fuzz.json");
      ValidateSettings(read, "fuzz.json");
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
