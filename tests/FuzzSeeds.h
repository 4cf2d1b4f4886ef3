#pragma once
// The GoogleTest side of a fuzz target: its body over every file of its seed
// folder and over fixed damage of each (bytes changed, the end cut, a piece
// repeated), so that the body runs on a fixed input set without clang.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace mattix::test {

// `folder` is a seed folder of the source tree, such as "tests/pixmill/fuzz".
template <class Check>
void ExpectSeedsHold(const std::string& folder, Check check, int variantsPerSeed = 40) {
  std::vector<std::filesystem::path> seeds;
  for (const auto& entry : std::filesystem::directory_iterator(MATTIX_SOURCE_DIR "/" + folder))
    seeds.push_back(entry.path());
  std::sort(seeds.begin(), seeds.end());
  ASSERT_FALSE(seeds.empty()) << folder << " holds no seeds";
  std::mt19937 rng(2026);
  for (const auto& path : seeds) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> seed((std::istreambuf_iterator<char>(file)),
                                         std::istreambuf_iterator<char>());
    EXPECT_EQ(check(seed.data(), seed.size()), "") << path;
    for (int k = 0; k < variantsPerSeed && !seed.empty(); ++k) {
      std::vector<std::uint8_t> bytes = seed;
      for (int edits = 1 + int(rng() % 3); edits > 0 && !bytes.empty(); --edits) {
        const std::size_t at = rng() % bytes.size();
        const unsigned kind = rng() % 4;  // the end cut, a piece repeated, or a byte changed
        if (kind == 0)
          bytes.resize(at);
        else if (kind == 1)
          bytes.insert(bytes.begin() + long(at), bytes.begin(),
                       bytes.begin() + long(std::min<std::size_t>(at, 16)));
        else
          bytes[at] = std::uint8_t(rng());
      }
      EXPECT_EQ(check(bytes.data(), bytes.size()), "") << path << ", damage " << k;
    }
  }
}

}  // namespace mattix::test
