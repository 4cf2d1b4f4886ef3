// The chroma mask record. Its bytes are checked here without the library's
// structures: the header fields by offset, little-endian, and the pixels
// with a small BI_RLE8 decoder written from the Windows format description.
#include "host/cli/CliError.h"
#include "host/cli/MaskRecord.h"
#include "host/cli/SampleScene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace mattix::cli {
namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
         std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::uint16_t(b[at] | b[at + 1] << 8);
}

// Decodes a BI_RLE8 stream into rows in stream order (row 0 first).
// Returns false on any code that leaves the picture.
bool DecodeRle8Independently(const std::uint8_t* p, std::size_t n, int width, int height,
                             std::vector<std::vector<std::uint8_t>>& rows) {
  rows.assign(std::size_t(height), std::vector<std::uint8_t>(std::size_t(width), 0));
  int x = 0, y = 0;
  std::size_t i = 0;
  while (i + 1 < n) {
    const int count = p[i], value = p[i + 1];
    i += 2;
    if (count > 0) {
      if (y >= height || x + count > width) return false;
      for (int k = 0; k < count; ++k) rows[std::size_t(y)][std::size_t(x++)] = std::uint8_t(value);
    } else if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (i + 1 >= n) return false;
      x += p[i];
      y += p[i + 1];
      i += 2;
    } else {
      if (y >= height || x + value > width || i + std::size_t(value) > n) return false;
      for (int k = 0; k < value; ++k)
        rows[std::size_t(y)][std::size_t(x++)] = p[i + std::size_t(k)];
      i += std::size_t(value + (value & 1));
    }
  }
  return false;  // no end-of-bitmap
}

GreyImage RandomMask(unsigned seed) {
  std::mt19937 rng(seed);
  GreyImage m(kWheelWidth, kWheelHeight);
  // Patches of constant value (runs) and noise (literals).
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x)
      m.Row(y)[x] = ((x / 16 + y / 8) % 3 == 0) ? std::uint8_t(rng()) : std::uint8_t((x / 30) * 36);
  return m;
}

TEST(MaskRecord, LayoutIsTheWheelHeaderFollowedByBottomUpRle8) {
  const GreyImage picture = RandomMask(1);
  const std::vector<std::uint8_t> r = MaskRecordFromPicture(picture, "wheel.png");
  ASSERT_GT(r.size(), 144u);
  EXPECT_EQ(U32(r, 0), 144u);             // biSize
  EXPECT_EQ(U32(r, 4), 241u);             // biWidth
  EXPECT_EQ(U32(r, 8), 209u);             // biHeight, positive: bottom-up
  EXPECT_EQ(U16(r, 12), 1);               // biPlanes
  EXPECT_EQ(U16(r, 14), 8);               // biBitCount
  EXPECT_EQ(U32(r, 16), 1u);              // biCompression BI_RLE8
  EXPECT_EQ(U32(r, 20), r.size() - 144);  // biSizeImage: the compressed bytes that follow
  EXPECT_EQ(U32(r, 84), 1u);              // interlaced flag: progressive
  for (std::size_t at = 132; at < 144; ++at) EXPECT_EQ(r[at], 0) << "alpha plane byte " << at;

  std::vector<std::vector<std::uint8_t>> rows;
  ASSERT_TRUE(DecodeRle8Independently(r.data() + 144, r.size() - 144, 241, 209, rows));
  // The first row in the stream is the bottom of the picture.
  for (int row = 0; row < 209; ++row)
    for (int x = 0; x < 241; ++x)
      ASSERT_EQ(rows[std::size_t(row)][std::size_t(x)], picture.Row(208 - row)[x])
          << row << "," << x;
}

TEST(MaskRecord, PicturesRoundTrip) {
  std::vector<GreyImage> pictures = {GreyImage(241, 209), RandomMask(2), RandomMask(3),
                                     SampleMaskPicture()};
  GreyImage white(241, 209);
  std::fill(white.pixels.begin(), white.pixels.end(), 255);
  pictures.push_back(white);
  for (const GreyImage& p : pictures) {
    const GreyImage back = PictureFromMaskRecord(MaskRecordFromPicture(p, "w.png"), "key.json");
    ASSERT_EQ(back.width, 241);
    ASSERT_EQ(back.height, 209);
    EXPECT_EQ(back.pixels, p.pixels);
  }
}

TEST(MaskRecord, EmptyRecordIsABlackWheel) {
  for (std::size_t size : {0u, 144u}) {
    const GreyImage p = PictureFromMaskRecord(std::vector<std::uint8_t>(size, 0), "key.json");
    EXPECT_EQ(p.width, 241);
    EXPECT_EQ(p.height, 209);
    EXPECT_EQ(std::count(p.pixels.begin(), p.pixels.end(), 0), 241 * 209);
    EXPECT_NO_THROW(ValidateMaskRecord(std::vector<std::uint8_t>(size, 0), "key.json"));
  }
}

