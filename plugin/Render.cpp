// Frame rendering: describing host frames, PrepareOutput and Render of the
// plug-in object, and CKParam::Render, which drives the keying engine.
#include "key/Mattix2.h"
#include "plugin/DescribeImage.h"
#include "plugin/KParam.h"
#include "plugin/MattixPlugin.h"
#include "plugin/PluginStatus.h"
#include "stdfx/DIB.h"
#include "win/WinUser.h"

#include <cstring>

namespace {

bool KeyHeld(int vk) { return GetAsyncKeyState(vk) < 0; }

Tarn::IFXImage* FirstInputImage(const Tarn::TSourceList* inputs) {
  if (inputs == nullptr || inputs->sources == nullptr || inputs->sources[0] == nullptr) {
    return nullptr;
  }
  return inputs->sources[0]->GetImage();
}

// Both row orders are the same when the heights have the same sign (0
// counts as bottom-up, as everywhere in the image library).
bool SameRowOrder(const tagVFBMINFOHEADER& a, const tagVFBMINFOHEADER& b) {
  return (a.biHeight < 0) == (b.biHeight < 0);
}

}  // namespace

bool DescribeImage(tagYUVBMINFOHEADER& header, Tarn::IFXImage* frame) {
  std::memset(&header, 0, sizeof(header));
  tagVFBMINFOHEADER& vf = header.vf;
  const std::int32_t layout = frame->LayoutCode();
  const bool yuv = Tarn::IsYuvLayout(layout);
  if (layout != Tarn::kLayoutBgra32 && !yuv) return false;

  // A frame without a format facet cannot say its row order: refused.
  PIM::RefPtr<Tarn::IFXImageFormat> format;
  frame->GetFacet(Tarn::IFXImageFormat::kIID, format.put());
  if (!format) return false;

  const std::int32_t height = frame->Height();
  if (height < 0 || frame->Width() < 0) return false;
  const std::int32_t width = yuv ? (frame->Width() & ~1) : frame->Width();
  // The host's rows must hold the pixels described: shorter rows (or a
  // negative pitch) would be walked past the end of the host's buffer.
  if (frame->BytesPerRow() < std::int64_t(width) * (yuv ? 2 : 4)) return false;

  unsigned char* alphaBytes = nullptr;
  DWORD alphaPitch = 0;
  if (yuv && frame->AlphaKind() != Tarn::kAlphaNoPlane) {
    PIM::RefPtr<Tarn::IFXAlphaSource> alpha;
    if (frame->GetFacet(Tarn::IFXAlphaSource::kIID, alpha.put()) == PIM::kOk && alpha &&
        alpha->HasAlpha()) {
      Tarn::IFXImage* plane = alpha->AlphaPlane();
      // A plane narrower or shorter than the frame would be read past its end.
      if (plane == nullptr || plane->Pixels() == nullptr || plane->BytesPerRow() < width ||
          plane->Height() < height) {
        return false;
      }
      alphaBytes = static_cast<unsigned char*>(plane->Pixels());
      alphaPitch = DWORD(plane->BytesPerRow());
    }
  }

  vf.biSize = yuv ? stdfx::kHeaderSizeYUV : stdfx::kHeaderSizeVfbmi;
  vf.biWidth = width;
  vf.biHeight = format->IsBottomUp() != 0 ? height : -height;
  vf.biPlanes = 1;
  vf.biBitCount = yuv && alphaBytes == nullptr ? 24 : 32;
  vf.biCompression = yuv ? stdfx::kLayoutYUV : stdfx::kLayoutRGB;
  vf.vfAlphaFlag =
      format->IsPremultiplied() == 1 ? stdfx::kAlphaPremultiplied : stdfx::kAlphaStraight;
  vf.vfFormatFlag = format->IsInterlaced() == 1 && format->InterlaceDetail() == 1
                        ? stdfx::kFormatHostInterlaced
                        : 0;
  vf.vfInterlacedFlag = format->IsInterlaced() == 0 ? stdfx::kContentProgressive : 0;
  vf.vfImageFlag = vf.biBitCount == 32 && format->IsBlackTransparent() == 1 &&
                           frame->AlphaKind() == Tarn::kAlphaBlackTransparent
                       ? stdfx::kImageFlagBlackTransparent
                       : 0;
  vf.vfFormatValue = format->FormatValue();
  vf.vfReserved104 = -1;
  vf.vfRowPitch = DWORD(frame->BytesPerRow());
  if (yuv) {
    vf.vfAlphaBytes = alphaBytes;
    vf.vfAlphaBytesPerLine = alphaPitch;
    header.yuvColorSpaceID = stdfx::kYUVCCIR601;
    header.yuvBitsPerSample = 0;
    header.yuvHSubSampling = stdfx::kSub422UYVY;
    header.yuvVSubSampling = 0;
  }
  // A frame the image library cannot address (a side over 16384 pixels) has
  // no row stride there: refused rather than keyed along its first line.
  return stdfx::IsDIBHeaderSane(&vf);
}

