#pragma once
// Image headers: the extended bitmap header that describes every image the
// module touches (144 bytes), and its YUV form (160 bytes). Both are packed,
// little-endian records; every offset is checked below. The first 40 bytes
// are exactly a BITMAPINFOHEADER.
//
// Bytes that nothing here interprets (40-47, 60-83, 88-99, 112-127) belong to
// the image library: headers it builds keep them zero and copies keep them
// unchanged.
#include <cstddef>

#include "win/WinGdiTypes.h"
#include "win/WinTypes.h"

#pragma pack(push, 1)

struct tagVFBMINFOHEADER {
  DWORD biSize;   // 40, 144 or 160
  LONG biWidth;   // pixels
  LONG biHeight;  // lines; >= 0 bottom-up, < 0 top-down
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;  // layout code (see below)
  DWORD biSizeImage;    // bytes of pixel data (the encoded size when compressed)
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
  BYTE vfReserved40[8];
  DWORD vfImageFlag;   // 48: see kImageFlagBlackTransparent
  DWORD vfAlphaFlag;   // 52: kAlphaStraight, kAlphaOpaque, kAlphaPremultiplied
  DWORD vfFormatFlag;  // 56: bit 0 two separate fields; other bits the library's
  BYTE vfReserved60[24];
  DWORD vfInterlacedFlag;  // 84: bit 0 set: progressive content
  BYTE vfReserved88[12];
  float vfFormatValue;          // 100: copied from the host's frame description
  std::int32_t vfReserved104;   // -1 in headers made from host frames
  std::uint32_t vfReserved108;  // 0 in headers made from host frames
  BYTE vfReserved112[16];
  DWORD vfRowPitch;             // 128: bytes between buffer rows of a host frame, or 0
  unsigned char* vfAlphaBytes;  // 132 (unaligned): separate alpha plane, or null
  DWORD vfAlphaBytesPerLine;    // 140: bytes between rows of the alpha plane
};

// The YUV form: the same 144 bytes followed by four sampling descriptors.
struct tagYUVBMINFOHEADER {
  tagVFBMINFOHEADER vf;
  DWORD yuvColorSpaceID;   // 144: kYUVCCIR601 or kYUVITU709, | kYUVNormalized
  DWORD yuvBitsPerSample;  // 148: 0 stands for 8
  DWORD yuvHSubSampling;   // 152: kSub444, kSub422UYVY, kSub422, kSub411, kSub420
  DWORD yuvVSubSampling;   // 156: a code of the same family, kept as given
};

#pragma pack(pop)

static_assert(sizeof(tagVFBMINFOHEADER) == 144);
static_assert(alignof(tagVFBMINFOHEADER) == 1);
static_assert(offsetof(tagVFBMINFOHEADER, biSize) == 0);
static_assert(offsetof(tagVFBMINFOHEADER, biWidth) == 4);
static_assert(offsetof(tagVFBMINFOHEADER, biHeight) == 8);
static_assert(offsetof(tagVFBMINFOHEADER, biPlanes) == 12);
static_assert(offsetof(tagVFBMINFOHEADER, biBitCount) == 14);
static_assert(offsetof(tagVFBMINFOHEADER, biCompression) == 16);
static_assert(offsetof(tagVFBMINFOHEADER, biSizeImage) == 20);
static_assert(offsetof(tagVFBMINFOHEADER, biXPelsPerMeter) == 24);
static_assert(offsetof(tagVFBMINFOHEADER, biYPelsPerMeter) == 28);
static_assert(offsetof(tagVFBMINFOHEADER, biClrUsed) == 32);
static_assert(offsetof(tagVFBMINFOHEADER, biClrImportant) == 36);
static_assert(offsetof(tagVFBMINFOHEADER, vfReserved40) == 40);
static_assert(offsetof(tagVFBMINFOHEADER, vfImageFlag) == 48);
static_assert(offsetof(tagVFBMINFOHEADER, vfAlphaFlag) == 52);
static_assert(offsetof(tagVFBMINFOHEADER, vfFormatFlag) == 56);
static_assert(offsetof(tagVFBMINFOHEADER, vfReserved60) == 60);
static_assert(offsetof(tagVFBMINFOHEADER, vfInterlacedFlag) == 84);
static_assert(offsetof(tagVFBMINFOHEADER, vfReserved88) == 88);
static_assert(offsetof(tagVFBMINFOHEADER, vfFormatValue) == 100);
static_assert(offsetof(tagVFBMINFOHEADER, vfReserved104) == 104);
static_assert(offsetof(tagVFBMINFOHEADER, vfReserved108) == 108);
static_assert(offsetof(tagVFBMINFOHEADER, vfReserved112) == 112);
static_assert(offsetof(tagVFBMINFOHEADER, vfRowPitch) == 128);
static_assert(offsetof(tagVFBMINFOHEADER, vfAlphaBytes) == 132);
static_assert(offsetof(tagVFBMINFOHEADER, vfAlphaBytesPerLine) == 140);
static_assert(sizeof(float) == 4 && sizeof(unsigned char*) == 8);

