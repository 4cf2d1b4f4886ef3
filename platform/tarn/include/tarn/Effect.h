#pragma once
// The interfaces that an effect instance implements for the host, and the
// module's two entry points.
#include "tarn/Events.h"
#include "tarn/Geometry.h"
#include "tarn/Images.h"
#include "tarn/PIM.h"
#include "tarn/Parameters.h"
#include "tarn/Registry.h"

#include <cstdint>

namespace Tarn {

// The effect's main interface.
class IFXBase : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0x80, 0xCB, 0x3C, 0x7B, 0xFC, 0x43, 0xD2, 0x62, 0xF6, 0x45, 0x2E,
                                  0x89, 0xC1, 0xBF, 0x10, 0xE0}};

  // 4. Reserved for the host; an effect returns 0.
  virtual PIM::Status Reserved4() = 0;
  // 5. Defines the effect's parameters: created through factory, added to list.
  virtual PIM::Status DefineParameters(IFXParameterList* list, IFXParameterFactory* factory) = 0;
  // 6. Answers the host's question about the output's format through request.
  // output is the host's opaque handle of the output; inputs as for Render;
  // the two arguments after inputs are not used.
  virtual PIM::Status PrepareOutput(void* output, const TSourceList* inputs, void* unused1,
                                    void* unused2, IFXOutputRequest* request) = 0;
  // 7. Renders one frame of the effect into output from inputs.
  virtual PIM::Status Render(IFXImageSource* output, const TSourceList* inputs,
                             IFXParameterSet* set, IFXRenderContext* context) = 0;
  // 8. Reserved for the host; an effect returns 0.
  virtual PIM::Status Reserved8() = 0;

 protected:
  ~IFXBase() = default;
};

// Custom drawing of parameters that have no ordinary editor in the host.
class IFXCustomDrawEvent : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0xEB, 0x46, 0xF9, 0xB0, 0x00, 0xB4, 0xC0, 0x8A, 0xB6, 0xDE, 0x03,
                                  0x97, 0x78, 0x5B, 0x7D, 0xCD}};

  // 4. The area the host must reserve for the parameter's control; an empty
  // rectangle when the parameter has none. Returns out.
  virtual TRect<long>& GetControlRect(TRect<long>& out, IFXParameter* parameter) = 0;
  // 5. Draws the control of the event's parameter.
  virtual PIM::Status DrawControl(IFXEvent* event) = 0;

 protected:
  ~IFXCustomDrawEvent() = default;
};

class IFXParameterChangeEvent : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0xF7, 0x81, 0x12, 0x48, 0xB6, 0x25, 0x65, 0x94, 0x81, 0xB6, 0xA3,
                                  0x5A, 0x52, 0x05, 0x05, 0x33}};

  // 4. The host changed the event's parameter; quiet changes are not the
  // user's own.
  virtual PIM::Status OnParameterChanged(IFXEvent* event, void* unused, bool quiet) = 0;

 protected:
  ~IFXParameterChangeEvent() = default;
};

class IFXCustomUserEvent : public PIM::IBase {
 public:
  static constexpr PIM::IID kIID{{0xC0, 0x9C, 0x0B, 0xBE, 0x91, 0x1A, 0x91, 0x6A, 0x4C, 0xEF, 0x34,
                                  0x01, 0x0E, 0x32, 0x78, 0xEF}};

  virtual PIM::Status OnMouseDown(IFXEvent* event) = 0;       // 4
  virtual PIM::Status OnMouseUp(IFXEvent* event) = 0;         // 5
  virtual PIM::Status OnMouseMove(IFXEvent* event) = 0;       // 6
  virtual PIM::Status OnOtherUserEvent(IFXEvent* event) = 0;  // 7

 protected:
  ~IFXCustomUserEvent() = default;
};

// The module's entry points, exported with C linkage under these names.
// registerEffects describes the module's effects to the registry and
// returns 0 or the registry's refusal; createEffect returns a new instance of
// the effect named by the 16 bytes at id (count 0: the caller takes the first
// reference), or null.
using RegisterEffectsFunction = PIM::Status (*)(IFXEffectRegistry* registry, IFXEffectInfo* info);
using CreateEffectFunction = IFXBase* (*)(const PIM::IID* id);
inline constexpr const char* kRegisterEffectsName = "registerEffects";
inline constexpr const char* kCreateEffectName = "createEffect";

}  // namespace Tarn
