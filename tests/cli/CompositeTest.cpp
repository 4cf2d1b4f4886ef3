// The matte and preview pictures: the integer preview kernel against its
// double-precision reference on every colour under every alpha, and the
// checkerboard's layout.
#include "host/cli/Composite.h"

#include <gtest/gtest.h>

namespace mattix::cli {
namespace {

TEST(Composite, PreviewKernelMatchesReferenceExhaustively) {
  std::vector<std::uint8_t> row(256 * 256 * 4);
  for (std::size_t i = 0; i < 256 * 256; ++i) {
    const auto c = std::uint8_t(i);
    row[i * 4] = c, row[i * 4 + 1] = 255 - c, row[i * 4 + 2] = c ^ 0x55;
    row[i * 4 + 3] = std::uint8_t(i >> 8);
  }
  for (int grey : {0, 1, 102, 153, 254, 255}) {
    const Checkerboard board{256 * 256, std::uint8_t(grey), 0};  // one square over the row
    std::vector<std::uint8_t> fast(row.size()), ref(row.size());
    PreviewRow(row.data(), fast.data(), 256 * 256, 0, board);
    PreviewRow_ref(row.data(), ref.data(), 256 * 256, 0, board);
    ASSERT_EQ(fast, ref) << "grey " << grey;
    // Opaque keeps the colour, transparent shows the square.
    EXPECT_EQ(ref[255 * 256 * 4 + 7 * 4 + 2], 7 ^ 0x55);
    EXPECT_EQ(ref[9 * 4 + 1], grey);
  }
}

TEST(Composite, CheckerboardLayoutAndMatte) {
  BgraImage keyed(10, 7);  // black, alpha from the position
  for (int y = 0; y < keyed.height; ++y)
    for (int x = 0; x < keyed.width; ++x) keyed.Row(y)[x * 4 + 3] = std::uint8_t(x * 25 + y);
  const GreyImage matte = MakeMatte(keyed);
  const BgraImage board = MakePreview(BgraImage(10, 7), Checkerboard{3, 10, 200});
  ASSERT_EQ(matte.width, 10);
  ASSERT_EQ(matte.height, 7);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 10; ++x) {
      ASSERT_EQ(matte.Row(y)[x], x * 25 + y);
      ASSERT_EQ(board.Row(y)[x * 4], (x / 3 + y / 3) % 2 ? 200 : 10) << x << "," << y;
      ASSERT_EQ(board.Row(y)[x * 4 + 3], 255);
    }
}

}  // namespace
}  // namespace mattix::cli
