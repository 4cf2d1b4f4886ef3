#include "key/Mattix2.h"

#include <cstddef>

#include "filter/Gaussian.h"
#include "key/internal/ColourTable.h"
#include "key/internal/KeyKernels.h"
#include "key/internal/KeyMath.h"
#include "stdfx/Cpu.h"
#include "stdfx/DibFunctions.h"
#include "stdfx/VfbmiHeader.h"
#include "wheel/ChromaMaskRecord.h"

#if defined(__x86_64__) || defined(__i386__)
#include <mmintrin.h>
#endif

namespace {

namespace ki = mattix::key::internal;

void EmptyMMXState() {
  if (stdfx::IsMMXCPU() || stdfx::IsSSECPU() || stdfx::IsSSE2CPU()) {
#if defined(__x86_64__) || defined(__i386__)
    _mm_empty();
#endif
  }
}

// Restores a header's biHeight when the copy path leaves, however it leaves.
class HeightRestorer {
 public:
  explicit HeightRestorer(tagVFBMINFOHEADER* h) : m_header(h), m_height(h->biHeight) {}
  ~HeightRestorer() { m_header->biHeight = m_height; }
  HeightRestorer(const HeightRestorer&) = delete;
  HeightRestorer& operator=(const HeightRestorer&) = delete;

 private:
  tagVFBMINFOHEADER* m_header;
  LONG m_height;
};

// Keys the lines of one field (-1: every line) with the given row kernel:
// from the target's first line of the field, at each image's field offset,
// stepping two lines (one for the whole frame) and as many strides.
template <class Kernel>
void WalkField(stdfx::CDIB& target, stdfx::CDIB& source, int field, int width, int height,
               const ki::KeyRowParams& params, Kernel kernel) {
  const int lineStep = field == -1 ? 1 : 2;
  const int y0 = target.DIBField1stLine(field);
  if (y0 < 0 || y0 >= height) return;
  std::uint8_t* dst = target.GetBytes() + target.DIBFieldOffset(field);
  const std::uint8_t* src = source.GetBytes() + source.DIBFieldOffset(field);
  const std::ptrdiff_t dstStep = std::ptrdiff_t(target.DIBBytesPerLine()) * lineStep;
  const std::ptrdiff_t srcStep = std::ptrdiff_t(source.DIBBytesPerLine()) * lineStep;
  for (int y = y0;;) {
    kernel(dst, src, width, params);
    y += lineStep;
    if (y >= height) break;
    dst += dstStep;
    src += srcStep;
  }
}

}  // namespace

CMattix2::CMattix2() = default;

CMattix2::~CMattix2() { m_mask.FreeDIB(); }

int CMattix2::Process(stdfx::CDIB& target, stdfx::CDIB& source, const double* settings,
                      const unsigned char* maskBlob, std::uint32_t maskBlobSize, int field) {
  try {
    static constexpr double kDefaults[6] = {0.0, 0.0, 0.0, 0.0, 100.0, 100.0};
    const double* v = settings ? settings : kDefaults;
    m_softness = v[0];
    m_spill = v[1];
    for (int i = 0; i < 4; ++i) m_lightness[i] = v[2 + i];
    m_maskBlob = maskBlob;
    m_maskBlobSize = maskBlob ? maskBlobSize : 0;
    m_field = (field == 0 || field == 1) ? field : -1;

    if (!source.IsValidDIB() || !target.IsValidDIB()) return kUnusableFrames;
    // A header the image library cannot address has no stride: every walk
    // below would step 0 bytes a line and key the first line only.
    if (!stdfx::IsDIBHeaderSane(source.GetVfBmiHeader()) ||
        !stdfx::IsDIBHeaderSane(target.GetVfBmiHeader()))
      return kUnusableFrames;
    // A premultiplied source is made straight in its own memory.
    if (source.DIBBitCount() == 32 && source.DIBAlphaIsPremultiplied() &&
        !source.ConvertAlphaToStraight(-1))
      return kUnusableFrames;
    // YUV and the Z layouts are refused as well as compressed ones.
    if (source.DIBCompression() != stdfx::kLayoutRGB) return kNotRGB;
    return KeyImage(target, source);
  } catch (...) {
    EmptyMMXState();
    return kException;
  }
}