TEST(MaskRecord, DamagedRecordsAreRefusedWithTheProjectName) {
  const std::vector<std::uint8_t> good = MaskRecordFromPicture(RandomMask(4), "w.png");
  struct Damage {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> apply;
  };
  const Damage damages[] = {
      {"truncated", [](auto& r) { r.resize(r.size() - 10); }},
      {"header only plus a byte", [](auto& r) { r.resize(145); }},
      {"not compressed", [](auto& r) { r[16] = 0; }},
      {"wrong bit count", [](auto& r) { r[14] = 32; }},
      {"absurd width", [](auto& r) { r[6] = 0x7F; }},
      {"garbage stream", [](auto& r) { std::fill(r.begin() + 144, r.end(), 0xFF); }},
  };
  for (const Damage& d : damages) {
    std::vector<std::uint8_t> r = good;
    d.apply(r);
    for (const std::function<void()>& call :
         {std::function<void()>([&] { PictureFromMaskRecord(r, "key.json"); }),
          std::function<void()>([&] { ValidateMaskRecord(r, "key.json"); })}) {
      try {
        call();
        ADD_FAILURE() << d.what << ": accepted";
      } catch (const CliError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("key.json: ", 0), 0u) << e.what();
      }
    }
  }
}

TEST(MaskRecord, WrongPictureSizeIsNamed) {
  try {
    MaskRecordFromPicture(GreyImage(240, 209), "paint.png");
    FAIL();
  } catch (const CliError& e) {
    EXPECT_STREQ(e.what(),
                 "paint.png: a chroma mask picture must be 241 x 209 pixels, not 240 x 209");
  }
}

TEST(MaskRecord, LevelsFromColourPictures) {
  struct Case {
    std::uint8_t b, g, r, a;
    int level;
  };
  // mean(r, g, b) * a / 255, rounded: 85; 60 * 128 / 255 = 30.1; 255 * 1 / 255 = 1.
  const Case cases[] = {{7, 7, 7, 255, 7},     {0, 0, 255, 255, 85},  {90, 60, 30, 128, 30},
                        {255, 255, 255, 0, 0}, {255, 255, 255, 1, 1}, {255, 255, 255, 255, 255}};
  for (const Case& c : cases) {
    BgraImage p(1, 1);
    p.pixels = {c.b, c.g, c.r, c.a};
    EXPECT_EQ(MaskLevelsFromPicture(p).pixels[0], c.level);
  }
  std::mt19937 rng(5);
  BgraImage p(500, 1);
  for (auto& v : p.pixels) v = std::uint8_t(rng());
  const GreyImage g = MaskLevelsFromPicture(p);
  for (int x = 0; x < 500; ++x) {
    const std::uint8_t* q = p.Row(0) + x * 4;
    const double exact = (q[0] + q[1] + q[2]) / 3.0 * q[3] / 255.0;
    EXPECT_EQ(g.pixels[std::size_t(x)], std::lround(exact)) << x;
  }
}

struct WheelCase {
  float hue, saturation;
  int row, column;
};

// Positions on the 241 x 209 wheel, worked out by hand from the geometry.
TEST(SampleScene, WheelPositions) {
  const WheelCase cases[] = {{0.0f, 1.0f, 104, 240},   {0.25f, 1.0f, 208, 120},
                             {0.5f, 1.0f, 104, 0},     {0.75f, 1.0f, 0, 120},
                             {0.3f, 0.0f, 104, 120},   {0.125f, 0.5f, 141, 162},
                             {1.0f / 3, 1.0f, 194, 60}};
  for (const WheelCase& c : cases) {
    int row = -1, column = -1;
    WheelPosition(c.hue, c.saturation, row, column);
    EXPECT_EQ(row, c.row) << c.hue << " " << c.saturation;
    EXPECT_EQ(column, c.column) << c.hue << " " << c.saturation;
  }
}

TEST(SampleScene, MaskKeysGreenAndNothingElse) {
  const GreyImage mask = SampleMaskPicture();
  auto at = [&](int bufferRow, int column) { return mask.Row(208 - bufferRow)[column]; };
  EXPECT_EQ(at(194, 60), 255);  // pure green (hue 1/3, saturation 1)
  EXPECT_EQ(at(104, 240), 0);   // red
  EXPECT_EQ(at(14, 60), 0);     // blue
  EXPECT_EQ(at(120, 120), 0);   // where the engine reads greys
  EXPECT_EQ(at(104, 120), 0);   // the centre: saturation 0
  // The backdrop green (hue about 0.36, saturation about 0.62) is keyed fully.
  int row, column;
  WheelPosition(0.36f, 0.62f, row, column);
  EXPECT_EQ(at(row, column), 255);
  // Every pixel holds the weight of the colours falling on it, up to the
  // sampling of the hue/saturation grid (the weight changes by less than 3
  // between neighbouring samples).
  std::mt19937 rng(6);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int i = 0; i < 5000; ++i) {
    const float h = u(rng), s = u(rng);
    WheelPosition(h, s, row, column);
    ASSERT_GE(at(row, column) + 3, SampleKeyWeight(h, s)) << h << " " << s;
  }
}

}  // namespace
}  // namespace mattix::cli