PIM::Status CMattixPlugin::PrepareOutput(void* output, const Tarn::TSourceList* inputs,
                                         void* /*unused1*/, void* /*unused2*/,
                                         Tarn::IFXOutputRequest* request) {
  Tarn::IFXImage* input = FirstInputImage(inputs);
  if (input == nullptr) return mattix::kStatusNoInput;
  if (request == nullptr) return mattix::kStatusHostRefused;
  // A frame without a format facet passes a null format on.
  PIM::RefPtr<Tarn::IFXImageFormat> format;
  input->GetFacet(Tarn::IFXImageFormat::kIID, format.put());
  if (format) format->SetFormatOption(0);
  return request->Request(Tarn::IFXOutputRequest::kFormatRequest, output, format.Get(),
                          Tarn::IFXOutputRequest::kFormatRequestA,
                          Tarn::IFXOutputRequest::kFormatRequestB);
}

PIM::Status CMattixPlugin::Render(Tarn::IFXImageSource* output, const Tarn::TSourceList* inputs,
                                  Tarn::IFXParameterSet* set, Tarn::IFXRenderContext* context) {
  Tarn::IFXImage* outImage = output != nullptr ? output->GetImage() : nullptr;
  Tarn::IFXImage* inImage = FirstInputImage(inputs);
  if (outImage == nullptr || inImage == nullptr) return mattix::kStatusRefusedFrame;
  const std::int32_t outLayout = outImage->LayoutCode();
  const std::int32_t inLayout = inImage->LayoutCode();
  if (outLayout != inLayout && !(Tarn::IsYuvLayout(outLayout) && Tarn::IsYuvLayout(inLayout))) {
    return mattix::kStatusRefusedFrame;
  }
  tagYUVBMINFOHEADER outHeader;
  tagYUVBMINFOHEADER inHeader;
  if (!DescribeImage(outHeader, outImage) || !DescribeImage(inHeader, inImage)) {
    return mattix::kStatusRefusedFrame;
  }

  CKParam snapshot(set);
  // Without a context the whole frame is rendered.
  int field = -1;
  switch (context != nullptr ? context->Mode() : 0) {
    case 0:
      break;
    case 1: {
      const std::int32_t asked = context->Field();
      if (asked == 0 || asked == 1) field = asked;
      break;
    }
    default:
      return mattix::kStatusRenderFailed;
  }

  void* outPixels = outImage->Pixels();
  if (const PIM::Status status =
          snapshot.Render(&outHeader.vf, outPixels, &inHeader.vf, inImage->Pixels(), field);
      status != PIM::kOk) {
    return status;
  }
  if (KeyHeld(VK_OEM_3)) {
    const stdfx::CDIB shown(&outHeader, outPixels);
    shown.DrawToDesktop(0, 0, 0, 0);
  }
  return PIM::kOk;
}

PIM::Status CKParam::Render(const tagVFBMINFOHEADER* outHeader, void* outPixels,
                            const tagVFBMINFOHEADER* inHeader, void* inPixels, int field) {
  stdfx::CDIB output(outHeader, outPixels);
  stdfx::CDIB input(inHeader, inPixels);
  if (field != 0 && field != 1) field = -1;

  // Frames of opposite row order: the engine writes buffer row y from buffer
  // row y, which would show the picture upside down. The keyed rows go into
  // a working image of the output's format in the input's row order, then
  // are converted into the output, which so receives them at their own rows
  // of the picture.
  //
  // Fields are numbered in buffer order, so for an even height field f of
  // the input covers the picture rows of field 1 - f of the output. The rows
  // written are those the engine keyed, at their picture rows: field f of
  // the input lands in the output's field (height - 1 - f) & 1, and no other
  // row of the output is written.
  const bool repair = outHeader->biCompression == stdfx::kLayoutRGB &&
                      inHeader->biCompression == stdfx::kLayoutRGB &&
                      !SameRowOrder(*outHeader, *inHeader);
  CMattix2 engine;
  if (repair) {
    tagYUVBMINFOHEADER workHeader{};
    std::memcpy(&workHeader, outHeader,
                outHeader->biSize == stdfx::kHeaderSizeYUV ? sizeof(workHeader)
                                                           : sizeof(tagVFBMINFOHEADER));
    const LONG height = outHeader->biHeight < 0 ? -outHeader->biHeight : outHeader->biHeight;
    workHeader.vf.biHeight = inHeader->biHeight < 0 ? -height : height;
    stdfx::CDIB keyed(workHeader.vf);
    if (!keyed.IsValidDIB()) return mattix::kStatusRenderFailed;
    if (engine.Process(keyed, input, KeyValues(), Mask(), MaskSize(), field) != 0) {
      return mattix::kStatusRenderFailed;
    }
    const int outField = field < 0 ? -1 : int((height - 1 - field) & 1);
    if (!output.Convert(keyed, outField, 1)) return mattix::kStatusRenderFailed;
  } else if (engine.Process(output, input, KeyValues(), Mask(), MaskSize(), field) != 0) {
    return mattix::kStatusRenderFailed;
  }

  if (KeyHeld(VK_OEM_4)) output.DrawToDesktop(0, 0, 0, 0);
  if (KeyHeld(VK_OEM_6)) output.DrawDIBsAlphaToDesktop(0, 0, 0, 0);
  return PIM::kOk;
}
