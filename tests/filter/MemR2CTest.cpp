// CMemR2C moves exactly the pixels it names. Each case fills a destination
// with a marker, surrounded by guard bytes, runs one transfer and compares the
// whole buffer with an expectation built byte by byte from the destination's
// side (which source byte lands here, if any).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "FilterTestUtil.h"
#include "filter/MemR2C.h"

namespace {

constexpr std::uint8_t kMarker = 0xCD;
constexpr int kGuard = 64;

struct Geometry {
  unsigned short bits;
  int count;
  int dstPad;  // bytes of padding beyond the moved pixels in each destination line
  int srcPad;
};

class MemR2CTest : public ::testing::TestWithParam<Geometry> {
protected:
  int Bpp() const { return GetParam().bits / 8; }
};

// A buffer of `size` bytes with guards on both sides, all set to the marker.
struct Guarded {
  explicit Guarded(std::size_t size) : bytes(size + 2 * kGuard, kMarker) {}
  std::uint8_t* data() { return bytes.data() + kGuard; }
  std::vector<std::uint8_t> bytes;
};

// The expected guarded buffer: marker everywhere except where `from` names a
// source byte for destination offset o (returns -1 for untouched bytes).
std::vector<std::uint8_t> Expected(std::size_t size, const std::vector<std::uint8_t>& src,
                                   const std::function<long(std::size_t)>& from)
{
  std::vector<std::uint8_t> e(size + 2 * kGuard, kMarker);
  for (std::size_t o = 0; o < size; ++o) {
    const long s = from(o);
    if (s >= 0) e[kGuard + o] = src[std::size_t(s)];
  }
  return e;
}

TEST_P(MemR2CTest, RowsToColumnsMovesTheStripOfEachRow)
{
  const Geometry g = GetParam();
  const int bpp = Bpp();
  const int srcStride = 8 * bpp + g.srcPad, dstStride = g.count * bpp + g.dstPad;
  const auto src = filtertest::RandomBytes(std::size_t(srcStride) * std::max(g.count, 1), 1);
  Guarded dst(std::size_t(dstStride) * 8);
  stdfx::CMemR2C r2c;
  EXPECT_TRUE(r2c.RowsToColumns(dst.data(), dstStride, src.data(), srcStride, g.count, g.bits));
  // Destination row c, byte o: pixel r = o / bpp of column c of the strip.
  EXPECT_EQ(dst.bytes, Expected(std::size_t(dstStride) * 8, src, [&](std::size_t off) -> long {
              const long c = long(off) / dstStride, o = long(off) % dstStride;
              if (o >= long(g.count) * bpp) return -1;
              return (o / bpp) * srcStride + c * bpp + o % bpp;
            }));
}

TEST_P(MemR2CTest, ColumnsToRowsIsTheInverseMove)
{
  const Geometry g = GetParam();
  const int bpp = Bpp();
  const int srcStride = g.count * bpp + g.srcPad, dstStride = 8 * bpp + g.dstPad;
  const auto src = filtertest::RandomBytes(std::size_t(srcStride) * 8, 2);
  Guarded dst(std::size_t(dstStride) * g.count);
  stdfx::CMemR2C r2c;
  EXPECT_TRUE(r2c.ColumnsToRows(dst.data(), dstStride, src.data(), srcStride, g.count, g.bits));
  EXPECT_EQ(dst.bytes, Expected(std::size_t(dstStride) * g.count, src, [&](std::size_t off) -> long {
              const long r = long(off) / dstStride, o = long(off) % dstStride;
              if (o >= 8L * bpp) return -1;
              return (o / bpp) * srcStride + r * bpp + o % bpp;
            }));
}

TEST_P(MemR2CTest, GetColumnGathersOnePixelPerRow)
{
  const Geometry g = GetParam();
  const int bpp = Bpp();
  const int srcStride = 3 * bpp + g.srcPad;
  const auto src = filtertest::RandomBytes(std::size_t(srcStride) * std::max(g.count, 1), 3);
  Guarded dst(std::size_t(g.count) * bpp);
  stdfx::CMemR2C r2c;
  // Column 1 of the source.
  EXPECT_TRUE(r2c.GetColumn(dst.data(), src.data() + bpp, srcStride, g.count, g.bits));
  EXPECT_EQ(dst.bytes, Expected(std::size_t(g.count) * bpp, src, [&](std::size_t off) -> long {
              return long(off) / bpp * srcStride + bpp + long(off) % bpp;
            }));
}

TEST_P(MemR2CTest, SetColumnScattersOnePixelPerRow)
{
  const Geometry g = GetParam();
  const int bpp = Bpp();
  const int dstStride = 3 * bpp + g.dstPad;
  const auto src = filtertest::RandomBytes(std::size_t(g.count) * bpp + 1, 4);
  Guarded dst(std::size_t(dstStride) * g.count);
  stdfx::CMemR2C r2c;
  // Column 2 of the destination.
  EXPECT_TRUE(r2c.SetColumn(dst.data() + 2 * bpp, dstStride, src.data(), g.count, g.bits));
  EXPECT_EQ(dst.bytes, Expected(std::size_t(dstStride) * g.count, src, [&](std::size_t off) -> long {
              const long r = long(off) / dstStride, o = long(off) % dstStride;
              if (o < 2L * bpp || o >= 3L * bpp) return -1;
              return r * bpp + (o - 2L * bpp);
            }));
}

TEST_P(MemR2CTest, RoundTripRestoresTheStrip)
{
  const Geometry g = GetParam();
  const int bpp = Bpp();
  const int imgStride = 8 * bpp + g.srcPad, bufStride = g.count * bpp + g.dstPad;
  const auto img = filtertest::RandomBytes(std::size_t(imgStride) * std::max(g.count, 1), 5);
  std::vector<std::uint8_t> buf(std::size_t(bufStride) * 8), back(img.size(), 0);
  stdfx::CMemR2C r2c;
  ASSERT_TRUE(r2c.RowsToColumns(buf.data(), bufStride, img.data(), imgStride, g.count, g.bits));
  ASSERT_TRUE(r2c.ColumnsToRows(back.data(), imgStride, buf.data(), bufStride, g.count, g.bits));
  for (int r = 0; r < g.count; ++r)
    for (int o = 0; o < imgStride; ++o)
      ASSERT_EQ(back[r * imgStride + o], o < 8 * bpp ? img[r * imgStride + o] : 0) << r << " " << o;
}

INSTANTIATE_TEST_SUITE_P(Geometries, MemR2CTest,
                         ::testing::Values(Geometry{8, 0, 0, 0}, Geometry{8, 1, 0, 0},
                                           Geometry{8, 5, 3, 7}, Geometry{8, 209, 0, 233},
                                           Geometry{32, 0, 0, 0}, Geometry{32, 1, 4, 0},
                                           Geometry{32, 7, 0, 12}, Geometry{32, 209, 8, 4}));

class MemR2CBitCountTest : public ::testing::TestWithParam<unsigned short> {};

TEST_P(MemR2CBitCountTest, OtherBitCountsMoveNothing)
{
  const unsigned short bits = GetParam();
  const auto src = filtertest::RandomBytes(4096, 6);
  std::vector<std::uint8_t> dst(4096, kMarker);
  stdfx::CMemR2C r2c;
  EXPECT_FALSE(r2c.RowsToColumns(dst.data(), 64, src.data(), 64, 16, bits));
  EXPECT_FALSE(r2c.ColumnsToRows(dst.data(), 64, src.data(), 64, 16, bits));
  EXPECT_FALSE(r2c.GetColumn(dst.data(), src.data(), 64, 16, bits));
  EXPECT_FALSE(r2c.SetColumn(dst.data(), 64, src.data(), 16, bits));
  EXPECT_EQ(dst, std::vector<std::uint8_t>(4096, kMarker));
}

INSTANTIATE_TEST_SUITE_P(Unsupported, MemR2CBitCountTest,
                         ::testing::Values<unsigned short>(0, 1, 4, 16, 24, 64));

}  // namespace
