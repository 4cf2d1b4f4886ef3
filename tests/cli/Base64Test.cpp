#include "host/cli/Base64.h"

#include <gtest/gtest.h>

#include <random>

namespace mattix::cli {
namespace {

struct Vector {
  const char* plain;
  const char* encoded;
};

// RFC 4648, section 10.
const Vector kRfcVectors[] = {{"", ""},
                              {"f", "Zg=="},
                              {"fo", "Zm8="},
                              {"foo", "Zm9v"},
                              {"foob", "Zm9vYg=="},
                              {"fooba", "Zm9vYmE="},
                              {"foobar", "Zm9vYmFy"}};

TEST(Base64, RfcTestVectors) {
  for (const Vector& v : kRfcVectors) {
    const std::string plain = v.plain;
    const std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_EQ(Base64Encode(bytes), v.encoded) << plain;
    std::string error;
    auto decoded = Base64Decode(v.encoded, &error);
    ASSERT_TRUE(decoded) << v.encoded << ": " << error;
    EXPECT_EQ(*decoded, bytes) << v.encoded;
  }
}

// Reference decoder: the text as a string of 6-bit groups, cut into bytes.
std::vector<std::uint8_t> BitwiseDecode(const std::string& text) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bits;
  for (char c : text) {
    if (c == '=') break;
    const std::size_t d = alphabet.find(c);
    for (int b = 5; b >= 0; --b) bits += ((d >> b) & 1) ? '1' : '0';
  }
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 8 <= bits.size(); i += 8)
    out.push_back(std::uint8_t(std::stoi(bits.substr(i, 8), nullptr, 2)));
  return out;
}

TEST(Base64, EveryLengthRoundTripsAndMatchesBitwiseReference) {
  std::mt19937 rng(7);
  for (std::size_t n = 0; n < 200; ++n) {
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes) b = std::uint8_t(rng());
    const std::string text = Base64Encode(bytes);
    ASSERT_EQ(text.size(), (n + 2) / 3 * 4);
    EXPECT_EQ(BitwiseDecode(text), bytes) << n;
    auto decoded = Base64Decode(text, nullptr);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, bytes) << n;
  }
}

TEST(Base64, NonCanonicalOrMalformedTextIsRefused) {
  const char* bad[] = {"Zg=",      "Zh==", "Zm9=", "Z===",     "Zm9v\n", "Zm 9v", "=Zm9",
                       "Zg==Zg==", "Zm9-", "Zm9_", "Zm9vYg=a", "Zm8",    "===="};
  for (const char* text : bad) {
    std::string error;
    EXPECT_FALSE(Base64Decode(text, &error)) << text;
    EXPECT_NE(error.find("at character"), std::string::npos) << text << ": " << error;
  }
}

}  // namespace
}  // namespace mattix::cli
