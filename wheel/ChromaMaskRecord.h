#pragma once
// The "Chroma Mask" record: the stored form of the wheel's key mask, kept by
// the host in the effect's parameter and its projects, produced by the wheel
// and decoded by the keying engine for every frame.
//
// Layout: a 144-byte tagVFBMINFOHEADER of the 8-bit mask with bottom-up rows
// (biHeight > 0), biCompression BI_RLE8 and biSizeImage the length of the
// run-length stream, followed by that stream as the image library's
// CompressRLE writes it. The stored header carries no alpha-plane address;
// its format flag and row pitch are not read (a decoded mask has plain rows,
// one after the other).
// A record of 144 bytes or less, or none at all, holds no mask; the empty
// record is 144 zero bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "stdfx/DIB.h"
#include "stdfx/VfbmiHeader.h"

namespace mattix::wheel {

inline constexpr std::uint32_t kRecordHeaderSize = sizeof(tagVFBMINFOHEADER);
static_assert(kRecordHeaderSize == 144);

// The empty record: kEmptyRecordSize zero bytes, meaning "no mask".
inline constexpr std::uint32_t kEmptyRecordSize = kRecordHeaderSize;
inline constexpr unsigned char kEmptyRecord[kEmptyRecordSize] = {};

// True when a record holds no mask.
inline bool RecordIsEmpty(const void* record, std::size_t size) {
  return record == nullptr || size <= kRecordHeaderSize;
}

// The header of the wheel's key mask: 241 x 209, 8 bits per pixel,
// bottom-up, uncompressed, progressive (interlaced flag 1), all else 0.
tagVFBMINFOHEADER MaskHeader();

// Decodes a record into mask, which becomes a created, uncompressed 8-bit
// image with the record's size. The record is accepted only when it is not
// empty, its header has biSize 144 and describes an 8-bit BI_RLE8 image of 1
// to 16384 pixels a side with bottom-up rows whose biSizeImage bytes lie
// within `size`, and the stream decodes completely. Nothing past
// record + size is read and the record is never written. On refusal mask is
// freed (invalid) and the result is false: a mask is never half decoded.
bool DecodeRecord(const void* record, std::size_t size, stdfx::CDIB& mask);

// Encodes an uncompressed 8-bit bottom-up image as a record. False, and
// record emptied, when mask is not such an image or cannot be compressed.
bool EncodeRecord(const stdfx::CDIB& mask, std::vector<unsigned char>& record);

}  // namespace mattix::wheel
