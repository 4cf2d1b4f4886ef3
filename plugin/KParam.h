#pragma once
// CKParam: a snapshot of the parameter values that keying and drawing need,
// taken from the host's parameter set at the start of a call.
#include "tarn/Tarn.h"

#include <cstdint>

struct tagVFBMINFOHEADER;

class CKParam {
 public:
  // Positions of the values in the key settings block (KeyValues()).
  enum : int { kSoftnessValue = 0, kSpillValue = 1, kLightnessValues = 2, kKeyValueCount = 6 };

  // Takes the snapshot by Load(set); set may be null (all defaults).
  explicit CKParam(Tarn::IFXParameterSet* set);
  CKParam(const CKParam&) = delete;
  CKParam& operator=(const CKParam&) = delete;

  // Keys the input frame into the output frame with these settings; field -1
  // is the whole frame, 0 or 1 one field.
  virtual PIM::Status Render(const tagVFBMINFOHEADER* outHeader, void* outPixels,
                             const tagVFBMINFOHEADER* inHeader, void* inPixels, int field);

  // Reads the values afresh. Reading never fails: a value that cannot be had
  // keeps its starting value (softness and spill suppression 0.0, lightness
  // 0, 0, 100, 100, no mask). A "Lightness" value shorter than 32 bytes is
  // ignored (the module never writes one); longer values give their first 32
  // bytes. Numbers are taken as the host holds them; judging them is the
  // keying engine's part.
  virtual void Load(Tarn::IFXParameterSet* set);

  virtual ~CKParam() = default;

  double Softness() const { return m_keyValues[kSoftnessValue]; }
  double SpillSuppression() const { return m_keyValues[kSpillValue]; }
  // L0..L3 in percent.
  const double* Lightness() const { return &m_keyValues[kLightnessValues]; }
  // The six values as one block: softness, spill suppression, L0..L3.
  const double* KeyValues() const { return m_keyValues; }
  // The "Chroma Mask" value: host-owned bytes, valid until the call that
  // took the snapshot returns; size 0 and null when it could not be had or
  // is empty.
  std::uint32_t MaskSize() const { return m_maskSize; }
  const std::uint8_t* Mask() const { return m_mask; }

 private:
  double m_keyValues[kKeyValueCount];
  std::uint32_t m_maskSize;
  const std::uint8_t* m_mask;
};

// Writes size bytes at bytes into the current value of the set's parameter
// index. Returns the status of the first step that fails (the set, the value
// facet, the write), kStatusHostRefused for a null set, else 0.
PIM::Status SetDataParameter(Tarn::IFXParameterSet* set, std::int32_t index, const void* bytes,
                             std::uint32_t size);
