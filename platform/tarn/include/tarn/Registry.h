#pragma once
// Host objects of registration: the effect registry with its two facets and
// the effect description (effect info) with its facets A and B.
#include "tarn/PIM.h"

#include <cstdint>

namespace Tarn {

// The numbers a filter effect of one input describes itself with, by the
// operation that takes them: IFXEffectInfo::SetInteger and SetIntegerPair,
// IFXEffectInfoFacetA::SetFacetInteger, IFXEffectInfoFacetB::SetFacetTriple
// and SetFacetOption.
struct TFilterEffectNumbers {
  std::int32_t integer = 0;
  std::int32_t pair[2] = {1, 4};
  std::int32_t facetInteger = 2;
  std::int32_t facetTriple[3] = {2, 0, 0};
  std::int32_t facetOption = 1;
};
inline constexpr TFilterEffectNumbers kFilterEffectNumbers{};

class IFXEffectInfo : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x5C, 0x1D, 0x65, 0x10, 0x0C, 0x70, 0x7F, 0xD1, 0x53, 0x40, 0xA9,
                                  0x64, 0x69, 0xD8, 0x4A, 0x45}};

  // Texts are UTF-8 and copied by the host.
  virtual void SetName(const char* name) = 0;  // 4
  virtual void SetText(const char* text) = 0;  // 5
  virtual void Reserved6() {}
  virtual void SetVersion(const char* text) = 0;  // 7
  virtual void Reserved8() {}
  virtual void SetEffectId(const PIM::IID& id) = 0;  // 9
  virtual void Reserved10() {}
  virtual void SetInteger(std::int32_t value) = 0;                  // 11
  virtual void SetIntegerPair(std::int32_t a, std::int32_t b) = 0;  // 12

 protected:
  ~IFXEffectInfo() = default;
};

class IFXEffectInfoFacetA : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x8B, 0xC7, 0xCB, 0xAB, 0xA4, 0xBB, 0xAB, 0x32, 0xA1, 0x2B, 0x63,
                                  0xF0, 0xB4, 0x9E, 0x10, 0xD4}};

  virtual void Reserved4() {}
  virtual void SetFacetInteger(std::int32_t value) = 0;  // 5

 protected:
  ~IFXEffectInfoFacetA() = default;
};

class IFXEffectInfoFacetB : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x93, 0x33, 0x98, 0x32, 0x61, 0xD0, 0xF6, 0x2C, 0x1C, 0x1A, 0xEC,
                                  0xFE, 0xCD, 0xA7, 0x42, 0xE1}};

  virtual void Reserved4() {}
  virtual void SetFacetTriple(std::int32_t a, std::int32_t b, std::int32_t c) = 0;  // 5
  virtual void SetFacetOption(std::int32_t value) = 0;                              // 6

 protected:
  ~IFXEffectInfoFacetB() = default;
};

class IFXEffectRegistry : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x86, 0x70, 0xA5, 0x68, 0x67, 0xF4, 0x1D, 0x13, 0x3B, 0x7F, 0x4D,
                                  0x18, 0x4F, 0x22, 0xBC, 0x88}};

  // 4. Registers the effect that info describes.
  virtual PIM::Status Register(IFXEffectInfo* info) = 0;
  // 5. No arguments; called before describing and after registering.
  virtual void Update() = 0;

 protected:
  ~IFXEffectRegistry() = default;
};

// First facet of the registry: takes the address of a record of the module's
// that the module never reads back.
class IFXEffectRegistryFacet1 : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x91, 0x4E, 0x80, 0x0B, 0x68, 0x8D, 0x32, 0x93, 0x8F, 0xAF, 0xE0,
                                  0xDC, 0x24, 0x79, 0x6E, 0x0A}};

  virtual void AttachModuleRecord(const void* record) = 0;  // 4

 protected:
  ~IFXEffectRegistryFacet1() = default;
};

// Second facet of the registry: one operation without arguments.
class IFXEffectRegistryFacet2 : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x87, 0x0E, 0x1E, 0xF3, 0x1D, 0x5B, 0xA4, 0x6D, 0xFB, 0x16, 0x33,
                                  0xD0, 0x2E, 0x32, 0x70, 0xF6}};

  virtual void Announce() = 0;  // 4

 protected:
  ~IFXEffectRegistryFacet2() = default;
};

}  // namespace Tarn
