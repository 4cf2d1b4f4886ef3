#pragma once
// A host parameter: kind, name, index, number range (number parameters
// only), and its current and default values.
#include "host/effect/DataValue.h"
#include "host/effect/HostObject.h"
#include "host/effect/NumberValue.h"
#include "tarn/Parameters.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mattix::host {

// What the effect set on a number range; a member stays empty until set.
struct NumberRange {
  std::optional<double> step;
  std::optional<double> minimum;
  std::optional<double> maximum;
  std::optional<double> displayMinimum;
  std::optional<double> displayMaximum;
};

class CParameter : public TObject<Tarn::IFXParameter, Tarn::IFXNumberRange> {
 public:
  // kind: Tarn::kNumberParameter or Tarn::kDataParameter (anything else is
  // kept as a byte block). A non-zero refusal makes CurrentValue fail with
  // it, to see how an effect copes.
  explicit CParameter(std::int32_t kind, PIM::Status refusal = PIM::kOk);

  // IFXParameter.
  void SetName(const char* name) override;
  std::int32_t GetIndex() override { return m_index; }
  void SetIndex(std::int32_t index) override { m_index = index; }
  PIM::Status CurrentValue(const PIM::IID& iid, void** out) override;
  PIM::Status DefaultValue(const PIM::IID& iid, void** out) override;

  // IFXNumberRange.
  void SetStep(double step) override { m_range.step = step; }
  void SetDisplayMinimum(double value) override { m_range.displayMinimum = value; }
  void SetDisplayMaximum(double value) override { m_range.displayMaximum = value; }
  void SetMinimum(double value) override { m_range.minimum = value; }
  void SetMaximum(double value) override { m_range.maximum = value; }

  std::int32_t Kind() const { return m_kind; }
  bool IsNumber() const { return m_kind == Tarn::kNumberParameter; }
  const std::string& Name() const { return m_name; }
  std::int32_t Index() const { return m_index; }  // -1 until set
  const NumberRange& Range() const { return m_range; }

  // The value objects: number values for a number parameter, else null;
  // data values for a byte-block parameter, else null.
  CNumberValue* CurrentNumber() const { return m_currentNumber.Get(); }
  CNumberValue* DefaultNumber() const { return m_defaultNumber.Get(); }
  CDataValue* CurrentData() const { return m_currentData.Get(); }
  CDataValue* DefaultData() const { return m_defaultData.Get(); }

 protected:
  bool Offers(const PIM::IID& iid) const override;

 private:
  PIM::Status Value(Tarn::IFXNumberValue* number, Tarn::IFXDataValue* data, PIM::Status refusal,
                    const PIM::IID& iid, void** out);

  std::int32_t m_kind;
  PIM::Status m_refusal;
  std::string m_name;
  std::int32_t m_index = -1;
  NumberRange m_range;
  PIM::RefPtr<CNumberValue> m_currentNumber;
  PIM::RefPtr<CNumberValue> m_defaultNumber;
  PIM::RefPtr<CDataValue> m_currentData;
  PIM::RefPtr<CDataValue> m_defaultData;
};

}  // namespace mattix::host
