#pragma once
// Host objects of the user interface: an event (drawing a custom control, a
// parameter change, a mouse event) with its optional mouse facet.
#include "tarn/Geometry.h"
#include "tarn/PIM.h"

#include <cstdint>

namespace Tarn {

class IFXParameter;
class IFXParameterSet;

// Window and device-context handles, opaque to the SDK (HWND and HDC of the
// Windows layer).
using WindowHandle = void*;
using DeviceContextHandle = void*;

// Event kinds.
inline constexpr std::int32_t kDrawEvent = 1;

class IFXMouseButtons : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x83, 0x57, 0xAB, 0x57, 0x55, 0xD9, 0x54, 0x00, 0xDD, 0x7E, 0x6F,
                                  0x57, 0xF8, 0xEB, 0x1B, 0x19}};

  virtual void Reserved4() {}
  virtual bool Left() = 0;   // 5
  virtual bool Right() = 0;  // 6

 protected:
  ~IFXMouseButtons() = default;
};

// Facet of an event that comes from the mouse (QueryInterface on the event).
class IFXMouseEvent : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0xE0, 0x3E, 0x4B, 0x3F, 0x62, 0xCD, 0x7F, 0x09, 0xFA, 0x17, 0xD0,
                                  0x79, 0x84, 0x7E, 0x03, 0x5B}};

  // 4. The pointer's position in the control's window.
  virtual TPoint<long> Position() = 0;
  virtual void Reserved5() {}
  virtual void Reserved6() {}
  virtual void Reserved7() {}
  virtual void Reserved8() {}
  virtual void Reserved9() {}
  virtual void Reserved10() {}
  // 11. The buttons held (borrowed).
  virtual IFXMouseButtons* Buttons() = 0;

 protected:
  ~IFXMouseEvent() = default;
};

class IFXEvent : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x18, 0xBF, 0xAF, 0xD6, 0x1C, 0x93, 0x12, 0x6C, 0xEA, 0xE7, 0x0E,
                                  0x7D, 0x32, 0xD8, 0x99, 0x99}};

  virtual std::int32_t ParameterIndex() = 0;        // 4, the parameter concerned
  virtual WindowHandle Window() = 0;                // 5
  virtual DeviceContextHandle DeviceContext() = 0;  // 6
  virtual IFXParameterSet* ParameterSet() = 0;      // 7, borrowed
  virtual void Reserved8() {}
  virtual std::int32_t Kind() = 0;            // 9, kDrawEvent for drawing
  virtual void SetHandled(bool handled) = 0;  // 10
  virtual void Reserved11() {}
  // 12. Tells the host that the effect changed a parameter's value.
  virtual void ReportChange(IFXParameter* parameter, std::int32_t flag1, std::int32_t flag2) = 0;

 protected:
  ~IFXEvent() = default;
};

}  // namespace Tarn
