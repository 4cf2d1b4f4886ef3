#include "wheel/ChromaMaskRecord.h"

#include <cstring>

#include "stdfx/DibFunctions.h"
#include "stdfx/Rle8.h"
#include "wheel/WheelGeometry.h"

namespace mattix::wheel {

tagVFBMINFOHEADER MaskHeader() {
  tagVFBMINFOHEADER h{};
  h.biSize = stdfx::kHeaderSizeVfbmi;
  h.biWidth = kWidth;
  h.biHeight = kHeight;  // positive: bottom-up
  h.biPlanes = 1;
  h.biBitCount = 8;
  h.biCompression = stdfx::kLayoutRGB;
  h.vfInterlacedFlag = 1;  // progressive
  return h;
}

bool DecodeRecord(const void* record, std::size_t size, stdfx::CDIB& mask) {
  mask.FreeDIB();
  if (RecordIsEmpty(record, size)) return false;
  // The header is read once into storage of exactly its size, so the image
  // reads nothing of the record but the header and the declared stream.
  tagVFBMINFOHEADER header;
  std::memcpy(&header, record, kRecordHeaderSize);
  const bool sound = header.biSize == kRecordHeaderSize && header.biBitCount == 8 &&
                     header.biCompression == stdfx::kLayoutRLE8 && header.biWidth >= 1 &&
                     header.biWidth <= stdfx::kRle8MaxSide && header.biHeight >= 1 &&
                     header.biHeight <= stdfx::kRle8MaxSide &&
                     header.biSizeImage <= size - kRecordHeaderSize;
  if (!sound) return false;
  // A stored record has no alpha plane, whatever its bytes 132 to 143 say,
  // and its rows follow each other in the stream's order: a two-field flag
  // or a row pitch from outside would lay the decoded mask out as no engine
  // walk expects.
  header.vfAlphaBytes = nullptr;
  header.vfAlphaBytesPerLine = 0;
  header.vfFormatFlag = 0;
  header.vfRowPitch = 0;
  auto* stream =
      const_cast<unsigned char*>(static_cast<const unsigned char*>(record)) + kRecordHeaderSize;
  // DecompressRLE decodes beside the wrapped stream, reads at most
  // biSizeImage bytes of it and never writes into it.
  stdfx::CDIB wrapped(&header, stream);
  if (!wrapped.DecompressRLE() || wrapped.DIBBitCount() != 8 ||
      wrapped.DIBCompression() != stdfx::kLayoutRGB || !mask.CopyDIB(wrapped)) {
    mask.FreeDIB();
    return false;
  }
  return true;
}

bool EncodeRecord(const stdfx::CDIB& mask, std::vector<unsigned char>& record) {
  record.clear();
  if (!mask.IsValidDIB() || mask.DIBBitCount() != 8 || mask.DIBCompression() != stdfx::kLayoutRGB ||
      mask.DIBHeight() < 1)
    return false;
  stdfx::CDIB packed(mask);
  if (!packed.IsValidDIB() || !packed.CompressRLE()) return false;
  const std::size_t size = packed.DIBSize();
  record.resize(kRecordHeaderSize + size);
  std::memcpy(record.data(), packed.GetVfBmiHeader(), kRecordHeaderSize);
  std::memcpy(record.data() + kRecordHeaderSize, packed.GetBytes(), size);
  return true;
}

}  // namespace mattix::wheel