static_assert(sizeof(tagYUVBMINFOHEADER) == 160);
static_assert(offsetof(tagYUVBMINFOHEADER, vf) == 0);
static_assert(offsetof(tagYUVBMINFOHEADER, yuvColorSpaceID) == 144);
static_assert(offsetof(tagYUVBMINFOHEADER, yuvBitsPerSample) == 148);
static_assert(offsetof(tagYUVBMINFOHEADER, yuvHSubSampling) == 152);
static_assert(offsetof(tagYUVBMINFOHEADER, yuvVSubSampling) == 156);

// The leading 40 bytes are a BITMAPINFOHEADER, field for field.
static_assert(offsetof(tagVFBMINFOHEADER, biClrImportant) ==
              offsetof(BITMAPINFOHEADER, biClrImportant));

namespace stdfx {

// A four-character code reads in memory order: the first character is the
// low byte.
constexpr DWORD MakeFourCC(char a, char b, char c, char d) {
  return DWORD(BYTE(a)) | DWORD(BYTE(b)) << 8 | DWORD(BYTE(c)) << 16 | DWORD(BYTE(d)) << 24;
}

// Layout codes (biCompression). Any other value is a compressed layout.
inline constexpr DWORD kLayoutRGB = BI_RGB;                            // 0
inline constexpr DWORD kLayoutYUV = MakeFourCC('@', 'Y', 'U', 'V');    // packed YUV
inline constexpr DWORD kLayoutRGBAZ = MakeFourCC('R', 'G', 'B', 'z');  // RGBAZ
inline constexpr DWORD kLayoutYUVAZ = MakeFourCC('Y', 'U', 'V', 'z');  // YUVAZ
inline constexpr DWORD kLayoutRLE8 = BI_RLE8;  // 8-bit Windows run-length encoding
static_assert(kLayoutYUV == 0x56555940);
static_assert(kLayoutRGBAZ == 0x7a424752);
static_assert(kLayoutYUVAZ == 0x7a565559);

inline constexpr DWORD kHeaderSizeBitmap = 40;
inline constexpr DWORD kHeaderSizeVfbmi = 144;
inline constexpr DWORD kHeaderSizeYUV = 160;

// Image flag (offset 48).
inline constexpr DWORD kImageFlagBlackTransparent = 0x8;  // black pixels are transparent

// Alpha flag (offset 52).
inline constexpr DWORD kAlphaStraight = 0;
inline constexpr DWORD kAlphaOpaque = 1;
inline constexpr DWORD kAlphaPremultiplied = 2;

// Format flag (offset 56).
inline constexpr DWORD kFormatTwoFields = 0x1;        // buffer holds field 0, then field 1
inline constexpr DWORD kFormatHostInterlaced = 0x20;  // set for some host frames

// Interlaced flag (offset 84).
inline constexpr DWORD kContentProgressive = 0x1;  // clear: interlaced content

// YUV colour-space id (offset 144).
inline constexpr DWORD kYUVCCIR601 = 0;
inline constexpr DWORD kYUVITU709 = 2;
inline constexpr DWORD kYUVNormalized = 0x1;

// Sub-sampling codes (offsets 152 and 156).
inline constexpr DWORD kSub422 = 0;  // 4:2:2, order unspecified
inline constexpr DWORD kSub444 = 16;
inline constexpr DWORD kSub411 = 32;
inline constexpr DWORD kSub420 = 64;
inline constexpr DWORD kSub422UYVY = 512;  // 4:2:2, bytes U Y0 V Y1 per two pixels

}  // namespace stdfx
