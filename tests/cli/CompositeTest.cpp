#include "host/cli/Composite.h"

#include <gtest/gtest.h>

#include <random>

namespace mattix::cli {
namespace {

// Every colour value under every alpha, over several square greys: the
// integer kernel equals the double-precision reference bit for bit.
TEST(Composite, PreviewKernelMatchesReferenceExhaustively) {
  std::vector<std::uint8_t> row(256 * 256 * 4);
  for (int a = 0; a < 256; ++a)
    for (int c = 0; c < 256; ++c) {
      std::uint8_t* p = &row[std::size_t(a * 256 + c) * 4];
      p[0] = std::uint8_t(c);
      p[1] = std::uint8_t(255 - c);
      p[2] = std::uint8_t(c ^ 0x55);
      p[3] = std::uint8_t(a);
    }
  const int width = 256 * 256;
  for (int grey : {0, 1, 102, 153, 254, 255}) {
    Checkerboard board;
    board.cell = width;  // one square over the whole row
    board.dark = std::uint8_t(grey);
    std::vector<std::uint8_t> fast(row.size()), ref(row.size());
    PreviewRow(row.data(), fast.data(), width, 0, board);
    PreviewRow_ref(row.data(), ref.data(), width, 0, board);
    ASSERT_EQ(fast, ref) << "grey " << grey;
  }
}

struct Pixel {
  std::uint8_t b, g, r, a;
};

TEST(Composite, PreviewKnownValues) {
  struct Case {
    Pixel in;
    int grey;
    Pixel out;
  };
  // Opaque keeps the colour, transparent shows the square, halves blend:
  // 200 * 128/255 + 100 * 127/255 = 150.2 -> 150; 0 * 128/255 + 100 * 127/255 = 49.8 -> 50.
  const Case cases[] = {{{10, 20, 30, 255}, 100, {10, 20, 30, 255}},
                        {{10, 20, 30, 0}, 100, {100, 100, 100, 255}},
                        {{200, 0, 255, 128}, 100, {150, 50, 178, 255}}};
  for (const Case& c : cases) {
    Checkerboard board{4, std::uint8_t(c.grey), 0};
    Pixel out{};
    PreviewRow(&c.in.b, &out.b, 1, 0, board);
    EXPECT_EQ(out.b, c.out.b);
    EXPECT_EQ(out.g, c.out.g);
    EXPECT_EQ(out.r, c.out.r);
    EXPECT_EQ(out.a, 255);
  }
}

TEST(Composite, CheckerboardLayoutAndMatte) {
  BgraImage keyed(10, 7);  // all transparent black
  for (int y = 0; y < keyed.height; ++y)
    for (int x = 0; x < keyed.width; ++x) keyed.Row(y)[x * 4 + 3] = std::uint8_t(x * 25 + y);
  // Fully transparent copy shows the board itself.
  BgraImage clear = keyed;
  for (std::size_t i = 3; i < clear.pixels.size(); i += 4) clear.pixels[i] = 0;
  const BgraImage board = MakePreview(clear, Checkerboard{3, 10, 200});
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool odd = ((x / 3) + (y / 3)) % 2 == 1;
      ASSERT_EQ(board.Row(y)[x * 4], odd ? 200 : 10) << x << "," << y;
      ASSERT_EQ(board.Row(y)[x * 4 + 3], 255);
    }
  const GreyImage matte = MakeMatte(keyed);
  ASSERT_EQ(matte.width, 10);
  ASSERT_EQ(matte.height, 7);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(matte.Row(y)[x], x * 25 + y);
}

}  // namespace
}  // namespace mattix::cli
