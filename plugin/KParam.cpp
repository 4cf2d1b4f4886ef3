#include "plugin/KParam.h"

#include "plugin/Parameters.h"
#include "plugin/PluginStatus.h"
#include "plugin/internal/HostCalls.h"

#include <bit>
#include <cstring>

namespace {

// The "Lightness" bytes are little-endian doubles, the machine's own order.
static_assert(std::endian::native == std::endian::little);
static_assert(sizeof(double) * 4 == mattix::kLightnessSize);

}  // namespace

CKParam::CKParam(Tarn::IFXParameterSet* set) : m_keyValues{}, m_maskSize(0), m_mask(nullptr) {
  Load(set);
}

// CKParam::Render: see Render.cpp.

void CKParam::Load(Tarn::IFXParameterSet* set) {
  m_keyValues[kSoftnessValue] = mattix::internal::ReadNumber(set, mattix::kSoftness);
  m_keyValues[kSpillValue] = mattix::internal::ReadNumber(set, mattix::kSpillSuppression);

  std::memcpy(&m_keyValues[kLightnessValues], mattix::kDefaultLightness,
              sizeof(mattix::kDefaultLightness));
  if (PIM::RefPtr<Tarn::IFXDataValue> value = mattix::internal::ReadData(set, mattix::kLightness)) {
    const void* bytes = value->GetData();
    if (bytes != nullptr && value->GetSize() >= mattix::kLightnessSize) {
      std::memcpy(&m_keyValues[kLightnessValues], bytes, mattix::kLightnessSize);
    }
  }

  m_maskSize = 0;
  m_mask = nullptr;
  if (PIM::RefPtr<Tarn::IFXDataValue> value =
          mattix::internal::ReadData(set, mattix::kChromaMask)) {
    const void* bytes = value->GetData();
    const std::uint32_t size = value->GetSize();
    if (bytes != nullptr && size != 0) {
      m_mask = static_cast<const std::uint8_t*>(bytes);
      m_maskSize = size;
    }
  }
}

PIM::Status SetDataParameter(Tarn::IFXParameterSet* set, std::int32_t index, const void* bytes,
                             std::uint32_t size) {
  PIM::RefPtr<Tarn::IFXParameter> parameter;
  if (const PIM::Status status = mattix::internal::GetParameter(set, index, parameter);
      status != PIM::kOk) {
    return status;
  }
  PIM::RefPtr<Tarn::IFXDataValue> value;
  if (const PIM::Status status = mattix::internal::GetCurrentValue(parameter.Get(), value);
      status != PIM::kOk) {
    return status;
  }
  return value->Set(size, bytes);
}
