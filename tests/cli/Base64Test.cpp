// Base64: the RFC 4648 vectors, every length against a bitwise reference
// decoder, and strictness (one accepted text per byte string).
#include "host/cli/Base64.h"

#include <gtest/gtest.h>

#include <bitset>
#include <random>

namespace mattix::cli {
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

TEST(Base64, RfcVectorsAndEveryLengthRoundTrip) {
  EXPECT_EQ(Base64Encode(std::vector<std::uint8_t>{'f', 'o', 'o', 'b', 'a'}), "Zm9vYmE=");
  EXPECT_EQ(Base64Encode(std::vector<std::uint8_t>{'f'}), "Zg==");
  std::mt19937 rng(7);
  for (std::size_t n = 0; n < 200; ++n) {
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes) b = std::uint8_t(rng());
    const std::string text = Base64Encode(bytes);
    ASSERT_EQ(text.size(), (n + 2) / 3 * 4);
    EXPECT_EQ(BitwiseDecode(text), bytes) << n;
    EXPECT_EQ(Base64Decode(text, nullptr), bytes) << n;
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
