#pragma once
// What an event from the host addresses: the parameter whose control it
// concerns, the host's window and device context for that control, and the
// parameter set. The SDK passes the two handles as opaque pointers; this is
// the one place where they become the Windows layer's HWND and HDC.
#include "tarn/Tarn.h"
#include "win/WinGdi.h"

#include <cstdint>
#include <type_traits>

namespace mattix::internal {

static_assert(std::is_pointer_v<Tarn::WindowHandle> && std::is_pointer_v<HWND> &&
              sizeof(Tarn::WindowHandle) == sizeof(HWND));
static_assert(std::is_pointer_v<Tarn::DeviceContextHandle> && std::is_pointer_v<HDC> &&
              sizeof(Tarn::DeviceContextHandle) == sizeof(HDC));

struct EventTarget {
  std::int32_t index;
  HWND hwnd;
  HDC hdc;
  Tarn::IFXParameterSet* set;  // borrowed from the event
};

// event must not be null.
inline EventTarget TargetOf(Tarn::IFXEvent* event) {
  return {event->ParameterIndex(), static_cast<HWND>(event->Window()),
          static_cast<HDC>(event->DeviceContext()), event->ParameterSet()};
}

}  // namespace mattix::internal
