#pragma once
// Host objects through which an effect defines its parameters and reads and
// writes their values. A parameter has a kind (number or byte block), a name,
// an index, and two value facets: the current value and the default value.
#include "tarn/PIM.h"

#include <cstdint>

namespace Tarn {

// Kinds of parameter that the factory creates.
inline constexpr std::int32_t kNumberParameter = 1;  // a double
inline constexpr std::int32_t kDataParameter = 3;    // a block of bytes

class IFXParameter : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0xF6, 0x29, 0xFA, 0x3C, 0xB3, 0x37, 0xEA, 0x3C, 0xB1, 0xE9, 0x35,
                                  0x2E, 0x2C, 0xE1, 0x48, 0x2B}};

  virtual void Reserved4() {}
  virtual void Reserved5() {}
  // 6. The name shown to the user; the host copies the text (UTF-8).
  virtual void SetName(const char* name) = 0;
  // 7, 8. The parameter's index in the effect's parameter set.
  virtual std::int32_t GetIndex() = 0;
  virtual void SetIndex(std::int32_t index) = 0;
  virtual void Reserved9() {}
  virtual void Reserved10() {}
  // 11, 12. The current-value and default-value facets, asked for by the
  // identifier of IFXNumberValue or IFXDataValue; the caller releases them.
  virtual PIM::Status CurrentValue(const PIM::IID& iid, void** out) = 0;
  virtual PIM::Status DefaultValue(const PIM::IID& iid, void** out) = 0;

 protected:
  ~IFXParameter() = default;
};

// Facet of a number parameter (QueryInterface on the parameter).
class IFXNumberRange : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x7F, 0xD0, 0x54, 0x23, 0x28, 0xAD, 0xD9, 0x70, 0x18, 0xDB, 0xF1,
                                  0x81, 0x43, 0x98, 0x53, 0xFA}};

  virtual void Reserved4() {}
  virtual void SetStep(double step) = 0;  // 5
  virtual void Reserved6() {}
  virtual void SetDisplayMinimum(double value) = 0;  // 7
  virtual void Reserved8() {}
  virtual void SetDisplayMaximum(double value) = 0;  // 9
  virtual void Reserved10() {}
  virtual void SetMinimum(double value) = 0;  // 11
  virtual void Reserved12() {}
  virtual void SetMaximum(double value) = 0;  // 13

 protected:
  ~IFXNumberRange() = default;
};

class IFXNumberValue : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0xF7, 0xAE, 0x3A, 0x3C, 0x6E, 0x21, 0x03, 0x74, 0xBD, 0x0E, 0x55,
                                  0x3E, 0x8B, 0x65, 0x92, 0x14}};

  virtual void Reserved4() {}
  virtual double Get() = 0;                   // 5
  virtual PIM::Status Set(double value) = 0;  // 6

 protected:
  ~IFXNumberValue() = default;
};

class IFXDataValue : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x10, 0x48, 0x48, 0x54, 0xEE, 0xC6, 0xB3, 0xB7, 0x26, 0xAD, 0x25,
                                  0x77, 0x51, 0xE8, 0x42, 0x4D}};

  virtual void Reserved4() {}
  // 5. Length of the value in bytes.
  virtual std::uint32_t GetSize() = 0;
  // 6. The bytes, owned by the host; valid until the effect's operation
  // during which they were asked for returns.
  virtual const void* GetData() = 0;
  // 7. Replaces the value with a copy of size bytes at data.
  virtual PIM::Status Set(std::uint32_t size, const void* data) = 0;

 protected:
  ~IFXDataValue() = default;
};

class IFXParameterList : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x48, 0x85, 0x4E, 0x21, 0x31, 0x8D, 0x18, 0x7A, 0xF2, 0xD1, 0x40,
                                  0x4B, 0x59, 0x71, 0x52, 0xC4}};

  virtual void Reserved4() {}
  virtual void Reserved5() {}
  // 6. Adds a defined parameter; the list takes its own reference.
  virtual PIM::Status Add(IFXParameter* parameter) = 0;

 protected:
  ~IFXParameterList() = default;
};

class IFXParameterFactory : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x8D, 0x60, 0xB6, 0xB5, 0x91, 0xAF, 0x11, 0xA3, 0x83, 0x1D, 0xB1,
                                  0x2F, 0xDF, 0x48, 0x99, 0x2B}};

  virtual void Reserved4() {}
  virtual void Reserved5() {}
  // 6. Creates a parameter of a kind (kNumberParameter, kDataParameter) and
  // hands out its interface iid (normally IFXParameter's); the caller
  // releases it.
  virtual PIM::Status Create(std::int32_t kind, const PIM::IID& iid, void** out) = 0;

 protected:
  ~IFXParameterFactory() = default;
};

class IFXParameterSet : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x8F, 0xB6, 0x07, 0xFD, 0x76, 0x74, 0xEB, 0x1A, 0xED, 0xB8, 0x7A,
                                  0xC5, 0xDD, 0x4B, 0xB0, 0x33}};

  virtual void Reserved4() {}
  virtual void Reserved5() {}
  virtual void Reserved6() {}
  virtual void Reserved7() {}
  virtual void Reserved8() {}
  virtual void Reserved9() {}
  // 10. The parameter at index, as interface iid; the caller releases it.
  virtual PIM::Status GetParameter(std::int32_t index, const PIM::IID& iid, void** out) = 0;

 protected:
  ~IFXParameterSet() = default;
};

}  // namespace Tarn