int CMattix2::PrepareMask() {
  try {
    // An empty, unsound or undecodable record leaves the mask freed: no mask.
    mattix::wheel::DecodeRecord(m_maskBlob, m_maskBlobSize, m_mask);
  } catch (...) {
    m_mask.FreeDIB();
  }
  return 1;
}

void CMattix2::BuildLightnessTable() {
  double safe[4];
  for (int i = 0; i < 4; ++i) safe[i] = ki::SafeBreakpoint(m_lightness[i], i);
  ki::FillLightnessTable(safe, m_lightnessTable);
}

int CMattix2::KeyImage(stdfx::CDIB& target, stdfx::CDIB& source) {
  const int width = target.DIBWidth();
  const int height = target.DIBHeight();

  PrepareMask();
  BuildLightnessTable();

  if (!m_mask.IsValidDIB() || m_mask.IsDIBEmpty()) {
    // No usable mask: the source is copied row for row in buffer order,
    // whatever the bit depths. Giving the source the target's biHeight for
    // the copy keeps CopyBack from reordering rows, and a taller source
    // gives its first rows in buffer order. A shorter source is refused
    // rather than read past its end.
    if (source.DIBHeight() < height) return kUnusableFrames;
    tagVFBMINFOHEADER* srcHeader = source.GetVfBmiHeader();
    bool copied;
    {
      HeightRestorer restore(srcHeader);
      srcHeader->biHeight = target.GetVfBmiHeader()->biHeight;
      copied = stdfx::CopyBack(target.GetVfBmiHeader(), target.GetBytes(), srcHeader,
                               source.GetBytes(), m_field);
    }
    return copied ? kDone : kUnusableFrames;
  }

  stdfx::CDIB work(m_mask);
  if (!work.IsValidDIB()) return kMaskFailed;

  const double softness = ki::SafeSoftness(m_softness);
  if (softness > 0.0) {
    if (!work.Create(m_mask)) return kMaskFailed;
    const double radius = ki::SoftnessRadius(softness);
    stdfx::CGaussian blur(1);
    if (blur.Blur(work, m_mask, radius, radius) != 0) return kMaskFailed;
  }

  if (target.DIBBitCount() != 32 || source.DIBBitCount() != 32) return kUnusableFrames;
  // Guards of our own: the kernels write 4-byte pixels at the target's
  // stride and read as many source pixels per line.
  if (target.DIBCompression() != stdfx::kLayoutRGB || source.DIBWidth() < width ||
      source.DIBHeight() < height)
    return kUnusableFrames;

  ki::KeyRowParams params;
  params.mask =
      ki::MakeMaskView(work.GetBytes(), work.DIBBytesPerLine(), work.DIBWidth(), work.DIBHeight());
  params.lightness = m_lightnessTable;
  const double spill = ki::SafeSpill(m_spill);
  params.spillFactor = ki::SpillFactor(spill);
  const ki::KernelSet set = ki::ActiveKernelSet();
  const ki::KeyRowKernels kernels = ki::KernelsOf(set);
  const ki::KeyRowFn kernel = spill > 0.0 ? kernels.spill : kernels.plain;
  // The reference set keys every pixel itself; the others through the
  // key's colour table once it has one.
  std::shared_ptr<const ki::CColourTable> table;
  if (set != ki::KernelSet::kReference) {
    const std::uint64_t lines =
        m_field == -1 ? std::uint64_t(height) : std::uint64_t(height + 1) / 2;
    table = ki::CColourTable::ForKey(params, spill > 0.0, kernel, std::uint64_t(width) * lines);
  }
  const auto direct = [kernel](std::uint8_t* dst, const std::uint8_t* src, int w,
                               const ki::KeyRowParams& p) { kernel(dst, src, w, p); };
  const auto lookUp = [&table, &kernels](std::uint8_t* dst, const std::uint8_t* src, int w,
                                         const ki::KeyRowParams&) {
    table->KeyRow(dst, src, w, kernels);
  };
  const auto walk = [&](auto rowKernel) {
    // A buffer of two separate fields cannot be walked as one frame with
    // one stride: the whole frame is then keyed field by field.
    if (m_field == -1 && (target.DIBFormatIs2Fields() || source.DIBFormatIs2Fields())) {
      WalkField(target, source, 0, width, height, params, rowKernel);
      WalkField(target, source, 1, width, height, params, rowKernel);
    } else {
      WalkField(target, source, m_field, width, height, params, rowKernel);
    }
  };
  if (table)
    walk(lookUp);
  else
    walk(direct);
  return kDone;
}
