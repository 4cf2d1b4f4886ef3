// The fast PNG writer's row kernels against their plain forms, on random
// rows and on rows of extremes (ties of the Paeth predictor, distances past
// 255), every length from 1 to 70 pixels; the filter undone as a reader
// undoes it (predicting from the rebuilt bytes) gives the row back; the
// checksum equals zlib's.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include <zlib.h>

#include "host/cli/internal/PngRows.h"

namespace {

using namespace mattix::cli::internal;

std::vector<std::uint8_t> Row(std::mt19937& rng, std::size_t bytes, bool extremes) {
  std::vector<std::uint8_t> row(bytes);
  for (auto& v : row)
    v = extremes ? std::uint8_t(rng() % 3 * 127 + rng() % 2) : std::uint8_t(rng());
  return row;
}

TEST(PngRows, FastFormsEqualThePlainOnesAndTheFilterIsUndone) {
  std::mt19937 rng(9);
  for (bool extremes : {false, true})
    for (std::size_t pixels = 1; pixels <= 70; ++pixels) {
      const std::size_t bytes = 4 * pixels;
      const auto row = Row(rng, bytes, extremes), above = Row(rng, bytes, extremes);
      std::vector<std::uint8_t> fast(bytes), plain(bytes);
      BgraToRgba(fast.data(), row.data(), pixels);
      BgraToRgba_ref(plain.data(), row.data(), pixels);
      ASSERT_EQ(fast, plain) << pixels;
      for (const std::uint8_t* prior : {above.data(), static_cast<const std::uint8_t*>(nullptr)}) {
        PaethFilterRow(fast.data(), row.data(), prior, bytes);
        PaethFilterRow_ref(plain.data(), row.data(), prior, bytes);
        ASSERT_EQ(fast, plain) << pixels << (prior ? "" : ", first row");
        std::vector<std::uint8_t> back(bytes);
        for (std::size_t i = 0; i < bytes; ++i) {
          const int a = i >= 4 ? back[i - 4] : 0, b = prior ? prior[i] : 0,
                    c = prior && i >= 4 ? prior[i - 4] : 0;
          const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
          back[i] = std::uint8_t(fast[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
        }
        ASSERT_EQ(back, row) << pixels;
      }
    }
}

// Lengths around the 16-byte steps and the 5552-byte runs, all-255 data (the
// largest sums) and random data, from the start value and from a running one.
TEST(PngRows, Adler32EqualsZlibs) {
  std::mt19937 rng(4);
  std::vector<std::uint8_t> random(40000), full(40000, 255);
  for (auto& v : random) v = std::uint8_t(rng());
  for (const auto* data : {&random, &full})
    for (std::size_t bytes : {0, 1, 15, 16, 17, 100, 5551, 5552, 5553, 11104, 11121, 40000})
      for (std::uint32_t start : {1u, 0xFFF0FFF0u}) {
        const uLong expected = adler32(start, data->data(), uInt(bytes));
        ASSERT_EQ(Adler32(start, data->data(), bytes), expected) << bytes;
        ASSERT_EQ(Adler32_ref(start, data->data(), bytes), expected) << bytes;
      }
}

}  // namespace
