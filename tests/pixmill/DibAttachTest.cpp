// Attaching to the caller's header: a header the library can address is
// attached with the stride and size of the direct formula (rows of w x bits
// rounded up to 4 bytes, or the host's pitch); one it cannot address (a side
// over 16384, a size past a signed 32-bit count, an unknown depth, an absurd
// encoded size) leaves the image invalid; an empty header is kept. No pixel
// memory is needed: attaching never touches it.
#include <gtest/gtest.h>

#include <cstdint>

#include "ImageTestUtil.h"
#include "stdfx/DIB.h"

namespace {

using pixmill_test::MakeHeader;

TEST(Attach, RefusesHeadersItCannotAddress) {
  const struct {
    int width, height, bits;
    DWORD layout, pitch, sizeImage;
    bool attached;
  } cases[] = {{16384, 2, 32, 0, 0, 0, true},
               {16385, 2, 32, 0, 0, 0, false},
               {2, 16384, 8, 0, 0, 0, true},
               {2, -16384, 8, 0, 0, 0, true},
               {2, 16385, 8, 0, 0, 0, false},
               {2, -16385, 8, 0, 0, 0, false},
               {-1, 2, 32, 0, 0, 0, false},
               {65535, 1, 24, 0, 0, 0, false},
               {16384, 16384, 32, 0, 0, 0, true},
               {16384, 16384, 32, 0, 0x20000, 0, false},
               {3, 5, 24, 0, 4000, 0, true},
               {1, 2, 8, 0, 0xFFFFFFFF, 0, false},
               {4, 4, 7, 0, 0, 0, false},
               {16, 4, 8, 1, 0, 6, true},
               {16, 4, 8, 1, 0, 0x7FFFFFFF, false},
               {20000, 3, 0, 0, 0, 0, true},
               {0, 2147483647, 32, 0, 0, 0, true},
               {2147483647, 0, 32, 0, 0, 0, true},
               {1, int(0x80000000), 8, 0, 0, 0, false}};
  unsigned char bits[1] = {};
  for (const auto& c : cases) {
    tagVFBMINFOHEADER h = MakeHeader(c.width, c.height, c.bits, c.layout);
    h.vfRowPitch = c.pitch;
    h.biSizeImage = c.sizeImage;
    const stdfx::CDIB image(&h, bits);
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << " x " << c.bits);
    ASSERT_EQ(image.IsAttached(), c.attached);
    if (!c.attached) {
      EXPECT_TRUE(image.GetVfBmiHeader() == nullptr && image.GetBytes() == nullptr);
      continue;
    }
    EXPECT_EQ(image.GetVfBmiHeader(), &h);
    if (image.IsDIBEmpty()) continue;
    const std::int64_t rowBytes = (std::int64_t(c.width) * c.bits + 31) / 32 * 4;
    const std::int64_t stride = c.pitch >= rowBytes ? c.pitch : rowBytes;
    const std::int64_t rows = c.height < 0 ? -std::int64_t(c.height) : c.height;
    EXPECT_EQ(image.DIBBytesPerLine(), stride);
    EXPECT_EQ(std::int64_t(image.DIBSize()), c.layout == 1 ? c.sizeImage : stride * rows);
  }
}

}  // namespace
