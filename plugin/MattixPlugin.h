#pragma once
// CMattixPlugin: one instance of the "Chroma Key" effect, as the host sees it
// through four interfaces sharing one reference count.
#include "picker/WndHSL.h"
#include "picker/WndLightness.h"
#include "tarn/Tarn.h"

#include <cstdint>

class CMattixPlugin : public Tarn::IFXBase,
                      public Tarn::IFXCustomDrawEvent,
                      public Tarn::IFXParameterChangeEvent,
                      public Tarn::IFXCustomUserEvent,
                      public PIM::RCObject {
 public:
  // Count 0: the host's first AddRef makes it 1.
  CMattixPlugin();
  ~CMattixPlugin() override;
  CMattixPlugin(const CMattixPlugin&) = delete;
  CMattixPlugin& operator=(const CMattixPlugin&) = delete;

  // Shared by all four interfaces. QueryInterface hands out the interface
  // whose identifier matches over all 16 bytes (IBase's gives IFXBase) with
  // one reference added, or null and PIM::kNoInterface.
  PIM::Status QueryInterface(const PIM::IID& iid, void** out) override;
  void AddRef() override;
  // Destroys the instance when the count falls to 0.
  void Release() override;
  std::int32_t GetRefCount() override;

  // IFXBase.
  PIM::Status Reserved4() override;
  // Defines the seven parameters. A number parameter that the host refuses is
  // left out silently; a byte-block parameter whose value facet cannot be had
  // ends the definition with that status. A null list or factory gives
  // kStatusHostRefused and nothing is asked of the host.
  PIM::Status DefineParameters(Tarn::IFXParameterList* list,
                               Tarn::IFXParameterFactory* factory) override;
  PIM::Status PrepareOutput(void* output, const Tarn::TSourceList* inputs, void* unused1,
                            void* unused2, Tarn::IFXOutputRequest* request) override;
  PIM::Status Render(Tarn::IFXImageSource* output, const Tarn::TSourceList* inputs,
                     Tarn::IFXParameterSet* set, Tarn::IFXRenderContext* context) override;
  PIM::Status Reserved8() override;

  // IFXCustomDrawEvent. The lightness bar (parameter 5) takes 255 x 44, the
  // wheel (parameter 6) 260 x 260; other parameters, or none, get an empty
  // rectangle.
  Tarn::TRect<long>& GetControlRect(Tarn::TRect<long>& out, Tarn::IFXParameter* parameter) override;
  // A drawing event (kind 1) gives the control of the event's parameter the
  // values of the event's parameter set and draws it whole into the event's
  // window and device context; it is reported handled whatever the index.
  // Other kinds draw and report nothing. Always 0.
  PIM::Status DrawControl(Tarn::IFXEvent* event) override;

  // IFXParameterChangeEvent. Softness, "Lightness" and "Chroma Mask" bring
  // the control that shows them up to date and redraw it; a change of
  // "Key Red", "Key Green" or "Key Blue" that is not quiet marks the
  // rounded colour on the wheel (a disc while Shift is held), sets the three
  // back to 0 and stores the wheel's mask as "Chroma Mask". Other parameters
  // are reported not handled. Always 0.
  PIM::Status OnParameterChanged(Tarn::IFXEvent* event, void* unused, bool quiet) override;

  // IFXCustomUserEvent. Pointer events over the bar (parameter 5) or the
  // wheel (6), in the control's client coordinates: a press with the left
  // button starts an edit, with the right one resets the control; a move
  // continues the edit, a release ends it. Whenever the control acted, its
  // value is in its parameter before the call returns and the change is
  // reported. Events of other parameters are reported not handled. 0, or
  // kStatusNoMouse (nothing done) for an event without a mouse facet.
  PIM::Status OnMouseDown(Tarn::IFXEvent* event) override;
  PIM::Status OnMouseUp(Tarn::IFXEvent* event) override;
  PIM::Status OnMouseMove(Tarn::IFXEvent* event) override;
  // Reported not handled. Always 0.
  PIM::Status OnOtherUserEvent(Tarn::IFXEvent* event) override;

 private:
  // The pointer operations: the control's handler for the event, then its
  // value stored with the given first change-report flag.
  enum class Pointer { kDown, kUp, kMove };
  PIM::Status ForwardPointer(Tarn::IFXEvent* event, Pointer pointer);
  // When changed, writes the value of the control of the event's parameter
  // (the bar's four values as 32 bytes, or the wheel's record) into that
  // parameter and reports the change with the flags (flag, 0).
  void StoreControlValue(Tarn::IFXEvent* event, bool changed, int flag);
  // The key colour pick of a change of "Key Red", "Key Green" or "Key Blue".
  void PickKeyColour(Tarn::IFXEvent* event);

  // The controls of the "Lightness" and "Chroma Mask" parameters, which
  // draw into the host's windows and live as long as the instance: the
  // lightness bar, then the hue/saturation wheel.
  CWndLightness m_lightness;
  CWndHSL m_wheel;
};
